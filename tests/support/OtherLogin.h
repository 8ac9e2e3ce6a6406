#pragma once

// Another login's files, for tests of what the tool does with names that another login planted in
// a folder both may write. Only root can give a file to another login ("nobody"): where the tests
// do not run as root, those rows are skipped.

#include <QFile>

#include <functional>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qm::test {

inline constexpr uid_t kNobody = 65534;

inline bool canPlayOtherLogin() {
    return ::geteuid() == 0;
}

// Gives `path` itself (a link, not its target) to the other login.
inline bool giveToOtherLogin(const QString& path) {
    return ::lchown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0;
}

// A symbolic link at `link` to `target`, made by the other login when `foreign`.
inline bool makeLink(const QString& target, const QString& link, bool foreign) {
    return QFile::link(target, link) && (!foreign || giveToOtherLogin(link));
}

// Runs `body` in a child process as the other login, of the group `group` only: true when the
// child could become that login and `body` returned true.
inline bool asOtherLogin(gid_t group, const std::function<bool()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        const bool became = ::setgroups(0, nullptr) == 0 && ::setresgid(group, group, group) == 0 &&
                            ::setresuid(kNobody, kNobody, kNobody) == 0;
        ::_exit(became && body() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// The same, of the other login's own group.
inline bool asOtherLogin(const std::function<bool()>& body) {
    return asOtherLogin(kNobody, body);
}

} // namespace qm::test
