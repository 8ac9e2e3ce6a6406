#pragma once

// The field chooser and the rights lists filled from ACT!: protectable fields and users.

#include "act/ActObjects.h"
#include "act/FieldWalk.h"
#include "platform/Services.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QComboBox;
class QTreeWidget;

namespace qm::modPopulateACTLists {

// Empties `cboFields` and fills it with the protected fields (text: label, item data: field ID).
// Nothing is selected afterwards.
void Populate_cboFields(QComboBox& cboFields, const std::shared_ptr<act::ActFields>& objFields,
                        MessageBox& box);

// A user as a fill of a rights list read it from ACT!.
struct ListedUser {
    QString name;
    QString uniqueId;
    int position = 0; // in ACT!'s users collection, from 1
};

// What a fill of a rights list read of ACT!'s users, kept for the run: the other list is filled
// with the same users, and the report shows them, without asking ACT! again.
struct UsersRead {
    QString accessFilter;
    QString securityFilter;
    std::vector<ListedUser> users; // the users that passed the filters, in ACT!'s order
    bool complete = false;         // the read ended without an error
};

// Empties `list` and adds one item per user passing both filters: key "U<position>", text the
// user's name, the user's unique ID kept with it (kListIdRole), no right yet. An empty filter
// passes everyone; a non-empty one passes a user whose value occurs in it.
//
// Each listed user's unique ID is asked here, once for the run, right after its name: the rights
// load, the save, the Close and the report use the kept ID and make no automation call per user.
// Like ACT!'s users collection, the users read stay for the run. That loses nothing: an item's
// key is its user's position at the time of the fill, so were a user added or removed in ACT!
// while the tool runs, the keys would already point at other users, and an ID asked again by key
// would be the wrong user's just the same.
//
// `kept`, when given: holding a complete read with the same filters, it fills `list` without a
// call to ACT!; otherwise ACT! is read (and a failing call reported, as without it) and `kept`
// receives what was read.
void Populate_lvwUsers(QTreeWidget& list, const std::shared_ptr<act::ActUsers>& objUsers,
                       const QString& accessFilter, const QString& securityFilter, MessageBox& box,
                       UsersRead* kept = nullptr);

} // namespace qm::modPopulateACTLists
