#include "settings/SafePath.h"

#include "platform/FileOwner.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
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
    int hops = 0;
    while (!pending.empty()) {
        const QByteArray part = pending.front();
        pending.pop_front();
        if (part == "..") {
            done.truncate(std::max<qsizetype>(0, done.lastIndexOf('/')));
            continue;
        }
        const QByteArray next = done + '/' + part;
        struct stat st {};
        if (::lstat(next.constData(), &st) != 0) {
            const int error = errno;
            if (error == ENOENT && onlyDots(pending)) {
                return {orRoot(done), part, 0, {}}; // a file to be made
            }
            return {orRoot(done), part, error, {}};
        }
        if (S_ISLNK(st.st_mode)) {
            if (const std::optional<QString> login = otherLoginOf(QFile::decodeName(next))) {
                return {orRoot(done), part, 0, linkMadeBy(QFile::decodeName(next), *login)};
            }
            QByteArray target(PATH_MAX + 1, Qt::Uninitialized);
            const ssize_t n = ::readlink(next.constData(), target.data(), size_t(target.size()));
            if (++hops > kMaxHops || n < 0 || n >= target.size()) {
                return {orRoot(done), part, n < 0 ? errno : ELOOP, {}};
            }
            target.truncate(n);
            if (target.startsWith('/')) {
                done.clear();
            }
            pushFront(pending, target);
            continue;
        }
        if (!onlyDots(pending) && !S_ISDIR(st.st_mode)) {
            return {orRoot(done), part, ENOTDIR, {}};
        }
        done = next;
    }
    const qsizetype slash = done.lastIndexOf('/');
    if (slash < 0) {
        return {QByteArray("/"), QByteArray("."), 0, {}}; // the root itself
    }
    return {orRoot(done.left(slash)), done.mid(slash + 1), 0, {}};
}

} // namespace qm::posix
