#include "act/standin/SessionLock.h"

#include <QFile>
#include <QLockFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>
#endif

namespace qm::act::standin {

SessionLock::SessionLock(QString path)
    : m_path(std::move(path)) {}

#ifdef Q_OS_UNIX

namespace {

// One wait for the lock, shared by the caller and the thread that waits in the kernel.
struct Wait {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool abandoned = false; // the caller's bound passed first
    int fd = -1;
    int error = 0;
};

} // namespace

// The waiter queues in the kernel (a blocking flock) rather than trying again after pauses: a
// process that takes the lock briefly and often cannot overtake a waiting one again and again,
// which under load made a queue of short-lived users give up. The blocking call runs on a thread
// of its own so that the wait stays bounded; a lock the thread gets after the caller gave up is
// given back at once.
SessionLock::Result SessionLock::lock(std::chrono::milliseconds bound) {
    const auto wait = std::make_shared<Wait>();
    std::thread([wait, name = QFile::encodeName(m_path)] {
        int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
        int error = fd < 0 ? errno : 0;
        while (fd >= 0 && ::flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                error = errno;
                ::close(fd);
                fd = -1;
            }
        }
        const std::lock_guard guard(wait->mutex);
        if (wait->abandoned) {
            if (fd >= 0) {
                ::close(fd);
            }
            return;
        }
        wait->fd = fd;
        wait->error = error;
        wait->done = true;
        wait->ended.notify_one();
    }).detach();

    std::unique_lock guard(wait->mutex);
    if (!wait->ended.wait_for(guard, bound, [&] { return wait->done; })) {
        wait->abandoned = true;
        return Result::Held;
    }
    if (wait->fd < 0) {
        return Result::Failed;
    }
    m_fd = wait->fd;
    return Result::Locked;
}

SessionLock::~SessionLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

#else

SessionLock::Result SessionLock::lock(std::chrono::milliseconds bound) {
    m_file = std::make_unique<QLockFile>(m_path);
    m_file->setStaleLockTime(10000);
    if (m_file->tryLock(int(bound.count()))) {
        return Result::Locked;
    }
    return m_file->error() == QLockFile::LockFailedError ? Result::Held : Result::Failed;
}

SessionLock::~SessionLock() = default;

#endif

} // namespace qm::act::standin
