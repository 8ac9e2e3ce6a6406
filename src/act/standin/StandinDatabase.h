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

// A failure of the stand-in (bad database, bad session, bad argument), with a one-line message:
// line breaks in what it quotes (an SQLite message quoting a damaged schema) become blanks.
class StandinError : public std::exception {
public:
    explicit StandinError(QString message)
        : m_message(std::move(message.replace(QLatin1Char('\r'), QLatin1Char(' '))
                                  .replace(QLatin1Char('\n'), QLatin1Char(' '))))
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
    bool inTable = true; // false: an empty slot that has no row of its own (a gap in the slots)
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

// Reads a database file; raises StandinError with a one-line message for a missing, unreadable or
// malformed file: every value must have its column's type (no NULL), a slot has at most one row,
// users sit at positions 1..n, field IDs are unique. A database has at least slot 0 (empty when
// the fields table is).
DatabaseContents readDatabase(const QString& path);

// Writes a new database file from contents in one transaction. The file appears complete or not
// at all; an existing file is never overwritten.
void writeDatabase(const QString& path, const DatabaseContents& contents);

// Writes a new database file by running an SQL script that creates and fills both tables, then
// checks that the result reads back. Same guarantees as writeDatabase.
void writeDatabaseFromScript(const QString& path, const QString& sql);

// The contents of a large database, made from `seed` (the same seed, the same database) and as
// varied as the demo: field IDs unrelated to their slots, a few beyond 16 bits; empty slots with
// and without a row; labels empty, repeated and not ASCII; every entry rule from 0 to 4, about one
// field in ten protected; several administrators, the first of them not the first user. The first
// protected field has a 16-bit ID, as the field a user stands in at a start must.
DatabaseContents largeContents(int users, int slots, std::uint32_t seed = 1);

} // namespace qm::act::standin
