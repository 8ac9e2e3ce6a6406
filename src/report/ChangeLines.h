#pragma once

// What one change of the log changed, as lines of text: for the History view (its detail, its
// summaries and tips), for `quillmark --history` and for the history's CSV.
//
//     Dana O'Neil {USR-0003}: Full -> None
//     Allow editing: No -> Yes
//     Drop-down list: 3 entries -> 4 entries (+ Purple)
//     Note: Kept from another administrator's changes: Chen Wei (Initialize).

#include "settings/ChangeRecord.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <unordered_map>

namespace qm::report {

using changelog::Record;

// Field settings files as the lines read them, kept by their bytes: a log holds the same few
// files again and again (the file after one save is the file before the next).
class SettingsFiles {
public:
    struct Read {
        bool readable = false;
        int onlyFromDropdown = 0;
        int allowEditing = 0;
        QStringList entries; // trimmed, the empty ones left out
    };
    const Read& read(const changelog::Bytes& bytes);

private:
    std::unordered_map<QByteArray, Read> m_read;
    Read m_missing{true, 0, 0, {}};
};

// Where the lines of a change go, piece by piece: this program's own text, and text that comes
// from the log (names, unique IDs, keys, list entries, paths, notes), which a printer makes
// printable.
class LineWriter {
public:
    virtual ~LineWriter() = default;
    virtual void fixed(QStringView text) = 0;
    virtual void fromLog(QStringView text) = 0;
    virtual void endLine() = 0;
};

// The lines of a change, one per user whose right changed, per part of the field's settings file
// that changed, and its note. `withKeys` adds the exact values of the keys ("Key 28F: \"A1C3\" ->
// absent"); the keys of the settings locations are always given.
void writeChangeLines(const Record& record, bool withKeys, SettingsFiles& files, LineWriter& out);
// The same lines as a list. `files`: kept reads of settings files, for the lines of many records.
QStringList changeLines(const Record& record, bool withKeys = false, SettingsFiles* files = nullptr);
// changeLines joined with "; ", cut to about `limit` characters.
QString changeSummary(const Record& record, int limit = 240);

} // namespace qm::report
