// Filling the field chooser (slot walk) and the rights lists (users) from ACT!.

#include "FakeAct.h"
#include "TestPlatform.h"
#include "app/Form1Layout.h"
#include "app/modPopulateACTLists.h"

#include <QComboBox>
#include <QTest>
#include <QTreeWidget>

using namespace qm;
using Slots = std::vector<test::FakeSlot>;
Q_DECLARE_METATYPE(Slots)

class TestPopulate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fieldWalk_data();
    void fieldWalk();
    void fieldsBeyondSlot32766Overflow();
    void usersList_data();
    void usersList();
};

void TestPopulate::fieldWalk_data() {
    QTest::addColumn<Slots>("slots");
    QTest::addColumn<int>("count"); // -1: the number of fields in the slots
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("entries"); // "label=id"
    QTest::addColumn<QString>("report");      // start of the error report's second line
    const Slots example = {{10, "A", 0}, {-1, "", 0}, {12, "C", 3}, {13, "D", 0}, {-1, "", 0}, {15, "F", 3}};
    QTest::newRow("gaps: slot 5 read after 3 fields")
        << example << 4 << "" << QStringList{"C=12", "F=15"} << "";
    QTest::newRow("empty collection") << Slots{{-1, "", 0}} << 0 << "" << QStringList{} << "";
    QTest::newRow("empty label listed") << Slots{{7, "", 3}} << -1 << "" << QStringList{"=7"} << "";
    QTest::newRow("same label twice")
        << Slots{{7, "Fax", 3}, {8, "Fax", 3}} << -1 << "" << QStringList{"Fax=7", "Fax=8"} << "";
    QTest::newRow("Count beyond the slots") << example << 5 << "" << QStringList{"C=12", "F=15"}
                                            << "in modPopulateACTLists: Sub Populate_cboFields - Line # 3";
    QTest::newRow("Label fails: nothing listed")
        << example << 4 << "Label" << QStringList{}
        << "in modPopulateACTLists: Sub Populate_cboFields - Line # 4";
    QTest::newRow("EntryRule fails: field skipped, walk goes on")
        << example << 4 << "EntryRule" << QStringList{}
        << "in modPopulateACTLists: Function Include_Field - Line # 1";
}

void TestPopulate::fieldWalk() {
    QFETCH(Slots, slots);
    QFETCH(int, count);
    QFETCH(QString, failing);
    QFETCH(QStringList, entries);
    QFETCH(QString, report);
    test::FakeActState state;
    state.slots = slots;
    state.fieldCount = count;
    if (!failing.isEmpty())
        state.failing = {failing};
    test::FakeActFactory factory(state);
    auto fields = act::createAs<act::ActDatabase>(factory, act::kProgIdDatabase)->Contact()->Fields();
    test::FakeMessageBox box;
    QComboBox combo;
    combo.setEditable(true);
    combo.addItem("stale");
    combo.setEditText("Combo1");
    modPopulateACTLists::Populate_cboFields(combo, fields, box);
    QStringList got;
    for (int i = 0; i < combo.count(); ++i)
        got << combo.itemText(i) + "=" + combo.itemData(i).toString();
    QCOMPARE(got, entries);
    QCOMPARE(combo.currentIndex(), -1); // filling selects nothing
    QCOMPARE(combo.currentText(), QString());
    if (report.isEmpty()) {
        QVERIFY(box.shown.empty());
    } else {
        QVERIFY(!box.shown.empty());
        QVERIFY2(box.shown.front().text.section('\r', 1, 1).startsWith(report),
                 qPrintable(box.shown.front().text));
    }
    if (failing == "EntryRule")
        QCOMPARE(box.shown.size(), std::size_t(4)); // once per field
}

void TestPopulate::fieldsBeyondSlot32766Overflow() {
    test::FakeActState state;
    state.slots.resize(32768);
    state.slots[32766] = {1, "Last but one", 3};
    state.slots[32767] = {2, "Last", 3};
    test::FakeActFactory factory(state);
    auto fields = act::createAs<act::ActDatabase>(factory, act::kProgIdDatabase)->Contact()->Fields();
    test::FakeMessageBox box;
    QComboBox combo;
    modPopulateACTLists::Populate_cboFields(combo, fields, box);
    QCOMPARE(box.shown.size(), std::size_t(1));
    QVERIFY(
        box.last().text.startsWith("Error 6: 'Overflow'\rin modPopulateACTLists: Sub Populate_cboFields"));
    QCOMPARE(combo.count(), 2); // both fields were read before the slot number overflowed
}

void TestPopulate::usersList_data() {
    QTest::addColumn<QString>("access");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("items"); // "key name"
    QTest::newRow("no filters") << ""
                                << ""
                                << "" << QStringList{"U1 Ann", "U2 Bob", "U3 Cy", "U4 Di"};
    QTest::newRow("security filter") << ""
                                     << "|1|2|"
                                     << "" << QStringList{"U1 Ann", "U2 Bob", "U4 Di"};
    QTest::newRow("filter is case-sensitive") << "|A|0|"
                                              << ""
                                              << "" << QStringList{"U1 Ann", "U3 Cy", "U4 Di"};
    QTest::newRow("Name fails: report, nothing listed") << ""
                                                        << ""
                                                        << "Name" << QStringList{};
}

void TestPopulate::usersList() {
    QFETCH(QString, access);
    QFETCH(QString, security);
    QFETCH(QString, failing);
    QFETCH(QStringList, items);
    test::FakeActState state;
    state.users = {
        {"Ann", "1", "0", "{A}"}, {"Bob", "2", "a", "{B}"}, {"Cy", "3", "0", "{C}"}, {"Di", "2", "0", "{D}"}};
    if (!failing.isEmpty())
        state.failing = {failing};
    test::FakeActFactory factory(state);
    auto users = act::createAs<act::ActDatabase>(factory, act::kProgIdDatabase)->Users();
    test::FakeMessageBox box;
    QTreeWidget list;
    list.addTopLevelItem(
        new QTreeWidgetItem(QStringList{"stale", "Full"})); // a refill empties the list first
    modPopulateACTLists::Populate_lvwUsers(list, users, access, security, box);
    QStringList got;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list.topLevelItem(i);
        got << item->data(0, kListKeyRole).toString() + " " + item->text(0);
        QVERIFY(item->text(1).isEmpty() && !item->data(0, kListTagRole).isValid() && item->icon(0).isNull());
    }
    QCOMPARE(got, items);
    QCOMPARE(box.shown.size(), std::size_t(failing.isEmpty() ? 0 : 1));
    if (!failing.isEmpty())
        QVERIFY(
            box.last().text.section('\r', 1, 1).startsWith("in modPopulateACTLists: Sub Populate_lvwUsers"));
    // Name is asked only for users that are listed.
    if (failing.isEmpty())
        QCOMPARE(state.calls.filter("Name(").size(), items.size());
}

QTEST_MAIN(TestPopulate)
#include "tst_populate.moc"
