#include "app/modPopulateACTLists.h"

#include "app/Form1Layout.h"
#include "platform/ErrorReport.h"
#include "platform/Progress.h"
#include "platform/VbRuntime.h"

#include <QComboBox>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTreeWidget>

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
                         std::vector<FieldEntry>& entries) {
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

void Populate_cboFields(QComboBox& cboFields, const std::shared_ptr<act::ActFields>& objFields,
                        MessageBox& box) {
    // The combo box's own notifications stay quiet: filling the chooser selects nothing.
    const QSignalBlocker quiet(&cboFields);
    cboFields.clear();
    std::vector<FieldEntry> entries;
    walkProtectedFields(objFields, box, entries);

    // One insertion for the whole list: thousands of single insertions are slow.
    if (auto* model = qobject_cast<QStandardItemModel*>(cboFields.model())) {
        QList<QStandardItem*> rows;
        rows.reserve(static_cast<qsizetype>(entries.size()));
        for (const FieldEntry& e : entries) {
            auto* row = new QStandardItem(e.label);
            row->setData(e.id, Qt::UserRole);
            rows << row;
        }
        model->invisibleRootItem()->appendRows(rows);
    } else {
        for (const FieldEntry& e : entries) {
            cboFields.addItem(e.label, e.id);
        }
    }
    cboFields.setCurrentIndex(-1);
    cboFields.setEditText(QString());
}

void Populate_lvwUsers(QTreeWidget& list, const std::shared_ptr<act::ActUsers>& objUsers,
                       const QString& accessFilter, const QString& securityFilter, MessageBox& box) {
    list.clear();
    QList<QTreeWidgetItem*> items;
    ErrorTrap trap(box, {kModule, ProcKind::Sub, "Populate_lvwUsers"});
    trap.run([&] {
        trap.line = 2;
        act::ActUsers& users = act::deref(objUsers);
        const std::int16_t n = vb::CInt(static_cast<double>(users.Count()));
        for (int p = 1; p <= n; ++p) {
            const auto position = static_cast<std::int16_t>(p);
            bool listed = true;
            if (!securityFilter.isEmpty()) {
                trap.line = 3;
                listed = securityFilter.contains(users.Security(position)) && listed;
            }
            if (!accessFilter.isEmpty()) {
                trap.line = 4;
                listed = accessFilter.contains(users.Access(position)) && listed;
            }
            if (listed) {
                trap.line = 5;
                auto* item = new QTreeWidgetItem(QStringList{users.Name(position)});
                item->setData(0, kListKeyRole, QString(QStringLiteral("U") + QString::number(p)));
                items << item;
            }
            reportProgress(ProgressStep::Users, p, n);
        }
    });
    // One insertion for the whole list, also of the items read before an error.
    list.addTopLevelItems(items);
}

} // namespace qm::modPopulateACTLists
