#include "act/FieldWalk.h"

#include "platform/ErrorReport.h"
#include "platform/Progress.h"
#include "platform/VbRuntime.h"

#include <algorithm>
#include <optional>

namespace qm::modPopulateACTLists {

namespace {

constexpr char kModule[] = "modPopulateACTLists";

// Writes the decimal text of `value` into `text`, as QString::number writes it, reusing the
// text's buffer: the field walk asks about thousands of field IDs, each given as text. A copy
// that a callee kept stays as it was (writing into a shared text makes it a copy of its own).
void setDecimal(QString& text, std::int32_t value) {
    char digits[12];
    char* const end = digits + sizeof digits;
    char* first = end;
    auto rest = value < 0 ? 0U - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    do {
        *--first = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (value < 0) {
        *--first = '-';
    }
    text.resize(end - first);
    std::transform(first, end, text.data(), [](char c) { return QLatin1Char(c); });
}

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
        QString idText;
        idText.reserve(12);
        for (;;) {
            trap.line = 3;
            const std::int32_t id = fields.ID(slot);
            if (id != -1) {
                setDecimal(idText, id);
                if (Include_Field(fields, idText, box)) {
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
