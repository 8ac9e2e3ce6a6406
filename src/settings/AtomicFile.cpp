// The POSIX side of AtomicFile.h (AtomicFileWin.cpp is the Windows side). Names are opened
// relative to the folder's descriptor, and temporary files get short names of their own, so a
// file whose name or path is as long as the system allows is written like any other.

#include "settings/AtomicFile.h"

#include "settings/FileLocks.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace qm {

namespace {

class Fd {
public:
    explicit Fd(int fd = -1)
        : m_fd(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }

private:
    int m_fd;
};

qint64 nanos(const struct timespec& t) {
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileIdentity identityFrom(const struct stat& st) {
    return {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size),
            nanos(st.st_mtim), nanos(st.st_ctim), 1};
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

using posix::LockKind;

// What a failed call means for a change of a file.
WriteResult failure(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return {ReplaceResult::ReadOnly, {}};
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return {ReplaceResult::DiskFull, {}};
    case EWOULDBLOCK:
        return {ReplaceResult::Busy, {}};
    case ECANCELED:
        return {ReplaceResult::Cancelled, {}};
    default:
        return {ReplaceResult::Failed, QString::fromLocal8Bit(std::strerror(error))};
    }
}

WriteResult done(ReplaceResult result) {
    return {result, {}};
}

bool readAll(int fd, qint64 sizeHint, QByteArray& out) {
    out.clear();
    out.reserve(sizeHint + 1);
    char buffer[65536];
    qint64 offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        out.append(buffer, n);
        offset += n;
    }
}

bool writeAll(int fd, const QByteArray& bytes, qint64 at = 0) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), at + done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            errno = n == 0 ? EIO : errno;
            return false;
        }
        done += n;
    }
    return true;
}

bool flush(int fd) {
    return !fileWriteTuning().sync || ::fsync(fd) == 0;
}

