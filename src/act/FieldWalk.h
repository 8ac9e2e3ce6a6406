#pragma once

// The walk over ACT!'s contact field slots that finds the protected fields (entry rule 3), without
// any widget: the field chooser is filled from it, and the rights report reads the same fields.

#include "act/ActObjects.h"
#include "platform/Services.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace qm::modPopulateACTLists {

struct FieldEntry {
    QString label;
    std::int32_t id = 0;
};

// The protected fields in slot order. Slot number and count of fields seen are 16-bit: a
// collection whose fields are not all within slots 0 to 32,766 raises "Overflow". An error
// raised by ACT! ends the walk: it is reported as Populate_cboFields' and `entries` keeps what
// was found before it. `unlisted`, when given, receives the IDs of the fields walked but not
// listed (their labels are not asked for): the walk makes the same calls either way.
void walkProtectedFields(const std::shared_ptr<act::ActFields>& objFields, MessageBox& box,
                         std::vector<FieldEntry>& entries, std::vector<std::int32_t>* unlisted = nullptr);

// True when the field's entry rule is 3. An error is reported and gives false.
bool Include_Field(act::ActFields& fields, const QString& fieldId, MessageBox& box);

} // namespace qm::modPopulateACTLists
