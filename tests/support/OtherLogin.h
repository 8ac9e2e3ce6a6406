#pragma once

// Another login's files, for tests of what the tool does with names that another login planted in
// a folder both may write. Only root can give a file to another login: where the tests do not run
// as root, those rows are skipped.

#include <QFile>
#include <QString>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qm::test {

// The login whose files these are: "nobody".
inline constexpr unsigned kOtherUid = 65534;

inline bool canPlayOtherLogin() {
#ifdef Q_OS_WIN
    return false;
#else
    return ::geteuid() == 0;
#endif
}

// Gives `path` itself (a link, not its target) to the other login.
inline bool giveToOtherLogin(const QString& path) {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return false;
#else
    return ::lchown(QFile::encodeName(path).constData(), kOtherUid, kOtherUid) == 0;
#endif
}

// A symbolic link at `link` to `target`, made by the other login when `foreign`.
inline bool makeLink(const QString& target, const QString& link, bool foreign) {
    return QFile::link(target, link) && (!foreign || giveToOtherLogin(link));
}

} // namespace qm::test
