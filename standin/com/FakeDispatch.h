#pragma once

// A dispatch object answering by name from a table of members, each checking its arguments'
// count and types as a strict automation server does: a 16-bit argument must arrive as VT_I2,
// a text as VT_BSTR. Every call is written to the server's call log with its argument types.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fakeact {

// The arguments of one call, in the order written (first argument first).
class Args {
public:
    explicit Args(const DISPPARAMS* params)
        : m_params(params) {}
    std::size_t size() const { return m_params ? m_params->cArgs : 0; }
    const VARIANT& at(std::size_t i) const { return m_params->rgvarg[m_params->cArgs - 1 - i]; }
    std::int32_t i2(std::size_t i) const { return at(i).iVal; }
    std::int32_t i4(std::size_t i) const { return at(i).lVal; }
    std::wstring text(std::size_t i) const {
        const BSTR b = at(i).bstrVal;
        return b ? std::wstring(b, SysStringLen(b)) : std::wstring();
    }

private:
    const DISPPARAMS* m_params;
};

// A failure a member raises: DISP_E_EXCEPTION with this code and description, or a plain
// HRESULT when `plain` is set.
struct Raise {
    HRESULT hr;
    std::wstring description;
    bool plain = true;
};

struct Member {
    std::wstring name;
    DISPID id;
    std::vector<VARTYPE> params; // VT_I2, VT_I4 or VT_BSTR
    std::function<void(const Args&, VARIANT&)> body;
};

void setInt(VARIANT& v, std::int32_t value);
void setShort(VARIANT& v, std::int16_t value);
void setText(VARIANT& v, const std::wstring& value);
void setBool(VARIANT& v, bool value);
void setObject(VARIANT& v, IDispatch* adopt);

// Counts the server's live objects; the server ends when the last is released.
void objectCreated();
void objectReleased();
// Called when the last object is gone: no new client may reach this server, which then ends.
void serverIdle();

class FakeDispatch : public IDispatch {
public:
    // `name` is the object's name in the call log ("Fields", "Users", ...).
    FakeDispatch(std::wstring name, std::vector<Member> members);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT* argError) override;

protected:
    virtual ~FakeDispatch();
    // Other interfaces of a derived object; null when it has none of that IID.
    virtual void* extraInterface(REFIID) { return nullptr; }

private:
    LONG m_refs = 1;
    std::wstring m_name;
    std::vector<Member> m_members;
};

} // namespace fakeact
