#include "app/modPopulateACTLists.h"

#include "app/Form1Layout.h"
#include "editor/Rights.h"
#include "platform/ErrorReport.h"
#include "platform/Progress.h"
#include "platform/VbRuntime.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTreeWidget>

#include <algorithm>
#include <optional>
#include <utility>

namespace qm::modPopulateACTLists {

namespace {
constexpr char kModule[] = "modPopulateACTLists";

// An item of a rights list. Its user's name, key, unique ID, right code (tag) and "Rights" text
// live in the item itself: QTreeWidgetItem keeps them in per-column lists that are allocated as
// they grow and copied on every change, and a start-up sets them on every item of both lists,
// several times. They are read and written through data() and setData() like any other role, and
// a change is announced as QTreeWidgetItem announces it: the one cell, with the roles changed.
class RightsItem : public QTreeWidgetItem {
public:
    // `row`: where the item is going to stand in its list.
    RightsItem(const ListedUser& user, int row)
        : m_name(user.name)
        , m_key(QLatin1Char('U') + QString::number(user.position))
        , m_id(user.uniqueId)
        , m_row(row) {}

    QVariant data(int column, int role) const override {
        const QVariant* own = const_cast<RightsItem*>(this)->ownValue(column, role);
        return own ? *own : QTreeWidgetItem::data(column, role);
    }

    void setData(int column, int role, const QVariant& value) override {
        QVariant* own = ownValue(column, role);
        if (!own) {
            QTreeWidgetItem::setData(column, role, value);
        } else if (*own != value || own->metaType() != value.metaType()) {
            *own = value;
            announce(column, role);
        }
    }

private:
    QVariant* ownValue(int column, int role) {
        const bool text = role == Qt::DisplayRole || role == Qt::EditRole;
        if (column == 0) {
            return text                   ? &m_name
                   : role == kListKeyRole ? &m_key
                   : role == kListTagRole ? &m_tag
                   : role == kListIdRole  ? &m_id
                                          : nullptr;
        }
        return column == 1 && text ? &m_rights : nullptr;
    }

    // The item's row is checked where it was last seen and searched for only when it moved: a
    // search through the list for each item changed would make a load into a shown list cost its
    // users squared. Nothing is announced while the list's model is silent (a rights load that
    // announces all its rows at its end).
    void announce(int column, int role) {
        QTreeWidget* list = treeWidget();
        if (!list || list->model()->signalsBlocked()) {
            return;
        }
        if (list->invisibleRootItem()->child(m_row) != this) {
            m_row = list->indexOfTopLevelItem(this);
        }
        QAbstractItemModel* model = list->model();
        const QModelIndex cell = model->index(m_row, column);
        const bool text = role == Qt::DisplayRole || role == Qt::EditRole;
        Q_EMIT model->dataChanged(cell, cell,
                                  text ? QList<int>{Qt::DisplayRole, Qt::EditRole} : QList<int>{role});
    }

    QVariant m_name;
    QVariant m_key;
    QVariant m_id;
    QVariant m_tag;
    QVariant m_rights;
    int m_row;
};

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
                       const QString& accessFilter, const QString& securityFilter, MessageBox& box,
                       UsersRead* kept) {
    list.clear();
    QList<QTreeWidgetItem*> items;
    const auto add = [&items](const ListedUser& user) {
        items << new RightsItem(user, static_cast<int>(items.size()));
    };
    if (kept && kept->complete && kept->accessFilter == accessFilter &&
        kept->securityFilter == securityFilter) {
        items.reserve(static_cast<qsizetype>(kept->users.size()));
        for (const ListedUser& user : kept->users) {
            add(user);
        }
        list.addTopLevelItems(items);
        return;
    }
    UsersRead read{accessFilter, securityFilter, {}, false};
    ErrorTrap trap(box, {kModule, ProcKind::Sub, "Populate_lvwUsers"});
    read.complete = trap.run([&] {
        trap.line = 2;
        act::ActUsers& users = act::deref(objUsers);
        const std::int16_t n = vb::CInt(static_cast<double>(users.Count()));
        read.users.reserve(static_cast<std::size_t>(std::max<std::int16_t>(n, 0)));
        for (int p = 1; p <= n; ++p) {
            const auto position = static_cast<std::int16_t>(p);
            // A filter that has turned the user down settles it: the other is not asked.
            bool listed = true;
            if (!securityFilter.isEmpty()) {
                trap.line = 3;
                listed = securityFilter.contains(users.Security(position));
            }
            if (listed && !accessFilter.isEmpty()) {
                trap.line = 4;
                listed = accessFilter.contains(users.Access(position));
            }
            if (listed) {
                trap.line = 5;
                ListedUser user{users.Name(position), QString(), p};
                trap.line = 6;
                user.uniqueId = rights::uniqueIdOf(users, QLatin1Char('U') + QString::number(p));
                add(user);
                read.users.push_back(std::move(user));
            }
            reportProgress(ProgressStep::Users, p, n);
        }
    });
    // One insertion for the whole list, also of the items read before an error.
    list.addTopLevelItems(items);
    if (kept) {
        *kept = std::move(read);
    }
}

} // namespace qm::modPopulateACTLists
