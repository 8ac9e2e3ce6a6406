#include "settings/SafePath.h"

#include "platform/FileOwner.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace qm::posix {

namespace {

constexpr int kMaxHops = 40; // the system's own limit on a chain of links

void pushFront(std::deque<QByteArray>& pending, const QByteArray& path) {
    const QList<QByteArray> parts = path.split('/');
    for (auto it = parts.crbegin(); it != parts.crend(); ++it) {
        if (!it->isEmpty() && *it != ".") {
            pending.push_front(*it);
        }
    }
}

bool onlyDots(const std::deque<QByteArray>& pending) {
    for (const QByteArray& part : pending) {
        if (part != ".") {
            return false;
        }
    }
    return true;
}

QByteArray orRoot(const QByteArray& folder) {
    return folder.isEmpty() ? QByteArray("/") : folder;
}

// The folder `name` of `at` itself, to be walked from, never through a link.
Fd openPath(int at, const char* name) {
    return Fd(::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

// `name` of the folder `folder`, reached as `at`, which is opened again for reading.
SafePath inFolder(const QByteArray& folder, const QByteArray& name, const Fd& at) {
    SafePath out;
    out.folder = folder;
    out.name = name;
    out.dir.reset(at.ok() ? ::openat(at.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1);
    out.error = out.dir.ok() ? 0 : errno;
    return out;
}

} // namespace

bool ownFolder(const struct stat& folder) {
    return folder.st_uid == ::geteuid() && (folder.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

QString refusedLinks(const QString& path, const struct stat& file, const struct stat& folder) {
    if (!S_ISREG(file.st_mode) || file.st_nlink <= 1 || ownFolder(folder)) {
        return {};
    }
    return QStringLiteral("%1 has %2 names (hard links) in a folder that other logins may write")
        .arg(path)
        .arg(qulonglong(file.st_nlink));
}

SafePath resolve(const QString& path) {
    QByteArray input = QFile::encodeName(path);
    if (!input.startsWith('/')) {
        char* cwd = ::getcwd(nullptr, 0);
        input = QByteArray(cwd ? cwd : "") + '/' + input;
        std::free(cwd);
    }
    std::deque<QByteArray> pending;
    pushFront(pending, input);
    QByteArray done; // resolved so far, no link in it; empty: the root
    Fd at = openPath(AT_FDCWD, "/");
    const auto failed = [&](const QByteArray& part, int error) {
        SafePath out;
        out.folder = orRoot(done);
        out.name = part;
        out.error = error;
        return out;
    };
    int hops = 0;
    while (at.ok() && !pending.empty()) {
        const QByteArray part = pending.front();
        pending.pop_front();
        if (part == "..") {
            done.truncate(std::max<qsizetype>(0, done.lastIndexOf('/')));
            at = openPath(at.get(), "..");
            continue;
        }
        const QByteArray next = done + '/' + part;
        Fd item(::openat(at.get(), part.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (!item.ok() || ::fstat(item.get(), &st) != 0) {
            const int error = errno;
            if (error == ENOENT && onlyDots(pending)) {
                return inFolder(orRoot(done), part, at); // a file to be made
            }
            return failed(part, error);
        }
        if (S_ISLNK(st.st_mode)) {
            // Who made it and where it leads, both of the link that was opened.
            if (const std::optional<QString> login = otherLoginOfOwner(st.st_uid)) {
                SafePath out = failed(part, 0);
                out.refused = linkMadeBy(QFile::decodeName(next), *login);
                return out;
            }
            QByteArray target(PATH_MAX + 1, Qt::Uninitialized);
            const ssize_t n = ::readlinkat(item.get(), "", target.data(), size_t(target.size()));
            if (++hops > kMaxHops || n < 0 || n >= target.size()) {
                return failed(part, n < 0 ? errno : ELOOP);
            }
            target.truncate(n);
            if (target.startsWith('/')) {
                done.clear();
                at = openPath(AT_FDCWD, "/");
            }
            pushFront(pending, target);
            continue;
        }
        if (onlyDots(pending)) {
            return inFolder(orRoot(done), part, at);
        }
        if (!S_ISDIR(st.st_mode)) {
            return failed(part, ENOTDIR);
        }
        done = next;
        at = std::move(item);
    }
    if (!at.ok()) {
        return failed(QByteArray(), errno);
    }
    // The path ended in "..": the folder it names, in its own folder.
    const qsizetype slash = done.lastIndexOf('/');
    if (slash < 0) {
        return inFolder(QByteArray("/"), QByteArray("."), at); // the root itself
    }
    const Fd parent = openPath(at.get(), "..");
    return inFolder(orRoot(done.left(slash)), done.mid(slash + 1), parent);
}

} // namespace qm::posix
