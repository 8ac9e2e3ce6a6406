#include "act/com/ComDispatch.h"

#include "platform/VbErrorText.h"

#include <vector>

namespace qm::com {

namespace {

// HRESULTs of a server process that has gone away (ended, killed, crashed).
bool serverGone(HRESULT hr) {
    switch (static_cast<unsigned long>(hr)) {
    case 0x80010108UL: // RPC_E_DISCONNECTED
    case 0x80010012UL: // RPC_E_SERVER_DIED_DNE
    case 0x80010007UL: // RPC_E_SERVER_DIED
    case 0x800706BAUL: // RPC_S_SERVER_UNAVAILABLE
    case 0x800706BEUL: // RPC_S_CALL_FAILED
    case 0x800706BFUL: // RPC_S_CALL_FAILED_DNE
    case 0x800401FDUL: // CO_E_OBJNOTCONNECTED
        return true;
    default:
        return false;
    }
}

// The run-time's own number for an HRESULT, or 0 when it has none.
int runtimeNumber(HRESULT hr) {
    if (HRESULT_FACILITY(hr) == FACILITY_CONTROL) {
        return HRESULT_CODE(hr); // a run-time error raised by the server itself
    }
    if (serverGone(hr)) {
        return 462;
    }
    switch (hr) {
    case E_INVALIDARG:
        return 5;
    case DISP_E_OVERFLOW:
        return 6;
    case E_OUTOFMEMORY:
        return 7;
    case DISP_E_BADINDEX:
        return 9;
    case DISP_E_TYPEMISMATCH:
        return 13;
    case E_ACCESSDENIED:
        return 70;
    case DISP_E_UNKNOWNNAME:
    case DISP_E_MEMBERNOTFOUND:
        return 438;
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_PARAMNOTOPTIONAL:
        return 450;
    default:
        return 0;
    }
}

std::wstring takeBstr(BSTR& b) {
    std::wstring s = b ? std::wstring(b, SysStringLen(b)) : std::wstring();
    SysFreeString(b);
    b = nullptr;
    return s;
}

void check(HRESULT hr) {
    if (FAILED(hr)) {
        throw errorFromResult(hr);
    }
}

} // namespace

ComError::ComError(int number, std::wstring description, HRESULT hr)
    : m_number(number)
    , m_description(std::move(description))
    , m_hr(hr)
    , m_what("Error " + std::to_string(number)) {}

std::wstring errorText(int number) {
    const std::string_view text = vbErrorText(number);
    return std::wstring(text.begin(), text.end());
}

std::string utf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, s.data(), n, nullptr, nullptr);
    return s;
}

void raiseError(int number, HRESULT hr) {
    throw ComError(number, errorText(number), hr);
}

ComError errorFromResult(HRESULT hr, const EXCEPINFO* info) {
    if (hr == DISP_E_EXCEPTION && info) {
        const HRESULT scode = info->scode != 0 ? info->scode : S_OK;
        int number = info->wCode != 0 ? info->wCode : runtimeNumber(scode);
        if (number == 0) {
            number = static_cast<int>(scode != S_OK ? scode : hr);
        }
        std::wstring description =
            info->bstrDescription ? std::wstring(info->bstrDescription, SysStringLen(info->bstrDescription))
                                  : std::wstring();
        if (description.empty()) {
            description = errorText(number);
        }
        return ComError(number, description, scode != S_OK ? scode : hr);
    }
    const int number = runtimeNumber(hr);
    if (number != 0) {
        return ComError(number, errorText(number), hr);
    }
    return ComError(static_cast<int>(hr), errorText(440), hr); // "Automation error"
}

ComError creationError(HRESULT hr) {
    return ComError(429, errorText(429), hr);
}

Apartment::Apartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_owned = SUCCEEDED(hr); // S_FALSE too: it must be balanced
}

Apartment::~Apartment() {
    if (m_owned) {
        CoUninitialize();
    }
}

Value::Value() {
    VariantInit(&m_v);
}

Value::~Value() {
    VariantClear(&m_v);
}

Value::Value(Value&& other) noexcept {
    m_v = other.m_v;
    VariantInit(&other.m_v);
}

