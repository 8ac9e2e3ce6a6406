// The main window: how its controls hold together, and the start-up with its refusals and placement.

#include "TestServices.h"
#include "app/Form1.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

using namespace qm;

namespace {

// An administrator on a database with three protected fields among five, and three users.
void standardAct(test::FakeActState& s) {
    s.slots = {{5, "Company", 0}, {28, "Phone", 3},  {-1, "", 0},
               {31, "Fax", 3},    {40, "Status", 3}, {41, "ID", 0}};
    s.addUsers(3);
}

QString report(int number, const QString& description, const QString& where) {
    return QString("Error %1: '%2'\rin %3\r\rPlease contact support@quillmark.app with this error message.")
        .arg(number)
        .arg(description, where);
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void controlsSitInsideTheirContainers();
    void focusOrder();
    void enterAndEscape_data();
    void enterAndEscape();
    void refusedStart_data();
    void refusedStart();
    void defaultPlacement();
    void storedPlacementAndExpanded();
    void badStoredValueStopsStartUp_data();
    void badStoredValueStopsStartUp();
    void fieldSelectionAtStart_data();
    void fieldSelectionAtStart();
    void actObjectsFailingOpensEmptyWindow();
};

void TestForm1::controlsSitInsideTheirContainers() {
    test::TestServices t;
    Form1 form(t.services);
    const QStringList controls = {"cboFloating client",
                                  "cmdFieldSettings client",
                                  "cmdCancel client",
                                  "cmdClose client",
                                  "fraUsers client",
                                  "lvwUsers fraUsers",
                                  "lblDefault fraUsers",
                                  "lblGlobalSettings fraUsers",
                                  "fraFiles client",
                                  "chkEdit fraFiles",
                                  "chkOnlyFromDropdown fraFiles",
                                  "optUsers_1 fraFiles",
                                  "optUsers_0 fraFiles",
                                  "cmdSave fraFiles",
                                  "cboFields fraFiles",
                                  "rtfData fraFiles",
                                  "lvwSpecialUsers fraFiles",
                                  "lblSelect fraFiles",
                                  "lblAuthorizedUsers1 fraFiles",
                                  "lblDropdown fraFiles",
                                  "lin1_0 client",
                                  "lin1_1 client"};
    const QRect client = twipsRect(0, 0, kForm1ClientWidth + 15, kForm1ClientHeight);
    for (const QString& entry : controls) {
        const QString name = entry.section(' ', 0, 0);
        auto* w = form.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->parentWidget()->objectName(), entry.section(' ', 1));
        const QRect room = w->parentWidget()->objectName() == "client" ? client : w->parentWidget()->rect();
        QVERIFY2(room.contains(w->geometry()), qPrintable(name)); // nothing hangs out of its container
        QCOMPARE(w->font().bold(), qobject_cast<QGroupBox*>(w) != nullptr);
    }
    QCOMPARE(form.controls().cboFields->currentText(), "Combo1");
    QCOMPARE(form.optUsers(1)->objectName(), "optUsers_1");
    QCOMPARE(form.lin1(0)->objectName(), "lin1_0");
}

void TestForm1::focusOrder() {
    test::TestServices t;
    Form1 form(t.services);
    const QStringList expected =
        QString("cmdClose cmdCancel rtfData cboFields lvwUsers cmdSave optUsers_0 "
                "optUsers_1 lvwSpecialUsers cmdFieldSettings chkOnlyFromDropdown chkEdit "
                "cboFloating")
            .split(' ');
    QStringList chain;
    QWidget* w = form.controls().cmdClose;
    for (int i = 0; i < expected.size(); ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus || w->objectName().isEmpty())
            w = w->nextInFocusChain();
        chain << w->objectName();
    }
    QCOMPARE(chain, expected);
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QCOMPARE(QApplication::focusWidget()->objectName(), "cmdClose");
}

void TestForm1::enterAndEscape_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("pressed");
    QTest::newRow("Enter in a list") << "lvwUsers" << int(Qt::Key_Return) << "cmdClose";
    QTest::newRow("Enter on Cancel presses Cancel") << "cmdCancel" << int(Qt::Key_Return) << "cmdCancel";
    QTest::newRow("Enter in the list editor is its own") << "rtfData" << int(Qt::Key_Return) << "";
}

