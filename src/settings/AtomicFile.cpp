// The POSIX side of AtomicFile.h (AtomicFileWin.cpp is the Windows side). Names are opened
// relative to the folder's descriptor, and temporary files get short names of their own, so a
// file whose name or path is as long as the system allows is written like any other.

#include "settings/AtomicFile.h"

#include "settings/FileLocks.h"
#include "settings/FileWrites.h"
#include "settings/SafePath.h"

#include <QDeadlineTimer>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

namespace {

qint64 nanos(const struct timespec& t) {
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

FileIdentity identityFrom(const struct stat& st) {
    return {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size),
            nanos(st.st_mtim), nanos(st.st_ctim), 1};
}

using posix::createNew;
using posix::done;
using posix::failure;
using posix::Fd;
using posix::LockKind;
using posix::readAll;
using posix::replaceBeside;
using posix::sameFile;
using posix::sweepOnce;
using posix::writeInPlace;

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

namespace {

// What is to become of a file: its new content (`edit`), or its removal (`removeIf`).
struct Change {
    const ContentEdit* edit = nullptr;
    const RemoveIf* removeIf = nullptr;
};

// The change of the file `name` of the folder `dir`, which the caller has locked. nullopt: the
// name changed under writers that take no lock, and is to be looked at again.
std::optional<WriteResult> rewriteLocked(int dir, const QByteArray& name, const QString& file,
                                         const Change& change, qint64 maxBytes,
                                         const QDeadlineTimer& deadline) {
    struct stat st {};
    if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT) {
            return failure(errno);
        }
        if (change.removeIf) {
            return done(ReplaceResult::Unchanged); // nothing to remove
        }
        const std::optional<QByteArray> bytes = (*change.edit)(nullptr);
        if (!bytes) {
            return done(ReplaceResult::Unchanged);
        }
        return createNew(dir, name.constData(), *bytes); // nullopt: made meanwhile
    }
    if (S_ISLNK(st.st_mode)) {
        return std::nullopt; // made a link meanwhile: followed or refused as any
    }
    if (!S_ISREG(st.st_mode)) {
        return done(ReplaceResult::NotAFile);
    }
    if ((st.st_mode & 0222) == 0) {
        return done(ReplaceResult::ReadOnly);
    }
    const Fd opened(::openat(dir, name.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!opened.ok()) {
        return errno == ENOENT || errno == ELOOP ? std::nullopt : std::optional(failure(errno));
    }
    if (const int error = posix::lockFairly(opened.get(), LockKind::Writers, deadline, file)) {
        return failure(error);
    }
    struct stat locked {};
    struct stat named {};
    struct stat folder {};
    if (::fstat(opened.get(), &locked) != 0 || ::fstat(dir, &folder) != 0) {
        return failure(errno);
    }
    if (::fstatat(dir, name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(locked, named)) {
        return std::nullopt; // replaced while we waited (a writer on another machine): lock the new one
    }
    // Another name of the file may lie anywhere: written only in this login's own folder.
    if (QString why = posix::refusedLinks(file, locked, folder); !why.isEmpty()) {
        return WriteResult{ReplaceResult::Refused, std::move(why)};
    }
    if (locked.st_size > maxBytes) {
        return WriteResult{ReplaceResult::TooLarge, QString::number(qint64(locked.st_size))};
    }
    QByteArray current;
    if (!readAll(opened.get(), locked.st_size, maxBytes, current)) {
        return failure(errno);
    }
    if (current.size() > maxBytes) {
        return WriteResult{ReplaceResult::TooLarge, QString::number(current.size())};
    }
    if (change.removeIf) {
        if (!(*change.removeIf)(current)) {
            return done(ReplaceResult::Unchanged);
        }
        // Removed under the locks: a writer waiting for them finds the name gone, and starts again.
        if (::unlinkat(dir, name.constData(), 0) != 0 || (fileWriteTuning().sync && ::fsync(dir) != 0)) {
            return failure(errno);
        }
        return done(ReplaceResult::Replaced);
    }
    const std::optional<QByteArray> bytes = (*change.edit)(&current);
    if (!bytes) {
        return done(ReplaceResult::Unchanged);
    }
    if (locked.st_nlink == 1) {
        if (auto replaced = replaceBeside(dir, name.constData(), locked, *bytes)) {
            return *replaced;
        }
    }
    return writeInPlace(opened.get(), locked.st_size, *bytes, deadline, file);
}

// An open file and its folder, reached as SafePath.h says.
struct Opened {
    Fd folder;
    Fd file;
    struct stat folderStat {};
    struct stat fileStat {};
    QByteArray name;
};

// The problem of a name that could not be opened to be read, or nullopt when `out` was opened.
std::optional<FileContent> openToRead(const QString& path, Opened& out) {
    FileContent problem;
    for (int attempt = 0; attempt < 3; ++attempt) {
        posix::SafePath safe = posix::resolve(path);
        if (!safe.refused.isEmpty()) {
            problem.status = FileContent::Refused;
            problem.detail = safe.refused;
            return problem;
        }
        if (safe.error != 0) {
            problem.status =
                safe.error == ENOENT || safe.error == ENOTDIR ? FileContent::Missing : FileContent::Denied;
            return problem;
        }
        out.name = safe.name;
        out.folder = std::move(safe.dir);
        out.file.reset(::openat(out.folder.get(), safe.name.constData(),
                                O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
        const int error = out.file.ok() ? 0 : errno;
        struct stat named {};
        if (error == ELOOP ||
            (error == 0 &&
             (::fstat(out.file.get(), &out.fileStat) != 0 ||
              ::fstatat(out.folder.get(), safe.name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
              !sameFile(out.fileStat, named) || ::fstat(out.folder.get(), &out.folderStat) != 0))) {
            continue; // a link or another file put there meanwhile: looked at again
        }
        if (error != 0) {
            problem.status = error == ENOENT || error == ENOTDIR ? FileContent::Missing : FileContent::Denied;
            return problem;
        }
        return std::nullopt;
    }
    problem.status = FileContent::Refused;
    problem.detail = QStringLiteral("%1 kept changing while it was opened").arg(path);
    return problem;
}

} // namespace

FileContent readFile(const QString& path, qint64 maxBytes) {
    Opened opened;
    if (std::optional<FileContent> problem = openToRead(path, opened)) {
        return std::move(*problem);
    }
    FileContent out;
    const struct stat& before = opened.fileStat;
    if (!S_ISREG(before.st_mode)) {
        out.status = S_ISDIR(before.st_mode) ? FileContent::IsFolder : FileContent::NotAFile;
        return out;
    }
    out.detail = posix::refusedLinks(path, before, opened.folderStat);
    if (!out.detail.isEmpty()) {
        out.status = FileContent::Refused;
        return out;
    }
    if (before.st_size > maxBytes) {
        out.status = FileContent::TooLarge;
        out.size = before.st_size;
        return out;
    }
    const int fd = opened.file.get();
    // Held until the descriptor closes: a write in place waits for this read, and this read for it.
    const int error =
        posix::lockFairly(fd, LockKind::Reading, QDeadlineTimer(fileWriteTuning().readWaitMs), path);
    if (error != 0) {
        out.status = error == ECANCELED     ? FileContent::Cancelled
                     : error == EWOULDBLOCK ? FileContent::Busy
                                            : FileContent::IoError;
        out.detail =
            out.status == FileContent::IoError ? QString::fromLocal8Bit(std::strerror(error)) : QString();
        return out;
    }
    // A file that grew past the limit since it was looked at is not read past it.
    if (!readAll(fd, before.st_size, maxBytes + 1, out.bytes)) {
        out.status = FileContent::IoError;
        out.detail = QString::fromLocal8Bit(std::strerror(errno));
        out.bytes.clear();
        return out;
    }
    if (out.bytes.size() > maxBytes) {
        out.status = FileContent::TooLarge;
        out.size = out.bytes.size();
        out.bytes.clear();
        return out;
    }
    struct stat after {};
    out.status = FileContent::Ok;
    if (::fstat(fd, &after) == 0 && identityFrom(after) == identityFrom(before)) {
        out.identity = identityFrom(before);
    }
    return out;
}

namespace {

WriteResult changeFile(const QString& path, const Change& change, qint64 maxBytes) {
    const QDeadlineTimer deadline(fileWriteTuning().lockWaitMs);
    for (int round = 0;; ++round) {
        if (round > 0 && deadline.hasExpired()) {
            return done(ReplaceResult::Busy); // the file kept changing under writers that take no lock
        }
        posix::SafePath safe = posix::resolve(path);
        if (!safe.refused.isEmpty()) {
            return {ReplaceResult::Refused, safe.refused};
        }
        if (safe.error != 0) {
            const bool missing = safe.error == ENOENT || safe.error == ENOTDIR;
            return !missing          ? failure(safe.error)
                   : change.removeIf ? done(ReplaceResult::Unchanged)
                                     : done(ReplaceResult::FolderMissing);
        }
        const QString file = QFile::decodeName(safe.folder + '/' + safe.name);
        const Fd dir = std::move(safe.dir);
        if (const int error = posix::lockFairly(dir.get(), LockKind::Writers, deadline, file)) {
            return failure(error);
        }
        sweepOnce(dir.get(), safe.folder);
        if (const std::optional<WriteResult> result =
                rewriteLocked(dir.get(), safe.name, file, change, maxBytes, deadline)) {
            return *result;
        }
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
