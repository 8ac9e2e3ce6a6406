#include "act/standin/StandinEvent.h"

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
    m_seen = m_watch.fresh();
    m_attached = true;
    watchPaths();
    m_poll.start();
    return m_seen.running && m_seen.registered && m_seen.databaseOpen() ? 1 : 0;
}

void StandinEvent::Operation2() {
    m_attached = false;
    m_poll.stop();
    const QStringList watched = m_files.files() + m_files.directories();
    if (!watched.isEmpty()) {
        m_files.removePaths(watched);
    }
}

bool StandinEvent::Operation3() {
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
    // A handler may detach or delete this control: nothing is touched after an event is raised.
    if (before.running && (!now.running || now.runSerial != before.runSerial)) {
        Q_EMIT OnActUserWantsToClose(0);
        return;
    }
    if (before.databaseOpen() && (!now.databaseOpen() || now.openSerial != before.openSerial)) {
        Q_EMIT OnDatabaseClose();
    }
}

} // namespace qm::act::standin
