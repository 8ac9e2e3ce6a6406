// The fake ACT!'s event control: operations 1 to 3 by dispatch number, a connection point for its
// two events, and class information naming them, built in memory (there is no type library file).

#include "FakeDispatch.h"
#include "FakeObjects.h"
#include "FakeState.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <utility>

namespace fakeact {

namespace {

// {98D9515C-0277-4CED-A5DB-16D382AB9012}: the event interface.
const IID kEventsIid = {0x98d9515c, 0x0277, 0x4ced, {0xa5, 0xdb, 0x16, 0xd3, 0x82, 0xab, 0x90, 0x12}};
// {88351D5A-1213-4628-B309-2DA018A6B0F3}: the type library built in memory.
const GUID kLibId = {0x88351d5a, 0x1213, 0x4628, {0xb3, 0x09, 0x2d, 0xa0, 0x18, 0xa6, 0xb0, 0xf3}};

// The events' dispatch numbers: in another order than a caller would guess, so that a caller
// must read them from the class information.
constexpr DISPID kOnDatabaseClose = 1;
constexpr DISPID kOnActUserWantsToClose = 2;

class EventControl;
std::vector<EventControl*>& controls() {
    static std::vector<EventControl*> all;
    return all;
}

HRESULT addEvent(ICreateTypeInfo* info, UINT index, DISPID id, const wchar_t* name, bool withArgument) {
    ELEMDESC argument{};
    argument.tdesc.vt = VT_I4;
    argument.paramdesc.wParamFlags = PARAMFLAG_FIN;
    FUNCDESC f{};
    f.memid = id;
    f.funckind = FUNC_DISPATCH;
    f.invkind = INVOKE_FUNC;
    f.callconv = CC_STDCALL;
    f.cParams = withArgument ? 1 : 0;
    f.lprgelemdescParam = withArgument ? &argument : nullptr;
    f.elemdescFunc.tdesc.vt = VT_VOID;
    HRESULT hr = info->AddFuncDesc(index, &f);
    LPOLESTR names[] = {const_cast<LPOLESTR>(name), const_cast<LPOLESTR>(L"reason")};
    if (SUCCEEDED(hr)) {
        hr = info->SetFuncAndParamNames(index, names, withArgument ? 2 : 1);
    }
    return hr;
}

// The control's class information: a coclass whose default source is the event interface.
ITypeInfo* classInfo(const CLSID& clsid) {
    static ITypeInfo* built = [&]() -> ITypeInfo* {
        wchar_t path[MAX_PATH];
        GetTempPathW(MAX_PATH, path);
        wcscat_s(path, L"fakeact-events.tlb"); // never written: the library lives in memory
        ICreateTypeLib2* lib = nullptr;
        if (FAILED(CreateTypeLib2(SYS_WIN64, path, &lib))) {
            return nullptr;
        }
        lib->SetGuid(kLibId);
        lib->SetName(const_cast<LPOLESTR>(L"ACTEVENTLib"));
        ICreateTypeInfo* events = nullptr;
        ICreateTypeInfo* coclass = nullptr;
        ITypeInfo* eventsInfo = nullptr;
        ITypeInfo* result = nullptr;
        HREFTYPE ref = 0;
        if (SUCCEEDED(
                lib->CreateTypeInfo(const_cast<LPOLESTR>(L"_DActEventEvents"), TKIND_DISPATCH, &events)) &&
            SUCCEEDED(events->SetGuid(kEventsIid)) &&
            SUCCEEDED(addEvent(events, 0, kOnDatabaseClose, L"OnDatabaseClose", false)) &&
            SUCCEEDED(addEvent(events, 1, kOnActUserWantsToClose, L"OnActUserWantsToClose", true)) &&
            SUCCEEDED(events->LayOut()) &&
            SUCCEEDED(events->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&eventsInfo))) &&
            SUCCEEDED(lib->CreateTypeInfo(const_cast<LPOLESTR>(L"ActEvent"), TKIND_COCLASS, &coclass)) &&
            SUCCEEDED(coclass->SetGuid(clsid)) && SUCCEEDED(coclass->AddRefTypeInfo(eventsInfo, &ref)) &&
            SUCCEEDED(coclass->AddImplType(0, ref)) &&
            SUCCEEDED(coclass->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) &&
            SUCCEEDED(coclass->LayOut())) {
            coclass->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&result));
        }
        for (IUnknown* u : {static_cast<IUnknown*>(events), static_cast<IUnknown*>(coclass),
                            static_cast<IUnknown*>(eventsInfo)}) {
            if (u) {
                u->Release();
            }
        }
        lib->Release(); // the type infos keep their library alive
        return result;
    }();
    return built;
}

