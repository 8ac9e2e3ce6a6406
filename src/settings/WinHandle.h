#pragma once

// What the Windows side of the settings files (AtomicFileWin.cpp, SafePathWin.cpp) shares: a
// handle closed when it goes out of scope, the sharing every open of a settings file allows, and
// a name as the system's calls take it.

#include <QDir>
#include <QString>

#include <string>

#include <windows.h>

namespace qm::win {

// Others may read, write, rename and delete a settings file while it is open here: the locks,
// not the sharing mode, order the writers.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Handle {
public:
    explicit Handle(HANDLE h)
        : m_h(h) {}
    ~Handle() { close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_h; }
    // CreateFileW fails with INVALID_HANDLE_VALUE, CreateEventW with a null handle.
    bool ok() const { return m_h != INVALID_HANDLE_VALUE && m_h != nullptr; }
    // Closes it now (a file opened without sharing, to be deleted), once.
    void close() {
        if (ok()) {
            CloseHandle(m_h);
        }
        m_h = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_h;
};

inline std::wstring native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

} // namespace qm::win
