#pragma once

// Reading, writing and removing one key of an INI-style settings file, with the results of the
// Windows profile-string functions on any file (see IniDocument.h for the syntax), and the
// existence test of a path. None of them reports a failure: a read that cannot be done gives an
// empty value, a write or removal that cannot be done leaves the file as it was.
//
// Names, values and file content are Windows-1252 text. A write re-reads the file under its lock,
// changes the one line and replaces the whole file at once, so that a reader never sees it
// half-written and two processes writing different keys at the same moment lose neither write.
//
// Beside them, for a caller that must know (the editor tells the administrator when a change did
// not land, and never takes a file it could not read for an empty one): the same changes with
// their result, several changes of one section in one write, and a read that says why it failed.

#include "settings/AtomicFile.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qm {
class IniDocument;
}

namespace qm::IniLib {

// A value read back is at most this long; a longer one comes back cut to its first 126 characters.
inline constexpr qsizetype kMaxValueLength = 126;

// The value of Key in the first section named Section of File; empty when the file, the section
// or the key is missing, or the value is empty.
QString GetKeyValue(const QString& Section, const QString& Key, const QString& File);

// Sets Key in Section of File to Value: the value of an existing key is replaced in place, a new
// key goes after the last line of its section, a new section ("[Section]" CR LF "Key=Value" CR LF)
// at the end of the file, and a missing file is created. A missing folder or a read-only file
// changes nothing.
void WriteKeyValue(const QString& Section, const QString& Key, const QString& Value, const QString& File);

// Removes the line of Key from Section of File; a missing key, section or file changes nothing.
void DeleteKey(const QString& Section, const QString& Key, const QString& File);

// True when Path names an existing file or folder.
bool FileExists(const QString& Path);

// One change of a key: its new value, or nullopt to remove it.
struct KeyChange {
    QString key;
    std::optional<QString> value;
};

// The changes, in order, applied to File as it is read under the writers' lock, written at once:
// all of them land or none. Each does what WriteKeyValue or DeleteKey does.
WriteResult ChangeKeys(const QString& Section, const std::vector<KeyChange>& changes, const QString& File);
// The same, with the changes worked out from the file as it is read under the writers' lock
// (nullptr when it is missing), so that no other writer's change slips in between the read and the
// write. nullopt writes nothing. It may be called more than once (see rewriteFile). When the file
// was replaced, `rewritten` learns what it held and what was written.
using ChangesOf = std::function<std::optional<std::vector<KeyChange>>(const IniDocument* current)>;
WriteResult ChangeKeysOf(const QString& Section, const ChangesOf& changesOf, const QString& File,
                         Rewritten* rewritten = nullptr);
// WriteKeyValue and DeleteKey with their result.
WriteResult WriteKeyValueResult(const QString& Section, const QString& Key, const QString& Value,
                                const QString& File);
WriteResult DeleteKeyResult(const QString& Section, const QString& Key, const QString& File);

// The file as the reads see it: its document (nullptr when it is missing or could not be read),
// with the status of the read and its detail (see FileContent).
struct Loaded {
    std::shared_ptr<const IniDocument> doc;
    FileContent::Status status = FileContent::Missing;
    QString detail;
    qint64 size = 0;
};
Loaded Load(const QString& File);
// The value GetKeyValue gives for Key in Section of a loaded file.
QString ValueOf(const IniDocument& doc, const QString& Section, const QString& Key);
// The same value whole, not cut to kMaxValueLength.
QString WholeValueOf(const IniDocument& doc, const QString& Section, const QString& Key);

} // namespace qm::IniLib
