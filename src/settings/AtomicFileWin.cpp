// The Windows side of AtomicFile.h (AtomicFile.cpp is the POSIX side). Windows has no lock on a
// folder, and its byte-range locks bind reads too, so the locks are ranges far past the end of
// the file, where no read or write ever goes:
// - kWritersLock, exclusive: held by a writer from its read to its last write;
// - kInPlaceLock: exclusive while content is written in place, shared while a reader reads.
// A new file is made beside and moved into place without replacing anything that appeared
// meanwhile; an existing one is replaced by ReplaceFileW, which keeps its attributes, owner and
// access rights, or written in place where that would lose a hard link or cannot make a file.

#include "settings/AtomicFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <windows.h>

namespace qm {

namespace {

constexpr DWORD kLockHigh = 0x7FFFFFFF;
constexpr DWORD kWritersLock = 0xFFFFFFF0;
constexpr DWORD kInPlaceLock = 0xFFFFFFF1;
constexpr int kReaderWaitMs = 2000;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE)
        : m_h(h) {}
    ~Handle() {
        if (ok()) {
            CloseHandle(m_h);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return m_h; }
    bool ok() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

std::wstring native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

bool lockRange(HANDLE h, DWORD low, bool exclusive, const QDeadlineTimer& deadline) {
    int pauseMs = 1;
    for (;;) {
        OVERLAPPED at{};
        at.Offset = low;
        at.OffsetHigh = kLockHigh;
        const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
        if (LockFileEx(h, flags, 0, 1, 0, &at)) {
            return true;
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION || deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(static_cast<unsigned long>(std::min<qint64>(pauseMs, deadline.remainingTime() + 1)));
        pauseMs = std::min(pauseMs * 2, 50);
    }
}

void unlockRange(HANDLE h, DWORD low) {
    OVERLAPPED at{};
    at.Offset = low;
    at.OffsetHigh = kLockHigh;
    UnlockFileEx(h, 0, 1, 0, &at);
}

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

ReplaceResult errorResult(DWORD error) {
    switch (error) {
    case ERROR_PATH_NOT_FOUND:
        return ReplaceResult::FolderMissing;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return ReplaceResult::ReadOnly;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return ReplaceResult::Busy;
    default:
        return ReplaceResult::Failed;
    }
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
        CloseHandle(h.get());
        DeleteFileW(native(name).c_str());
        return {};
    }
    return name;
}

ReplaceResult writeInPlace(HANDLE h, qint64 oldSize, const QByteArray& bytes,
                           const QDeadlineTimer& deadline) {
    if (!lockRange(h, kInPlaceLock, true, deadline)) {
        return ReplaceResult::Busy;
    }
    const qint64 common = std::min<qint64>(oldSize, bytes.size());
    bool ok = writeAll(h, bytes.mid(common), common); // past the old end first: no room fails here
    if (!ok) {
        setSize(h, oldSize);
    }
    ok = ok && writeAll(h, bytes.left(common), 0) && setSize(h, bytes.size()) && flush(h);
    unlockRange(h, kInPlaceLock);
    return ok ? ReplaceResult::Replaced : ReplaceResult::Failed;
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

QString finalTarget(const QString& path) {
    Handle h(CreateFileW(native(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.ok()) {
        return QFileInfo(path).absoluteFilePath();
    }
    wchar_t buffer[32768];
    const DWORD n =
        GetFinalPathNameByHandleW(h.get(), buffer, DWORD(std::size(buffer)), FILE_NAME_NORMALIZED);
    if (n == 0 || n >= std::size(buffer)) {
        return QFileInfo(path).absoluteFilePath();
    }
    QString final = QString::fromWCharArray(buffer, int(n));
    if (final.startsWith(QLatin1String("\\\\?\\UNC\\"))) {
        final = QStringLiteral("\\\\") + final.mid(8);
    } else if (final.startsWith(QLatin1String("\\\\?\\"))) {
        final = final.mid(4);
    }
    return QDir::fromNativeSeparators(final);
}

bool isReadOnlyFile(const QString& path) {
    const DWORD attributes = GetFileAttributesW(native(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_READONLY);
}

FileContent readFile(const QString& path) {
    FileContent out;
    Handle h(CreateFileW(native(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
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
    const bool locked = lockRange(h.get(), kInPlaceLock, false, QDeadlineTimer(kReaderWaitMs));
    const bool read = locked && readAll(h.get(), out.bytes);
    if (locked) {
        unlockRange(h.get(), kInPlaceLock);
    }
    out.status = read ? FileContent::Ok : FileContent::IoError;
    return out; // identity left unknown: the cache compares content on every read here
}

ReplaceResult rewriteFile(const QString& path, const ContentEdit& edit) {
    const QString target = finalTarget(path);
    const QDeadlineTimer deadline(fileWriteTuning().lockWaitMs);
    for (int round = 0;; ++round) {
        if (round > 0 && deadline.hasExpired()) {
            return ReplaceResult::Busy;
        }
        const DWORD attributes = GetFileAttributesW(native(target).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (GetLastError() != ERROR_FILE_NOT_FOUND) {
                return errorResult(GetLastError());
            }
            const std::optional<QByteArray> bytes = edit(nullptr);
            if (!bytes) {
                return ReplaceResult::Unchanged;
            }
            DWORD error = 0;
            const QString beside = writeBeside(target, *bytes, error);
            if (beside.isEmpty()) {
                return errorResult(error);
            }
            if (MoveFileExW(native(beside).c_str(), native(target).c_str(), MOVEFILE_WRITE_THROUGH)) {
                return ReplaceResult::Replaced; // never over a file: without MOVEFILE_REPLACE_EXISTING
            }
            error = GetLastError();
            DeleteFileW(native(beside).c_str());
            if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
                continue; // made meanwhile: start again with it
            }
            return errorResult(error);
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            return ReplaceResult::NotAFile;
        }
        if (attributes & FILE_ATTRIBUTE_READONLY) {
            return ReplaceResult::ReadOnly;
        }
        Handle file(CreateFileW(native(target).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.ok()) {
            if (GetLastError() == ERROR_FILE_NOT_FOUND) {
                continue;
            }
            return errorResult(GetLastError());
        }
        if (!lockRange(file.get(), kWritersLock, true, deadline)) {
            return ReplaceResult::Busy;
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
        QByteArray current;
        if (!readAll(file.get(), current)) {
            return ReplaceResult::Failed;
        }
        const std::optional<QByteArray> bytes = edit(&current);
        if (!bytes) {
            return ReplaceResult::Unchanged;
        }
        if (locked.nNumberOfLinks == 1) {
            DWORD error = 0;
            const QString beside = writeBeside(target, *bytes, error);
            if (!beside.isEmpty()) {
                if (ReplaceFileW(native(target).c_str(), native(beside).c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
                    return ReplaceResult::Replaced;
                }
                DeleteFileW(native(beside).c_str());
                return ReplaceResult::Failed;
            }
            if (error != ERROR_ACCESS_DENIED) {
                return errorResult(error);
            }
            // A folder that may not be written: in place.
        }
        return writeInPlace(file.get(), qint64(current.size()), *bytes, deadline);
    }
}

} // namespace qm
