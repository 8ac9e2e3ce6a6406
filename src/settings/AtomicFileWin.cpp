// The Windows side of AtomicFile.h (AtomicFile.cpp is the POSIX side). Windows has no lock on a
// folder, and its byte-range locks bind reads too, so the locks are ranges far past the end of
// the file, where no read or write ever goes:
// - kWritersLock, exclusive: held by a writer from its read to its last write;
// - kInPlaceLock: exclusive while content is written in place, shared while a reader reads.
// A new file is made beside and moved into place without replacing anything that appeared
// meanwhile; an existing one is replaced by ReplaceFileW, which keeps its attributes, owner and
// access rights, or written in place where that would lose a hard link or cannot make a file.
//
// A lock is waited for in the system's own queue of the range (LockFileEx without failing at once,
// on a handle of its own opened for overlapped waits), in slices between which the thread's
// LockWaitHook hears how the wait goes; a wait that runs out or is given up is cancelled.

#include "settings/AtomicFile.h"

#include "settings/SafePathWin.h"
#include "settings/WinHandle.h"
#include "settings/WinLocks.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <windows.h>

namespace qm {

namespace {

using win::Handle;
using win::kShareAll;
using win::native;

constexpr DWORD kWritersLock = 0xFFFFFFF0;
constexpr DWORD kInPlaceLock = 0xFFFFFFF1;

using win::Locked;
using win::lockHandle;
using win::lockRange;
using win::unlockRange;

bool readAll(HANDLE h, QByteArray& out) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h, &size)) {
        return false;
    }
    out.resize(qsizetype(size.QuadPart));
    qint64 done = 0;
    while (done < out.size()) {
        OVERLAPPED at{};
        at.Offset = DWORD(done);
        at.OffsetHigh = DWORD(done >> 32);
        DWORD n = 0;
        if (!ReadFile(h, out.data() + done, DWORD(std::min<qint64>(out.size() - done, 1 << 20)), &n, &at)) {
            return false;
        }
        if (n == 0) {
            out.truncate(qsizetype(done));
            return true;
        }
        done += n;
    }
    return true;
}

bool writeAll(HANDLE h, const QByteArray& bytes, qint64 at) {
    qint64 done = 0;
    while (done < bytes.size()) {
        OVERLAPPED where{};
        where.Offset = DWORD(at + done);
        where.OffsetHigh = DWORD((at + done) >> 32);
        DWORD n = 0;
        if (!WriteFile(h, bytes.constData() + done, DWORD(std::min<qint64>(bytes.size() - done, 1 << 20)), &n,
                       &where) ||
            n == 0) {
            return false;
        }
        done += n;
    }
    return true;
}

bool setSize(HANDLE h, qint64 size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    return SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end);
}

bool flush(HANDLE h) {
    return !fileWriteTuning().sync || FlushFileBuffers(h);
}

WriteResult errorResult(DWORD error) {
    switch (error) {
    case ERROR_PATH_NOT_FOUND:
        return {ReplaceResult::FolderMissing, {}};
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return {ReplaceResult::ReadOnly, {}};
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return {ReplaceResult::Busy, {}};
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return {ReplaceResult::DiskFull, {}};
    default:
        return {ReplaceResult::Failed, QStringLiteral("Windows error %1").arg(error)};
    }
}

WriteResult done(ReplaceResult result) {
    return {result, {}};
}

WriteResult lockResult(Locked locked) {
    return done(locked == Locked::Busy        ? ReplaceResult::Busy
                : locked == Locked::Cancelled ? ReplaceResult::Cancelled
                                              : ReplaceResult::Failed);
}

QString besideName(const QString& target) {
    return QFileInfo(target).absoluteDir().filePath(
        QStringLiteral(".qm") + QString::number(QRandomGenerator::global()->generate(), 16) +
        QStringLiteral(".tmp"));
}

