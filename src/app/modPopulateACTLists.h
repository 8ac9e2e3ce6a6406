#pragma once

// The field chooser and the rights lists filled from ACT!: protectable fields and users.

#include "act/ActObjects.h"
#include "platform/Services.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class QComboBox;
class QTreeWidget;

namespace qm::modPopulateACTLists {

struct FieldEntry {
    QString label;
    std::int32_t id = 0;
};

// The protected fields in slot order. Slot number and count of fields seen are 16-bit: a
// collection whose fields are not all within slots 0 to 32,766 raises "Overflow". An error
// raised by ACT! ends the walk: it is reported as Populate_cboFields' and `entries` keeps what
// was found before it.
void walkProtectedFields(const std::shared_ptr<act::ActFields>& objFields, MessageBox& box,
                         std::vector<FieldEntry>& entries);

// Empties `cboFields` and fills it with the protected fields (text: label, item data: field ID).
// Nothing is selected afterwards.
void Populate_cboFields(QComboBox& cboFields, const std::shared_ptr<act::ActFields>& objFields,
                        MessageBox& box);

// True when the field's entry rule is 3. An error is reported and gives false.
bool Include_Field(act::ActFields& fields, const QString& fieldId, MessageBox& box);

// Empties `list` and adds one item per user passing both filters: key "U<position>", text the
// user's name, no right yet. An empty filter passes everyone; a non-empty one passes a user whose
// value occurs in it.
void Populate_lvwUsers(QTreeWidget& list, const std::shared_ptr<act::ActUsers>& objUsers,
                       const QString& accessFilter, const QString& securityFilter, MessageBox& box);

} // namespace qm::modPopulateACTLists
