// The Windows side of ChangeLogFiles.h. A link (any reparse point) in the log folder is never
// followed, neither to read nor to append: on Windows only administrators make links, and the
// tool makes none. The append's lock is a byte range far past the end of the file, where no read
// or write ever goes (as in AtomicFileWin.cpp).

#include "settings/AtomicFile.h"
#include "settings/ChangeLogFiles.h"
#include "settings/WinHandle.h"
#include "settings/WinLocks.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>

#include <windows.h>

namespace qm::changelog::files {

namespace {

constexpr int kAppendWaitMs = 2000;
constexpr DWORD kAppendLock = 0xFFFFFFF2;

using win::Handle;
using win::native;

QString errorText(DWORD error) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const QString out = text ? QString::fromWCharArray(text).trimmed() : QString::number(error);
    LocalFree(text);
    return out;
}

AppendResult openError(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return AppendResult::ReadOnly;
    case ERROR_PATH_NOT_FOUND:
        return AppendResult::NoFolder;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return AppendResult::Busy;
    default:
        return AppendResult::Failed;
    }
}

bool isLink(const QString& path) {
    const DWORD attributes = GetFileAttributesW(native(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

} // namespace

AppendOutcome append(const QString& folder, const QString& fileName, const QByteArray& bytes) {
    const QString path = QDir(folder).filePath(fileName);
    if (!QFileInfo(QFileInfo(folder).absolutePath()).isDir()) {
        return {AppendResult::NoFolder, path, QString()};
    }
    CreateDirectoryW(native(folder).c_str(), nullptr); // inherits the settings folder's access rights
    if (isLink(folder) || isLink(path)) {
        return {AppendResult::NotOurs, path, QString()};
    }
    const Handle file(CreateFileW(native(path).c_str(), FILE_READ_DATA | FILE_APPEND_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.ok()) {
        const DWORD error = GetLastError();
        return {openError(error), path, errorText(error)};
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info)) {
        return {AppendResult::Failed, path, errorText(GetLastError())};
    }
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks != 1 || GetFileType(file.get()) != FILE_TYPE_DISK) {
        return {AppendResult::NotOurs, path, QString()};
    }
    // The append's lock, waited for in the range's queue (WinLocks.h), so that appends of this
    // user take turns fairly.
    const Handle locks(win::lockHandle(native(path)));
    if (!locks.ok() || win::lockRange(locks.get(), kAppendLock, true, QDeadlineTimer(kAppendWaitMs), path) !=
                           win::Locked::Yes) {
        return {AppendResult::Busy, path, QString()};
    }
    LARGE_INTEGER size{};
    GetFileSizeEx(file.get(), &size);
    QByteArray out;
    if (size.QuadPart > 0) {
        char last = '\n';
        OVERLAPPED at{};
        at.Offset = DWORD((size.QuadPart - 1) & 0xFFFFFFFF);
        at.OffsetHigh = DWORD((size.QuadPart - 1) >> 32);
        DWORD read = 0;
        if (!ReadFile(file.get(), &last, 1, &read, &at) || read != 1) {
            last = '\n';
        }
        if (last != '\n') {
            out += '\n'; // a torn record is closed by a line end, so the reader skips it alone
        }
    }
    out += bytes;
    DWORD written = 0;
    const bool ok = WriteFile(file.get(), out.constData(), DWORD(out.size()), &written, nullptr) &&
                    written == DWORD(out.size()) && (!fileWriteTuning().sync || FlushFileBuffers(file.get()));
    const DWORD error = ok ? 0 : GetLastError();
    win::unlockRange(locks.get(), kAppendLock);
    if (!ok) {
        return {AppendResult::Failed, path, errorText(error)};
    }
    return {AppendResult::Appended, path, QString()};
}

QStringList names(const QString& folder, QStringList& problems) {
    QStringList paths;
    const QFileInfo info(folder);
    if (!info.exists() && !info.isSymLink()) {
        return paths;
    }
    if (isLink(folder)) {
        problems << QDir::toNativeSeparators(folder) + QStringLiteral(": a link");
        return paths;
    }
    if (!info.isDir()) { // something else at the log's name is said, not read as an empty log
        problems << QDir::toNativeSeparators(folder) + QStringLiteral(": not a folder");
        return paths;
    }
    for (const QString& name :
         QDir(folder).entryList({QStringLiteral("*.log")}, QDir::Files | QDir::System, QDir::Name)) {
        paths << QDir(folder).filePath(name);
    }
    return paths;
}

QString login() {
    wchar_t name[257];
    DWORD size = 257;
    if (GetUserNameW(name, &size) && size > 0) {
        return QString::fromWCharArray(name, int(size) - 1);
    }
    return qEnvironmentVariable("USERNAME");
}

} // namespace qm::changelog::files
