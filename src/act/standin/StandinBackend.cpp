#include "act/standin/StandinBackend.h"

#include "act/standin/StandinActions.h"
#include "act/standin/StandinDatabase.h"
#include "act/standin/StandinEvent.h"
#include "act/standin/StandinSession.h"
#include "platform/VbError.h"

#include <QDir>
#include <QStandardPaths>

#include <algorithm>
#include <future>
#include <optional>

namespace qm::act::standin {

namespace {

using WatchPtr = std::shared_ptr<SessionWatch>;

[[noreturn]] void raiseClosed() {
    throw VbError(static_cast<int>(VbErr::AutomationError), QStringLiteral("ACT! has no database open"));
}

[[noreturn]] void raiseStandin(const StandinError& e) {
    throw VbError(static_cast<int>(VbErr::AutomationError), e.message());
}

// The running ACT! an object was made by: once it stops, every call fails as a call to a server
// that went away does.
class RunLink {
public:
    RunLink(WatchPtr watch, std::int64_t runSerial)
        : m_watch(std::move(watch))
        , m_runSerial(runSerial) {}

    const Session& alive(bool fresh = true) const {
        const Session& s = fresh ? m_watch->fresh() : m_watch->recent();
        if (!s.running || s.runSerial != m_runSerial) {
            raise(VbErr::ServerUnavailable);
        }
        return s;
    }
    const WatchPtr& watch() const { return m_watch; }
    std::int64_t runSerial() const { return m_runSerial; }

private:
    WatchPtr m_watch;
    std::int64_t m_runSerial;
};

using LoadedPtr = std::shared_ptr<const LoadedDatabase>;

// A running ACT! has its open database in memory before any tool asks for it. The stand-in
// plays that by reading the open database beside the tool's own start, from the moment the
// backend is made; a database object takes that copy when it is still the file ACT! has open.
class Preload {
public:
    explicit Preload(const Session& s) {
        if (s.running && s.databaseOpen()) {
            m_path = s.database;
            m_stamp = stampOf(m_path);
            m_contents = std::async(std::launch::async, [path = m_path] {
                return std::make_shared<const LoadedDatabase>(readDatabase(path));
            });
        }
    }
    // The preloaded copy of `path`, or null when it is another file, has changed since, or
    // could not be read (the caller then reads it itself and reports what is wrong).
    LoadedPtr take(const QString& path) {
        if (!m_contents.valid() || path != m_path || stampOf(path) != m_stamp) {
            return nullptr;
        }
        try {
            return m_contents.get();
        } catch (const StandinError&) {
            return nullptr;
        }
    }

private:
    QString m_path;
    FileStamp m_stamp;
    std::shared_future<LoadedPtr> m_contents;
};

using PreloadPtr = std::shared_ptr<Preload>;

// The database one ACT! database object is bound to, read into memory on first use and shared
// by its contact table, fields and users.
class DatabaseLink {
public:
    DatabaseLink(RunLink run, PreloadPtr preload)
        : m_run(std::move(run))
        , m_preload(std::move(preload)) {}

