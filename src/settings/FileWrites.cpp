// The POSIX side of AtomicFile.h, its writing (see FileWrites.h).

#include "settings/FileWrites.h"

#include "settings/FileLocks.h"
#include "settings/LargePages.h"

#include <QMutex>
#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <time.h>

namespace qm::posix {

namespace {

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

} // namespace

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

bool readAll(int fd, qint64 sizeHint, qint64 limit, QByteArray& out) {
    // Read straight into the content's room: one byte more than the size, to see a file that grew.
    out.clear();
    out.resize(qsizetype(std::min(sizeHint, limit) + 1));
    adviseLargePages(out.data(), out.size());
    qint64 offset = 0;
    while (offset <= limit) {
        if (offset == out.size()) { // it grew: more room, up to the limit
            out.resize(qsizetype(std::min(limit + 1, offset + std::max<qint64>(offset / 2, 65536))));
        }
        const ssize_t n = ::pread(fd, out.data() + offset, size_t(out.size() - offset), offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        offset += n;
    }
    out.truncate(qsizetype(offset));
    return true;
}

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

} // namespace qm::posix
