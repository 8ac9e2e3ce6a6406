// The main window: how its controls hold together, and the start-up with its refusals and placement.

#include "Pointer.h"
#include "TestServices.h"
#include "app/Form1.h"
#include "app/WindowMain.h"
#include "platform/PlatformGui.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>
#include <QTreeWidget>

using namespace qm;

namespace {

// An administrator on a database with three protected fields among five, and three users.
void standardAct(test::FakeActState& s) {
    s.slots = {{5, "Company", 0}, {28, "Phone", 3},  {-1, "", 0},
               {31, "Fax", 3},    {40, "Status", 3}, {41, "ID", 0}};
    s.addUsers(3);
}

// The start-up's progress window, where the person does `action` as soon as it shows: presses
// "Cancel", "Escape", or the "close box".
struct ImpatientPerson : ProgressDisplay {
    ProgressWindow window;
    QString action;
    int shown = 0;
    void show() override {
        window.show();
        ++shown;
        QWidget* w = window.window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        if (action == "Cancel")
            test::click(w->findChild<QPushButton*>("cmdCancel"));
        else if (action == "Escape")
            test::key(w, Qt::Key_Escape);
        else if (action == "close box")
            test::windowOf(w)->close();
    }
    void update(int permille, const QString& caption) override { window.update(permille, caption); }
    void hide() override { window.hide(); }
    bool cancelled() const override { return window.cancelled(); }
};

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void focusAndKeys() {
        test::TestServices t;
        Form1 form(t.services);
        // Nothing hangs out of the client area.
        const QRect client = twipsRect(0, 0, kForm1ClientWidth + 15, kForm1ClientHeight);
        for (const QWidget* w : form.findChild<QWidget*>("client")->findChildren<QWidget*>(
                 QString(), Qt::FindDirectChildrenOnly))
            QVERIFY2(client.contains(w->geometry()), qPrintable(w->objectName()));
        QStringList chain;
        for (QWidget* w = form.controls().cmdClose; chain.size() < 13; w = w->nextInFocusChain()) {
            if (w->focusPolicy() != Qt::NoFocus && !w->objectName().isEmpty())
                chain << w->objectName();
        }
        QCOMPARE(chain.join(" "),
                 "cmdClose cmdCancel rtfData cboFields lvwUsers cmdSave optUsers_0 optUsers_1 "
                 "lvwSpecialUsers cmdFieldSettings chkOnlyFromDropdown chkEdit cboFloating");
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(QApplication::focusWidget()->objectName(), "cmdClose");
        // Enter presses Close and Escape presses Cancel, wherever the focus is.
        QStringList clicked;
        for (QPushButton* b : {form.controls().cmdClose, form.controls().cmdCancel}) {
            QObject::disconnect(b, &QPushButton::clicked, nullptr, nullptr);
            QObject::connect(b, &QPushButton::clicked, [&clicked, b] { clicked << b->objectName(); });
        }
        form.controls().lvwUsers->setFocus();
        QTest::keyClick(form.controls().lvwUsers, Qt::Key_Return);
        QTest::keyClick(form.controls().lvwUsers, Qt::Key_Escape);
        QCOMPARE(clicked, QStringList({"cmdClose", "cmdCancel"}));
    }

    void refusedStart_data() {
        test::columns<QString, QString>("situation", "box"); // box: text|style|title
        test::row("second copy", "another", "An instance of this program is already running!|0|Quillmark");
        test::row("no database", "closed",
                  "Please open an ACT database prior to running Quillmark!|48|Quillmark");
        test::row("ACT! unreachable", "unregistered",
                  "Unable to communicate with ACT!\rPlease run actreg.exe located in the ACT folder and try "
                  "again|16|Quillmark");
        test::row("not an administrator", "user",
                  "Sorry! This program may only be run by an administrator of the database!|0|Insufficient "
                  "Security Level");
    }

    void refusedStart() {
        auto [situation, box] = test::fetch<QString, QString>();
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
        QCOMPARE(t.messageBox.boxes(), QStringList{box});
        // ACT! objects exist only once ACT! answered; the unload handler detaches last of all.
        QCOMPARE(t.actState.calls.filter("CreateObject").isEmpty(), situation != "user");
        QCOMPARE(t.actState.calls.last(), "Operation2()");
        // The unshown window's own state is written over what was stored.
        QCOMPARE(t.settings.writes, QStringList({"Top", "Left", "Expanded", "LastField"}));
        QCOMPARE(t.settings.values.values(), QStringList({"False", "Combo1", "0", "0"})); // sorted by key
    }

