// The integration dialog: the boxes as ACT! has the tool installed, each click sent to ACT! for its
// view, the tool's registration with its eight arguments, and Close with the failure notice or the
// restart question.

#include "Dialogs.h"
#include "Pointer.h"
#include "TestServices.h"
#include "app/Form1.h"
#include "integrate/frmIntegrate.h"
#include "platform/ErrorReport.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

using namespace qm;

namespace {

const QString kFailed = frmIntegrate::kAddFailedText + "|0|Quillmark";
const QString kRestart = "You need to re-start ACT! for the changes to take effect!\r\nDo you want to "
                         "re-start it now?|4|Quillmark";

QString report(int number, const char* proc, int line) {
    return errorReportText(number, vbErrorDescription(number), {"frmIntegrate", ProcKind::Sub, proc}, line) +
           "|0|Quillmark error";
}

// Where ACT! has the tool: "T1 T3 M4" (toolbar of views 1 and 3, Tools menu of view 4).
QString installed(test::FakeActState& s) {
    QStringList places;
    for (const auto& [letter, views] : {std::pair{'T', &s.toolbar}, std::pair{'M', &s.toolsMenu}}) {
        for (int view = 1; view <= 6; ++view) {
            if ((*views)[kAppTitle].contains(view))
                places << QString("%1%2").arg(letter).arg(view);
        }
    }
    return places.join(' ');
}

void install(test::FakeActState& s, const QString& places) {
    s.registered.insert(kAppTitle);
    for (const QString& p : places.split(' ', Qt::SkipEmptyParts))
        (p[0] == 'T' ? s.toolbar : s.toolsMenu)[kAppTitle].insert(p.mid(1).toInt());
}

// The checked boxes by index: "0 2 9".
QString checkedBoxes(const frmIntegrate& d) {
    QStringList on;
    for (int k = 0; k < frmIntegrate::kBoxCount; ++k) {
        if (d.chkScreen(k)->isChecked())
            on << QString::number(k);
    }
    return on.join(' ');
}

// The calls that change ACT! (registering, adding, removing), from call number `from` on.
QStringList changes(const test::FakeActState& s, qsizetype from = 0) {
    QStringList out;
    for (const QString& c : s.calls.mid(from)) {
        if (c.startsWith("Add") || c.startsWith("Remove"))
            out << c;
    }
    return out;
}

// What the main window was asked: how often its closing procedure ran and with which flag.
struct MainWindowDouble {
    bool restartACT = false;
    QStringList unloads;
    MainWindowLink link() {
        return {restartACT, [this](int& cancel) { unloads << QString("Form_Unload(%1)").arg(cancel); }};
    }
};

} // namespace

