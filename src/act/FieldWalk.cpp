#include "act/FieldWalk.h"

#include "platform/ErrorReport.h"
#include "platform/Progress.h"
#include "platform/VbRuntime.h"

#include <optional>

namespace qm::modPopulateACTLists {

namespace {

constexpr char kModule[] = "modPopulateACTLists";

// Adding 1 to a 16-bit counter, with the run-time's overflow at 32,767.
std::int16_t next16(std::int16_t value) {
    return vb::CInt(static_cast<double>(value) + 1.0);
}

} // namespace

bool Include_Field(act::ActFields& fields, const QString& fieldId, MessageBox& box) {
    bool include = false;
    ErrorTrap trap(box, {kModule, ProcKind::Function, "Include_Field"});
    trap.run([&] {
        trap.line = 1;
        include = fields.EntryRule(fieldId) == 3;
    });
    return include;
}

void walkProtectedFields(const std::shared_ptr<act::ActFields>& objFields, MessageBox& box,
                         std::vector<FieldEntry>& entries, std::vector<std::int32_t>* unlisted) {
    ErrorTrap trap(box, {kModule, ProcKind::Sub, "Populate_cboFields"});
    trap.run([&] {
        trap.line = 2;
        act::ActFields& fields = act::deref(objFields);
        std::int16_t slot = 0;
        std::int16_t seen = 0;
        std::optional<std::int32_t> count; // asked once, after the first slot; it stays constant
        for (;;) {
            trap.line = 3;
            const std::int32_t id = fields.ID(slot);
            if (id != -1) {
                if (Include_Field(fields, QString::number(id), box)) {
                    trap.line = 4;
                    entries.push_back({fields.Label(slot), id});
                } else if (unlisted) {
                    unlisted->push_back(id);
                }
                trap.line = 5;
                seen = next16(seen);
            }
            reportProgress(ProgressStep::Fields, seen, count.value_or(0));
            trap.line = 6;
            slot = next16(slot);
            trap.line = 7;
            if (!count) {
                count = fields.Count();
            }
            if (seen == *count) {
                break;
            }
        }
    });
}

} // namespace qm::modPopulateACTLists
