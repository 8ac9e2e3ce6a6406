#pragma once

// The locks of the Windows side of the settings files and the change log: byte ranges far past
// the end of a file, where no read or write ever goes, each waited for in the system's own queue
// of the range (LockFileEx without failing at once, on a handle of its own opened for overlapped
// waits), in slices between which the thread's LockWaitHook hears how the wait goes; a wait that
// runs out or is given up is cancelled.

#include <QDeadlineTimer>
#include <QString>

#include <string>

#include <windows.h>

namespace qm::win {

// The high half of every lock range's offset.
constexpr DWORD kLockHigh = 0x7FFFFFFF;

enum class Locked { Yes, Busy, Cancelled, Failed };

// Takes the lock range `low` of `path` on a handle of its own, `h` (opened by lockHandle),
// waiting in the range's queue until `deadline`.
Locked lockRange(HANDLE h, DWORD low, bool exclusive, const QDeadlineTimer& deadline, const QString& path);

// A handle of `path` for the lock ranges only: the waits on it are overlapped, and its ranges lie
// past any content, so it never stands in the way of a read or write.
HANDLE lockHandle(const std::wstring& path);

void unlockRange(HANDLE h, DWORD low);

} // namespace qm::win