class TestIntegrate : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layout() {
        test::TestServices t;
        MainWindowDouble main;
        frmIntegrate d(t.services, nullptr, main.link());
        QCOMPARE(d.size(), QSize(470, 218)); // 7050 x 3270 twips
        QCOMPARE(QStringList({d.windowTitle(), d.Frame1[0]->title(), d.Frame1[1]->title(), d.Label2->text()}),
                 QStringList({"Integrate with ACT!", "Toolbar Button added to the following Views :",
                              "Menu Item added to the following Views :",
                              "You will need to re-start ACT! to see the changes."}));
        // Each view's label stands right of its box, on its row, its caption whole.
        const QStringList views{"Contacts", "Contact List", "Groups", "Task List", "Calendars", "E-mail"};
        for (int k = 0; k < frmIntegrate::kBoxCount; ++k) {
            QCheckBox* box = d.chkScreen(k);
            QLabel* label = d.lblScreen(k);
            QCOMPARE(box->parentWidget(), d.Frame1[k / 6]);
            QCOMPARE(label->text(), views[k % 6]);
            QVERIFY(label->x() > box->geometry().right());
            QVERIFY(qAbs(label->geometry().center().y() - box->geometry().center().y()) <= 1);
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
            QVERIFY(d.Frame1[k / 6]->rect().contains(label->geometry()));
        }
        QVERIFY(d.Label2->sizeHint().width() <= d.Label2->width());
        QStringList chain;
        for (QWidget* w = d.chkScreen(0); chain.size() < 14; w = w->nextInFocusChain()) {
            if (w->focusPolicy() != Qt::NoFocus)
                chain << w->objectName().remove("chkScreen_");
        }
        QCOMPARE(chain.join(' '), "0 1 2 3 4 5 6 7 8 9 10 11 cmdOK cmdCancel");
    }

    void load_data() {
        test::columns<QString, QString, QString, QStringList>("installed", "failing", "checked", "sent");
        test::row(
            "toolbar of views 1 and 3", "T1 T3", "", "0 2",
            QStringList{"AddAuxCommandToToolbar(1, Quillmark)", "AddAuxCommandToToolbar(3, Quillmark)"});
        test::row(
            "Tools menu of view 4, toolbar of view 6", "M4 T6", "", "5 9",
            QStringList{"AddAuxCommandToToolbar(6, Quillmark)", "AddAuxCommandToToolsMenu(4, Quillmark)"});
        test::row("nowhere", "", "", "", QStringList{});
        test::row("ACT! not installed", "T1", "ACTOLE.AUXCMDS", "", QStringList{});
    }

    void load() {
        auto [places, failing, checked, sent] = test::fetch<QString, QString, QString, QStringList>();
        test::TestServices t;
        install(t.actState, places);
        t.actState.failing.insert(failing);
        MainWindowDouble main;
        frmIntegrate d(t.services, nullptr, main.link());
        QCOMPARE(checkedBoxes(d), checked);
        QCOMPARE(changes(t.actState), sent); // a box turned on sends its add again
        QVERIFY(!d.Changed);
        if (failing.isEmpty()) {
            QVERIFY(t.messageBox.shown.empty());
            return;
        }
        // Without ACT! the dialog opens empty and every click is reported.
        d.lblScreen_Click(0);
        QCOMPARE(t.messageBox.boxes(),
                 QStringList({report(429, "Form_Load", 1), report(91, "chkScreen_Click", 2)}));
        QVERIFY(d.Changed);
    }

    void click_data() {
        // failing: an ACT! member that raises error 440
        test::columns<QString, QString, QString, QStringList, QString, QString>(
            "control", "installed", "failing", "sent", "after", "report");
        test::row("toolbar caption Contacts", "lblScreen_0", "", "",
                  QStringList{"AddAuxCommandToToolbar(1, Quillmark)"}, "T1", "");
        test::row("Tools-menu caption Task List", "lblScreen_9", "T4", "",
                  QStringList{"AddAuxCommandToToolsMenu(4, Quillmark)"}, "T4 M4", "");
        test::row("toolbar box E-mail, installed", "chkScreen_5", "T6 M6", "",
                  QStringList{"RemoveAuxCommandFromToolbar(6, Quillmark)"}, "M6", "");
        test::row("Tools-menu caption E-mail, installed", "lblScreen_11", "M6", "",
                  QStringList{"RemoveAuxCommandFromToolsMenu(6, Quillmark)"}, "", "");
        test::row("Tools-menu box Contacts", "chkScreen_6", "", "",
                  QStringList{"AddAuxCommandToToolsMenu(1, Quillmark)"}, "M1", "");
        test::row("ACT! fails the call", "lblScreen_2", "", "AddAuxCommandToToolbar",
                  QStringList{"AddAuxCommandToToolbar(3, Quillmark)"}, "", report(440, "chkScreen_Click", 4));
    }

    void click() {
        auto [control, places, failing, sent, after, failure] =
            test::fetch<QString, QString, QString, QStringList, QString, QString>();
        test::TestServices t;
        install(t.actState, places);
        t.actState.failing.insert(failing);
        MainWindowDouble main;
        frmIntegrate d(t.services, nullptr, main.link());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.LastResult = 99; // an earlier failure, overwritten by a call that answers
        const qsizetype before = t.actState.calls.size();
        test::click(d.findChild<QWidget*>(control));
        const int k = control.section('_', 1).toInt();
        QCOMPARE(d.chkScreen(k)->isChecked(),
                 !places.contains(QString(k < 6 ? "T%1" : "M%1").arg(k % 6 + 1)));
        QCOMPARE(changes(t.actState, before), sent);
        QCOMPARE(installed(t.actState), after);
        QVERIFY(d.Changed);
        QCOMPARE(d.LastResult, failure.isEmpty() ? 0 : 99);
        QCOMPARE(t.messageBox.boxes(), failure.isEmpty() ? QStringList{} : QStringList{failure});
    }

    void registration_data() {
        // separator: the click uses the platform's; a given one goes to CheckCommand directly
        test::columns<QString, QString, QChar, int, QString, QStringList>("folder", "exe", "separator",
                                                                          "refusal", "command", "boxes");
        test::row("renamed executable", "/srv/tools", "qlm admin", QChar(), 0,
                  "AddAuxCommand(Quillmark, /srv/tools/qlm admin.EXE, /srv/tools, Quillmark, click to launch "
                  "Quillmark, /srv/tools/qlm admin.ico, /srv/tools/qlm admin32.ico, 1)",
                  QStringList{});
        test::row("Windows paths", "C:\\Program Files\\QLM", "QLMAdmin", QChar('\\'), 0,
                  "AddAuxCommand(Quillmark, C:\\Program Files\\QLM\\QLMAdmin.EXE, C:\\Program Files\\QLM, "
                  "Quillmark, "
                  "click to launch Quillmark, C:\\Program Files\\QLM\\QLMAdmin.ico, "
                  "C:\\Program Files\\QLM\\QLMAdmin32.ico, 1)",
                  QStringList{});
        test::row(
            "ACT! refuses", "/opt/quillmark", "quillmark", QChar(), -3,
            "AddAuxCommand(Quillmark, /opt/quillmark/quillmark.EXE, /opt/quillmark, Quillmark, click to "
            "launch Quillmark, /opt/quillmark/quillmark.ico, /opt/quillmark/quillmark32.ico, 1)",
            QStringList{kFailed});
    }

    void registration() {
        auto [folder, exe, separator, refusal, command, boxes] =
            test::fetch<QString, QString, QChar, int, QString, QStringList>();
        test::TestServices t;
        t.app.folder = folder;
        t.app.exe = exe;
        t.actState.addAuxAnswer = refusal;
        MainWindowDouble main;
        frmIntegrate d(t.services, nullptr, main.link());
        const qsizetype before = t.actState.calls.size();
        if (!separator.isNull()) {
            d.CheckCommand(separator);
            QCOMPARE(t.actState.calls.mid(before), QStringList{command});
            QCOMPARE(d.LastResult, refusal);
            return;
        }
        // The first click registers the command before its view call; the next one does not.
        d.lblScreen_Click(0);
        d.lblScreen_Click(1);
        QStringList expected{"AuxCommandExists(Quillmark)", command, "AddAuxCommandToToolbar(1, Quillmark)",
                             "AuxCommandExists(Quillmark)"};
        if (refusal)
            expected << command; // still unknown to ACT!, so registered again
        expected << "AddAuxCommandToToolbar(2, Quillmark)";
        QCOMPARE(t.actState.calls.mid(before), expected);
        QCOMPARE(t.messageBox.boxes(), refusal ? QStringList({kFailed, kFailed}) : QStringList());
        QCOMPARE(d.LastResult, 0); // the view call's answer, not the registration's
    }

    void close_data() {
        // script: L<k> clicks the caption of box k, A<n> makes ACT!'s next changes answer n,
        // U unregisters the command and makes its registration answer 5
        test::columns<QStringList, QString, int, QStringList, bool, QString>("script", "key", "answer",
                                                                             "boxes", "restart", "installed");
        test::row("no click", QStringList{}, "cmdOK", int(vbYes), QStringList{}, false, "");
        test::row("add then remove, No", QStringList{"L0", "L0"}, "cmdOK", int(vbNo), QStringList{kRestart},
                  false, "");
        test::row("add, Yes", QStringList{"L0"}, "cmdOK", int(vbYes), QStringList{kRestart}, true, "T1");
        test::row("add, Enter, Yes", QStringList{"L8"}, "Enter", int(vbYes), QStringList{kRestart}, true,
                  "M3");
        test::row("last change failed", QStringList{"L0", "A1", "L2"}, "cmdOK", int(vbYes),
                  QStringList{kFailed}, false, "T1");
        test::row("registration refused, view added", QStringList{"U", "L0"}, "cmdOK", int(vbNo),
                  QStringList{kFailed, kRestart}, false, "T1");
        test::row("Cancel keeps the changes", QStringList{"L0", "L6"}, "cmdCancel", int(vbYes), QStringList{},
                  false, "T1 M1");
        test::row("Escape", QStringList{"L5"}, "Escape", int(vbYes), QStringList{}, false, "T6");
    }

    void close() {
        auto [script, key, answer, boxes, restart, after] =
            test::fetch<QStringList, QString, int, QStringList, bool, QString>();
        test::TestServices t;
        t.actState.registered.insert(kAppTitle);
        MainWindowDouble main;
        frmIntegrate d(t.services, nullptr, main.link());
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        for (const QString& step : script) {
            if (step[0] == 'L')
                test::click(d.lblScreen(step.mid(1).toInt()));
            else if (step[0] == 'A')
                t.actState.addAnswer = step.mid(1).toInt();
            else {
                t.actState.registered.clear();
                t.actState.addAuxAnswer = 5;
            }
        }
        t.messageBox.answerNext(answer);
        const qsizetype loads = t.actState.calls.count("CreateObject(ACTOLE.AUXCMDS)");
        if (key == "cmdOK" || key == "cmdCancel")
            test::click(d.findChild<QPushButton*>(key));
        else
            QTest::keyClick(d.chkScreen(3), key == "Enter" ? Qt::Key_Return : Qt::Key_Escape);
        QVERIFY(!d.isVisible());
        QVERIFY(!d.AuxCmds); // released by the unload
        QCOMPARE(t.messageBox.boxes(), boxes);
        QCOMPARE(main.restartACT, restart);
        QCOMPARE(main.unloads, restart ? QStringList{"Form_Unload(0)"} : QStringList{});
        // The restart question reloads the boxes from ACT! before anything else happens.
        QCOMPARE(t.actState.calls.count("CreateObject(ACTOLE.AUXCMDS)") - loads,
                 boxes.contains(kRestart) ? 1 : 0);
        QCOMPARE(installed(t.actState), after);
    }

    void restartFromTheMainWindow() {
        test::TestServices t;
        t.actState.addUsers(2);
        t.actState.slots = {{28, "Phone", 3}};
        Form1 form(t.services);
        form.Form_Load();
        form.show();
        bool modalChild = false;
        test::WhenOpen<frmIntegrate> opened([&](frmIntegrate* d) {
            modalChild = d->parentWidget() == &form && d->isModal();
            t.messageBox.answerNext(vbYes);
            d->lblScreen_Click(3);
            d->cmdOK->click();
        });
        const qsizetype before = t.actState.calls.size();
        t.settings.writes.clear();
        form.mnuIntegrate_Click();
        QVERIFY(opened.opened());
        QVERIFY(modalChild);
        QVERIFY(form.RestartACT);
        QVERIFY(!form.findChild<frmIntegrate*>());
        // The closing procedure ran directly: detached from ACT! and stored the window's place.
        QVERIFY(t.actState.calls.mid(before).contains("Operation2()"));
        QCOMPARE(t.settings.writes.mid(0, 4), QStringList({"Top", "Left", "Expanded", "LastField"}));
        QCOMPARE(t.messageBox.boxes(), QStringList{kRestart});
    }
};

QTEST_MAIN(TestIntegrate)
#include "tst_integrate.moc"
