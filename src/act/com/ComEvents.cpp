#include "act/com/ComEvents.h"

#include <ocidl.h>

#include <map>

namespace qm::com {

// The callback's side of the connection: a dispatch object that answers to the event interface
// and to IDispatch (a server in another process reaches it only as IDispatch when the event
// interface has no registered type library).
class EventConnection::Sink : public IDispatch {
public:
    Sink(const IID& iid, std::map<DISPID, std::size_t> ids, Handler handler)
        : m_iid(iid)
        , m_ids(std::move(ids))
        , m_handler(std::move(handler)) {}

    void detach() { m_handler = nullptr; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_iid) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_refs);
        if (left == 0) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) {
            *count = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        const auto found = m_ids.find(id);
        if (found == m_ids.end() || !m_handler) {
            return S_OK; // an event nobody listens to
        }
        std::int32_t argument = 0;
        if (params && params->cArgs > 0) {
            // The first argument is the last in the array.
            VARIANT v;
            VariantInit(&v);
            VARIANT* first = &params->rgvarg[params->cArgs - 1];
            if (SUCCEEDED(VariantChangeType(&v, first, 0, VT_I4))) {
                argument = v.lVal;
            }
        }
        const Handler handler = m_handler; // the handler may disconnect
        try {
            handler(found->second, argument);
        } catch (...) {
            // An exception must not cross back into the server.
        }
        return S_OK;
    }

private:
    virtual ~Sink() = default;
    LONG m_refs = 1;
    IID m_iid;
    std::map<DISPID, std::size_t> m_ids;
    Handler m_handler;
};

namespace {

struct SourceInterface {
    IID iid = IID_NULL;
    std::map<DISPID, std::size_t> ids;
};

// The default source interface named in the object's class information, with the events' numbers.
bool fromClassInfo(const Dispatch& source, const std::vector<EventName>& events, SourceInterface& found) {
    Ref<IUnknown> unknown(source.get());
    source.get()->AddRef();
    const Ref<IProvideClassInfo> provider = unknown.as<IProvideClassInfo>(IID_IProvideClassInfo);
    Ref<ITypeInfo> coclass;
    if (!provider || FAILED(provider->GetClassInfo(coclass.put())) || !coclass) {
        return false;
    }
    TYPEATTR* attr = nullptr;
    if (FAILED(coclass->GetTypeAttr(&attr))) {
        return false;
    }
    const WORD implemented = attr->cImplTypes;
    coclass->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < implemented; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        Ref<ITypeInfo> eventInfo;
        if (FAILED(coclass->GetImplTypeFlags(i, &flags)) ||
            (flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) !=
                (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE) ||
            FAILED(coclass->GetRefTypeOfImplType(i, &ref)) ||
            FAILED(coclass->GetRefTypeInfo(ref, eventInfo.put()))) {
            continue;
        }
        TYPEATTR* eventAttr = nullptr;
        if (FAILED(eventInfo->GetTypeAttr(&eventAttr))) {
            return false;
        }
        found.iid = eventAttr->guid;
        const WORD functions = eventAttr->cFuncs;
        eventInfo->ReleaseTypeAttr(eventAttr);
        // Names are matched one function at a time: GetIDsOfNames of a type description does
        // not work across processes.
        for (UINT f = 0; f < functions; ++f) {
            FUNCDESC* desc = nullptr;
            if (FAILED(eventInfo->GetFuncDesc(f, &desc))) {
                continue;
            }
            const MEMBERID id = desc->memid;
            eventInfo->ReleaseFuncDesc(desc);
            BSTR name = nullptr;
            if (FAILED(eventInfo->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) {
                continue;
            }
            for (std::size_t e = 0; e < events.size(); ++e) {
                if (name && _wcsicmp(name, events[e].name.c_str()) == 0) {
                    found.ids[id] = e;
                }
            }
            SysFreeString(name);
        }
        return !found.ids.empty();
    }
    return false;
}

} // namespace

EventConnection::EventConnection(const Dispatch& source, std::vector<EventName> events, Handler handler) {
    if (!source) {
        raiseError(91);
    }
    Ref<IUnknown> unknown(source.get());
    source.get()->AddRef();
    const Ref<IConnectionPointContainer> container =
        unknown.as<IConnectionPointContainer>(IID_IConnectionPointContainer);
    if (!container) {
        raiseError(438);
    }
    SourceInterface iface;
    m_named = fromClassInfo(source, events, iface);
    HRESULT hr = S_OK;
    if (m_named) {
        hr = container->FindConnectionPoint(iface.iid, m_point.put());
    } else {
        Ref<IEnumConnectionPoints> points;
        hr = container->EnumConnectionPoints(points.put());
        ULONG got = 0;
        if (SUCCEEDED(hr)) {
            hr = points->Next(1, m_point.put(), &got);
            if (hr == S_OK && got == 1) {
                hr = m_point->GetConnectionInterface(&iface.iid);
            } else {
                hr = CONNECT_E_NOCONNECTION;
            }
        }
        for (std::size_t e = 0; e < events.size(); ++e) {
            iface.ids[events[e].fallbackId] = e;
        }
    }
    if (FAILED(hr) || !m_point) {
        throw errorFromResult(FAILED(hr) ? hr : CONNECT_E_NOCONNECTION);
    }
    m_sink = new Sink(iface.iid, std::move(iface.ids), std::move(handler));
    hr = m_point->Advise(static_cast<IDispatch*>(m_sink), &m_cookie);
    if (FAILED(hr)) {
        m_sink->detach();
        m_sink->Release();
        m_sink = nullptr;
        m_point.reset();
        throw errorFromResult(hr);
    }
}

EventConnection::~EventConnection() {
    disconnect();
}

void EventConnection::disconnect() {
    if (m_sink) {
        m_sink->detach();
        if (m_point) {
            m_point->Unadvise(m_cookie); // fails harmlessly when the source has gone
        }
        m_sink->Release();
        m_sink = nullptr;
    }
    m_point.reset();
}

} // namespace qm::com