    // Binds to the database ACT! has open now.
    void bind() {
        const Session& s = m_run.alive();
        if (!s.databaseOpen()) {
            raiseClosed();
        }
        m_openSerial = s.openSerial;
        m_path = s.database;
        m_loaded.reset();
    }
    const Session& open(bool fresh = false) {
        if (m_openSerial < 0) {
            bind();
        }
        const Session& s = m_run.alive(fresh);
        if (!s.databaseOpen() || s.openSerial != m_openSerial) {
            raiseClosed();
        }
        return s;
    }
    const LoadedDatabase& db(bool fresh = false) {
        open(fresh);
        if (!m_loaded && m_preload) {
            m_loaded = m_preload->take(m_path);
        }
        if (!m_loaded) {
            try {
                m_loaded = std::make_shared<const LoadedDatabase>(readDatabase(m_path));
            } catch (const StandinError& e) {
                raiseStandin(e);
            }
        }
        return *m_loaded;
    }
    const RunLink& run() const { return m_run; }

private:
    RunLink m_run;
    std::int64_t m_openSerial = -1;
    QString m_path;
    PreloadPtr m_preload;
    LoadedPtr m_loaded;
};

using DbPtr = std::shared_ptr<DatabaseLink>;

// Counts a member call whose answer is `answer`.
template <typename T> T counted(T answer) {
    automationCall();
    return answer;
}

// The number in a call's text argument, as QString::toInt reads the trimmed text; nullopt when
// there is none. Plain digits, thousands of them in a start-up, are read without Qt's locale code.
std::optional<std::int32_t> numberArgument(const QString& text) {
    if (!text.isEmpty() && text.size() <= 9 &&
        std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
        std::int32_t n = 0;
        for (const QChar c : text) {
            n = n * 10 + (c.unicode() - u'0');
        }
        return n;
    }
    bool ok = false;
    const std::int32_t n = text.trimmed().toInt(&ok);
    return ok ? std::optional<std::int32_t>(n) : std::nullopt;
}

template <typename Vector> const auto& at(const Vector& v, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= v.size()) {
        raise(VbErr::SubscriptOutOfRange);
    }
    return v[static_cast<std::size_t>(index)];
}

class ContactView : public ActContactView {
public:
    explicit ContactView(RunLink run)
        : m_run(std::move(run)) {}
    std::int32_t CurrentFieldID() override {
        automationCall();
        const Session& s = m_run.alive();
        if (!s.databaseOpen()) {
            raiseClosed();
        }
        return s.currentField;
    }

private:
    RunLink m_run;
};

class Views : public ActViews {
public:
    explicit Views(RunLink run)
        : m_run(std::move(run)) {}
    std::shared_ptr<ActContactView> Create(std::int32_t /*viewType*/, const QString& /*name*/) override {
        automationCall();
        m_run.alive();
        return std::make_shared<ContactView>(m_run);
    }

private:
    RunLink m_run;
};

class App : public ActApp {
public:
    explicit App(RunLink run)
        : m_run(std::move(run)) {}
    void OpenFile(const QString& path) override {
        automationCall();
        m_run.alive();
        if (path.isEmpty()) {
            return; // an empty name keeps the database that is open
        }
        try {
            openDatabase(m_run.watch()->store(), path);
        } catch (const StandinError& e) {
            raiseStandin(e);
        }
    }
    std::shared_ptr<ActViews> Views() override {
        automationCall();
        m_run.alive();
        return std::make_shared<standin::Views>(m_run);
    }
    QString GetOpenDBName() override { return counted(QDir::toNativeSeparators(m_run.alive().database)); }
    void Command(std::int16_t command) override {
        automationCall();
        m_run.alive();
        if (command != 150) {
            return; // other menu commands change nothing the tool sees
        }
        try {
            quitAct(m_run.watch()->store());
        } catch (const StandinError& e) {
            raiseStandin(e);
        }
    }

private:
    RunLink m_run;
};

class Fields : public ActFields {
public:
    explicit Fields(DbPtr db)
        : m_db(std::move(db)) {}
    std::int32_t Count() override { return counted(m_db->db().fieldCount()); }
    std::int32_t ID(std::int16_t slot) override { return counted(at(m_db->db().contents().slots, slot).id); }
    QString Label(std::int16_t slot) override { return counted(at(m_db->db().contents().slots, slot).label); }
    std::int32_t EntryRule(const QString& fieldId) override {
        automationCall();
        const LoadedDatabase& db = m_db->db();
        const std::optional<std::int32_t> id = numberArgument(fieldId);
        std::int32_t rule = 0;
        if (!id || !db.entryRule(*id, rule)) {
            raise(VbErr::InvalidCall);
        }
        return rule;
    }

private:
    DbPtr m_db;
};

class ContactTable : public ActContactTable {
public:
    explicit ContactTable(DbPtr db)
        : m_db(std::move(db)) {}
    std::shared_ptr<ActFields> Fields() override {
        automationCall();
        m_db->open(true);
        return std::make_shared<standin::Fields>(m_db);
    }

private:
    DbPtr m_db;
};

class Users : public ActUsers {
public:
    explicit Users(DbPtr db)
        : m_db(std::move(db)) {}
    std::int32_t CurrentUserSecurity() override {
        automationCall();
        const Session& s = m_db->open(true);
        const int position = s.currentUser;
        return at(m_db->db().contents().users, position - 1).security;
    }
    // The current user of the session now: `act-standin user` changes it while the tool runs.
    QString CurrentUserName() override {
        automationCall();
        const int position = m_db->open(true).currentUser;
        return at(m_db->db().contents().users, position - 1).name;
    }
    std::int32_t Count() override {
        return counted(static_cast<std::int32_t>(m_db->db().contents().users.size()));
    }
    QString Name(std::int16_t position) override { return counted(user(position).name); }
    QString Security(std::int16_t position) override {
        return counted(QString::number(user(position).security));
    }
    QString Access(std::int16_t position) override { return counted(user(position).access); }
    QString UniqueID(const QString& position) override {
        automationCall();
        const std::optional<std::int32_t> p = numberArgument(position);
        if (!p) {
            raise(VbErr::TypeMismatch);
        }
        return user(*p).uniqueId;
    }

private:
    const UserRecord& user(int position) { return at(m_db->db().contents().users, position - 1); }
    DbPtr m_db;
};

class Database : public ActDatabase {
public:
    Database(RunLink run, PreloadPtr preload)
        : m_db(std::make_shared<DatabaseLink>(std::move(run), std::move(preload))) {}
    void OpenEx(const QString& path) override {
        automationCall();
        m_db->bind();
        if (!path.isEmpty() && QDir::cleanPath(QDir::fromNativeSeparators(path)) !=
                                   QDir::cleanPath(m_db->run().watch()->fresh().database)) {
            // This ACT! reaches only the database it has open.
            throw VbError(static_cast<int>(VbErr::AutomationError),
                          QStringLiteral("Not the database ACT! has open: ") + path);
        }
    }
    std::shared_ptr<ActContactTable> Contact() override {
        automationCall();
        m_db->open(true);
        return std::make_shared<ContactTable>(m_db);
    }
    std::shared_ptr<ActUsers> Users() override {
        automationCall();
        m_db->open(true);
        return std::make_shared<standin::Users>(m_db);
    }

private:
    DbPtr m_db;
};

// Installs and lists the auxiliary commands. Answers 0 on success, 1 on failure.
class AuxCmds : public ActAuxCmds {
public:
    explicit AuxCmds(RunLink run)
        : m_run(std::move(run)) {}

