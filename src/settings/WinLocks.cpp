#include "settings/WinLocks.h"

#include "settings/LockWait.h"
#include "settings/WinHandle.h"

namespace qm::win {

Locked lockRange(HANDLE h, DWORD low, bool exclusive, const QDeadlineTimer& deadline, const QString& path) {
    OVERLAPPED at{};
    at.Offset = low;
    at.OffsetHigh = kLockHigh;
    const DWORD mode = exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0;
    if (LockFileEx(h, mode | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        return Locked::Yes;
    }
    if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING) {
        return Locked::Failed;
    }
    Handle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done.ok()) {
        return Locked::Failed;
    }
    at = OVERLAPPED{};
    at.Offset = low;
    at.OffsetHigh = kLockHigh;
    at.hEvent = done.get();
    if (LockFileEx(h, mode, 0, 1, 0, &at)) {
        return Locked::Yes;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return Locked::Failed;
    }
    LockWait wait(path, deadline);
    DWORD ignored = 0;
    while (const int ms = wait.nextSlice()) {
        if (WaitForSingleObject(done.get(), DWORD(ms)) == WAIT_OBJECT_0) {
            return GetOverlappedResult(h, &at, &ignored, FALSE) ? Locked::Yes : Locked::Failed;
        }
    }
    CancelIoEx(h, &at);
    if (GetOverlappedResult(h, &at, &ignored, TRUE)) {
        return Locked::Yes; // granted as the wait was given up: had all the same
    }
    return wait.cancelled() ? Locked::Cancelled : Locked::Busy;
}

HANDLE lockHandle(const std::wstring& path) {
    return CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                       nullptr);
}

void unlockRange(HANDLE h, DWORD low) {
    OVERLAPPED at{};
    at.Offset = low;
    at.OffsetHigh = kLockHigh;
    UnlockFileEx(h, 0, 1, 0, &at);
}

} // namespace qm::win