void TestForm1::enterAndEscape() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, pressed);
    test::TestServices t;
    Form1 form(t.services);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QString clicked;
    for (const char* name : {"cmdClose", "cmdCancel"}) {
        auto* b = form.findChild<QPushButton*>(name);
        QObject::disconnect(b, &QPushButton::clicked, nullptr, nullptr);
        QObject::connect(b, &QPushButton::clicked, [&clicked, name] { clicked = name; });
    }
    auto* target = form.findChild<QWidget*>(focus);
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(clicked, pressed);
}

void TestForm1::refusedStart_data() {
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("title");
    QTest::newRow("second copy") << "another"
                                 << "An instance of this program is already running!" << 0 << "Quillmark";
    QTest::newRow("no database") << "closed"
                                 << "Please open an ACT database prior to running Quillmark!" << 48
                                 << "Quillmark";
    QTest::newRow("ACT! unreachable") << "unregistered"
                                      << "Unable to communicate with ACT!\rPlease run actreg.exe located "
                                         "in the ACT folder and try again"
                                      << 16 << "Quillmark";
    QTest::newRow("not an administrator")
        << "user"
        << "Sorry! This program may only be run by an administrator of the database!" << 0
        << "Insufficient Security Level";
}

void TestForm1::refusedStart() {
    QFETCH(QString, situation);
    QFETCH(QString, text);
    QFETCH(int, style);
    QFETCH(QString, title);
    test::TestServices t;
    standardAct(t.actState);
    t.instance.another = situation == "another";
    t.actState.databaseOpen = situation != "closed";
    t.actState.automationRegistered = situation != "unregistered";
    t.actState.currentUserSecurity = situation == "user" ? 4 : 5;
    t.settings.values = {{"Top", "1500"}, {"Left", "3000"}, {"Expanded", "True"}, {"LastField", "Fax"}};
    Form1 form(t.services);
    form.Form_Load();
    QVERIFY(form.startRefused() && !form.isVisible());
    QCOMPARE(t.messageBox.shown.size(), std::size_t(1));
    QCOMPARE(t.messageBox.last().text, text);
    QCOMPARE(t.messageBox.last().style, style);
    QCOMPARE(t.messageBox.last().title, title);
    // ACT! objects exist only once ACT! answered; the unload handler detaches last of all.
    QCOMPARE(t.actState.calls.filter("CreateObject").isEmpty(), situation != "user");
    QCOMPARE(t.actState.calls.last(), "Operation2()");
    // The unshown window's own state is written over what was stored.
    QCOMPARE(t.settings.writes, QStringList({"Top", "Left", "Expanded", "LastField"}));
    QCOMPARE(t.settings.values.values(), QStringList({"False", "Combo1", "0", "0"})); // sorted by key
}

void TestForm1::defaultPlacement() {
    test::TestServices t;
    standardAct(t.actState);
    Form1 form(t.services);
    form.Form_Load();
    QVERIFY(!form.startRefused() && t.messageBox.shown.empty());
    QVERIFY(!form.isVisible()); // main() shows it
    const QSize screen = form.screenSizeTwips();
    QVERIFY(qAbs(form.heightTwips() - 3650) <= 15);
    QVERIFY(qAbs(form.topTwips() - screen.height() / 8.0) <= 15);
    QVERIFY(qAbs(form.leftTwips() - (screen.width() - form.widthTwips()) / 2.0) <= 15);
    auto* floating = form.controls().cboFloating;
    QVERIFY(floating->mapTo(&form, QPoint(0, 0)).y() >= form.height()); // below the lower edge
    QCOMPARE(floating->itemText(1), "Initialize");
    QCOMPARE(form.controls().cboFields->count(), 3);
    for (QTreeWidget* list : {form.controls().lvwUsers, form.controls().lvwSpecialUsers}) {
        QCOMPARE(list->topLevelItemCount(), 3);
        QVERIFY(list->sizeHintForRow(0) >= 18); // the image list was attached
        QCOMPARE(QList<int>({list->columnWidth(0), list->columnWidth(1)}), QList<int>({100, 96}));
    }
}

