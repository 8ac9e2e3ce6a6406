#include "settings/FileLocks.h"

#include "settings/LockWait.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>

namespace qm::posix {

namespace {

// Record locks of the open file (not of the process), so that they do not mix with the writers'
// whole-file locks.
#ifdef F_OFD_SETLK
constexpr int kRecordLock = F_OFD_SETLK;
constexpr int kRecordLockWait = F_OFD_SETLKW;
#else
constexpr int kRecordLock = F_SETLK;
constexpr int kRecordLockWait = F_SETLKW;
#endif

// One try: waiting in the kernel when `wait`, else failing at once when the lock is held.
int attempt(int fd, LockKind kind, bool wait) {
    if (kind == LockKind::Writers) {
        return ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)) == 0 ? 0 : errno;
    }
    struct flock lock {};
    lock.l_type = kind == LockKind::Reading ? F_RDLCK : F_WRLCK;
    lock.l_whence = SEEK_SET; // start 0, length 0: the whole file
    return ::fcntl(fd, wait ? kRecordLockWait : kRecordLock, &lock) == 0 ? 0 : errno;
}

// Held by another: EWOULDBLOCK and EAGAIN (and EACCES for a record lock) from a try, EINTR from
// a wait that was cut short, EDEADLK from a process lock that another process's wait crosses.
bool held(int error) {
    return error == EWOULDBLOCK || error == EAGAIN || error == EACCES || error == EINTR || error == EDEADLK;
}

#ifdef SIGEV_THREAD_ID
#ifndef sigev_notify_thread_id
#define sigev_notify_thread_id _sigev_un._tid
#endif

void onSliceEnd(int) {}

// A real-time signal that nothing else of the tool uses, whose handler does nothing, installed
// without SA_RESTART: arriving in a blocked lock call, it ends the call with EINTR.
int sliceSignal() {
    static const int signal = [] {
        const int s = SIGRTMIN + 5;
        struct sigaction action {};
        action.sa_handler = onSliceEnd;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(s, &action, nullptr);
        return s;
    }();
    return signal;
}

// A timer of the calling thread that signals it after `ms`, and every 2 ms after that, in case
// the first signal came before the blocking call began.
class SliceTimer {
public:
    explicit SliceTimer(int ms) {
        const int signal = sliceSignal();
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, signal);
        ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
        struct sigevent event {};
        event.sigev_notify = SIGEV_THREAD_ID;
        event.sigev_signo = signal;
        event.sigev_notify_thread_id = ::gettid();
        m_created = ::timer_create(CLOCK_MONOTONIC, &event, &m_timer) == 0;
        if (m_created) {
            struct itimerspec when {};
            when.it_value = {ms / 1000, (ms % 1000) * 1'000'000L};
            when.it_interval = {0, 2'000'000L};
            m_armed = ::timer_settime(m_timer, 0, &when, nullptr) == 0;
        }
    }
    ~SliceTimer() {
        if (m_created) {
            ::timer_delete(m_timer);
        }
    }
    SliceTimer(const SliceTimer&) = delete;
    SliceTimer& operator=(const SliceTimer&) = delete;
    bool armed() const { return m_armed; }

private:
    timer_t m_timer{};
    bool m_created = false;
    bool m_armed = false;
};
#endif

// Waits in the kernel for the lock for at most `ms`: 0, or the errno of the try (EINTR when the
// slice ended first).
int attemptWithin(int fd, LockKind kind, int ms) {
#ifdef SIGEV_THREAD_ID
    const SliceTimer timer(ms);
    if (timer.armed()) {
        return attempt(fd, kind, true);
    }
#endif
    // No timer to end a blocking call here: a try, and a pause of the slice when it failed.
    const int error = attempt(fd, kind, false);
    if (error != 0 && held(error)) {
        ::usleep(useconds_t(ms) * 1000);
    }
    return error;
}

} // namespace

int lockFairly(int fd, LockKind kind, const QDeadlineTimer& deadline, const QString& file) {
    int error = attempt(fd, kind, false);
    while (error == EINTR) {
        error = attempt(fd, kind, false);
    }
    if (error == 0 || !held(error)) {
        return error;
    }
    LockWait wait(file, deadline);
    while (const int ms = wait.nextSlice()) {
        error = attemptWithin(fd, kind, ms);
        if (error == 0 || !held(error)) {
            return error;
        }
    }
    return wait.cancelled() ? ECANCELED : EWOULDBLOCK;
}

void unlockRecord(int fd) {
    struct flock unlock {};
    unlock.l_type = F_UNLCK;
    unlock.l_whence = SEEK_SET;
    ::fcntl(fd, kRecordLock, &unlock);
}

} // namespace qm::posix