    std::int32_t AuxCommandExists(const QString& name) override {
        automationCall();
        return m_run.alive().auxCommands.contains(name) ? 1 : 0;
    }
    std::int32_t AuxCommandExistsInToolbar(std::int16_t view, const QString& name) override {
        automationCall();
        return inView(&Session::toolbar, view, name);
    }
    std::int32_t AuxCommandExistsInToolsMenu(std::int16_t view, const QString& name) override {
        automationCall();
        return inView(&Session::toolsMenu, view, name);
    }
    std::int32_t AddAuxCommandToToolbar(std::int16_t view, const QString& name) override {
        automationCall();
        return change(&Session::toolbar, view, name, true);
    }
    std::int32_t RemoveAuxCommandFromToolbar(std::int16_t view, const QString& name) override {
        automationCall();
        return change(&Session::toolbar, view, name, false);
    }
    std::int32_t AddAuxCommandToToolsMenu(std::int16_t view, const QString& name) override {
        automationCall();
        return change(&Session::toolsMenu, view, name, true);
    }
    std::int32_t RemoveAuxCommandFromToolsMenu(std::int16_t view, const QString& name) override {
        automationCall();
        return change(&Session::toolsMenu, view, name, false);
    }
    std::int32_t AddAuxCommand(const QString& name, const QString& commandLine, const QString& folder,
                               const QString& menuText, const QString& toolTip, const QString& icon,
                               const QString& icon32, std::int16_t kind) override {
        automationCall();
        m_run.alive();
        if (name.trimmed().isEmpty()) {
            return 1;
        }
        const AuxCommand command{name, commandLine, folder, menuText, toolTip, icon, icon32, kind};
        return update([&](Session& s) {
            s.auxCommands.insert(name, command);
            return true;
        });
    }

private:
    using Views = std::array<QStringList, kViewCount> Session::*;

