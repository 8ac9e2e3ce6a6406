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

// Empties `list` and adds one item per user passing both filters: key "U<position>", text the
// user's name, no right yet. An empty filter passes everyone; a non-empty one passes a user whose
// value occurs in it.
void Populate_lvwUsers(QTreeWidget& list, const std::shared_ptr<act::ActUsers>& objUsers,
                       const QString& accessFilter, const QString& securityFilter, MessageBox& box);

} // namespace qm::modPopulateACTLists
