// The main window: its controls as laid out, and the start-up with its refusals and placement.

#include "TestServices.h"
#include "app/Form1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

using namespace qm;

namespace {

const QString kCR = QString(QChar(13));

// An administrator on a database with three protected fields among five, and three users.
void standardAct(test::FakeActState& s) {
    s.slots = {{5, "Company", 0}, {28, "Phone", 3},  {-1, "", 0},
               {31, "Fax", 3},    {40, "Status", 3}, {41, "ID", 0}};
    s.addUsers(3);
}

QString caption(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* cb = qobject_cast<QComboBox*>(w))
        return cb->currentText();
    return {};
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void controlLayout_data();
    void controlLayout();
    void tabOrderFollowsTabIndexes();
    void menusAndListViews();
    void enterAndEscapePressCloseAndCancel_data();
    void enterAndEscapePressCloseAndCancel();
    void refusedStart_data();
    void refusedStart();
    void defaultPlacementCollapsed();
    void storedPlacementAndExpanded();
    void badStoredNumberStopsStartUp_data();
    void badStoredNumberStopsStartUp();
    void fieldSelectionAtStart_data();
    void fieldSelectionAtStart();
    void actObjectsFailingOpensEmptyWindow();
};

void TestForm1::controlLayout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twips");
    auto row = [](const char* name, const char* kind, const char* text, const char* container, QRect r) {
        QTest::newRow(name) << name << kind << text << container << r;
    };
    row("cboFloating", "QComboBox", "", "client", {6060, 5640, 1125, 315});
    row("cmdFieldSettings", "QPushButton", "&Show Field Settings ", "client", {6075, 2040, 1000, 525});
    row("cmdCancel", "QPushButton", "&Cancel", "client", {6060, 660, 1000, 325});
    row("cmdClose", "QPushButton", "&Close", "client", {6060, 225, 1000, 325});
    row("fraUsers", "QGroupBox", "Authorized Users :", "client", {240, 135, 5655, 2580});
    row("lvwUsers", "QTreeWidget", "", "fraUsers", {240, 525, 4080, 1665});
    row("lblDefault", "QLabel", "These settings apply to all protected fields by default.", "fraUsers",
        {255, 2235, 5025, 285});
    row("lblGlobalSettings", "QLabel", "Global Settings :", "fraUsers", {240, 285, 2970, 285});
    row("fraFiles", "QGroupBox", "Protected Fields Settings :", "client", {240, 2880, 5655, 5595});
    row("chkEdit", "QCheckBox", "Allow editing", "fraFiles", {2415, 5175, 1755, 240});
    row("chkOnlyFromDropdown", "QCheckBox", "Only from Drop-down", "fraFiles", {270, 5175, 4080, 240});
    row("optUsers_1", "QRadioButton", "Use Settings below", "fraFiles", {2280, 1425, 1725, 270});
    row("optUsers_0", "QRadioButton", "Use Global Settings", "fraFiles", {450, 1410, 2205, 270});
    row("cmdSave", "QPushButton", "Save", "fraFiles", {4425, 600, 1000, 325});
    row("cboFields", "QComboBox", "Combo1", "fraFiles", {270, 600, 4080, 315});
    row("rtfData", "QPlainTextEdit", "", "fraFiles", {270, 3855, 4080, 1305});
    row("lvwSpecialUsers", "QTreeWidget", "", "fraFiles", {285, 1755, 4080, 1665});
    row("lblSelect", "QLabel", "Select a Protected Field :", "fraFiles", {270, 375, 4035, 285});
    row("lblAuthorizedUsers1", "QLabel", "Authorized Users for this Protected Field :", "fraFiles",
        {285, 1155, 4095, 285});
    row("lblDropdown", "QLabel", "Drop-down list (leave blank if drop-down not needed) :", "fraFiles",
        {270, 3600, 4125, 285});
}

void TestForm1::controlLayout() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QString, container);
    QFETCH(QRect, twips);
    test::TestServices t;
    Form1 form(t.services);
    auto* w = form.findChild<QWidget*>(name);
    QVERIFY(w);
    QCOMPARE(QString(w->metaObject()->className()), kind);
    QCOMPARE(caption(w), text);
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(w->geometry(), twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
    // Frame captions are bold, nothing else is.
    QCOMPARE(w->font().bold(), kind == "QGroupBox");
}

