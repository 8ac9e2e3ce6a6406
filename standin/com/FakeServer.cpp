// fakeact-server: a fake ACT! automation server for the COM client's tests. It registers the
// ProgIDs "ACTOLE.APPOBJECT", "ACTOLE.DATABASE", "ACTOLE.AUXCMDS" and "ACTEVENTLib.ActEvent" as
// a local server (plus "ActFake.Control", the tests' handle on it):
//
//     fakeact-server /RegServer      register (in HKEY_CLASSES_ROOT)
//     fakeact-server /UnregServer    remove the registration
//     fakeact-server -Embedding      started by COM to serve the objects
//     fakeact-server /Demo           a running ACT! on the stand-in's demo database: serves
//                                    until ActFake.Control's Die, also while no client holds
//                                    an object, as ACT! runs whether anyone automates it or not

#include "FakeDispatch.h"
#include "FakeObjects.h"
#include "FakeState.h"

#include <cstdio>
#include <string>

namespace fakeact {
extern const CLSID kEventControlClsid;
}

namespace {

using namespace fakeact;

struct ServerClass {
    const wchar_t* progId;
    CLSID clsid;
    IDispatch* (*create)();
    DWORD cookie = 0;
};

ServerClass g_classes[] = {
    // {8BE317FE-1978-49C2-9EA7-C820B3305DB9}
    {L"ACTOLE.APPOBJECT",
     {0x8be317fe, 0x1978, 0x49c2, {0x9e, 0xa7, 0xc8, 0x20, 0xb3, 0x30, 0x5d, 0xb9}},
     newApp},
    // {9255A3FA-CF99-4EA7-9AA6-4E7821D2E01C}
    {L"ACTOLE.DATABASE",
     {0x9255a3fa, 0xcf99, 0x4ea7, {0x9a, 0xa6, 0x4e, 0x78, 0x21, 0xd2, 0xe0, 0x1c}},
     newDatabase},
    // {B850B817-649B-40FE-87BA-6F9702EAB279}
    {L"ACTOLE.AUXCMDS",
     {0xb850b817, 0x649b, 0x40fe, {0x87, 0xba, 0x6f, 0x97, 0x02, 0xea, 0xb2, 0x79}},
     newAuxCmds},
    {L"ACTEVENTLib.ActEvent", kEventControlClsid, newEventControl},
    // {1412687A-8DC5-4841-BE3B-5B95BB5DBE03}
    {L"ActFake.Control",
     {0x1412687a, 0x8dc5, 0x4841, {0xbe, 0x3b, 0x5b, 0x95, 0xbb, 0x5d, 0xbe, 0x03}},
     newControl},
};

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(IDispatch* (*create)())
        : m_create(create) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Lives as long as the server; registration holds it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        *out = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        IDispatch* object = m_create();
        const HRESULT hr = object->QueryInterface(riid, out);
        object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? objectCreated() : objectReleased();
        return S_OK;
    }

private:
    IDispatch* (*m_create)();
};

std::wstring guidText(const GUID& g) {
    wchar_t text[40];
    StringFromGUID2(g, text, 40);
    return text;
}

bool setKey(const std::wstring& key, const std::wstring& value) {
    HKEY h = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const LONG rc = RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

int registerServer() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    bool ok = true;
    for (const ServerClass& c : g_classes) {
        const std::wstring clsid = guidText(c.clsid);
        ok = setKey(std::wstring(c.progId), c.progId) && setKey(std::wstring(c.progId) + L"\\CLSID", clsid) &&
             setKey(L"CLSID\\" + clsid, c.progId) &&
             setKey(L"CLSID\\" + clsid + L"\\LocalServer32", L"\"" + std::wstring(exe) + L"\"") &&
             setKey(L"CLSID\\" + clsid + L"\\ProgID", c.progId) && ok;
    }
    std::fprintf(stderr, ok ? "fakeact-server: registered\n" : "fakeact-server: registration failed\n");
    return ok ? 0 : 1;
}

int unregisterServer() {
    for (const ServerClass& c : g_classes) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, c.progId);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + guidText(c.clsid)).c_str());
    }
    return 0;
}

void revokeAll() {
    for (ServerClass& c : g_classes) {
        if (c.cookie) {
            CoRevokeClassObject(c.cookie);
            c.cookie = 0;
        }
    }
}

} // namespace

void fakeact::serverIdle() {
    revokeAll();
    PostQuitMessage(0);
}

namespace {

int serve(bool demo) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    if (demo) {
        state().loadDemo();
        CoAddRefServerProcess(); // never idle: the last client's release does not end it
    }
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // the thread's message queue
    static ClassFactory* factories[std::size(g_classes)];
    for (std::size_t i = 0; i < std::size(g_classes); ++i) {
        factories[i] = new ClassFactory(g_classes[i].create);
        CoRegisterClassObject(g_classes[i].clsid, factories[i], CLSCTX_LOCAL_SERVER,
                              REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &g_classes[i].cookie);
    }
    CoResumeClassObjects();
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd) {
            DispatchMessageW(&msg);
            continue;
        }
        switch (msg.message) {
        case kRaiseUserWantsToClose:
            raiseUserWantsToClose(static_cast<std::int32_t>(msg.wParam));
            break;
        case kRaiseDatabaseClose:
            state().databaseOpen = false;
            raiseDatabaseClose();
            break;
        case kDie:
            // As a crash looks to the clients: no object is disconnected. The classes are
            // revoked first, so that the next client starts a new server.
            revokeAll();
            ExitProcess(3);
        default:
            DispatchMessageW(&msg);
        }
    }
    revokeAll();
    CoUninitialize();
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (_wcsicmp(a.c_str(), L"/RegServer") == 0 || _wcsicmp(a.c_str(), L"-RegServer") == 0) {
            return registerServer();
        }
        if (_wcsicmp(a.c_str(), L"/UnregServer") == 0 || _wcsicmp(a.c_str(), L"-UnregServer") == 0) {
            return unregisterServer();
        }
    }
    const bool demo = argc > 1 && _wcsicmp(argv[1], L"/Demo") == 0;
    if (demo) {
        std::fprintf(stderr, "fakeact-server: serving the demo database\n");
    }
    return serve(demo);
}
