// The rights load and save: the rights lists set from the authorized-users file, the global rights
// copied into the field's list, and a list written back.

#include "editor/Editor.h"

#include "platform/ErrorReport.h"

#include <QAbstractItemModel>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTreeWidget>

#include <optional>

namespace qm::editor {

namespace {

constexpr char kModule[] = "Form1";

// A rights list view as the rights logic sees it. The right code is the item's tag; the user's
// unique ID was kept with the item when the list was filled, so that loading and writing rights
// ask ACT! nothing: against the real ACT! every call crosses into its process, and a field switch
// or a Close would otherwise ask once per user.
class TreeRightsList : public rights::RightsList {
public:
    explicit TreeRightsList(QTreeWidget& list)
        : m_list(list)
        , m_root(*list.invisibleRootItem()) {}

    QString name() const override { return m_list.objectName(); }
    int count() const override { return m_root.childCount(); }
    QString uniqueId(int item) const override {
        const QVariant id = at(item)->data(0, kListIdRole);
        if (!id.isValid()) {
            raise(VbErr::InvalidCall);
        }
        return id.toString();
    }
    QString rightsText(int item) const override { return at(item)->text(1); }
    int code(int item) const override { return rightCode(*at(item)); }
    void setRightsText(int item, const QString& text) override { at(item)->setText(1, text); }
    void setCode(int item, int code) override { at(item)->setData(0, kListTagRole, code); }

private:
    // The items through the list's root: QTreeWidget::topLevelItem() looks its model up again on
    // every call, and a load asks for each item several times.
    QTreeWidgetItem* at(int item) const {
        QTreeWidgetItem* i = m_root.child(item);
        if (!i) {
            raise(VbErr::SubscriptOutOfRange);
        }
        return i;
    }