void TestForm1::tabOrderFollowsTabIndexes() {
    test::TestServices t;
    Form1 form(t.services);
    const QStringList expected = {"cmdClose",
                                  "cmdCancel",
                                  "rtfData",
                                  "cboFields",
                                  "lvwUsers",
                                  "cmdSave",
                                  "optUsers_0",
                                  "optUsers_1",
                                  "lvwSpecialUsers",
                                  "cmdFieldSettings",
                                  "chkOnlyFromDropdown",
                                  "chkEdit",
                                  "cboFloating"};
    QStringList chain;
    QWidget* w = form.findChild<QWidget*>("cmdClose");
    for (int i = 0; i < expected.size(); ++i, w = w->nextInFocusChain()) {
        while (w->focusPolicy() == Qt::NoFocus || w->objectName().isEmpty())
            w = w->nextInFocusChain();
        chain << w->objectName();
    }
    QCOMPARE(chain, expected);
    QCOMPARE(form.optUsers(0)->objectName(), "optUsers_0");
    QCOMPARE(form.lin1(1)->objectName(), "lin1_1");
    QVERIFY(form.optUsers(0)->isChecked() && !form.optUsers(0)->isEnabled() &&
            !form.optUsers(1)->isEnabled());
    QVERIFY(!form.controls().cmdSave->isEnabled() && !form.controls().chkEdit->isEnabled());
}

void TestForm1::menusAndListViews() {
    test::TestServices t;
    Form1 form(t.services);
    QStringList menus;
    for (QAction* top : form.menuBar()->actions()) {
        menus << top->text();
        for (QAction* item : top->menu()->actions())
            menus << "  " + item->objectName() + " " + item->text();
    }
    QCOMPARE(menus, QStringList({"&Options", "  mnuLocation Settings &Locations",
                                 "  mnuIntegrate &Integrate with ACT!", "&Help", "  mnuOnline Online &Help",
                                 "  mnuManual Owners &Manual", "  mnuAbout &About"}));
    QCOMPARE(form.windowTitle(), "Quillmark");
    for (QTreeWidget* list : {form.controls().lvwUsers, form.controls().lvwSpecialUsers}) {
        QCOMPARE(list->headerItem()->text(0), "Users");
        QCOMPARE(list->headerItem()->text(1), "Rights");
        QCOMPARE(list->headerItem()->data(1, kListKeyRole).toString(), "Rights");
        QCOMPARE(list->columnWidth(0), 100); // 2647/100 mm = 1501 twips
        QCOMPARE(list->columnWidth(1), 96);
        list->addTopLevelItem(new QTreeWidgetItem(QStringList{"Ann", "Full"}));
        attachImageList(*list);
        QVERIFY(list->sizeHintForRow(0) >= kImageListRowHeight);
    }
}

void TestForm1::enterAndEscapePressCloseAndCancel_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("pressed");
    QTest::newRow("Enter in a list") << "lvwUsers" << int(Qt::Key_Return) << "cmdClose";
    QTest::newRow("Enter in the field chooser") << "cboFields" << int(Qt::Key_Enter) << "cmdClose";
    QTest::newRow("Enter on Cancel presses Cancel") << "cmdCancel" << int(Qt::Key_Return) << "cmdCancel";
    QTest::newRow("Escape in a list") << "lvwUsers" << int(Qt::Key_Escape) << "cmdCancel";
    QTest::newRow("Enter in the list editor is its own") << "rtfData" << int(Qt::Key_Return) << "";
}

void TestForm1::enterAndEscapePressCloseAndCancel() {
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
    form.activateWindow();
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(clicked, pressed);
}

void TestForm1::refusedStart_data() {
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("style");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("objectsCreated");
    QTest::newRow("second copy") << "another"
                                 << "An instance of this program is already running!" << 0 << "Quillmark"
                                 << false;
    QTest::newRow("no database") << "closed"
                                 << "Please open an ACT database prior to running Quillmark!" << 48
                                 << "Quillmark" << false;
    QTest::newRow("ACT! unreachable")
        << "unregistered"
        << "Unable to communicate with ACT!\rPlease run actreg.exe located in the ACT folder and try again"
        << 16 << "Quillmark" << false;
    QTest::newRow("not an administrator")
        << "user"
        << "Sorry! This program may only be run by an administrator of the database!" << 0
        << "Insufficient Security Level" << true;
}

