#include "act/standin/StandinEvent.h"

#include "act/standin/StandinBackend.h"

#include <QDir>
#include <QFileInfo>

namespace qm::act::standin {

StandinEvent::StandinEvent(const QString& home, QObject* parent)
    : ActEvent(parent)
    , m_watch(home) {
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &StandinEvent::check);
    connect(&m_files, &QFileSystemWatcher::fileChanged, this, &StandinEvent::check);
    connect(&m_files, &QFileSystemWatcher::directoryChanged, this, &StandinEvent::check);
}

std::int32_t StandinEvent::Operation1(std::int32_t /*flags*/) {
    automationCall();
    m_seen = m_watch.fresh();
    m_attached = true;
    watchPaths();
    m_poll.start();
    return m_seen.running && m_seen.registered && m_seen.databaseOpen() ? 1 : 0;
}

void StandinEvent::Operation2() {
    automationCall();
    m_attached = false;
    m_poll.stop();
    const QStringList watched = m_files.files() + m_files.directories();
    if (!watched.isEmpty()) {
        m_files.removePaths(watched);
    }
}

bool StandinEvent::Operation3() {
    automationCall();
    const Session& s = m_watch.fresh();
    return s.running && !s.registered;
}

void StandinEvent::watchPaths() {
    // The folder sees the session file replaced; the file itself sees it written in place.
    const QString home = m_watch.store().home();
    const QString file = m_watch.store().sessionPath();
    if (!m_files.directories().contains(home) && QFileInfo(home).isDir()) {
        m_files.addPath(home);
    }
    if (!m_files.files().contains(file) && QFileInfo::exists(file)) {
        m_files.addPath(file);
    }
}

void StandinEvent::check() {
    if (!m_attached) {
        return;
    }
    watchPaths();
    const Session now = m_watch.fresh();
    const Session before = m_seen;
    m_seen = now;
    enum class Raise { None, UserWantsToClose, DatabaseClose };
    Raise what = Raise::None;
    if (before.running && (!now.running || now.runSerial != before.runSerial)) {
        what = Raise::UserWantsToClose;
    } else if (before.databaseOpen() && (!now.databaseOpen() || now.openSerial != before.openSerial)) {
        what = Raise::DatabaseClose;
    }
    if (what == Raise::None) {
        return;
    }
    // Raised from the event loop, not from inside the file watch or the timer: a handler may
    // detach this control or delete it. Detached meanwhile, nothing is raised.
    QTimer::singleShot(0, this, [this, what] {
        if (!m_attached) {
            return;
        }
        if (what == Raise::UserWantsToClose) {
            Q_EMIT OnActUserWantsToClose(0);
        } else {
            Q_EMIT OnDatabaseClose();
        }
    });
}

} // namespace qm::act::standin