class EventControl : public FakeDispatch,
                     public IConnectionPointContainer,
                     public IConnectionPoint,
                     public IProvideClassInfo {
public:
    explicit EventControl(const CLSID& clsid)
        : FakeDispatch(L"ActEvent", members())
        , m_clsid(clsid) {
        controls().push_back(this);
    }

    bool attached() const { return m_attached; }
    void setAttached(bool attached) { m_attached = attached; }

    void fire(DISPID id, bool withArgument, std::int32_t argument) {
        std::vector<IDispatch*> sinks;
        for (auto& s : m_sinks) {
            s.second->AddRef();
            sinks.push_back(s.second);
        }
        for (IDispatch* sink : sinks) {
            VARIANT arg;
            VariantInit(&arg);
            arg.vt = VT_I4;
            arg.lVal = argument;
            DISPPARAMS params{withArgument ? &arg : nullptr, nullptr, withArgument ? 1U : 0U, 0};
            sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                         nullptr);
            sink->Release();
        }
    }

    // IUnknown through the dispatch base.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        return FakeDispatch::QueryInterface(riid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return FakeDispatch::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return FakeDispatch::Release(); }

    // IConnectionPointContainer: the one connection point is the object itself.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
        *out = nullptr;
        if (riid != kEventsIid) {
            return CONNECT_E_NOCONNECTION;
        }
        *out = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }

    // IConnectionPoint.
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        *iid = kEventsIid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
        *out = static_cast<IConnectionPointContainer*>(this);
        AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        // A sink in another process answers only as IDispatch: the event interface has no
        // registered type library to build a proxy from.
        IDispatch* d = nullptr;
        if (FAILED(sink->QueryInterface(kEventsIid, reinterpret_cast<void**>(&d))) &&
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)))) {
            return CONNECT_E_CANNOTCONNECT;
        }
        *cookie = ++m_lastCookie;
        m_sinks.emplace_back(*cookie, d);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        const auto found = std::find_if(m_sinks.begin(), m_sinks.end(),
                                        [cookie](const auto& s) { return s.first == cookie; });
        if (found == m_sinks.end()) {
            return CONNECT_E_NOCONNECTION;
        }
        IDispatch* sink = found->second;
        m_sinks.erase(found);
        sink->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }

    // IProvideClassInfo.
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
        *out = classInfo(m_clsid);
        if (!*out) {
            return E_FAIL;
        }
        (*out)->AddRef();
        return S_OK;
    }

protected:
    ~EventControl() override {
        for (auto& s : m_sinks) {
            s.second->Release();
        }
        auto& all = controls();
        all.erase(std::remove(all.begin(), all.end(), this), all.end());
    }
    void* extraInterface(REFIID riid) override {
        if (riid == IID_IConnectionPointContainer) {
            return static_cast<IConnectionPointContainer*>(this);
        }
        if (riid == IID_IConnectionPoint) {
            return static_cast<IConnectionPoint*>(this);
        }
        if (riid == IID_IProvideClassInfo) {
            return static_cast<IProvideClassInfo*>(this);
        }
        return nullptr;
    }

private:
    std::vector<Member> members() {
        return {{L"Operation1",
                 1,
                 {VT_I4},
                 [this](const Args&, VARIANT& r) {
                     m_attached = true;
                     const State& s = state();
                     setInt(r, s.running && s.registered && s.databaseOpen ? 1 : 0);
                 }},
                {L"Operation2", 2, {}, [this](const Args&, VARIANT&) { m_attached = false; }},
                {L"Operation3", 3, {}, [](const Args&, VARIANT& r) {
                     setBool(r, state().running && !state().registered);
                 }}};
    }

    CLSID m_clsid;
    bool m_attached = false;
    DWORD m_lastCookie = 0;
    std::vector<std::pair<DWORD, IDispatch*>> m_sinks;
};

void raise(DISPID id, bool withArgument, std::int32_t argument) {
    std::vector<EventControl*> attached;
    for (EventControl* c : controls()) {
        if (c->attached()) {
            c->AddRef();
            attached.push_back(c);
        }
    }
    for (EventControl* c : attached) {
        c->fire(id, withArgument, argument);
        c->Release();
    }
}

} // namespace

// {C0BA8ADF-20C1-440F-9CCC-5CF5BB5990E0}
extern const CLSID kEventControlClsid = {
    0xc0ba8adf, 0x20c1, 0x440f, {0x9c, 0xcc, 0x5c, 0xf5, 0xbb, 0x59, 0x90, 0xe0}};

IDispatch* newEventControl() {
    return static_cast<FakeDispatch*>(new EventControl(kEventControlClsid));
}

void raiseUserWantsToClose(std::int32_t argument) {
    raise(kOnActUserWantsToClose, true, argument);
}

void raiseDatabaseClose() {
    raise(kOnDatabaseClose, false, 0);
}

} // namespace fakeact