void TestForm1::refusedStart() {
    QFETCH(QString, situation);
    QFETCH(QString, text);
    QFETCH(int, style);
    QFETCH(QString, title);
    QFETCH(bool, objectsCreated);
    test::TestServices t;
    standardAct(t.actState);
    t.instance.another = situation == "another";
    t.actState.databaseOpen = situation != "closed";
    t.actState.automationRegistered = situation != "unregistered";
    t.actState.currentUserSecurity = situation == "user" ? 4 : 5;
    t.settings.values = {{"Top", "1500"}, {"Left", "3000"}, {"Expanded", "True"}, {"LastField", "Fax"}};
    Form1 form(t.services);
    form.Form_Load();
    QVERIFY(form.startRefused());
    QVERIFY(!form.isVisible());
    QCOMPARE(t.messageBox.shown.size(), std::size_t(1));
    QCOMPARE(t.messageBox.last().text, text);
    QCOMPARE(t.messageBox.last().style, style);
    QCOMPARE(t.messageBox.last().title, title);
    QCOMPARE(t.actState.calls.filter("CreateObject").isEmpty(), !objectsCreated);
    QCOMPARE(t.actState.calls.last(), "Operation2()"); // the unload handler detached from ACT!
    // The unshown window's own state is written over what was stored.
    QCOMPARE(t.settings.writes, QStringList({"Top", "Left", "Expanded", "LastField"}));
    QCOMPARE(t.settings.values["Top"], "0");
    QCOMPARE(t.settings.values["Left"], "0");
    QCOMPARE(t.settings.values["Expanded"], "False");
    QCOMPARE(t.settings.values["LastField"], "Combo1");
}

void TestForm1::defaultPlacementCollapsed() {
    test::TestServices t;
    standardAct(t.actState);
    Form1 form(t.services);
    form.Form_Load();
    QVERIFY(!form.startRefused());
    QVERIFY(t.messageBox.shown.empty());
    QVERIFY(!form.isVisible()); // the caller shows it
    const QSize screen = form.screenSizeTwips();
    QVERIFY(qAbs(form.heightTwips() - 3650) <= 15);
    QVERIFY(qAbs(form.topTwips() - screen.height() / 8.0) <= 15);
    QVERIFY(qAbs(form.leftTwips() - (screen.width() - form.widthTwips()) / 2.0) <= 15);
    // The floating chooser lies below the collapsed window's lower edge.
    auto* floating = form.controls().cboFloating;
    QVERIFY(floating->mapTo(&form, QPoint(0, 0)).y() >= form.height());
    QCOMPARE(floating->count(), 3);
    QCOMPARE(floating->itemText(2), "None");
    QCOMPARE(form.controls().cboFields->count(), 3);
    QCOMPARE(form.controls().lvwSpecialUsers->topLevelItemCount(), 3);
    QCOMPARE(form.controls().cmdFieldSettings->text(), "&Show Field Settings ");
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
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.controls().cmdFieldSettings->click(); // collapse: stores the field shown
    QVERIFY(qAbs(form.heightTwips() - 3650) <= 15);
    QCOMPARE(form.controls().cmdFieldSettings->text(), "Show Field Settings");
    form.controls().cmdFieldSettings->click();
    form.close();
    QCOMPARE(t.settings.values["Expanded"], "True");
    QCOMPARE(t.settings.values["LastField"], "Fax");
    QCOMPARE(t.actState.calls.last(), "Operation2()");
}

void TestForm1::badStoredNumberStopsStartUp_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("line");
    QTest::newRow("Top") << "Top" << 16;
    QTest::newRow("Left") << "Left" << 17;
    QTest::newRow("Expanded") << "Expanded" << 18;
}

void TestForm1::badStoredNumberStopsStartUp() {
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
             "Error 13: 'Type mismatch'" + kCR + "in Form1: Sub Form_Load - Line # " + QString::number(line) +
                 kCR + kCR + "Please contact support@quillmark.app with this error message.");
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
    QTest::newRow("no match anywhere") << 5 << "Company"
                                       << "";
    QTest::newRow("last field is case-sensitive") << 0 << "fax"
                                                  << "";
    QTest::newRow("no last field") << 0 << ""
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
    QCOMPARE(form.StartFieldID, currentField);
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
    QVERIFY(t.messageBox.shown[0].text.contains("in modAdmin: Sub Create_Database - Line # 7"));
    QVERIFY(
        t.messageBox.shown[1].text.startsWith("Error 91: 'Object variable or With block variable not set'" +
                                              kCR + "in Form1: Sub Form_Load - Line # 4"));
    QCOMPARE(form.controls().cboFields->count(), 0);
    QCOMPARE(form.controls().cboFloating->count(), 0);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
