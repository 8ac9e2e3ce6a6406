#pragma once

// The authorized-users file: one section per ACT! database (its generic name), and in it, per
// scope, the unique IDs of the users holding Full (key "<scope>F") and Initialize ("<scope>I"),
// joined without any separator. The scope is "Global" for the global settings or the decimal ID
// of one field. A user in neither list holds None.

#include "settings/AtomicFile.h"
#include "settings/FileProblem.h"
#include "settings/IniLib.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace qm {
class IniDocument;
}

namespace qm::AuthorizedUsers {

enum class Right : int { Full = 0, Initialize = 1, None = 2 };

// "Full", "Initialize", "None": the rights chooser's entries, in the order of their codes.
QStringList rightNames();

inline const QString kGlobalScope = QStringLiteral("Global");

// "<scope>F" and "<scope>I" ("GlobalF", "28I").
QString fullKey(const QString& scope);
QString initializeKey(const QString& scope);

// The two ID lists of one scope as the rights load uses them: each as read (at most 126
// characters, empty when missing) with one blank appended.
struct ScopeLists {
    QString full;
    QString initialize;
};
ScopeLists readScope(const QString& section, const QString& scope, const QString& file);
// The values of a scope's two keys whole, as the file holds them (not cut), empty when missing.
struct ScopeValues {
    QString full;
    QString initialize;
    bool operator==(const ScopeValues&) const = default;
};
// The same read, also saying when the file exists but could not be read (its lists then read
// empty, as readScope gives them, but they are not what the file holds), with the values whole.
struct ScopeRead {
    ScopeLists lists;
    std::optional<ReadProblem> problem;
    ScopeValues values;
};
ScopeRead readScopeChecked(const QString& section, const QString& scope, const QString& file);
// The same read of a file's document (nullptr: no file).
ScopeRead scopeIn(const IniDocument* doc, const QString& section, const QString& scope);

// "0" when `id` occurs anywhere in `fullList`, else "1" when it occurs in `initList`, else "2".
// A plain, case-sensitive substring search, as the run-time's InStr: an empty ID is found in any
// list that is not empty.
QString Get_User_Right(const QString& id, const QString& fullList, const QString& initList);

// True when the scope has lists of its own: the two lists joined, stripped of leading and
// trailing spaces, are not empty. Otherwise the field follows the global settings.
bool hasOwnSettings(const ScopeLists& lists);

// The ID lists of the three rights from (unique ID, right code) pairs, in the given order.
// A code other than 0, 1 or 2 raises "Subscript out of range" (9) before anything is built.
struct IdLists {
    QString full;
    QString initialize;
    QString none;
};
IdLists buildIdLists(const std::vector<std::pair<QString, int>>& userRights);

// Writes a scope: the Full list under "<scope>F", then the Initialize list under "<scope>I"; an
// empty list removes its key instead. Then removes the key named `scope` itself ("Global", or
// the bare field ID), which is never written with a value, and `oldKey` when it is another.
// This is the one place where a scope is written: all of it goes into the file in one write, made
// to the file as read under the writers' lock, so it lands whole or not at all.
WriteResult writeScope(const QString& section, const QString& scope, const IdLists& lists,
                       const QString& file, const QString& oldKey = {});

// The changes writeScope makes, in its order.
std::vector<IniLib::KeyChange> scopeChanges(const QString& scope, const IdLists& lists,
                                            const QString& oldKey = {});

// Removes a field's own rights ("<fieldId>F" then "<fieldId>I"), in one write: the field follows
// the global settings again.
WriteResult removeFieldRights(const QString& section, const QString& fieldId, const QString& file);

} // namespace qm::AuthorizedUsers
