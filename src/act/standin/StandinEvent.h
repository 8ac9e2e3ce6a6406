#pragma once

// ACT!'s event control over the stand-in: once attached by Operation1 it watches the session
// file and raises OnDatabaseClose when the open database is closed and OnActUserWantsToClose
// when ACT!'s user quits.

#include "act/ActObjects.h"
#include "act/standin/StandinSession.h"

#include <QFileSystemWatcher>
#include <QTimer>

namespace qm::act::standin {

class StandinEvent : public ActEvent {
    Q_OBJECT
public:
    explicit StandinEvent(const QString& home, QObject* parent = nullptr);

    std::int32_t Operation1(std::int32_t flags) override;
    void Operation2() override;
    bool Operation3() override;

    // How often the session is looked at besides the file watch (editors and file replacements
    // can break a watch).
    static constexpr int kPollMs = 250;

private:
    void watchPaths();
    void check();

    SessionWatch m_watch;
    Session m_seen;
    bool m_attached = false;
    QFileSystemWatcher m_files;
    QTimer m_poll;
};

} // namespace qm::act::standin
