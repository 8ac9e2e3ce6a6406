#pragma once

// The lock that lets one process at a time change the stand-in's session, as one running ACT!
// serialises its users' changes.

#include <QString>

#include <chrono>
#include <memory>

class QLockFile;

namespace qm::act::standin {

class SessionLock {
public:
    enum class Result {
        Locked,
        Held,   // another process kept it for the whole bound
        Failed, // the lock file could not be made or opened
    };

    explicit SessionLock(QString path);
    ~SessionLock(); // gives the lock back
    SessionLock(const SessionLock&) = delete;
    SessionLock& operator=(const SessionLock&) = delete;

    // Waits for the lock at most `bound`.
    Result lock(std::chrono::milliseconds bound);

private:
    QString m_path;
#ifdef Q_OS_UNIX
    int m_fd = -1;
#else
    std::unique_ptr<QLockFile> m_file;
#endif
};

} // namespace qm::act::standin
