#pragma once

// Another login's files, for tests of what the tool does with names that another login planted in
// a folder both may write. Only root can give a file to another login ("nobody"): where the tests
// do not run as root, those rows are skipped.

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace qm::test {

inline bool canPlayOtherLogin() {
    return ::geteuid() == 0;
}

// Gives `path` itself (a link, not its target) to the other login.
inline bool giveToOtherLogin(const QString& path) {
    return ::lchown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
}

// A symbolic link at `link` to `target`, made by the other login when `foreign`.
inline bool makeLink(const QString& target, const QString& link, bool foreign) {
    return QFile::link(target, link) && (!foreign || giveToOtherLogin(link));
}

} // namespace qm::test
