#pragma once

// Automation by name over IDispatch, in plain C++ and the Windows headers: objects created from a
// ProgID, members called by name with arguments at fixed widths, results converted back, and
// every failure turned into the run-time's error number and description.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace qm::com {

// A failed automation call: the error number and description the run-time would give, and the
// COM result it came from.
class ComError : public std::exception {
public:
    ComError(int number, std::wstring description, HRESULT hr = S_OK);
    int number() const { return m_number; }
    const std::wstring& description() const { return m_description; }
    HRESULT hresult() const { return m_hr; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    int m_number;
    std::wstring m_description;
    HRESULT m_hr;
    std::string m_what;
};

// The run-time's description of one of its error numbers.
std::wstring errorText(int number);
// A text in UTF-8, as a console prints it.
std::string utf8(std::wstring_view text);
[[noreturn]] void raiseError(int number, HRESULT hr = S_OK);

// How a failed call is reported. `info` is the exception a member raised (DISP_E_EXCEPTION):
// its own code and description win. A server that went away is 462; a member the object does
// not have is 438; a wrong argument type 13.
ComError errorFromResult(HRESULT hr, const EXCEPINFO* info = nullptr);
// Creating an object fails as 429, whatever COM said (an unregistered ProgID, a server that
// would not start).
ComError creationError(HRESULT hr);

// COM initialised on this thread as a single-threaded apartment, as a window's thread has it,
// for as long as this lives. Tolerates a thread that is initialised already.
class Apartment {
public:
    Apartment();
    ~Apartment();
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;

private:
    bool m_owned = false;
};

// A reference-counted interface pointer.
template <typename T> class Ref {
public:
    Ref() = default;
    explicit Ref(T* adopt)
        : m_p(adopt) {}
    Ref(const Ref& o)
        : m_p(o.m_p) {
        if (m_p) {
            m_p->AddRef();
        }
    }
    Ref(Ref&& o) noexcept
        : m_p(o.m_p) {
        o.m_p = nullptr;
    }
    Ref& operator=(Ref o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }
    ~Ref() { reset(); }
    void reset() {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For functions that hand out a new reference.
    T** put() {
        reset();
        return &m_p;
    }
    template <typename U> Ref<U> as(const IID& iid) const {
        Ref<U> other;
        if (m_p) {
            m_p->QueryInterface(iid, reinterpret_cast<void**>(other.put()));
        }
        return other;
    }

private:
    T* m_p = nullptr;
};

// One argument, at the width the member expects: a 16-bit or 32-bit integer or a text.
struct Arg {
    enum class Kind { I2, I4, Text };
    Kind kind;
    std::int32_t number;
    std::wstring_view text;
};
inline Arg i16(std::int16_t v) {
    return {Arg::Kind::I2, v, {}};
}
inline Arg i32(std::int32_t v) {
    return {Arg::Kind::I4, v, {}};
}
inline Arg text(std::wstring_view v) {
    return {Arg::Kind::Text, 0, v};
}

class Dispatch;

// A member's result.
class Value {
public:
    Value();
    ~Value();
    Value(Value&& other) noexcept;
    Value& operator=(Value&& other) noexcept;
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;

    VARTYPE type() const { return m_v.vt; }
    // Conversions as the run-time makes them: a text that is no number is 13, a number too
    // large 6; an object asked of a value that is none is 424.
    std::int32_t toInt32() const;
    std::wstring toText() const;
    bool toBool() const;
    Dispatch toObject() const;

    VARIANT* put();

private:
    VARIANT m_v;
};

// An automation object, called by member name. Copies share the object.
class Dispatch {
public:
    Dispatch() = default;
    explicit Dispatch(Ref<IDispatch> object);

    // CLSIDFromProgID and CoCreateInstance, in process or as a local server.
    static Dispatch create(std::wstring_view progId);

    // Calls a method or reads a property by name; names are looked up once per object.
    Value call(std::wstring_view member, std::initializer_list<Arg> args = {}) const;
    // Calls a member by its dispatch number.
    Value callId(DISPID id, std::initializer_list<Arg> args = {}) const;

    IDispatch* get() const { return m_state ? m_state->object.get() : nullptr; }
    explicit operator bool() const { return get() != nullptr; }

private:
    struct State {
        Ref<IDispatch> object;
        std::map<std::wstring, DISPID, std::less<>> ids;
    };
    DISPID idOf(std::wstring_view member) const;
    Value invoke(DISPID id, std::initializer_list<Arg> args) const;

    std::shared_ptr<State> m_state;
};

} // namespace qm::com
