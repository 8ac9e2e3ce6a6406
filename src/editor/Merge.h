#pragma once

// Two administrators at once: what a Save or a Close writes when the file changed since the window
// read it. Every setting the window shows (a user's right in one scope, whether a field has rights
// of its own, a field's two flags and its drop-down list) is merged three ways, from the setting as
// the window loaded it (base), as the window holds it now (mine) and as the file holds it now
// (theirs):
//
// - not changed here (mine is base): the file's part stays;
// - changed only here (theirs is base): this change is written;
// - changed alike on both sides: that is written; changed differently: a conflict, which the
//   administrator settles (keep this window's value or take the file's) before anything is written.
//
// When the file still holds what was loaded, the write is the one the window always made. No
// widget here: the editor gathers the three sides and writes what comes out.
//
//     merge::UserRights mine{ids, names, codes};
//     const merge::RightsMerge m = merge::mergeRights("Global", mine, baseCodes, base, theirs, {});
//     // m.unresolved empty: write m.lists (m.write says whether), tell m.fromElsewhere.

#include "editor/Rights.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

namespace qm::merge {

using AuthorizedUsers::ScopeValues;

// A conflict as the administrator sees it: what (a user's name, "Allow editing"), the file's value
// and this window's. `key` tells it from any other conflict, the two values included, so that a
// choice made for it is never taken for a conflict that arose after it was made.
struct Conflict {
    QString key;
    QString what;
    QString theirs;
    QString mine;
};
// The administrator's choices: a conflict's key -> true to keep this window's value.
using Choices = QHash<QString, bool>;

struct Outcome {
    std::vector<Conflict> unresolved; // conflicts without a choice: nothing may be written yet
    QStringList fromElsewhere; // "Chen Wei (Initialize)": what the file gave that the window did not show
};

// The users of a rights list in the window's order, with their rights as the window shows them.
struct UserRights {
    QStringList ids;
    QStringList names;
    std::vector<int> codes;
};

enum class Write {
    Lists,  // the scope's F and I lists (an empty one removes its key), as the window always wrote them
    Remove, // a field's F and I keys removed: the field follows the global settings
    Nothing // the file keeps what it holds
};

// The rights of one scope ("Global" or a field ID) held by the users of `mine`. `baseCodes` are the
// rights the window showed at load, `base` the scope's values then, `theirs` the values now.
struct RightsMerge : Outcome {
    Write write = Write::Lists;
    std::vector<int> codes; // every user's right as merged (a conflict without a choice: this window's)
    rights::IdLists lists;  // to write: the users' IDs in order, then kept IDs of users unknown here
    bool changedHere = false;
};
// `switchedHere`: the scope changed here as a whole (a field given rights of its own), so it is
// this window's to write even where no right changed.
RightsMerge mergeRights(const QString& scope, const UserRights& mine, const std::vector<int>& baseCodes,
                        const ScopeValues& base, const ScopeValues& theirs, const Choices& choices,
                        bool switchedHere = false);

// A field's rights with its switch: rights of its own ("Use Settings below") or the global ones.
// `mineOwn` is the switch in the window; the base's and the file's come from their values.
struct FieldRightsMerge : RightsMerge {
    bool own = false; // the switch as merged
};
FieldRightsMerge mergeFieldRights(const QString& fieldId, const UserRights& mine, bool mineOwn,
                                  const std::vector<int>& baseCodes, const ScopeValues& base,
                                  const ScopeValues& theirs, const Choices& choices);

// A field settings file's three parts.
struct FieldFile {
    int onlyFromDropdown = 0;
    int allowEditing = 0;
    QString listText;
};
// The drop-down list's entries as a write stores them and a read gives them back, joined by LF.
QString entriesOf(const QString& listText);
struct FieldFileMerge : Outcome {
    bool write = true; // false: the file keeps what it holds
    FieldFile values;
};
FieldFileMerge mergeFieldFile(const QString& fieldId, const FieldFile& base, const FieldFile& mine,
                              const FieldFile& theirs, const Choices& choices);

} // namespace qm::merge
