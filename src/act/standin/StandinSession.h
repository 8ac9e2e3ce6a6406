#pragma once

// The session of the ACT! stand-in: what a running ACT! knows (is it running, which database is
// open, who the current user is, which field that user stands in, whether its automation is
// registered, the auxiliary commands). Kept as a small JSON file in the stand-in's home folder,
// written whole by replacing the file, so a reader never sees half a session.

#include <QMap>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace qm::act::standin {

class SessionLock;

inline constexpr int kViewCount = 6;

// Captions of ACT!'s views 1 to 6.
QString viewName(int view);

struct AuxCommand {
    QString name;
    QString commandLine;
    QString folder;
    QString menuText;
    QString toolTip;
    QString icon;
    QString icon32;
    std::int32_t kind = 0;
};

struct Session {
    bool running = false;
    QString database;              // absolute path of the open database; empty when none is open
    int currentUser = 0;           // position in the users of the open database
    std::int32_t currentField = 0; // field ID
    bool registered = true;        // automation registered
    // Raised by every start of ACT! and by every database opened, so that a watcher tells a
    // database closed and opened again from one that stayed open.
    std::int64_t runSerial = 0;
    std::int64_t openSerial = 0;
    QMap<QString, AuxCommand> auxCommands;         // registered commands by name
    std::array<QStringList, kViewCount> toolbar;   // names per view 1..6
    std::array<QStringList, kViewCount> toolsMenu; // names per view 1..6

    bool databaseOpen() const { return running && !database.isEmpty(); }

    QByteArray toJson() const;
    // nullopt when the text is not a session.
    static std::optional<Session> fromJson(const QByteArray& json);
};

// Identity of a file's current version: it changes whenever the file is replaced or written.
struct FileStamp {
    bool exists = false;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const QString& path);

// The session file of one home folder.
class SessionStore {
public:
    explicit SessionStore(QString home);

    const QString& home() const { return m_home; }
    QString sessionPath() const;

    // The session; a missing file is a session that is not running. Raises StandinError for a
    // file that cannot be read or is not a session.
    Session load() const;
    // Writes the session whole (creating the home folder); raises StandinError on failure.
    void save(const Session& session) const;

    // Reads, changes and writes the session under a lock, so that two writers lose neither
    // change. `change` may raise; nothing is written then.
    template <typename Change> Session update(Change change) const {
        Lock lock(*this);
        Session s = load();
        change(s);
        save(s);
        return s;
    }

private:
    class Lock {
    public:
        explicit Lock(const SessionStore& store);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        std::unique_ptr<SessionLock> m_lock;
    };

    QString m_home;
};

// A session read again only when its file changed; cheap to ask many times in a row.
class SessionWatch {
public:
    explicit SessionWatch(QString home);
    // The session as the file says now. A file that cannot be read counts as not running.
    const Session& fresh();
    // Like fresh(), but looks at the file at most once every few milliseconds: for the
    // collections' member calls, asked thousands of times in a row.
    const Session& recent();
    const SessionStore& store() const { return m_store; }

private:
    SessionStore m_store;
    Session m_session;
    FileStamp m_stamp;
    std::int64_t m_checkedAtNs = -1;
};

} // namespace qm::act::standin