void TestForm1::storedPlacementAndExpanded() {
    test::TestServices t;
    standardAct(t.actState);
    t.settings.values = {{"Top", "1500"}, {"Left", "3000"}, {"Expanded", "True"}, {"LastField", "Fax"}};
    Form1 form(t.services);
    form.Form_Load();
    QVERIFY(t.messageBox.shown.empty());
    QCOMPARE(form.topTwips(), 1500.0F);
    QCOMPARE(form.leftTwips(), 3000.0F);
    QVERIFY(qAbs(form.heightTwips() - 9500) <= 15);
    QCOMPARE(form.controls().cmdFieldSettings->text(), "Hide Field Settings");
    QCOMPARE(form.controls().cboFields->currentText(), "Fax");
    form.show();
    form.controls().cmdFieldSettings->click(); // collapse, then expand again
    QVERIFY(qAbs(form.heightTwips() - 3650) <= 15);
    QCOMPARE(form.controls().cmdFieldSettings->text(), "Show Field Settings");
    form.controls().cmdFieldSettings->click();
    form.close();
    QCOMPARE(t.settings.values["Expanded"], "True");
    QCOMPARE(t.settings.values["LastField"], "Fax");
}

void TestForm1::badStoredValueStopsStartUp_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("line");
    QTest::newRow("Top") << "Top" << 16;
    QTest::newRow("Expanded") << "Expanded" << 18;
}

void TestForm1::badStoredValueStopsStartUp() {
    QFETCH(QString, key);
    QFETCH(int, line);
    test::TestServices t;
    standardAct(t.actState);
    t.actState.currentFieldId = 31;
    t.settings.values = {{"Expanded", "True"}, {key, "twelve"}};
    Form1 form(t.services);
    form.Form_Load();
    QVERIFY(!form.startRefused());
    QCOMPARE(t.messageBox.shown.size(), std::size_t(1));
    QCOMPARE(t.messageBox.last().text,
             report(13, "Type mismatch", "Form1: Sub Form_Load - Line # " + QString::number(line)));
    QCOMPARE(t.messageBox.last().title, "Quillmark error");
    // The later steps did not run: not expanded, no field selected.
    QCOMPARE(form.controls().cmdFieldSettings->text(), "&Show Field Settings ");
    QCOMPARE(form.controls().cboFields->currentIndex(), -1);
}

void TestForm1::fieldSelectionAtStart_data() {
    QTest::addColumn<int>("currentField");
    QTest::addColumn<QString>("lastField");
    QTest::addColumn<QString>("selected");
    QTest::newRow("the user's field") << 40 << "Fax"
                                      << "Status";
    QTest::newRow("unprotected field: last field") << 5 << "Fax"
                                                   << "Fax";
    QTest::newRow("last field is case-sensitive") << 0 << "fax"
                                                  << "";
}

void TestForm1::fieldSelectionAtStart() {
    QFETCH(int, currentField);
    QFETCH(QString, lastField);
    QFETCH(QString, selected);
    test::TestServices t;
    standardAct(t.actState);
    t.actState.currentFieldId = currentField;
    t.settings.values["LastField"] = lastField;
    Form1 form(t.services);
    form.Form_Load();
    QVERIFY(t.messageBox.shown.empty());
    QCOMPARE(form.controls().cboFields->currentText(), selected);
    QCOMPARE(form.controls().cboFields->currentIndex() >= 0, !selected.isEmpty());
}

void TestForm1::actObjectsFailingOpensEmptyWindow() {
    test::TestServices t;
    standardAct(t.actState);
    t.actState.failing = {"Contact"};
    Form1 form(t.services);
    form.Form_Load();
    QVERIFY(!form.startRefused());
    QCOMPARE(t.messageBox.shown.size(), std::size_t(2));
    QCOMPARE(t.messageBox.shown[0].text.section('\r', 1, 1), "in modAdmin: Sub Create_Database - Line # 7");
    QCOMPARE(t.messageBox.shown[1].text,
             report(91, "Object variable or With block variable not set", "Form1: Sub Form_Load - Line # 4"));
    QCOMPARE(form.controls().cboFloating->count(), 0);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
