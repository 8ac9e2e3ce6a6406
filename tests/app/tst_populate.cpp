// Filling the field chooser (slot walk) and the rights lists (users) from ACT!.

#include "FakeAct.h"
#include "TestPlatform.h"
#include "app/Form1Layout.h"
#include "app/modPopulateACTLists.h"

#include <QComboBox>
#include <QTreeWidget>

using namespace qm;
using Slots = std::vector<test::FakeSlot>;
Q_DECLARE_METATYPE(Slots)

namespace {

// Ann (security 1, access 0), Bob (2, a), Cy (3, 0) and Di (2, 0); `failing` raises.
test::FakeActState fourUsers(const QString& failing) {
    test::FakeActState state;
    state.users = {
        {"Ann", "1", "0", "{A}"}, {"Bob", "2", "a", "{B}"}, {"Cy", "3", "0", "{C}"}, {"Di", "2", "0", "{D}"}};
    state.failing = {failing};
    return state;
}

// A rights list's items as "key name unique-ID", ...
QString itemsOf(const QTreeWidget& list) {
    QStringList items;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list.topLevelItem(i);
        items << item->data(0, kListKeyRole).toString() + " " + item->text(0) + " " +
                     item->data(0, kListIdRole).toString();
    }
    return items.join(",");
}

} // namespace

