#include "act/standin/StandinDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sqlite3.h>

#include <algorithm>
#include <random>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

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
    // Errors name `label` (the file the user asked for), or the path itself.
    Connection(const QString& path, int flags, const QString& label = {}) {
        const QByteArray name = QFile::encodeName(path);
        const int rc = sqlite3_open_v2(name.constData(), &m_db, flags, nullptr);
        if (rc != SQLITE_OK) {
            const QString why =
                m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close(m_db);
            m_db = nullptr;
            throw StandinError(fileLabel(label.isEmpty() ? path : label) +
                               QStringLiteral(": cannot open the database (") + why + QLatin1Char(')'));
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

constexpr sqlite3_int64 kMaxSlot = 1000000;

bool holds(const Statement& q, int column, int type) {
    return sqlite3_column_type(q.handle(), column) == type;
}

void readFields(Connection& c, const QString& path, DatabaseContents& out) {
    Statement q(c, "SELECT slot, id, label, entry_rule FROM fields ORDER BY slot");
    if (!q.ok()) {
        malformed(path, c.lastError());
    }
    // Room for the slots up to the table's last one, made once rather than as they come (the
    // largest key is found without a scan). A table too odd for that is judged row by row below.
    if (Statement last(c, "SELECT max(slot) FROM fields");
        last.ok() && sqlite3_step(last.handle()) == SQLITE_ROW && holds(last, 0, SQLITE_INTEGER)) {
        const sqlite3_int64 slots = sqlite3_column_int64(last.handle(), 0) + 1;
        if (slots > 0 && slots <= kMaxSlot + 1) {
            out.slots.reserve(static_cast<std::size_t>(slots));
        }
    }
    QHash<std::int32_t, sqlite3_int64> seen;
    int rc;
    while ((rc = sqlite3_step(q.handle())) == SQLITE_ROW) {
        if (!holds(q, 0, SQLITE_INTEGER)) {
            malformed(path, QStringLiteral("a field has a slot that is not a whole number"));
        }
        const sqlite3_int64 slot = sqlite3_column_int64(q.handle(), 0);
        if (!holds(q, 1, SQLITE_INTEGER) || !holds(q, 3, SQLITE_INTEGER)) {
            malformed(
                path,
                QStringLiteral("slot %1 holds an ID or entry rule that is not a whole number").arg(slot));
        }
        if (!holds(q, 2, SQLITE_TEXT)) {
            malformed(path, QStringLiteral("slot %1 holds a label that is not text").arg(slot));
        }
        const sqlite3_int64 id = sqlite3_column_int64(q.handle(), 1);
        const sqlite3_int64 rule = sqlite3_column_int64(q.handle(), 3);
        if (slot < 0 || slot > kMaxSlot) {
            malformed(path, QStringLiteral("slot %1 is out of range").arg(slot));
        }
        if (slot < static_cast<sqlite3_int64>(out.slots.size())) {
            malformed(path, QStringLiteral("slot %1 has two rows").arg(slot));
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
        if (slot > static_cast<sqlite3_int64>(out.slots.size())) {
            out.slots.resize(static_cast<std::size_t>(slot), FieldSlot{-1, QString(), 0, false});
        }
        out.slots.push_back(
            {static_cast<std::int32_t>(id), q.text(2), static_cast<std::int32_t>(rule), true});
    }
    if (rc != SQLITE_DONE) {
        malformed(path, c.lastError());
    }
    if (out.slots.empty()) {
        out.slots.push_back({-1, QString(), 0, false}); // ACT!'s collection always has slot 0
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
        if (!holds(q, 0, SQLITE_INTEGER) || position != static_cast<sqlite3_int64>(out.users.size()) + 1) {
            malformed(path, QStringLiteral("user positions must run 1, 2, 3... without gaps"));
        }
        if (!holds(q, 2, SQLITE_INTEGER)) {
            malformed(
                path,
                QStringLiteral("user %1 has a security level that is not a whole number").arg(position));
        }
        if (!holds(q, 1, SQLITE_TEXT) || !holds(q, 3, SQLITE_TEXT) || !holds(q, 4, SQLITE_TEXT)) {
            malformed(
                path,
                QStringLiteral("user %1 has a name, access or unique ID that is not text").arg(position));
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

// A fresh, short file name in the folder of `path`, for writing before the final rename: a name
// as long as the system allows stays writable.
QString temporaryBeside(const QString& path) {
    return QFileInfo(path).absoluteDir().filePath(
        QStringLiteral(".sdb") + QString::number(QRandomGenerator::global()->generate(), 16) +
        QStringLiteral(".tmp"));
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

// Gives the finished file its name, unless a file of that name appeared meanwhile.
void publish(const QString& temp, const QString& path) {
#ifdef Q_OS_UNIX
    if (::link(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) == 0) {
        QFile::remove(temp);
        return;
    }
    if (errno == EEXIST) {
        throw StandinError(fileLabel(path) + QStringLiteral(": the file exists already"));
    }
    if (errno != EPERM && errno != EOPNOTSUPP) {
        throw StandinError(fileLabel(path) + QStringLiteral(": cannot create the file (") +
                           QString::fromLocal8Bit(std::strerror(errno)) + QLatin1Char(')'));
    }
#endif
    if (!QFile::rename(temp, path)) { // refuses an existing file; a disk without hard links
        throw StandinError(fileLabel(path) + QStringLiteral(": cannot create the file"));
    }
}

DatabaseContents readContents(const QString& path, const QString& label);

// Fills a temporary file with `fill`, then moves it into place without overwriting anything.
template <typename Fill> void writeAtomically(const QString& path, Fill fill) {
    checkTarget(path);
    const QString temp = temporaryBeside(path);
    try {
        {
            Connection c(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, path);
            c.exec("PRAGMA journal_mode=MEMORY");
            fill(c);
        }
        readContents(temp, path); // what was written must read back
        publish(temp, path);
    } catch (...) {
        QFile::remove(temp);
        throw;
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

namespace {

// Errors name `label`.
DatabaseContents readContents(const QString& path, const QString& label) {
    const QFileInfo info(path);
    if (!info.exists()) {
        throw StandinError(fileLabel(label) + QStringLiteral(": no such database file"));
    }
    if (!info.isFile()) {
        throw StandinError(fileLabel(label) + QStringLiteral(": not a file"));
    }
    Connection c(path, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, label);
    DatabaseContents out;
    if (!c.exec("BEGIN")) {
        malformed(label, c.lastError());
    }
    readFields(c, label, out);
    readUsers(c, label, out);
    c.exec("COMMIT");
    return out;
}

} // namespace

DatabaseContents readDatabase(const QString& path) {
    return readContents(path, path);
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
                if (s.id == -1 && !s.inTable) {
                    continue; // a gap in the slots
                }
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

DatabaseContents largeContents(int users, int slots, std::uint32_t seed) {
    std::mt19937 random(seed);
    const auto chance = [&](int percent) { return int(random() % 100) < percent; };
    const QStringList words = {QStringLiteral("Account"), QStringLiteral("Région"), QStringLiteral("Straße"),
                               QStringLiteral("Credit"),  QStringLiteral("Zip"),    QStringLiteral("Tax ID"),
                               QStringLiteral("Ünits"),   QStringLiteral("Rep")};
    DatabaseContents out;
    out.slots.reserve(static_cast<std::size_t>(std::max(slots, 0)));
    // IDs: a shuffled run of numbers from 1, a little beyond 16 bits for a large database.
    std::vector<std::int32_t> ids(static_cast<std::size_t>(std::max(slots, 0)));
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ids[i] = static_cast<std::int32_t>(i * 5 / 4 + 1);
    }
    std::shuffle(ids.begin(), ids.end(), random);
    for (int slot = 0; slot < slots; ++slot) {
        if (chance(14)) {
            out.slots.push_back({-1, QString(), 0, chance(50)}); // empty, with or without a row
            continue;
        }
        QString label =
            words.at(int(random() % words.size())) + QLatin1Char(' ') + QString::number(random() % 500);
        if (chance(3)) {
            label.clear();
        }
        const int roll = int(random() % 100);
        const std::int32_t rule = roll < 10 ? 3 : roll < 70 ? 0 : 1 + (roll % 4 == 2 ? 3 : roll % 2);
        out.slots.push_back({ids[static_cast<std::size_t>(slot)], label, rule, true});
    }
    // The first protected field takes the smallest ID there is (the two swap theirs).
    const auto isField = [](const FieldSlot& s) { return s.id != -1; };
    const auto first = std::find_if(out.slots.begin(), out.slots.end(),
                                    [](const FieldSlot& s) { return s.id != -1 && s.entryRule == 3; });
    if (first != out.slots.end()) {
        auto smallest = std::find_if(out.slots.begin(), out.slots.end(), isField);
        for (auto it = smallest; it != out.slots.end(); ++it) {
            if (isField(*it) && it->id < smallest->id) {
                smallest = it;
            }
        }
        std::swap(first->id, smallest->id);
    }
    out.users.reserve(static_cast<std::size_t>(std::max(users, 0)));
    for (int p = 1; p <= users; ++p) {
        const QString name =
            p % 97 == 0 ? QStringLiteral("Zoë Brontë") : QStringLiteral("User %1").arg(random() % 4000);
        const std::int32_t security = p > 1 && chance(3) ? 5 : 1 + std::int32_t(random() % 4);
        out.users.push_back({name, security, QString::number(random() % 3),
                             QStringLiteral("{LRG-%1}").arg(p, 6, 10, QLatin1Char('0'))});
    }
    // Several administrators, none of them the first user.
    if (users >= 3 && std::count_if(out.users.begin(), out.users.end(),
                                    [](const UserRecord& u) { return u.security == 5; }) < 2) {
        out.users[out.users.size() / 2].security = 5;
        out.users.back().security = 5;
    }
    return out;
}

} // namespace qm::act::standin