Value& Value::operator=(Value&& other) noexcept {
    if (this != &other) {
        VariantClear(&m_v);
        m_v = other.m_v;
        VariantInit(&other.m_v);
    }
    return *this;
}

VARIANT* Value::put() {
    VariantClear(&m_v);
    return &m_v;
}

std::int32_t Value::toInt32() const {
    VARIANT v;
    VariantInit(&v);
    check(VariantChangeType(&v, const_cast<VARIANT*>(&m_v), 0, VT_I4));
    return v.lVal;
}

std::wstring Value::toText() const {
    VARIANT v;
    VariantInit(&v);
    check(VariantChangeType(&v, const_cast<VARIANT*>(&m_v), 0, VT_BSTR));
    return takeBstr(v.bstrVal);
}

bool Value::toBool() const {
    VARIANT v;
    VariantInit(&v);
    check(VariantChangeType(&v, const_cast<VARIANT*>(&m_v), 0, VT_BOOL));
    return v.boolVal != VARIANT_FALSE;
}

Dispatch Value::toObject() const {
    IUnknown* unknown = nullptr;
    if (m_v.vt == VT_DISPATCH) {
        unknown = m_v.pdispVal;
    } else if (m_v.vt == VT_UNKNOWN) {
        unknown = m_v.punkVal;
    }
    Ref<IDispatch> object;
    if (!unknown || FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(object.put())))) {
        raiseError(424);
    }
    return Dispatch(std::move(object));
}

Dispatch::Dispatch(Ref<IDispatch> object)
    : m_state(std::make_shared<State>()) {
    m_state->object = std::move(object);
}

Dispatch Dispatch::create(std::wstring_view progId) {
    const std::wstring name(progId);
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(name.c_str(), &clsid);
    if (FAILED(hr)) {
        throw creationError(hr);
    }
    Ref<IDispatch> object;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          reinterpret_cast<void**>(object.put()));
    if (FAILED(hr) || !object) {
        throw creationError(FAILED(hr) ? hr : E_NOINTERFACE);
    }
    return Dispatch(std::move(object));
}

DISPID Dispatch::idOf(std::wstring_view member) const {
    if (!m_state || !m_state->object) {
        raiseError(91);
    }
    const auto found = m_state->ids.find(member);
    if (found != m_state->ids.end()) {
        return found->second;
    }
    std::wstring name(member);
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    check(m_state->object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    m_state->ids.emplace(std::move(name), id);
    return id;
}

Value Dispatch::call(std::wstring_view member, std::initializer_list<Arg> args) const {
    return invoke(idOf(member), args);
}

Value Dispatch::callId(DISPID id, std::initializer_list<Arg> args) const {
    if (!m_state || !m_state->object) {
        raiseError(91);
    }
    return invoke(id, args);
}

Value Dispatch::invoke(DISPID id, std::initializer_list<Arg> args) const {
    // Arguments go in reverse order.
    std::vector<VARIANT> v(args.size());
    std::size_t i = args.size();
    for (const Arg& a : args) {
        VARIANT& slot = v[--i];
        VariantInit(&slot);
        switch (a.kind) {
        case Arg::Kind::I2:
            slot.vt = VT_I2;
            slot.iVal = static_cast<SHORT>(a.number);
            break;
        case Arg::Kind::I4:
            slot.vt = VT_I4;
            slot.lVal = a.number;
            break;
        case Arg::Kind::Text:
            slot.vt = VT_BSTR;
            slot.bstrVal = SysAllocStringLen(a.text.data(), static_cast<UINT>(a.text.size()));
            break;
        }
    }
    DISPPARAMS params{v.data(), nullptr, static_cast<UINT>(v.size()), 0};
    Value result;
    EXCEPINFO info{};
    UINT badArgument = 0;
    const HRESULT hr =
        m_state->object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                &params, result.put(), &info, &badArgument);
    for (VARIANT& slot : v) {
        VariantClear(&slot);
    }
    if (hr == DISP_E_EXCEPTION && info.pfnDeferredFillIn) {
        info.pfnDeferredFillIn(&info);
    }
    if (FAILED(hr)) {
        ComError error = errorFromResult(hr, &info);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        throw error;
    }
    return result;
}

} // namespace qm::com