class TestPopulate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fieldWalk_data() {
        // count -1: the number of fields in the slots; entries "label=id", ...; report: first two lines
        // of each report
        test::columns<Slots, int, QString, QString, QString>("slots", "count", "failing", "entries",
                                                             "report");
        using test::row;
        const Slots example = {{10, "A", 0}, {-1, "", 0}, {12, "C", 3},
                               {13, "D", 0}, {-1, "", 0}, {15, "F", 3}};
        Slots edge(32768); // the last two slots a 16-bit slot number reaches
        edge[32766] = {1, "Last but one", 3};
        edge[32767] = {2, "Last", 3};
        const QString at = "\rin modPopulateACTLists: Sub Populate_cboFields - Line # ";
        row("gaps: slot 5 read after 3 fields", example, 4, "", "C=12,F=15", "");
        row("labels empty and twice", Slots{{7, "Fax", 3}, {8, "Fax", 3}, {9, "", 3}}, -1, "",
            "Fax=7,Fax=8,=9", "");
        row("empty collection", Slots{{-1, "", 0}}, 0, "", "", "");
        row("IDs as text: the widest, negative, then shorter",
            Slots{{INT32_MIN, "Min", 3}, {INT32_MAX, "Max", 3}, {-45, "Neg", 3}, {7, "Short", 3}}, -1, "",
            "Min=-2147483648,Max=2147483647,Neg=-45,Short=7", "");
        row("only entry rule 3", Slots{{1, "R1", 1}, {2, "R2", 2}, {3, "R3", 3}, {4, "R4", 4}}, -1, "",
            "R3=3", "");
        row("slot 0 read before Count", Slots{{9, "First", 3}}, -1, "Count", "First=9",
            "Error 440: 'Automation error'" + at + "7");
        row("Count beyond the slots", example, 5, "", "C=12,F=15",
            "Error 9: 'Subscript out of range'" + at + "3");
        row("Label fails: nothing listed", example, 4, "Label", "",
            "Error 440: 'Automation error'" + at + "4");
        row("slot number overflows after 32767", edge, -1, "", "Last but one=1,Last=2",
            "Error 6: 'Overflow'" + at + "6");
        const QString entryRule =
            "Error 440: 'Automation error'\rin modPopulateACTLists: Function Include_Field - Line # 1";
        row("EntryRule fails: field skipped, walk goes on", example, 4, "EntryRule", "",
            QStringList(4, entryRule).join("|"));
    }

    void fieldWalk() {
        auto [slots, count, failing, entries, report] = test::fetch<Slots, int, QString, QString, QString>();
        test::FakeActState state;
        state.slots = slots;
        state.fieldCount = count;
        state.failing = {failing};
        test::FakeActFactory factory(state);
        test::FakeMessageBox box;
        QComboBox combo;
        combo.setEditable(true);
        combo.addItem("stale");
        combo.setEditText("Combo1");
        modPopulateACTLists::Populate_cboFields(
            combo, act::createAs<act::ActDatabase>(factory, act::kProgIdDatabase)->Contact()->Fields(), box);
        QStringList got;
        for (int i = 0; i < combo.count(); ++i)
            got << combo.itemText(i) + "=" + combo.itemData(i).toString();
        QCOMPARE(got.join(","), entries);
        QCOMPARE(combo.currentIndex(), -1); // filling selects nothing
        QCOMPARE(combo.currentText(), QString());
        QStringList reports;
        for (const test::ShownBox& b : box.shown)
            reports << b.text.section('\r', 0, 1);
        QCOMPARE(reports.join("|"), report);
    }

    void usersList_data() {
        test::columns<QString, QString, QString, QString>("access", "security", "failing", "items");
        using test::row; // items: "key name unique-ID", ...
        row("no filters", "", "", "", "U1 Ann {A},U2 Bob {B},U3 Cy {C},U4 Di {D}");
        row("security filter", "", "|1|2|", "", "U1 Ann {A},U2 Bob {B},U4 Di {D}");
        row("access filter is case-sensitive", "|A|0|", "", "", "U1 Ann {A},U3 Cy {C},U4 Di {D}");
        row("both filters", "|0|", "|1|2|", "", "U1 Ann {A},U4 Di {D}");
        row("Name fails: report, nothing listed", "", "", "Name", "");
        row("third Name fails: the first two kept", "", "", "Name(3)", "U1 Ann {A},U2 Bob {B}");
        row("third UniqueID fails: the first two kept", "", "", "UniqueID(3)", "U1 Ann {A},U2 Bob {B}");
    }

    void usersList() {
        auto [access, security, failing, items] = test::fetch<QString, QString, QString, QString>();
        test::FakeActState state = fourUsers(failing);
        test::FakeActFactory factory(state);
        test::FakeMessageBox box;
        QTreeWidget list;
        list.addTopLevelItem(
            new QTreeWidgetItem(QStringList{"stale", "Full"})); // a refill empties the list first
        modPopulateACTLists::Populate_lvwUsers(
            list, act::createAs<act::ActDatabase>(factory, act::kProgIdDatabase)->Users(), access, security,
            box);
        QCOMPARE(itemsOf(list), items);
        QCOMPARE(box.boxes().join("").section('\r', 1, 1).section(" - ", 0, 0),
                 failing.isEmpty() ? "" : "in modPopulateACTLists: Sub Populate_lvwUsers");
        // Name, and after it the unique ID, are asked only for users that are listed.
        const qsizetype listed = list.topLevelItemCount();
        QCOMPARE(state.calls.filter("Name(").size(), listed + (failing.isEmpty() ? 0 : 1));
        QCOMPARE(state.calls.filter("UniqueID(").size(), listed + (failing.startsWith("UniqueID") ? 1 : 0));
    }

    // Per user, in this order: Security, Access (unless Security has turned the user down), Name
    // and the unique ID (the position as text) of a listed user.
    void usersCalls() {
        test::FakeActState state = fourUsers("");
        test::FakeActFactory factory(state);
        const auto users = act::createAs<act::ActDatabase>(factory, act::kProgIdDatabase)->Users();
        state.calls.clear();
        test::FakeMessageBox box;
        QTreeWidget list;
        modPopulateACTLists::Populate_lvwUsers(list, users, "|0|", "|1|2|", box);
        QCOMPARE(state.calls.join(" "), "Count() Security(1) Access(1) Name(1) UniqueID(1) Security(2) "
                                        "Access(2) Security(3) Security(4) Access(4) Name(4) UniqueID(4)");
    }

    // The second list is filled from what the first fill read, when that read was complete and
    // made with the same filters; otherwise ACT! is read again, failing calls reported again.
    void keptRead_data() {
        test::columns<QString, QString, int, int>("failing", "security", "calls", "reports");
        using test::row; // calls: of the second fill
        row("complete read: no call", "", "", 0, 0);
        row("other filters: read again", "", "|1|", 1 + 4 + 1 * 2, 0);
        row("a read ended by an error: read again", "Name(3)", "", 1 + 2 * 2 + 1, 2);
    }

    void keptRead() {
        auto [failing, security, calls, reports] = test::fetch<QString, QString, int, int>();
        test::FakeActState state = fourUsers(failing);
        test::FakeActFactory factory(state);
        const auto users = act::createAs<act::ActDatabase>(factory, act::kProgIdDatabase)->Users();
        test::FakeMessageBox box;
        QTreeWidget first, second;
        modPopulateACTLists::UsersRead kept;
        modPopulateACTLists::Populate_lvwUsers(first, users, "", "", box, &kept);
        QCOMPARE(kept.complete, failing.isEmpty());
        state.calls.clear();
        modPopulateACTLists::Populate_lvwUsers(second, users, "", security, box, &kept);
        QCOMPARE(state.calls.size(), calls);
        QCOMPARE(int(box.shown.size()), reports);
        if (security.isEmpty())
            QCOMPARE(itemsOf(second), itemsOf(first));
        QCOMPARE(kept.securityFilter, security);
        QCOMPARE(int(kept.users.size()), second.topLevelItemCount());
    }

    // A key holds the whole position, past one digit too.
    void usersKeys() {
        test::FakeActState state;
        state.addUsers(12);
        test::FakeActFactory factory(state);
        test::FakeMessageBox box;
        QTreeWidget list;
        modPopulateACTLists::Populate_lvwUsers(
            list, act::createAs<act::ActDatabase>(factory, act::kProgIdDatabase)->Users(), "", "", box);
        QCOMPARE(list.topLevelItem(9)->data(0, kListKeyRole).toString() + " " +
                     list.topLevelItem(11)->data(0, kListKeyRole).toString(),
                 "U10 U12");
    }
};

QTEST_MAIN(TestPopulate)
#include "tst_populate.moc"
