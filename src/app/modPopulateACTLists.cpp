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
} // namespace

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
