#pragma once

// A small test runner for the COM client's tests under Wine (no Qt there): named checks, each
// printed as PASS or FAIL, and a closing "N passed, N failed" line.

#include "act/com/ComDispatch.h"

#include <cstdio>
#include <functional>
#include <string>

namespace qm::test {

class Checks {
public:
    void expect(const std::string& name, bool ok, const std::wstring& detail = {}) {
        ++(ok ? m_passed : m_failed);
        std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.empty() || ok ? "" : ": ",
                    ok ? "" : com::utf8(detail).c_str());
        std::fflush(stdout);
    }
    void equal(const std::string& name, const std::wstring& actual, const std::wstring& expected) {
        expect(name, actual == expected, L"got \"" + actual + L"\", expected \"" + expected + L"\"");
    }
    // Runs `body`; an unexpected error fails the check with its number and description.
    void run(const std::string& name, const std::function<void()>& body) {
        try {
            body();
        } catch (const com::ComError& e) {
            expect(name, false, L"error " + std::to_wstring(e.number()) + L": " + e.description());
        }
    }
    int finish() const {
        std::printf("%d passed, %d failed\n", m_passed, m_failed);
        return m_failed == 0 && m_passed > 0 ? 0 : 1;
    }

private:
    int m_passed = 0;
    int m_failed = 0;
};

// "429 ActiveX component can't create object" for a call that raises, "no error" otherwise.
inline std::wstring errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const com::ComError& e) {
        return std::to_wstring(e.number()) + L" " + e.description();
    }
    return L"no error";
}

// Pumps this thread's messages until `done` or `ms` milliseconds have passed; true when done.
inline bool pumpUntil(const std::function<bool()>& done, DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= end) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

} // namespace qm::test
