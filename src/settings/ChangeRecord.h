#pragma once

// One record of the change log: what one write of the settings changed, as it landed. A record
// is one line of UTF-8 text, its parts separated by tabs:
//
//     QM1  when  login  ACT! user  database  kind  field ID  field label  users  keys  file  note  check
//
// - when: UTC, "2024-05-01T09:12:33.123Z";
// - kind: "global" (the global rights, at Close), "field" (a field's settings file and rights, at
//   Save; its keys removed when it follows the global rights again), "locations" (the settings
//   locations), "restore" (an earlier state brought back); a word of a later version reads as
//   Kind::Other and keeps its word;
// - users: the users whose right changed, "name:unique ID:before:after" each (rights by name:
//   "Full", "Initialize", "None"), joined by "|";
// - keys: the keys the write changed, "key:before:after" each, joined by "|"; a value is "-" for
//   a key that is absent and "=" followed by its exact bytes for one that is present (the whole
//   value, also past the 126 characters a read returns), so that a restore can bring the bytes
//   back; for the settings locations the keys are "UsersPath" and "ListPath", their values the
//   paths as UTF-8;
// - file: the field's settings file, "before:after" in the same form, or empty when the write
//   did not touch it;
// - check: 16 hex digits of a 64-bit hash of everything before it, tab included: the bytes taken
//   8 at a time as little-endian numbers w, from h = 0x243F6A8885A308D3 xor the length,
//   h = (h xor w) * 0x9E3779B97F4A7C15, h = h xor (h >> 29); the last 0 to 7 bytes as one number
//   the same way, without the shift; then h xor (h >> 32).
//
// Inside a part, "%", ":", "|", the control characters and DEL are written "%XX"; in the bytes of
// a value also every byte from 0x80 on (they are Windows-1252, not UTF-8), so the line is always
// valid UTF-8. A line that does not read back whole (a truncated last line, a line of garbage, a
// damaged byte anywhere) fails its check and is skipped by the reader.

#include "settings/AuthorizedUsers.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace qm::changelog {

using AuthorizedUsers::Right;

enum class Kind { GlobalRights, Field, Locations, Restore, Other };

// The exact bytes of a key's value or of a file; nullopt when the key or file is absent.
using Bytes = std::optional<QByteArray>;

struct UserChange {
    QString name;
    QString uniqueId;
    Right before = Right::None;
    Right after = Right::None;
    bool operator==(const UserChange&) const = default;
};

struct KeyChange {
    QString key;
    Bytes before;
    Bytes after;
    bool operator==(const KeyChange&) const = default;
};

struct Record {
    qint64 whenMs = 0; // UTC, milliseconds since 1970-01-01
    QString login;     // the operating-system login
    QString actUser;   // the ACT! user
    QString database;  // the database's generic name
    Kind kind = Kind::Other;
    QString kindWord; // only for Kind::Other: the word as read
    QString fieldId;  // empty for the global rights and the locations
    QString fieldLabel;
    std::vector<UserChange> users;
    std::vector<KeyChange> keys;
    bool fileChanged = false;
    Bytes fileBefore;
    Bytes fileAfter;
    QString note; // what came from another administrator's change, which record a restore undid
    bool operator==(const Record&) const = default;
};

// "global", "field", "locations", "restore" (the record's word for Kind::Other).
QString kindWord(const Record& record);

// The record as one line, LF at its end.
QByteArray encode(const Record& record);

// Whether decode gives the keys with their values, the largest part of most records, which only a
// restore and the whole of one change need (those of the settings locations always come whole).
// Without them a record has no keys.
enum class KeyValues { Decoded, Skipped };
// How decode makes the texts and the values of a line from their parts as the line holds them: new
// ones each time, unless a reader of many lines keeps and shares them. nullopt for a part that
// does not read back (see the top of this file).
class TextDecoder {
public:
    virtual ~TextDecoder() = default;
    virtual std::optional<QString> text(QByteArrayView part);
    // A value: "-" (absent) or "=" and its bytes.
    virtual std::optional<Bytes> value(QByteArrayView part);
};
// A line (without or with its LF, or CR LF) read back; nullopt for a line that does not read back
// whole: see the top of this file.
std::optional<Record> decode(QByteArrayView line, KeyValues keyValues = KeyValues::Decoded,
                             TextDecoder* texts = nullptr);

// A line found whole, without decoding it: its check, its version and its time (decode() then
// checks every part), and where its parts lie. How a reader goes through a large log quickly.
struct CheckedLine {
    QByteArrayView line; // without its line end
    qint64 whenMs = 0;
    std::array<quint32, 12> ends{}; // where each part but the check ends in the line
    // The database's part, as the line holds it (compare with escapedText()).
    QByteArrayView database() const { return line.first(ends[4]).sliced(ends[3] + 1); }
};
std::optional<CheckedLine> checkLine(QByteArrayView line);
// decode() of a line that checkLine found whole, without looking for its parts and its check again.
std::optional<Record> decode(const CheckedLine& line, KeyValues keyValues = KeyValues::Decoded,
                             TextDecoder* texts = nullptr);
// A text as a line holds it, and back.
QByteArray escapedText(const QString& text);
QString decodedText(QByteArrayView part);

// "2024-05-01T09:12:33.123Z" and back (nullopt for any other form).
QByteArray utcText(qint64 ms);
std::optional<qint64> parseUtcText(QByteArrayView text);

} // namespace qm::changelog