    // What a launcher learns: 1 when the window did not open (a refusal after its message, or the
    // start-up's progress cancelled), 0 after a normal end.
    void exitStatus_data() {
        test::columns<QString, int>("situation", "status");
        for (const char* refused : {"another", "closed", "user", "Cancel", "Escape", "close box"})
            test::row(refused, QString(refused), 1);
        test::row("the window opened and was closed", "opened", 0);
    }

    void exitStatus() {
        auto [situation, status] = test::fetch<QString, int>();
        test::TestServices t;
        standardAct(t.actState);
        t.actState.addUsers(20);
        t.instance.another = situation == "another";
        t.actState.databaseOpen = situation != "closed";
        t.actState.currentUserSecurity = situation == "user" ? 4 : 5;
        ImpatientPerson person;
        person.action = situation;
        std::int64_t now = 0;
        const auto slowStart = [&now] { return now += 1000; }; // every step shows the progress
        QTimer closer; // once the main window shows, the person presses its Cancel
        QObject::connect(&closer, &QTimer::timeout, [] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() == "Form1" && w->isVisible())
                    test::click(static_cast<Form1*>(w)->controls().cmdCancel);
            }
        });
        closer.start(20);
        QCOMPARE(runWindow(t.services, person, slowStart), status);
        const bool cancelled = QStringList({"Cancel", "Escape", "close box"}).contains(situation);
        QCOMPARE(person.shown, cancelled || situation == "opened" ? 1 : 0);
        QVERIFY(!person.window.window()->isVisible());
        if (cancelled) // ended as a refused start: no message, the window's place stored
            QCOMPARE(t.messageBox.boxes(), QStringList());
        QCOMPARE(t.settings.writes, QStringList({"Top", "Left", "Expanded", "LastField"}));
    }

    void defaultPlacement() {
        test::TestServices t;
        standardAct(t.actState);
        Form1 form(t.services);
        form.Form_Load();
        QVERIFY(!form.startRefused() && t.messageBox.shown.empty());
        form.show(); // framed: the frame counts in the height and the width
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.frameGeometry().width() > form.width());
        const QSize screen = form.screenSizeTwips();
        QVERIFY(qAbs(form.topTwips() - screen.height() / 8.0) <= 15);
        QVERIFY(qAbs(form.leftTwips() - (screen.width() - form.widthTwips()) / 2.0) <= 15);
        // Collapsed, the field settings are out of view whatever the frame: at most 3650 twips high
        // and no higher than the top of their panel.
        QVERIFY(form.heightTwips() <= 3650 + 15);
        QVERIFY(form.controls().fraFiles->mapTo(&form, QPoint(0, 0)).y() >= form.height());
        QVERIFY(form.controls().cboFloating->mapTo(&form, QPoint(0, 0)).y() >= form.height());
        QCOMPARE(form.controls().cboFields->count(), 3);
        QCOMPARE(form.controls().lvwUsers->topLevelItemCount(), 3);
        QCOMPARE(form.controls().lvwSpecialUsers->topLevelItemCount(), 3);
    }

    // The start-up asks ACT! for each user's name and unique ID once, for both rights lists, and
    // the field selected twice (expanded, then the current field) asks nothing per user.
    void usersReadOnce() {
        test::TestServices t;
        standardAct(t.actState);
        t.actState.currentFieldId = 31;
        t.settings.values = {{"Expanded", "True"}, {"LastField", "Phone"}};
        Form1 form(t.services);
        form.Form_Load();
        QVERIFY(t.messageBox.shown.empty());
        QCOMPARE(form.controls().cboFields->currentText(), "Fax");
        QCOMPARE(t.actState.calls.filter(QRegularExpression("^(Name|UniqueID|Security|Access)\\(")).join(" "),
                 "Name(1) UniqueID(1) Name(2) UniqueID(2) Name(3) UniqueID(3)");
        QCOMPARE(t.actState.calls.filter("Count()").size(), 2); // the fields', the users'
        for (const QTreeWidget* list : {form.controls().lvwUsers, form.controls().lvwSpecialUsers})
            QCOMPARE(list->topLevelItem(2)->data(0, kListIdRole).toString(), "{ID-0003}");
    }

    void storedPlacementAndExpanded() {
        test::TestServices t;
        standardAct(t.actState);
        t.settings.values = {{"Top", "1500"}, {"Left", "3000"}, {"Expanded", "True"}, {"LastField", "Fax"}};
        Form1 form(t.services);
        form.Form_Load();
        QVERIFY(t.messageBox.shown.empty());
        QCOMPARE(QList<float>({form.topTwips(), form.leftTwips()}), QList<float>({1500, 3000}));
        QVERIFY(qAbs(form.heightTwips() - 9500) <= 15);
        QCOMPARE(form.controls().cmdFieldSettings->text(), "Hide Field Settings");
        QCOMPARE(form.controls().cboFields->currentText(), "Fax");
        form.show();
        form.controls().cmdFieldSettings->click(); // collapse, then expand again
        QVERIFY(form.heightTwips() <= 3650 + 15);
        QVERIFY(form.controls().fraFiles->mapTo(&form, QPoint(0, 0)).y() >= form.height());
        QCOMPARE(form.controls().cmdFieldSettings->text(), "Show Field Settings");
        form.controls().cmdFieldSettings->click();
        form.close();
        QCOMPARE(t.settings.values["Expanded"], "True");
        QCOMPARE(t.settings.values["LastField"], "Fax");
    }

    void startUpSteps_data() {
        // stored: key=value,...
        test::columns<QString, int, QString, QStringList, QString>("stored", "currentField", "failing",
                                                                   "reports", "selected");
        using test::row;
        row("the user's field", "LastField=Fax", 40, "", QStringList{}, "Status");
        row("unprotected field: the last field", "LastField=Fax", 5, "", QStringList{}, "Fax");
        row("last field is case-sensitive", "LastField=fax", 0, "", QStringList{}, "");
        // A bad stored value ends Form_Load at its line: not expanded, no field selected.
        const auto load = [](int number, const char* description, int line) {
            return QStringList{
                test::errorBox(number, description, QString("Form1: Sub Form_Load - Line # %1").arg(line))};
        };
        row("Top not a number", "Expanded=True,Top=twelve", 31, "", load(13, "Type mismatch", 16), "");
        row("Expanded not a boolean", "Expanded=twelve", 31, "", load(13, "Type mismatch", 18), "");
        row("Top not a finite number", "Expanded=True,Top=nan", 31, "", load(13, "Type mismatch", 16), "");
        row("Expanded not a finite number", "Expanded=nan", 31, "", load(13, "Type mismatch", 18), "");
        row("current field beyond 16 bits", "LastField=Fax", 40000, "", load(6, "Overflow", 6), "");
        // The window opens empty when the ACT! objects cannot all be made.
        row("Contact fails", "", 31, "Contact",
            QStringList{test::errorBox(440, "Automation error", "modAdmin: Sub Create_Database - Line # 7"),
                        test::errorBox(91, "Object variable or With block variable not set",
                                       "Form1: Sub Form_Load - Line # 4")},
            "");
    }

    void startUpSteps() {
        auto [stored, currentField, failing, reports, selected] =
            test::fetch<QString, int, QString, QStringList, QString>();
        test::TestServices t;
        standardAct(t.actState);
        t.actState.currentFieldId = currentField;
        t.actState.failing = {failing};
        for (const QString& pair : stored.split(',', Qt::SkipEmptyParts))
            t.settings.values[pair.section('=', 0, 0)] = pair.section('=', 1);
        Form1 form(t.services);
        form.Form_Load();
        QVERIFY(!form.startRefused());
        QCOMPARE(t.messageBox.boxes(), reports);
        const QComboBox* fields = form.controls().cboFields;
        QCOMPARE(fields->currentIndex() >= 0 ? fields->currentText() : "", selected);
        QCOMPARE(form.controls().cmdFieldSettings->text(),
                 reports.isEmpty() && stored.contains("Expanded=True") ? "Hide Field Settings"
                                                                       : "&Show Field Settings ");
        const bool beforeStep7 = !failing.isEmpty() || reports.join("").contains("Line # 6");
        QCOMPARE(form.controls().cboFloating->count(), beforeStep7 ? 0 : 3);
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