// A file made beside the target, deleted again unless it was published.
class Beside {
public:
    Beside(int dir, mode_t mode)
        : m_dir(dir) {
        for (int attempt = 0; attempt < 16 && !m_fd.ok(); ++attempt) {
            m_name = ".qm" + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".tmp";
            m_fd.reset(::openat(dir, m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
            if (!m_fd.ok() && errno != EEXIST) {
                break;
            }
        }
        m_error = m_fd.ok() ? 0 : errno;
    }
    ~Beside() {
        if (!m_published && m_fd.ok()) {
            ::unlinkat(m_dir, m_name.constData(), 0);
        }
    }
    Beside(const Beside&) = delete;
    Beside& operator=(const Beside&) = delete;

    int fd() const { return m_fd.get(); }
    int error() const { return m_error; }
    const char* name() const { return m_name.constData(); }
    void published() { m_published = true; }

private:
    int m_dir;
    Fd m_fd;
    QByteArray m_name;
    int m_error = 0;
    bool m_published = false;
};

// Gives `name` the content `bytes` through a file beside it. nullopt: that would change what the
// file is (another owner or group), so it is to be written in place.
std::optional<WriteResult> replaceBeside(int dir, const char* name, const struct stat& old,
                                         const QByteArray& bytes) {
    Beside beside(dir, 0600);
    if (beside.error() == EACCES || beside.error() == EPERM) {
        return std::nullopt; // a folder that may not be written: in place, as Windows would
    }
    if (beside.error() != 0) {
        return failure(beside.error());
    }
    struct stat made {};
    if (::fstat(beside.fd(), &made) != 0) {
        return failure(errno);
    }
    if ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
        ::fchown(beside.fd(), old.st_uid, old.st_gid) != 0) {
        return std::nullopt;
    }
    if (::fchmod(beside.fd(), old.st_mode & 07777) != 0 || !writeAll(beside.fd(), bytes) ||
        !flush(beside.fd()) || ::renameat(dir, beside.name(), dir, name) != 0) {
        return failure(errno);
    }
    beside.published();
    flush(dir);
    return done(ReplaceResult::Replaced);
}

WriteResult writeInPlace(int fd, qint64 oldSize, const QByteArray& bytes, const QDeadlineTimer& deadline,
                         const QString& file) {
    if (const int error = posix::lockFairly(fd, LockKind::WritingInPlace, deadline, file)) {
        return failure(error);
    }
    // What goes past the old end is written first: no room (a full disk, a quota, a size limit)
    // then fails before a byte of the old content is overwritten.
    const qint64 common = std::min<qint64>(oldSize, bytes.size());
    bool ok = writeAll(fd, bytes.mid(common), common);
    int error = ok ? 0 : errno;
    if (!ok) {
        ::ftruncate(fd, oldSize);
    }
    if (ok && !(writeAll(fd, bytes.left(common), 0) && ::ftruncate(fd, bytes.size()) == 0 && flush(fd))) {
        ok = false;
        error = errno;
    }
    posix::unlockRecord(fd);
    return ok ? done(ReplaceResult::Replaced) : failure(error);
}

// A new file in a folder that its group may write is made for the group: it takes the folder's
// group (as a folder with the set-group-ID bit gives it anyway) and the group may read and write
// it. Where the file cannot have the folder's group, it gets no more rights than the umask gave.
void shareWithFolderGroup(int dir, int fd) {
    struct stat folder {};
    struct stat made {};
    if (::fstat(dir, &folder) != 0 || !(folder.st_mode & S_IWGRP) || ::fstat(fd, &made) != 0) {
        return;
    }
    if (made.st_gid != folder.st_gid && (::fchown(fd, uid_t(-1), folder.st_gid) != 0 ||
                                         ::fstat(fd, &made) != 0 || made.st_gid != folder.st_gid)) {
        return;
    }
    ::fchmod(fd, (made.st_mode & 07777) | S_IRGRP | S_IWGRP);
}

// Publishes a new file under `name` without ever replacing one that appeared meanwhile. nullopt:
// one did; the caller starts again with it.
std::optional<WriteResult> createNew(int dir, const char* name, const QByteArray& bytes) {
    Beside beside(dir, 0666); // the mode a new file gets from the umask, as any program's
    if (beside.error() != 0) {
        return failure(beside.error());
    }
    shareWithFolderGroup(dir, beside.fd());
    if (!writeAll(beside.fd(), bytes) || !flush(beside.fd())) {
        return failure(errno);
    }
#ifdef RENAME_NOREPLACE
    if (::renameat2(dir, beside.name(), dir, name, RENAME_NOREPLACE) == 0) {
        beside.published();
        flush(dir);
        return done(ReplaceResult::Replaced);
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno == EEXIST ? std::nullopt : std::optional(failure(errno));
    }
#endif
    // No such renaming on this disk: a second name is made only where none exists, and the
    // name beside goes (the destructor removes it).
    if (::linkat(dir, beside.name(), dir, name, 0) != 0) {
        if (errno == EEXIST) {
            return std::nullopt;
        }
        if ((errno != EPERM && errno != EOPNOTSUPP) || ::renameat(dir, beside.name(), dir, name) != 0) {
            return failure(errno);
        }
        beside.published(); // no hard links on this disk either: renamed under our folder lock
    }
    flush(dir);
    return done(ReplaceResult::Replaced);
}

// A file beside that a killed writer left: one of our names, unchanged for a while. Removed by the
// first write of a process into the folder, under the folder's lock.
void sweepOnce(int dir, const QByteArray& folder) {
    static QMutex mutex;
    static std::set<QByteArray> swept;
    {
        QMutexLocker lock(&mutex);
        if (!swept.insert(folder).second) {
            return;
        }
    }
    DIR* listing = ::fdopendir(::dup(dir));
    if (!listing) {
        return;
    }
    const time_t oldest = ::time(nullptr) - 600;
    while (const struct dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        struct stat st {};
        if (name.startsWith(".qm") && name.endsWith(".tmp") &&
            ::fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            st.st_mtime < oldest) {
            ::unlinkat(dir, entry->d_name, 0);
        }
    }
    ::closedir(listing);
}

} // namespace

FileWriteTuning& fileWriteTuning() {
    static FileWriteTuning tuning;
    return tuning;
}

FileIdentity identityOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        return {};
    }
    return identityFrom(st);
}

QString finalTarget(const QString& path) {
    QString current = QFileInfo(path).absoluteFilePath();
    for (int hops = 0; hops < 40; ++hops) { // the system's own limit on a chain
        const QByteArray native = QFile::encodeName(current);
        struct stat st {};
        if (::lstat(native.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return current;
        }
        QByteArray target(qsizetype(st.st_size > 0 ? st.st_size : 4096) + 1, Qt::Uninitialized);
        const ssize_t n = ::readlink(native.constData(), target.data(), size_t(target.size()));
        if (n < 0 || n >= target.size()) {
            return current;
        }
        target.truncate(n);
        current =
            QDir::cleanPath(QFileInfo(current).absoluteDir().absoluteFilePath(QFile::decodeName(target)));
    }
    return current;
}

bool isReadOnlyFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    return ::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           ((st.st_mode & 0222) == 0 || ::access(native.constData(), W_OK) != 0);
}

