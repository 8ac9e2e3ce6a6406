#pragma once

// The kernel locks that the POSIX side of AtomicFile.h takes, each waited for fairly and for a
// bounded time (POSIX only).
//
// A waiter blocks in the kernel's own wait for the lock, never asleep beside it: when the holder
// lets go, the kernel wakes every waiter at once and one of them has it, so a writer that is
// merely faster cannot overtake a waiting one again and again, as it could one that polls and
// sleeps between tries. The blocking call is cut into slices (a timer of the waiting thread ends
// it with a signal), and between two slices the thread's LockWaitHook hears how the wait goes.

#include <QDeadlineTimer>
#include <QString>

namespace qm::posix {

enum class LockKind {
    Writers,        // the writers' lock of a folder or a file: whole-file, exclusive (flock)
    Reading,        // a reader's record lock, shared
    WritingInPlace, // the record lock of a write in place, exclusive
};

// Takes the lock on `fd` for `file`: 0 when had; EWOULDBLOCK when the deadline passed first,
// ECANCELED when the hook gave the wait up, another errno when the lock cannot be had at all.
int lockFairly(int fd, LockKind kind, const QDeadlineTimer& deadline, const QString& file);

// Lets go of a record lock (Reading or WritingInPlace) before the descriptor closes.
void unlockRecord(int fd);

} // namespace qm::posix