// Writes `bytes` into a new file beside `target`; an empty name when none could be made (`error`).
QString writeBeside(const QString& target, const QByteArray& bytes, DWORD& error) {
    const QString name = besideName(target);
    Handle h(CreateFileW(native(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                         nullptr));
    if (!h.ok()) {
        error = GetLastError();
        return {};
    }
    if (!writeAll(h.get(), bytes, 0) || !flush(h.get())) {
        error = GetLastError();
        h.close(); // opened without sharing: no delete before
        DeleteFileW(native(name).c_str());
        return {};
    }
    return name;
}

WriteResult writeInPlace(HANDLE h, HANDLE locks, qint64 oldSize, const QByteArray& bytes,
                         const QDeadlineTimer& deadline, const QString& path) {
    if (const Locked locked = lockRange(locks, kInPlaceLock, true, deadline, path); locked != Locked::Yes) {
        return lockResult(locked);
    }
    const qint64 common = std::min<qint64>(oldSize, bytes.size());
    bool ok = writeAll(h, bytes.mid(common), common); // past the old end first: no room fails here
    if (!ok) {
        setSize(h, oldSize);
    }
    ok = ok && writeAll(h, bytes.left(common), 0) && setSize(h, bytes.size()) && flush(h);
    const DWORD error = ok ? 0 : GetLastError();
    unlockRange(locks, kInPlaceLock);
    return ok ? done(ReplaceResult::Replaced) : errorResult(error);
}

} // namespace

FileWriteTuning& fileWriteTuning() {
    static FileWriteTuning tuning;
    return tuning;
}

FileIdentity identityOf(const QString& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(native(path).c_str(), GetFileExInfoStandard, &data)) {
        return {};
    }
    const auto ticks = [](FILETIME t) { return (qint64(t.dwHighDateTime) << 32 | t.dwLowDateTime) * 100; };
    return {0,
            0,
            qint64(data.nFileSizeHigh) << 32 | data.nFileSizeLow,
            ticks(data.ftLastWriteTime),
            ticks(data.ftCreationTime),
            1};
}

