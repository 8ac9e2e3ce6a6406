#pragma once

// A stand-in ACT! database: an SQLite file with the tables `fields` (slot, id, label,
// entry_rule) and `users` (position, name, security, access, unique_id). Read whole into memory
// once, so that the automation calls answer without touching the file again.

#include <QHash>
#include <QString>

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace qm::act::standin {

// A failure of the stand-in (bad database, bad session, bad argument), with a one-line message.
class StandinError : public std::exception {
public:
    explicit StandinError(QString message)
        : m_message(std::move(message))
        , m_what(m_message.toStdString()) {}
    const QString& message() const { return m_message; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    QString m_message;
    std::string m_what;
};

struct FieldSlot {
    std::int32_t id = -1; // -1: an empty slot
    QString label;
    std::int32_t entryRule = 0;
};

struct UserRecord {
    QString name;
    std::int32_t security = 0;
    QString access;
    QString uniqueId;
};

// The whole content of one database. Slots run from 0; users from position 1 (index 0).
struct DatabaseContents {
    std::vector<FieldSlot> slots;
    std::vector<UserRecord> users;

    std::int32_t fieldCount() const;
    // Slot of the field with this ID, or -1.
    int slotOfField(std::int32_t id) const;
    // Position (1-based) of the first administrator (security 5), else 1; 0 without users.
    int administratorPosition() const;
    // ID of the first protected field (entry rule 3), else of the first field; 0 without fields.
    std::int32_t firstProtectedField() const;
};

// Fast lookups over loaded contents.
class LoadedDatabase {
public:
    explicit LoadedDatabase(DatabaseContents contents);
    const DatabaseContents& contents() const { return m_contents; }
    std::int32_t fieldCount() const { return m_fieldCount; }
    // Entry rule of a field; false when no field has that ID.
    bool entryRule(std::int32_t id, std::int32_t& rule) const;

private:
    DatabaseContents m_contents;
    std::int32_t m_fieldCount;
    QHash<std::int32_t, std::int32_t> m_rules;
};

// Reads a database file; raises StandinError for a missing, unreadable or malformed file
// (users must sit at positions 1..n, field IDs must be unique).
DatabaseContents readDatabase(const QString& path);

// Writes a new database file from contents in one transaction. The file appears complete or not
// at all; an existing file is never overwritten.
void writeDatabase(const QString& path, const DatabaseContents& contents);

// Writes a new database file by running an SQL script that creates and fills both tables, then
// checks that the result reads back. Same guarantees as writeDatabase.
void writeDatabaseFromScript(const QString& path, const QString& sql);

// The contents of a large database: `users` users, `slots` slots (every seventh slot empty,
// every tenth field protected).
DatabaseContents largeContents(int users, int slots);

} // namespace qm::act::standin