    static bool validView(std::int16_t view) { return view >= 1 && view <= kViewCount; }

    std::int32_t inView(Views views, std::int16_t view, const QString& name) {
        const Session& s = m_run.alive();
        return validView(view) && (s.*views)[static_cast<std::size_t>(view - 1)].contains(name) ? 1 : 0;
    }

    std::int32_t change(Views views, std::int16_t view, const QString& name, bool add) {
        m_run.alive();
        if (!validView(view)) {
            return 1;
        }
        return update([&](Session& s) {
            QStringList& names = (s.*views)[static_cast<std::size_t>(view - 1)];
            if (!add) {
                names.removeAll(name);
                return true;
            }
            if (!s.auxCommands.contains(name)) {
                return false; // only a registered command can be placed
            }
            if (!names.contains(name)) {
                names << name;
            }
            return true;
        });
    }

    // Applies `edit` to the session under its lock; 0 when it succeeded, 1 otherwise.
    template <typename Edit> std::int32_t update(Edit edit) {
        bool ok = false;
        try {
            m_run.watch()->store().update([&](Session& s) {
                if (!s.running || s.runSerial != m_run.runSerial()) {
                    raise(VbErr::ServerUnavailable);
                }
                ok = edit(s);
            });
        } catch (const StandinError& e) {
            raiseStandin(e);
        }
        return ok ? 0 : 1;
    }

    RunLink m_run;
};

class Factory : public ObjectFactory {
public:
    explicit Factory(QString home)
        : m_home(std::move(home))
        , m_watch(std::make_shared<SessionWatch>(m_home))
        , m_preload(std::make_shared<Preload>(m_watch->fresh())) {}

    std::shared_ptr<ActObject> CreateObject(const QString& progId) override {
        automationCall();
        const Session& s = m_watch->fresh();
        if (!s.running || !s.registered) {
            raise(VbErr::CantCreateObject);
        }
        const RunLink run(m_watch, s.runSerial);
        if (progId.compare(kProgIdApp, Qt::CaseInsensitive) == 0) {
            return std::make_shared<App>(run);
        }
        if (progId.compare(kProgIdDatabase, Qt::CaseInsensitive) == 0) {
            return std::make_shared<Database>(run, m_preload);
        }
        if (progId.compare(kProgIdAuxCmds, Qt::CaseInsensitive) == 0) {
            return std::make_shared<AuxCmds>(run);
        }
        raise(VbErr::CantCreateObject);
    }

    std::unique_ptr<ActEvent> CreateEventControl() override { return std::make_unique<StandinEvent>(m_home); }

private:
    QString m_home;
    WatchPtr m_watch;
    PreloadPtr m_preload;
};

} // namespace

QString homeFolder() {
    const QString fromEnv = qEnvironmentVariable(kHomeVariable);
    if (!fromEnv.isEmpty()) {
        return QDir::cleanPath(QDir(fromEnv).absolutePath());
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/act-standin");
}

std::unique_ptr<ObjectFactory> makeFactory(const QString& home) {
    setCallDelayFromEnvironment();
    return std::make_unique<Factory>(home);
}

} // namespace qm::act::standin
