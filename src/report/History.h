#pragma once

// The history of one database's settings, from the change log (settings/ChangeLog.h), without
// widgets: what the History view of the report window shows, what `quillmark --history` prints,
// and its CSV. Newest first; filtered by field, by user, by login and by date.

#include "report/ChangeLines.h"
#include "report/RightsReport.h"
#include "settings/ChangeLog.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace qm::report {

using changelog::Record;

// The changes of one database, read from the log without decoding them; each change is decoded
// when first asked for. A log of a hundred thousand changes opens in a fraction of a second.
class History {
public:
    History() = default;
    // The records of `database` (its generic name, letter case aside, as sections match) in the
    // log of the authorized-users file `usersPath`.
    History(const QString& usersPath, const QString& database);

    const QString& database() const { return m_database; }
    int size() const { return int(m_log.lines.size()); }
    qint64 whenMs(int i) const { return m_log.lines[std::size_t(i)].whenMs; }
    // The change, oldest first, without the values of its keys (decoded once, then kept).
    const Record& record(int i) const;
    // The same change decoded anew and not kept, for one pass over many (texts shared with the
    // kept ones).
    Record passingRecord(int i) const;
    // The change with the values of its keys.
    Record fullRecord(int i) const;

    qint64 bytes() const { return m_log.bytes; }                   // the log's bytes read
    qint64 skipped() const { return m_log.skipped; }               // lines that did not read back whole
    const QStringList& problems() const { return m_log.problems; } // log files not read, and why

private:
    // Texts and values that many records share (logins, the database, labels, users' names, the
    // field settings files) made once: tables of the pieces of lines that read back, found by a hash of
    // their bytes (open addressing; a million look-ups for a large log). Their bytes are kept close
    // together in the table's own store, not looked for all over the log's buffers.
    template <typename T> class PartTable {
    public:
        const T* find(QByteArrayView part, quint64 hash) const;
        void insert(QByteArrayView part, quint64 hash, T made);

    private:
        struct Slot {
            quint64 hash = 0; // 0: empty
            qsizetype at = 0; // where its bytes lie in m_bytes
            qsizetype size = 0;
            T made;
        };
        QByteArray m_bytes;
        std::size_t home(quint64 hash) const {
            return std::size_t(hash ^ (hash >> 29)) & (m_slots.size() - 1);
        }
        std::vector<Slot> m_slots = std::vector<Slot>(1024);
        std::size_t m_used = 0;
    };
    class SharedTexts : public changelog::TextDecoder {
    public:
        std::optional<QString> text(QByteArrayView part) override;
        std::optional<changelog::Bytes> value(QByteArrayView part) override;

    private:
        PartTable<QString> m_texts;
        PartTable<changelog::Bytes> m_values;
    };

    QString m_database;
    changelog::LogRead m_log; // its lines: only those of the database
    mutable std::vector<std::unique_ptr<const Record>> m_records;
    mutable SharedTexts m_texts;
};

struct HistoryFilter {
    // A field ID (exactly), or a part of a field's label; a part of "Global (all fields)" finds the
    // changes of the global rights.
    QString field;
    QString user;                  // a part of the name or unique ID of a user whose right changed
    QString login;                 // a part of the login or of the ACT! user who made the change
    std::optional<qint64> sinceMs; // from this time (UTC ms) on
    std::optional<qint64> untilMs; // before this time
    bool isEmpty() const {
        return field.isEmpty() && user.isEmpty() && login.isEmpty() && !sinceMs && !untilMs;
    }
};

bool matches(const Record& record, const HistoryFilter& filter);
// The records that match, newest first, as positions in `history`.
std::vector<int> historyRows(const History& history, const HistoryFilter& filter);

// A date of the command line or the view, in the local time zone unless it says otherwise:
// "2024-05-01" (the start of that day; with `endOfDay`, the start of the next), "2024-05-01T09:30",
// "2024-05-01T09:30:00Z". nullopt when it is no such date.
std::optional<qint64> parseDate(const QString& text, bool endOfDay = false);

// "2024-05-01 09:12:33" in the local time zone, "2024-05-01 09:12:33Z" in UTC.
QString localTimeText(qint64 ms);
QString utcTimeText(qint64 ms);

// "Global rights", "Field settings", "Settings locations", "Restore", or the log's word.
QString changeText(const Record& record);
// "Phone (28)"; "Global (all fields)" for the global rights; empty for the locations.
QString recordFieldText(const Record& record);
// The change and what it changed in one: "Global rights", "Field settings: Phone (28)", "Settings
// locations", "Restore: Global (all fields)".
QString headline(const Record& record);
// The CSV columns of the history.
QStringList historyCsvColumns();
// Writes the records `rows` of `history` (their order) to `path` as CSV (as the report's CSV:
// UTF-8 with a byte-order mark, CR LF, text cells neutralised against formulas). False with
// `error` set when it could not be written.
bool writeHistoryCsv(const History& history, const std::vector<int>& rows, const QString& path,
                     QString& error);

} // namespace qm::report
