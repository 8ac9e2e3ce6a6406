#include "act/standin/StandinDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <sqlite3.h>

#include <algorithm>

namespace qm::act::standin {

namespace {

const char kSchema[] =
    "CREATE TABLE fields (slot INTEGER PRIMARY KEY CHECK (slot >= 0), id INTEGER NOT NULL, "
    "label TEXT NOT NULL DEFAULT '', entry_rule INTEGER NOT NULL DEFAULT 0);"
    "CREATE TABLE users (position INTEGER PRIMARY KEY CHECK (position >= 1), "
    "name TEXT NOT NULL, security INTEGER NOT NULL, access TEXT NOT NULL DEFAULT '', "
    "unique_id TEXT NOT NULL);";

QString fileLabel(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// One open connection, closed on every road.
class Connection {
public:
    Connection(const QString& path, int flags) {
        const QByteArray name = QFile::encodeName(path);
        const int rc = sqlite3_open_v2(name.constData(), &m_db, flags, nullptr);
        if (rc != SQLITE_OK) {
            const QString why =
                m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close(m_db);
            m_db = nullptr;
            throw StandinError(fileLabel(path) + QStringLiteral(": cannot open the database (") + why +
                               QLatin1Char(')'));
        }
    }
    ~Connection() { sqlite3_close(m_db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return m_db; }
    QString lastError() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

    // Runs statements that return no rows; false on failure.
    bool exec(const char* sql) { return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

private:
    sqlite3* m_db = nullptr;
};

class Statement {
public:
    Statement(Connection& c, const char* sql) {
        if (sqlite3_prepare_v2(c.handle(), sql, -1, &m_stmt, nullptr) != SQLITE_OK) {
            m_stmt = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return m_stmt != nullptr; }
    sqlite3_stmt* handle() const { return m_stmt; }
    QString text(int column) const {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return data ? QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column)) : QString();
    }
    void bindText(int index, const QString& value) {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

[[noreturn]] void malformed(const QString& path, const QString& why) {
    throw StandinError(fileLabel(path) + QStringLiteral(": not a stand-in ACT! database (") + why +
                       QLatin1Char(')'));
}

bool fitsInt32(sqlite3_int64 v) {
    return v >= INT32_MIN && v <= INT32_MAX;
}

void readFields(Connection& c, const QString& path, DatabaseContents& out) {
    Statement q(c, "SELECT slot, id, label, entry_rule FROM fields ORDER BY slot");
    if (!q.ok()) {
        malformed(path, c.lastError());
    }
    QHash<std::int32_t, sqlite3_int64> seen;
    int rc;
    while ((rc = sqlite3_step(q.handle())) == SQLITE_ROW) {
        const sqlite3_int64 slot = sqlite3_column_int64(q.handle(), 0);
        const sqlite3_int64 id = sqlite3_column_int64(q.handle(), 1);
        const sqlite3_int64 rule = sqlite3_column_int64(q.handle(), 3);
        if (slot < 0 || slot > 1000000) {
            malformed(path, QStringLiteral("slot %1 is out of range").arg(slot));
        }
        if (!fitsInt32(id) || !fitsInt32(rule)) {
            malformed(path, QStringLiteral("slot %1 holds a value out of range").arg(slot));
        }
        if (id != -1) {
            if (seen.contains(static_cast<std::int32_t>(id))) {
                malformed(path, QStringLiteral("field ID %1 is in slots %2 and %3")
                                    .arg(id)
                                    .arg(seen.value(static_cast<std::int32_t>(id)))
                                    .arg(slot));
            }
            seen.insert(static_cast<std::int32_t>(id), slot);
        }
        // Slots missing from the table are empty slots.
        out.slots.resize(static_cast<std::size_t>(slot) + 1);
        FieldSlot& s = out.slots.back();
        s.id = static_cast<std::int32_t>(id);
        s.label = q.text(2);
        s.entryRule = static_cast<std::int32_t>(rule);
    }
    if (rc != SQLITE_DONE) {
        malformed(path, c.lastError());
    }
}

void readUsers(Connection& c, const QString& path, DatabaseContents& out) {
    Statement q(c, "SELECT position, name, security, access, unique_id FROM users ORDER BY position");
    if (!q.ok()) {
        malformed(path, c.lastError());
    }
    int rc;
    while ((rc = sqlite3_step(q.handle())) == SQLITE_ROW) {
        const sqlite3_int64 position = sqlite3_column_int64(q.handle(), 0);
        if (position != static_cast<sqlite3_int64>(out.users.size()) + 1) {
            malformed(path, QStringLiteral("user positions must run 1, 2, 3... without gaps"));
        }
        const sqlite3_int64 security = sqlite3_column_int64(q.handle(), 2);
        if (!fitsInt32(security)) {
            malformed(path, QStringLiteral("user %1 has a security level out of range").arg(position));
        }
        out.users.push_back({q.text(1), static_cast<std::int32_t>(security), q.text(3), q.text(4)});
    }
    if (rc != SQLITE_DONE) {
        malformed(path, c.lastError());
    }
}

// A fresh file name beside `path`, for writing before the final rename.
QString temporaryBeside(const QString& path) {
    return path + QStringLiteral(".") + QUuid::createUuid().toString(QUuid::Id128).left(12) +
           QStringLiteral(".tmp");
}

void checkTarget(const QString& path) {
    const QFileInfo info(path);
    if (info.exists()) {
        throw StandinError(fileLabel(path) + QStringLiteral(": the file exists already"));
    }
    if (!info.absoluteDir().exists()) {
        throw StandinError(fileLabel(path) + QStringLiteral(": the folder does not exist"));
    }
}

// Fills a temporary file with `fill`, then moves it into place without overwriting anything.
template <typename Fill> void writeAtomically(const QString& path, Fill fill) {
    checkTarget(path);
    const QString temp = temporaryBeside(path);
    try {
        {
            Connection c(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            c.exec("PRAGMA journal_mode=MEMORY");
            fill(c);
        }
        readDatabase(temp); // what was written must read back
    } catch (...) {
        QFile::remove(temp);
        throw;
    }
    if (!QFile::rename(temp, path)) {
        QFile::remove(temp);
        throw StandinError(fileLabel(path) + QStringLiteral(": cannot create the file"));
    }
}

[[noreturn]] void writeFailed(const QString& path, const Connection& c) {
    throw StandinError(fileLabel(path) + QStringLiteral(": cannot write the database (") + c.lastError() +
                       QLatin1Char(')'));
}

} // namespace

std::int32_t DatabaseContents::fieldCount() const {
    return static_cast<std::int32_t>(
        std::count_if(slots.begin(), slots.end(), [](const FieldSlot& s) { return s.id != -1; }));
}

int DatabaseContents::slotOfField(std::int32_t id) const {
    if (id == -1) {
        return -1;
    }
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].id == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int DatabaseContents::administratorPosition() const {
    for (std::size_t i = 0; i < users.size(); ++i) {
        if (users[i].security == 5) {
            return static_cast<int>(i) + 1;
        }
    }
    return users.empty() ? 0 : 1;
}

std::int32_t DatabaseContents::firstProtectedField() const {
    for (const FieldSlot& s : slots) {
        if (s.id != -1 && s.entryRule == 3) {
            return s.id;
        }
    }
    for (const FieldSlot& s : slots) {
        if (s.id != -1) {
            return s.id;
        }
    }
    return 0;
}

LoadedDatabase::LoadedDatabase(DatabaseContents contents)
    : m_contents(std::move(contents))
    , m_fieldCount(m_contents.fieldCount()) {
    m_rules.reserve(m_fieldCount);
    for (const FieldSlot& s : m_contents.slots) {
        if (s.id != -1) {
            m_rules.insert(s.id, s.entryRule);
        }
    }
}

bool LoadedDatabase::entryRule(std::int32_t id, std::int32_t& rule) const {
    const auto it = m_rules.constFind(id);
    if (it == m_rules.constEnd()) {
        return false;
    }
    rule = it.value();
    return true;
}

DatabaseContents readDatabase(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        throw StandinError(fileLabel(path) + QStringLiteral(": no such database file"));
    }
    if (!info.isFile()) {
        throw StandinError(fileLabel(path) + QStringLiteral(": not a file"));
    }
    Connection c(path, SQLITE_OPEN_READONLY);
    DatabaseContents out;
    if (!c.exec("BEGIN")) {
        malformed(path, c.lastError());
    }
    readFields(c, path, out);
    readUsers(c, path, out);
    c.exec("COMMIT");
    return out;
}

void writeDatabase(const QString& path, const DatabaseContents& contents) {
    writeAtomically(path, [&](Connection& c) {
        if (!c.exec("BEGIN") || !c.exec(kSchema)) {
            writeFailed(path, c);
        }
        {
            Statement insert(c, "INSERT INTO fields (slot, id, label, entry_rule) VALUES (?, ?, ?, ?)");
            if (!insert.ok()) {
                writeFailed(path, c);
            }
            for (std::size_t slot = 0; slot < contents.slots.size(); ++slot) {
                const FieldSlot& s = contents.slots[slot];
                sqlite3_bind_int64(insert.handle(), 1, static_cast<sqlite3_int64>(slot));
                sqlite3_bind_int(insert.handle(), 2, s.id);
                insert.bindText(3, s.label);
                sqlite3_bind_int(insert.handle(), 4, s.entryRule);
                if (sqlite3_step(insert.handle()) != SQLITE_DONE) {
                    writeFailed(path, c);
                }
                sqlite3_reset(insert.handle());
            }
        }
        {
            Statement insert(c, "INSERT INTO users (position, name, security, access, unique_id) "
                                "VALUES (?, ?, ?, ?, ?)");
            if (!insert.ok()) {
                writeFailed(path, c);
            }
            for (std::size_t i = 0; i < contents.users.size(); ++i) {
                const UserRecord& u = contents.users[i];
                sqlite3_bind_int64(insert.handle(), 1, static_cast<sqlite3_int64>(i) + 1);
                insert.bindText(2, u.name);
                sqlite3_bind_int(insert.handle(), 3, u.security);
                insert.bindText(4, u.access);
                insert.bindText(5, u.uniqueId);
                if (sqlite3_step(insert.handle()) != SQLITE_DONE) {
                    writeFailed(path, c);
                }
                sqlite3_reset(insert.handle());
            }
        }
        if (!c.exec("COMMIT")) {
            writeFailed(path, c);
        }
    });
}

void writeDatabaseFromScript(const QString& path, const QString& sql) {
    writeAtomically(path, [&](Connection& c) {
        const QByteArray script = sql.toUtf8();
        if (!c.exec("BEGIN") || !c.exec(script.constData()) || !c.exec("COMMIT")) {
            writeFailed(path, c);
        }
    });
}

DatabaseContents largeContents(int users, int slots) {
    DatabaseContents out;
    out.slots.reserve(static_cast<std::size_t>(std::max(slots, 0)));
    std::int32_t fields = 0;
    for (int slot = 0; slot < slots; ++slot) {
        if (slot % 7 == 6) {
            out.slots.push_back({});
            continue;
        }
        ++fields;
        out.slots.push_back({slot + 1, QStringLiteral("Field %1").arg(slot + 1, 5, 10, QLatin1Char('0')),
                             fields % 10 == 1 ? 3 : 0});
    }
    out.users.reserve(static_cast<std::size_t>(std::max(users, 0)));
    for (int p = 1; p <= users; ++p) {
        out.users.push_back({QStringLiteral("User %1").arg(p, 5, 10, QLatin1Char('0')),
                             p == 1 ? 5 : 1 + p % 4, QString::number(p % 3),
                             QStringLiteral("{LRG-%1}").arg(p, 6, 10, QLatin1Char('0'))});
    }
    return out;
}

} // namespace qm::act::standin
