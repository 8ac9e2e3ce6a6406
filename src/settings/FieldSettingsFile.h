#pragma once

// The settings file of one protected field: "OnlyFromDropdown=<state>" CR LF,
// "AllowEditing=<state>" CR LF, then one drop-down list entry per line, in Windows-1252.
// It is read and written line by line, never through the INI functions.

#include "platform/Paths.h"
#include "settings/AtomicFile.h"
#include "settings/FileProblem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

namespace qm::FieldSettingsFile {

// The largest field file read or written: a drop-down list of some ten thousand entries takes
// well under a megabyte. A larger one is refused from its size.
inline constexpr qint64 kMaxFileBytes = qint64(4) << 20;

// The settings folder exactly as stored, `separator`, the generic name, the field ID, ".dat":
// "C:\Tools\Settings" + "Sales" + 28 -> "C:\Tools\Settings\Sales28.dat". The separator is added
// whatever the folder ends with.
QString fileName(const QString& listPath, const QString& genericName, const QString& fieldId,
                 QChar separator = kPathSep);
QString fileName(const QString& listPath, const QString& genericName, qint32 fieldId,
                 QChar separator = kPathSep);

// What a read sets, called in the order of the read, so that a read stopped by an error leaves
// the receiver with what was read before it.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void clearListText() = 0;
    virtual void setOnlyFromDropdown(int state) = 0;
    virtual void setAllowEditing(int state) = 0;
    virtual void setListText(const QString& text) = 0;
};

// A sink that keeps the values (a flag not set by the read keeps its initial value).
struct FieldSettings : Sink {
    int onlyFromDropdown = 0;
    int allowEditing = 0;
    QString listText;

    void clearListText() override { listText.clear(); }
    void setOnlyFromDropdown(int state) override { onlyFromDropdown = state; }
    void setAllowEditing(int state) override { allowEditing = state; }
    void setListText(const QString& text) override { listText = text; }
};

// Reads the file into `sink`: clears the list text; a missing file sets both flags to 0 and ends
// the read. Otherwise lines end at CR (a CR LF is one line end, a lone
// LF is part of the line); line 1 sets the "Only from Drop-down" state when it begins with
// "OnlyFromDropdown=" (exact letter case), line 2 the "Allow editing" state when it begins with
// "AllowEditing="; every later line that is not empty once trimmed of spaces is a list entry:
// the first as read, the others trimmed, joined by LF.
// Raises qm::VbError: "Input past end of file" (62) when a flag line is missing, "Type mismatch"
// (13) or "Overflow" (6) when a flag is no 16-bit integer, "Invalid property value" (380) for a
// state other than 0, 1 and 2. A file that exists but cannot be read is never read as an empty
// one: both flags are set to 0, as for a missing file, and the problem is returned.
// `content`, when given, gets the bytes read (nullopt: no file, or none that could be read).
std::optional<ReadProblem> read(const QString& path, Sink& sink,
                                std::optional<QByteArray>* content = nullptr);
// The same read over bytes already in memory (the file exists).
void readContent(QByteArrayView bytes, Sink& sink);

// The bytes a write puts into the file: the two flag lines, then the list text split at every
// LF, empty pieces skipped, every other piece trimmed of spaces (only spaces) as one line.
// Raises "Overflow" (6) when the list text holds 32,767 or more LFs: the piece counter is a
// 16-bit integer.
QByteArray content(int onlyFromDropdown, int allowEditing, const QString& listText);

// Replaces the file with content(...), checked in full before anything is written (see
// AtomicFile.h for how a file is replaced). Raises "Overflow" (6) as above, before anything is
// written. A write that does not land (a read-only file, a missing folder, another writer that
// holds the file too long, a full disk) leaves the old file as it was and says why.
WriteResult write(const QString& path, int onlyFromDropdown, int allowEditing, const QString& listText);

// What the Save does with the file. When "Allow editing" is unchecked and the list is empty, a
// save once deleted the file before writing it anew; the write replaces the file whole, which
// leaves the same file, without losing the file's links, owner and mode, nor the file itself when
// the write fails. So a save is the write.
WriteResult save(const QString& path, int onlyFromDropdown, int allowEditing, const QString& listText);

} // namespace qm::FieldSettingsFile
