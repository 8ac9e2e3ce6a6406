#pragma once

// Another login's files, for tests of what the tool does with names that another login planted in
// a folder both may write. Only root can give a file to another login ("nobody"): where the tests
// do not run as root, those rows are skipped.

#include <QFile>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
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

// While it lives, every FIFO in `folder` that a reader holds once `boundMs` have passed is opened
// for writing and closed again, so that a read that waits on a FIFO (which none may) ends, late,
// instead of hanging the test; unblocked() then says so.
class FifoUnblocker {
public:
    FifoUnblocker(const QString& folder, int boundMs)
        : m_folder(QFile::encodeName(folder))
        , m_thread([this, boundMs] {
            const auto start = std::chrono::steady_clock::now();
            while (!m_stop) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(boundMs))
                    unblockAll();
            }
        }) {}
    ~FifoUnblocker() {
        m_stop = true;
        m_thread.join();
    }
    FifoUnblocker(const FifoUnblocker&) = delete;
    FifoUnblocker& operator=(const FifoUnblocker&) = delete;
    bool unblocked() const { return m_unblocked; }

private:
    void unblockAll() {
        DIR* dir = ::opendir(m_folder.constData());
        if (!dir)
            return;
        while (const dirent* entry = ::readdir(dir)) {
            struct stat st {};
            if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
                !S_ISFIFO(st.st_mode))
                continue;
            // Opened without waiting: that succeeds only while a reader holds the FIFO.
            const int fd = ::openat(::dirfd(dir), entry->d_name, O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                m_unblocked = true;
                ::close(fd);
            }
        }
        ::closedir(dir);
    }

    const QByteArray m_folder;
    std::atomic<bool> m_stop = false;
    std::atomic<bool> m_unblocked = false;
    std::thread m_thread; // last: it starts once the rest is made
};

} // namespace qm::test
