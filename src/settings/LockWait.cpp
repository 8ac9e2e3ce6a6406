#include "settings/LockWait.h"

#include <algorithm>

namespace qm {

namespace {
thread_local LockWaitHook* t_hook = nullptr;
}

LockWaitHook* setLockWaitHook(LockWaitHook* hook) {
    LockWaitHook* previous = t_hook;
    t_hook = hook;
    return previous;
}

LockWait::LockWait(const QString& file, const QDeadlineTimer& deadline)
    : m_file(file)
    , m_deadline(deadline) {}

LockWait::~LockWait() {
    if (m_started && m_hook) {
        m_hook->waitingEnded();
    }
}

int LockWait::nextSlice() {
    if (!m_started) {
        m_started = true;
        m_hook = t_hook;
        if (m_hook) {
            m_hook->waitingStarted(m_file);
        }
    } else if (m_hook && m_hook->cancelAsked()) {
        m_cancelled = true;
        return 0;
    }
    if (m_deadline.isForever()) {
        return kLockWaitSliceMs;
    }
    const qint64 left = m_deadline.remainingTime();
    return left <= 0 ? 0 : int(std::min<qint64>(left, kLockWaitSliceMs));
}

} // namespace qm
