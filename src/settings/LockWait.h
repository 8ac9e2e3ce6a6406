#pragma once

// Waiting for another program that holds a settings file. A reader or writer that finds the file
// held waits in the kernel's lock queue, never asleep beside it, in slices of kLockWaitSliceMs:
// between two slices the hook of the waiting thread hears how the wait goes, so a window can
// show that it waits and let the administrator give up. The storage itself shows nothing: the
// hook is set by whoever shows windows (the editor wires it to the platform's wait service).

#include <QDeadlineTimer>
#include <QString>

namespace qm {

inline constexpr int kLockWaitSliceMs = 50;

class LockWaitHook {
public:
    virtual ~LockWaitHook() = default;
    // A read or write of `file` has to wait for another program.
    virtual void waitingStarted(const QString& file) = 0;
    // Asked between two slices of the wait: true gives the wait up (the change does not land).
    virtual bool cancelAsked() = 0;
    // The wait is over: the lock was had, the time ran out or the wait was given up.
    virtual void waitingEnded() = 0;
};

// The hook of this thread's waits; nullptr (the start) makes them silent. Returns the previous one.
LockWaitHook* setLockWaitHook(LockWaitHook* hook);

// One wait for one lock, until `deadline`: tells the hook when it starts and when it ends.
class LockWait {
public:
    LockWait(const QString& file, const QDeadlineTimer& deadline);
    ~LockWait();
    LockWait(const LockWait&) = delete;
    LockWait& operator=(const LockWait&) = delete;

    // How long the next try may block, in ms; 0 when the wait is over (the deadline passed, or a
    // cancel was asked).
    int nextSlice();
    bool cancelled() const { return m_cancelled; }

private:
    QString m_file;
    QDeadlineTimer m_deadline;
    LockWaitHook* m_hook = nullptr;
    bool m_started = false;
    bool m_cancelled = false;
};

} // namespace qm