FileContent readFile(const QString& path, qint64 maxBytes) {
    FileContent out;
    const win::SafePath safe = win::resolve(path);
    if (!safe.refused.isEmpty()) {
        out.status = FileContent::Refused;
        out.detail = safe.refused;
        return out;
    }
    if (safe.error != 0) {
        out.status = FileContent::Missing;
        return out;
    }
    Handle h(CreateFileW(native(safe.path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.ok()) {
        const DWORD error = GetLastError();
        out.status = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileContent::Missing
                                                                                    : FileContent::Denied;
        return out;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h.get(), &info)) {
        out.status = FileContent::IoError;
        return out;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        out.status = FileContent::IsFolder;
        return out;
    }
    if (GetFileType(h.get()) != FILE_TYPE_DISK) {
        out.status = FileContent::NotAFile;
        return out;
    }
    out.detail = win::refusedFile(safe.path, h.get());
    if (!out.detail.isEmpty()) {
        out.status = FileContent::Refused;
        return out;
    }
    const qint64 size = qint64(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    if (size > maxBytes) {
        out.status = FileContent::TooLarge;
        out.size = size;
        return out;
    }
    const Handle locks(lockHandle(native(safe.path)));
    const Locked locked = locks.ok() ? lockRange(locks.get(), kInPlaceLock, false,
                                                 QDeadlineTimer(fileWriteTuning().readWaitMs), path)
                                     : Locked::Failed;
    if (locked == Locked::Busy || locked == Locked::Cancelled) {
        out.status = locked == Locked::Busy ? FileContent::Busy : FileContent::Cancelled;
        return out;
    }
    const bool read = locked == Locked::Yes && readAll(h.get(), out.bytes);
    if (locked == Locked::Yes) {
        unlockRange(locks.get(), kInPlaceLock);
    }
    out.status = read ? FileContent::Ok : FileContent::IoError;
    if (!read) {
        out.detail = QStringLiteral("Windows error %1").arg(GetLastError());
        out.bytes.clear();
    }
    return out; // identity left unknown: the cache compares content on every read here
}

namespace {

// What is to become of a file: its new content (`edit`), or its removal (`removeIf`).
struct Change {
    const ContentEdit* edit = nullptr;
    const RemoveIf* removeIf = nullptr;
};

WriteResult changeFile(const QString& path, const Change& change, qint64 maxBytes) {
    const QDeadlineTimer deadline(fileWriteTuning().lockWaitMs);
    for (int round = 0;; ++round) {
        if (round > 0 && deadline.hasExpired()) {
            return done(ReplaceResult::Busy);
        }
        const win::SafePath safe = win::resolve(path);
        if (!safe.refused.isEmpty()) {
            return {ReplaceResult::Refused, safe.refused};
        }
        if (safe.error != 0) {
            const bool missing = safe.error == ERROR_FILE_NOT_FOUND || safe.error == ERROR_PATH_NOT_FOUND;
            return missing && change.removeIf ? done(ReplaceResult::Unchanged) : errorResult(safe.error);
        }
        const QString& target = safe.path;
        const DWORD attributes = GetFileAttributesW(native(target).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (GetLastError() != ERROR_FILE_NOT_FOUND) {
                return errorResult(GetLastError());
            }
            if (change.removeIf) {
                return done(ReplaceResult::Unchanged); // nothing to remove
            }
            const std::optional<QByteArray> bytes = (*change.edit)(nullptr);
            if (!bytes) {
                return done(ReplaceResult::Unchanged);
            }
            DWORD error = 0;
            const QString beside = writeBeside(target, *bytes, error);
            if (beside.isEmpty()) {
                return errorResult(error);
            }
            if (MoveFileExW(native(beside).c_str(), native(target).c_str(), MOVEFILE_WRITE_THROUGH)) {
                return done(ReplaceResult::Replaced); // never over a file: without MOVEFILE_REPLACE_EXISTING
            }
            error = GetLastError();
            DeleteFileW(native(beside).c_str());
            if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
                continue; // made meanwhile: start again with it
            }
            return errorResult(error);
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            return done(ReplaceResult::NotAFile);
        }
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            return done(ReplaceResult::ReadOnly);
        }
        const DWORD access = change.removeIf ? GENERIC_READ | DELETE : GENERIC_READ | GENERIC_WRITE;
        Handle file(CreateFileW(native(target).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.ok()) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND) {
                continue;
            }
            return errorResult(GetLastError());
        }
        const Handle locks(lockHandle(native(target)));
        if (!locks.ok()) {
            return errorResult(GetLastError());
        }
        if (const Locked locked = lockRange(locks.get(), kWritersLock, true, deadline, target);
            locked != Locked::Yes) {
            return lockResult(locked);
        }
        // The name may have been given to another file while we waited: lock that one instead.
        BY_HANDLE_FILE_INFORMATION locked{};
        BY_HANDLE_FILE_INFORMATION named{};
        Handle now(CreateFileW(native(target).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!GetFileInformationByHandle(file.get(), &locked) || !now.ok() ||
            !GetFileInformationByHandle(now.get(), &named) || locked.nFileIndexLow != named.nFileIndexLow ||
            locked.nFileIndexHigh != named.nFileIndexHigh ||
            locked.dwVolumeSerialNumber != named.dwVolumeSerialNumber) {
            continue;
        }
        // Another name of the file may lie anywhere: written only in this user's own folder.
        if (QString why = win::refusedFile(target, file.get()); !why.isEmpty()) {
            return {ReplaceResult::Refused, why};
        }
        const qint64 size = qint64(locked.nFileSizeHigh) << 32 | locked.nFileSizeLow;
        if (size > maxBytes) {
            return {ReplaceResult::TooLarge, QString::number(size)};
        }
        QByteArray current;
        if (!readAll(file.get(), current)) {
            return errorResult(GetLastError());
        }
        if (change.removeIf) {
            if (!(*change.removeIf)(current)) {
                return done(ReplaceResult::Unchanged);
            }
            // Gone once the last handle closes, the locks' last: no writer gets in before.
            FILE_DISPOSITION_INFO disposition{};
            disposition.DeleteFile = TRUE;
            if (!SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition,
                                            sizeof disposition)) {
                return errorResult(GetLastError());
            }
            return done(ReplaceResult::Replaced);
        }
        const std::optional<QByteArray> bytes = (*change.edit)(&current);
        if (!bytes) {
            return done(ReplaceResult::Unchanged);
        }
        if (locked.nNumberOfLinks == 1) {
            DWORD error = 0;
            const QString beside = writeBeside(target, *bytes, error);
            if (!beside.isEmpty()) {
                if (ReplaceFileW(native(target).c_str(), native(beside).c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
                    return done(ReplaceResult::Replaced);
                }
                error = GetLastError();
                DeleteFileW(native(beside).c_str());
                return errorResult(error);
            }
            if (error != ERROR_ACCESS_DENIED) {
                return errorResult(error);
            }
            // A folder that may not be written: in place.
        }
        return writeInPlace(file.get(), locks.get(), qint64(current.size()), *bytes, deadline, target);
    }
}

} // namespace

WriteResult rewriteFile(const QString& path, const ContentEdit& edit, qint64 maxBytes) {
    return changeFile(path, {&edit, nullptr}, maxBytes);
}

WriteResult removeFile(const QString& path, const RemoveIf& removeIf, qint64 maxBytes) {
    return changeFile(path, {nullptr, &removeIf}, maxBytes);
}

} // namespace qm
