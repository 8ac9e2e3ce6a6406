// The POSIX side of ChangeLogFiles.h. The log folder is reached as the settings files are (SafePath.h:
// never through a link another login made) and every name in it relative to it.

#include "settings/AtomicFile.h"
#include "settings/ChangeLogFiles.h"
#include "settings/FileLocks.h"
#include "settings/SafePath.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace qm::changelog::files {

namespace {

// How long an append waits for another program of this login that appends to the same file
// (which takes microseconds).
constexpr int kAppendWaitMs = 2000;

using posix::Fd;

QString errorText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

AppendOutcome outcome(AppendResult result, const QString& path, int error = 0) {
    return {result, path, error ? errorText(error) : QString()};
}

AppendResult openError(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return AppendResult::ReadOnly;
    case ELOOP:
    case ENXIO:
    case EISDIR:
        return AppendResult::NotOurs;
    case ENOENT:
    case ENOTDIR:
        return AppendResult::NoFolder;
    default:
        return AppendResult::Failed;
    }
}

// The log folder, made when missing: writable for the group when the settings folder is (so
// that administrators who share it can each add a file of their own), with its group; opened as
// the settings files' folders are.
Fd openFolder(const QString& folder, AppendResult& result, int& error) {
    struct stat parent {};
    if (::stat(QFile::encodeName(QFileInfo(folder).absolutePath()).constData(), &parent) != 0 ||
        !S_ISDIR(parent.st_mode)) {
        result = AppendResult::NoFolder;
        return Fd();
    }
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0777) == 0 && (parent.st_mode & S_IWGRP) != 0) {
        ::chmod(native.constData(), 0775 | (parent.st_mode & S_ISGID)); // past the umask
    }
    posix::SafePath safe = posix::resolve(QDir(folder).filePath(QStringLiteral("_")));
    if (!safe.refused.isEmpty()) {
        result = AppendResult::NotOurs;
        return Fd();
    }
    if (safe.error != 0) {
        error = safe.error;
        result = error == ENOTDIR ? AppendResult::NotOurs : openError(error);
        return Fd();
    }
    return std::move(safe.dir);
}

// The file's lock, waited for in the kernel's queue (FileLocks.h), so that appends of this login
// take turns fairly.
bool lockFile(int fd, const QString& path) {
    const int error = posix::lockFairly(fd, posix::LockKind::Writers, QDeadlineTimer(kAppendWaitMs), path);
    // A share without locks: the file has one writer per login and machine (see ChangeLog.h), so
    // the record is appended all the same rather than lost.
    return error == 0 || error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS;
}

bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

AppendOutcome append(const QString& folder, const QString& fileName, const QByteArray& bytes) {
    const QString path = QDir(folder).filePath(fileName);
    AppendResult result = AppendResult::Failed;
    int error = 0;
    const Fd dir = openFolder(folder, result, error);
    if (!dir.ok()) {
        return outcome(result, path, error);
    }
    const QByteArray name = QFile::encodeName(fileName);
    // Never through a link, never blocking on a FIFO.
    const Fd file(::openat(dir.get(), name.constData(),
                           O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!file.ok()) {
        error = errno;
        return outcome(openError(error), path, error == ELOOP ? 0 : error);
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) {
        return outcome(AppendResult::Failed, path, errno);
    }
    // Only this login's own file, with no other name it could be reached by.
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) {
        return outcome(AppendResult::NotOurs, path);
    }
    if (!lockFile(file.get(), path)) {
        return outcome(AppendResult::Busy, path);
    }
    // Under the lock: the size now, and whether the last record ended (a torn one is closed by a
    // line end, so the reader skips it alone).
    if (::fstat(file.get(), &st) != 0) {
        return outcome(AppendResult::Failed, path, errno);
    }
    QByteArray out;
    char last = '\n';
    if (st.st_size > 0 && ::pread(file.get(), &last, 1, st.st_size - 1) != 1) {
        return outcome(AppendResult::Failed, path, errno);
    }
    if (last != '\n') {
        out += '\n';
    }
    out += bytes;
    if (!writeAll(file.get(), out.constData(), out.size()) ||
        (fileWriteTuning().sync && ::fsync(file.get()) != 0)) {
        error = errno;
        if (::ftruncate(file.get(), st.st_size) != 0) { // no half record is left behind
            error = errno;
        }
        return outcome(AppendResult::Failed, path, error);
    }
    return outcome(AppendResult::Appended, path);
}

QStringList names(const QString& folder, QStringList& problems) {
    QStringList paths;
    posix::SafePath safe = posix::resolve(QDir(folder).filePath(QStringLiteral("_")));
    if (!safe.refused.isEmpty()) {
        problems << QDir::toNativeSeparators(folder) + QStringLiteral(": ") + safe.refused;
        return paths;
    }
    if (safe.error != 0) {
        if (safe.error != ENOENT) { // no log yet; anything else at its name is said
            problems << QDir::toNativeSeparators(folder) + QStringLiteral(": ") + errorText(safe.error);
        }
        return paths;
    }
    DIR* listing = ::fdopendir(safe.dir.release());
    if (!listing) {
        problems << QDir::toNativeSeparators(folder) + QStringLiteral(": ") + errorText(errno);
        return paths;
    }
    while (const struct dirent* entry = ::readdir(listing)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name.endsWith(QStringLiteral(".log")) && !name.startsWith(QLatin1Char('.'))) {
            paths << QDir(folder).filePath(name);
        }
    }
    ::closedir(listing);
    std::sort(paths.begin(), paths.end());
    return paths;
}

QString login() {
    // Asked at every record: the name is looked up again only when the effective user changed.
    thread_local uid_t known = uid_t(-1);
    thread_local QString name;
    const uid_t uid = ::geteuid();
    if (uid == known && !name.isEmpty()) {
        return name;
    }
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name) {
        name = QString::fromLocal8Bit(found->pw_name);
    } else {
        name = QString::number(uid);
    }
    known = uid;
    return name;
}

} // namespace qm::changelog::files
