#include "FakeDispatch.h"

#include "FakeState.h"

namespace fakeact {

namespace {

std::wstring describe(const VARIANT& v) {
    switch (v.vt) {
    case VT_I2:
        return L"I2:" + std::to_wstring(v.iVal);
    case VT_I4:
        return L"I4:" + std::to_wstring(v.lVal);
    case VT_BSTR:
        return L"BSTR:" + (v.bstrVal ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : std::wstring());
    default:
        return L"VT" + std::to_wstring(v.vt);
    }
}

HRESULT raiseException(EXCEPINFO* info, std::int32_t code, const std::wstring& description) {
    if (info) {
        *info = EXCEPINFO{};
        if (code > 0 && code < 0x10000) {
            info->wCode = static_cast<WORD>(code);
        } else {
            info->scode = code;
        }
        info->bstrSource = SysAllocString(L"ACT!");
        info->bstrDescription = description.empty() ? nullptr : SysAllocString(description.c_str());
    }
    return DISP_E_EXCEPTION;
}

} // namespace

void setInt(VARIANT& v, std::int32_t value) {
    v.vt = VT_I4;
    v.lVal = value;
}

void setShort(VARIANT& v, std::int16_t value) {
    v.vt = VT_I2;
    v.iVal = value;
}

void setText(VARIANT& v, const std::wstring& value) {
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
}

void setBool(VARIANT& v, bool value) {
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void setObject(VARIANT& v, IDispatch* adopt) {
    v.vt = VT_DISPATCH;
    v.pdispVal = adopt;
}

void objectCreated() {
    CoAddRefServerProcess();
}

void objectReleased() {
    if (CoReleaseServerProcess() == 0) {
        serverIdle();
    }
}

FakeDispatch::FakeDispatch(std::wstring name, std::vector<Member> members)
    : m_name(std::move(name))
    , m_members(std::move(members)) {
    objectCreated();
}

FakeDispatch::~FakeDispatch() {
    objectReleased();
}

HRESULT FakeDispatch::QueryInterface(REFIID riid, void** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
        *out = static_cast<IDispatch*>(this);
    } else {
        *out = extraInterface(riid);
    }
    if (!*out) {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG FakeDispatch::AddRef() {
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

ULONG FakeDispatch::Release() {
    const LONG left = InterlockedDecrement(&m_refs);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

HRESULT FakeDispatch::GetTypeInfoCount(UINT* count) {
    *count = 0;
    return S_OK;
}

HRESULT FakeDispatch::GetTypeInfo(UINT, LCID, ITypeInfo**) {
    return E_NOTIMPL;
}

HRESULT FakeDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        for (const Member& m : m_members) {
            if (i == 0 && _wcsicmp(m.name.c_str(), names[i]) == 0) {
                ids[i] = m.id;
            }
        }
        if (ids[i] == DISPID_UNKNOWN) {
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

HRESULT FakeDispatch::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* info, UINT* argError) {
    const Member* member = nullptr;
    for (const Member& m : m_members) {
        if (m.id == id) {
            member = &m;
        }
    }
    if (!member) {
        return DISP_E_MEMBERNOTFOUND;
    }
    const Args args(params);
    std::wstring line = m_name + L"." + member->name + L"(";
    for (std::size_t i = 0; i < args.size(); ++i) {
        line += (i ? L"," : L"") + describe(args.at(i));
    }
    State& s = state();
    if (m_name != L"Control") {
        s.log += line + L")\n";
    }
    if (args.size() != member->params.size()) {
        return DISP_E_BADPARAMCOUNT;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args.at(i).vt != member->params[i]) {
            if (argError) {
                *argError = static_cast<UINT>(args.size() - 1 - i);
            }
            return DISP_E_TYPEMISMATCH;
        }
    }
    const auto failing = s.failing.find(member->name);
    if (failing != s.failing.end()) {
        return raiseException(info, failing->second.code, failing->second.description);
    }
    VARIANT value;
    VariantInit(&value);
    try {
        member->body(args, value);
    } catch (const Raise& r) {
        VariantClear(&value);
        return r.plain ? r.hr : raiseException(info, r.hr, r.description);
    }
    if (result) {
        *result = value;
    } else {
        VariantClear(&value);
    }
    return S_OK;
}

} // namespace fakeact