    QTreeWidget& m_list;
    QTreeWidgetItem& m_root;
};

// Rights set on every item of a list that is not on the screen (the start-up fills and loads the
// lists before the window is shown) reach its view as one change of all its rows. Announced item
// by item, each change makes Qt's tree model search the item among its siblings to name its row:
// a search through the list per user. A list on the screen is told item by item: one change of
// thousands of rows costs its view a rectangle per row, more than the items' own announcements.
class ListWrites {
public:
    explicit ListWrites(QTreeWidget& list)
        : m_list(list) {
        if (!list.isVisible()) {
            m_quiet.emplace(list.model());
        }
    }
    ~ListWrites() {
        if (!m_quiet) {
            return;
        }
        m_quiet->unblock();
        QAbstractItemModel* model = m_list.model();
        const int rows = m_list.topLevelItemCount();
        if (rows > 0) {
            Q_EMIT model->dataChanged(model->index(0, 0), model->index(rows - 1, model->columnCount() - 1),
                                      {Qt::DisplayRole, Qt::EditRole, kListTagRole});
        }
    }
    ListWrites(const ListWrites&) = delete;
    ListWrites& operator=(const ListWrites&) = delete;

private:
    QTreeWidget& m_list;
    std::optional<QSignalBlocker> m_quiet;
};

} // namespace

int rightCode(const QTreeWidgetItem& item) {
    bool ok = false;
    const int code = item.data(0, kListTagRole).toInt(&ok);
    if (!ok) {
        raise(VbErr::TypeMismatch);
    }
    return code;
}

rights::RightsFile Editor::rightsFile() const {
    return {m_x.usersPath, m_x.genericName};
}

void Editor::Load_User_Rights(QTreeWidget& list, bool useGlobal) {
    RightsLoading = true;
    if (useGlobal) {
        Copy_Global_Rights();
        RightsLoading = false;
        return;
    }
    const rights::RightsFile file = rightsFile();
    if (&list == c.lvwUsers) {
        AuthorizedUsers::ScopeRead global = file.readChecked(AuthorizedUsers::kGlobalScope);
        FullIDs = global.lists.full;
        InitializeIDs = global.lists.initialize;
        m_global = {std::move(global.problem), false}; // said by Check_Authorized_Users
    } else if (&list == c.lvwSpecialUsers) {
        rights::RightsFile::FieldRead read = file.readFieldChecked(currentFieldId);
        m_fieldBase = {read.values, {}}; // its rights as shown are taken once the field is loaded
        const rights::RightsFile::FieldScope& field = read.field;
        FullIDs = field.lists.full;
        InitializeIDs = field.lists.initialize;
        loaded(What::FieldRights, std::move(read.problem));
        if (!field.ownSettings) {
            Copy_Global_Rights();
            c.optUsers[0]->setChecked(true);
            c.optUsers[1]->setChecked(false);
            RightsLoading = false;
            return;
        }
        c.optUsers[0]->setChecked(false); // a selected option button stays so until another is
        c.optUsers[1]->setChecked(true);
    }
    TreeRightsList items(list);
    {
        const ListWrites batch(list);
        rights::setRights(items, {FullIDs, InitializeIDs});
    }
    RightsLoading = false;
}

void Editor::Copy_Global_Rights() {
    const TreeRightsList global(*c.lvwUsers);
    TreeRightsList field(*c.lvwSpecialUsers);
    const ListWrites batch(*c.lvwSpecialUsers);
    rights::copyRights(global, field);
}

void Editor::Check_Authorized_Users() {
    ErrorTrap trap(m_x.services.messageBox, {kModule, ProcKind::Sub, "Check_Authorized_Users"});
    trap.run([&] {
        trap.line = 1;
        const rights::RightsFile file = rightsFile();
        AuthorizedUsers::ScopeRead global;
        if (file.exists()) {
            global = file.readChecked(AuthorizedUsers::kGlobalScope);
        }
        // A users file that exists but cannot be read is said at once, and gives nobody a right
        // that Close would then write over the rights it holds.
        loaded(What::GlobalRights, std::move(global.problem));
        trap.line = 2;
        {
            TreeRightsList items(*c.lvwUsers);
            const ListWrites batch(*c.lvwUsers);
            rights::setRights(items, global.lists);
        }
        m_globalBase = {global.values, codesOf(*c.lvwUsers)};
    });
}

bool Editor::Write_Users(QTreeWidget& list, const QString& oldKey) {
    const bool global = &list == c.lvwUsers;
    if (global && !m_global.toWrite()) {
        return true; // not read, and not changed: the file keeps the rights it holds
    }
    if (global && !confirmUnread({What::GlobalRights})) {
        return false;
    }
    const std::optional<Collected> collected = collectUsers(list);
    if (!collected) {
        return false;
    }
    m_choices.clear();
    RightsPlan plan = rightsPlan(list, true, oldKey, &*collected);
    SettingsChange change(m_x.genericName, global ? QString() : currentFieldId,
                          global ? QString() : currentFieldLabel);
    if (!writeRights(plan, change)) {
        return false;
    }
    record(change, fromElsewhere(nullptr, &plan));
    if (global) { // what the file now holds, should the window stay open
        const merge::FieldRightsMerge& m = plan.outcome;
        m_globalBase = !plan.merged ? RightsBase{{plan.lists.full, plan.lists.initialize}, plan.mine.codes}
                       : m.write == merge::Write::Nothing
                           ? RightsBase{plan.theirs, m.codes}
                           : RightsBase{{m.lists.full, m.lists.initialize}, m.codes};
    }
    if (plan.merged && plan.outcome.write != merge::Write::Nothing && !plan.outcome.fromElsewhere.isEmpty()) {
        const QString whose = global ? QStringLiteral("The global rights were saved. ")
                                     : QStringLiteral("The rights were saved. ");
        m_x.services.messageBox.show(whose + elsewhereText(plan.outcome.fromElsewhere), vbOKOnly, kAppTitle);
    }
    return true;
}

void Editor::settingsChangedElsewhere() {
    if (!m_global.changed) {
        Check_Authorized_Users();
    }
    if (!c.cmdSave->isEnabled() && c.cboFields->currentIndex() >= 0) {
        cboFields_Click();
    }
}

const std::vector<RosterUser>& Editor::roster() const {
    const QTreeWidgetItem& root = *c.lvwUsers->invisibleRootItem();
    if (m_roster.size() != std::size_t(root.childCount())) {
        m_roster.clear();
        m_roster.reserve(std::size_t(root.childCount()));
        for (int i = 0; i < root.childCount(); ++i) {
            const QTreeWidgetItem& item = *root.child(i);
            m_roster.push_back({item.text(0), item.data(0, kListIdRole).toString()});
        }
    }
    return m_roster;
}

void Editor::record(const SettingsChange& change, const QStringList& fromElsewhere) {
    const QString note = elsewhereText(fromElsewhere);
    tellLogProblemOnce(m_x.services.messageBox,
                       change.append(m_x.usersPath, roster(), m_x.actUser, changelog::Kind::Other, note));
}

std::optional<Editor::Collected> Editor::collectUsers(QTreeWidget& list) {
    std::optional<Collected> collected;
    ErrorTrap trap(m_x.services.messageBox, {kModule, ProcKind::Sub, "Write_Users"});
    trap.run([&] {
        trap.line = 2;
        std::vector<std::pair<QString, int>> userRights = rights::collectUserRights(TreeRightsList(list));
        const rights::IdLists lists = AuthorizedUsers::buildIdLists(userRights);
        if (confirmCut(list, userRights, lists)) {
            collected = Collected{std::move(userRights), lists};
        }
    });
    return collected;
}

// A list longer than a read returns would silently take their right from the users past the cut:
// the administrator may go on, or go back and change the rights. The question is this tool's own
// (the settings format cuts a read at 126 characters and says nothing): it keeps a right from being
// lost unseen. Closed meanwhile by ACT!, the window writes nothing.
bool Editor::confirmCut(const QTreeWidget& list, const std::vector<std::pair<QString, int>>& userRights,
                        const rights::IdLists& lists) {
    const std::vector<int> cut = rights::cutOnRead(userRights, lists);
    if (cut.empty()) {
        return true;
    }
    constexpr int kNamed = 10;
    QStringList names;
    for (const int i : cut) {
        if (names.size() == kNamed) {
            names << QStringLiteral("and %1 more").arg(cut.size() - kNamed);
            break;
        }
        names << list.topLevelItem(i)->text(0) + QStringLiteral(" (") +
                     rights::rightName(rights::Right(userRights[std::size_t(i)].second)) + QLatin1Char(')');
    }
    const QString whose = list.objectName() == c.lvwUsers->objectName()
                              ? QStringLiteral("the global rights")
                              : QStringLiteral("the rights on '") + currentFieldLabel + QLatin1Char('\'');
    const QChar cr(13);
    const QString text = QStringLiteral("Only the first 126 characters of a list of users are read back.") +
                         cr + QStringLiteral("Written as they stand, ") + whose +
                         QStringLiteral(" would be read without: ") + names.join(QStringLiteral(", ")) +
                         QLatin1Char('.') + cr + cr +
                         QStringLiteral("Do you want to write them all the same?");
    return ask(text, vbYesNo + vbExclamation) == vbYes;
}

} // namespace qm::editor