FileContent readFile(const QString& path) {
    FileContent out;
    const Fd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.ok()) {
        out.status = errno == ENOENT || errno == ENOTDIR ? FileContent::Missing : FileContent::Denied;
        return out;
    }
    struct stat before {};
    if (::fstat(fd.get(), &before) != 0) {
        out.status = FileContent::IoError;
        out.detail = QString::fromLocal8Bit(std::strerror(errno));
        return out;
    }
    if (!S_ISREG(before.st_mode)) {
        out.status = S_ISDIR(before.st_mode) ? FileContent::IsFolder : FileContent::NotAFile;
        return out;
    }
    // Held until the descriptor closes: a write in place waits for this read, and this read for it.
    const int error =
        posix::lockFairly(fd.get(), LockKind::Reading, QDeadlineTimer(fileWriteTuning().readWaitMs), path);
    if (error != 0) {
        out.status = error == ECANCELED     ? FileContent::Cancelled
                     : error == EWOULDBLOCK ? FileContent::Busy
                                            : FileContent::IoError;
        out.detail =
            out.status == FileContent::IoError ? QString::fromLocal8Bit(std::strerror(error)) : QString();
        return out;
    }
    if (!readAll(fd.get(), before.st_size, out.bytes)) {
        out.status = FileContent::IoError;
        out.detail = QString::fromLocal8Bit(std::strerror(errno));
        out.bytes.clear();
        return out;
    }
    struct stat after {};
    out.status = FileContent::Ok;
    if (::fstat(fd.get(), &after) == 0 && identityFrom(after) == identityFrom(before)) {
        out.identity = identityFrom(before);
    }
    return out;
}

WriteResult rewriteFile(const QString& path, const ContentEdit& edit) {
    const QFileInfo target(finalTarget(path));
    const QString file = target.absoluteFilePath();
    const QByteArray name = QFile::encodeName(target.fileName());
    const Fd dir(
        ::open(QFile::encodeName(target.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.ok()) {
        return errno == ENOENT || errno == ENOTDIR ? done(ReplaceResult::FolderMissing) : failure(errno);
    }
    const QDeadlineTimer deadline(fileWriteTuning().lockWaitMs);
    if (const int error = posix::lockFairly(dir.get(), LockKind::Writers, deadline, file)) {
        return failure(error);
    }
    sweepOnce(dir.get(), QFile::encodeName(target.absolutePath()));
    for (int round = 0;; ++round) {
        if (round > 0 && deadline.hasExpired()) {
            return done(ReplaceResult::Busy); // the file kept changing under writers that take no lock
        }
        struct stat st {};
        if (::fstatat(dir.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                return failure(errno);
            }
            const std::optional<QByteArray> bytes = edit(nullptr);
            if (!bytes) {
                return done(ReplaceResult::Unchanged);
            }
            if (const auto created = createNew(dir.get(), name.constData(), *bytes)) {
                return *created;
            }
            continue; // made meanwhile by a writer that does not take our locks
        }
        if (!S_ISREG(st.st_mode)) {
            return done(ReplaceResult::NotAFile);
        }
        if ((st.st_mode & 0222) == 0) {
            return done(ReplaceResult::ReadOnly);
        }
        const Fd opened(::openat(dir.get(), name.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!opened.ok()) {
            if (errno == ENOENT) {
                continue;
            }
            return failure(errno);
        }
        if (const int error = posix::lockFairly(opened.get(), LockKind::Writers, deadline, file)) {
            return failure(error);
        }
        struct stat locked {};
        struct stat named {};
        if (::fstat(opened.get(), &locked) != 0) {
            return failure(errno);
        }
        if (::fstatat(dir.get(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !sameFile(locked, named)) {
            continue; // replaced while we waited (a writer on another machine): lock the new one
        }
        QByteArray current;
        if (!readAll(opened.get(), locked.st_size, current)) {
            return failure(errno);
        }
        const std::optional<QByteArray> bytes = edit(&current);
        if (!bytes) {
            return done(ReplaceResult::Unchanged);
        }
        if (locked.st_nlink == 1) {
            if (auto replaced = replaceBeside(dir.get(), name.constData(), locked, *bytes)) {
                return *replaced;
            }
        }
        return writeInPlace(opened.get(), locked.st_size, *bytes, deadline, file);
    }
}

} // namespace qm
