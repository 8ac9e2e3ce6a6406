// The tool on the ACT! stand-in's demo database with real settings files: an administrator's
// typical road from start to Close, and the restart of ACT! that ends the tool.

#include "Dialogs.h"
#include "EditorWindow.h"
#include "Pointer.h"
#include "act/standin/StandinActions.h"
#include "act/standin/StandinBackend.h"
#include "act/standin/StandinSession.h"
#include "integrate/frmIntegrate.h"
#include "platform/PlatformGui.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QTimer>

using namespace qm;
using B = QByteArray;

// A question left open until ACT! has gone away and closed the window, answered Yes only then (a
// person pressing Yes as the window vanishes). Every box is recorded.
struct AnsweredAfterClose : MessageBox {
    test::FakeMessageBox record;
    std::function<void()> actGoes; // run when the first question opens
    std::function<bool()> closed;
    bool waitedInVain = false;
    int show(const QString& text, int style, const QString& title) override {
        record.show(text, style, title);
        if (record.shown.size() == 1 && actGoes) {
            actGoes();
            waitedInVain = !QTest::qWaitFor(closed, 15000);
        }
        return style == vbYesNo ? int(vbYes) : int(vbOK);
    }
};

class TestRoad : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<act::ObjectFactory> m_act;
    test::TestServices t;
    std::unique_ptr<Services> m_services;

    QString path(const QString& name) const { return m_dir->filePath(name); }

    // The tool started as the administrator starts it from ACT!, its window active: the stand-in runs on its
    // demo database, the administrator stands in "Account Number" (210).
    std::unique_ptr<Form1> start(Shell& shell, MessageBox* box = nullptr) {
        QProcess standin;
        standin.start(ACT_STANDIN_PATH, {"start"});
        if (!standin.waitForFinished(20000) || standin.exitCode() != 0)
            return nullptr;
        m_act = act::standin::makeFactory(path("act"));
        m_services =
            std::make_unique<Services>(Services{box ? *box : t.messageBox, t.settings, shell, t.instance,
                                                t.app, t.terminator, t.dialogs, *m_act, t.wait, t.conflicts});
        t.settings.values = {
            {"UsersPath", path("Users.dat")}, {"ListPath", m_dir->path()}, {"Expanded", "True"}};
        auto form = std::make_unique<Form1>(*m_services);
        form->Form_Load();
        form->show();
        QApplication::setActiveWindow(form.get());
        return QTest::qWaitForWindowActive(form.get()) ? std::move(form) : nullptr;
    }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv(act::standin::kHomeVariable, QFile::encodeName(path("act"))); // also for the shell's start
        t.messageBox.clear();
        t.settings.writes.clear();
        t.terminator.codes.clear();
        t.app.folder = m_dir->path(); // the shell starts programs in the program folder
    }

    // The road by mouse and keyboard alone, every click and key sent to the window where the
    // control is drawn, so that it reaches what the toolkit finds under the pointer there.
    void typicalRoad() {
        using namespace test;
        QVERIFY(writeBytes(path("Users.dat"),
                           "[Demo]\r\nGlobalF={USR-0002-C7D1}\r\nGlobalI={USR-0001-5E2A}\r\n"
                           "210F={USR-0003-19B4}\r\n"));
        QVERIFY(writeBytes(path("Demo210.dat"), "OnlyFromDropdown=0\r\nAllowEditing=1\r\nGold\r\n"));
        const std::unique_ptr<Form1> form = start(t.shell);
        QVERIFY(form);
        const Form1Controls& c = form->controls();
        // The tool opens on the field the administrator stands in, with its own settings.
        QCOMPARE(c.cboFields->currentText() + "|" + c.rtfData->toPlainText(), "Account Number|Gold");
        QCOMPARE(WindowDriver::rights(c.lvwSpecialUsers), "None,None,Full,None,None,None,None,None,None");
        QVERIFY(c.optUsers[1]->isChecked());

        QVERIFY(pickEntry(c.cboFields, "Credit Limit")); // no settings of its own yet
        QCOMPARE(WindowDriver::rights(c.lvwSpecialUsers),
                 "Initialize,Full,None,None,None,None,None,None,None");
        click(c.optUsers[1], indicatorOf(c.optUsers[1]).center()); // "Use Settings below"
        QVERIFY(c.optUsers[1]->isChecked() && !c.cmdSave->isEnabled());
        clickCell(c.lvwSpecialUsers, 2, 1); // Chen Wei's right on the field
        QVERIFY(c.cboFloating->isVisible());
        QVERIFY(pickEntry(c.cboFloating, "Full"));
        click(c.rtfData);
        type(c.rtfData, "North\nSouth");
        click(c.chkOnlyFromDropdown, indicatorOf(c.chkOnlyFromDropdown).center());
        click(c.chkEdit); // on the caption's middle, next to the wide "Only from Drop-down"
        QCOMPARE(QList<bool>({c.chkOnlyFromDropdown->isChecked(), c.chkEdit->isChecked()}),
                 QList<bool>({true, true}));
        click(c.cmdSave);
        QVERIFY(!c.cmdSave->isEnabled());
        QCOMPARE(readBytes(path("Demo215.dat")),
                 B("OnlyFromDropdown=1\r\nAllowEditing=1\r\nNorth\r\nSouth\r\n"));

        clickCell(c.lvwUsers, 3, 1); // Dana O'Neil, globally
        QVERIFY(pickEntry(c.cboFloating, "Full"));
        click(c.chkEdit);
        QVERIFY(pickEntry(c.cboFields, "Account Number")); // asks first; Yes saves Credit Limit
        QCOMPARE(t.messageBox.boxes(),
                 QStringList{
                     "Do you want to save changes made to the 'Credit Limit' field settings?|4|Quillmark"});
        QCOMPARE(c.rtfData->toPlainText(), "Gold");
        click(c.cmdClose);
        QVERIFY(!form->isVisible());

        QCOMPARE(readBytes(path("Demo215.dat")),
                 B("OnlyFromDropdown=1\r\nAllowEditing=0\r\nNorth\r\nSouth\r\n"));
        QCOMPARE(readBytes(path("Demo210.dat")), B("OnlyFromDropdown=0\r\nAllowEditing=1\r\nGold\r\n"));
        QCOMPARE(
            readBytes(path("Users.dat")),
            B("[Demo]\r\nGlobalF={USR-0002-C7D1}{USR-0004-E08F}\r\nGlobalI={USR-0001-5E2A}\r\n"
              "210F={USR-0003-19B4}\r\n215F={USR-0002-C7D1}{USR-0003-19B4}\r\n215I={USR-0001-5E2A}\r\n"));
        QCOMPARE(t.settings.values["Expanded"] + "|" + t.settings.values["LastField"], "True|Account Number");
    }

    // ACT! goes away (its user quits, or it closes the database) while a question of the tool is
    // open: the window closes, and once the question returns nothing more happens, whatever the
    // answer: no save, no load, no restart, no call to ACT!, no further box.
    void actGoesDuringAQuestion_data() {
        test::columns<QString, bool>("question", "quits");
        for (const bool quits : {true, false}) {
            const QString how = quits ? ", ACT! quits" : ", database closed";
            test::row(qPrintable("switching fields" + how), QString("switch"), quits);
            test::row(qPrintable("restart of ACT!" + how), QString("restart"), quits);
        }
    }

    void actGoesDuringAQuestion() {
        auto [question, quits] = test::fetch<QString, bool>();
        QVERIFY(test::writeBytes(path("Users.dat"), "[Demo]\r\nGlobalF={USR-0002-C7D1}\r\n"));
        const act::standin::SessionStore session(path("act"));
        AnsweredAfterClose box;
        box.actGoes = [&, quits = quits] {
            quits ? act::standin::quitAct(session) : act::standin::closeDatabase(session);
        };
        const std::unique_ptr<Form1> form = start(t.shell, &box);
        QVERIFY(form);
        box.closed = [&] { return !form->isVisible(); };
        const Form1Controls& c = form->controls();
        QString expected;
        if (question == "switch") {
            test::click(c.rtfData);
            test::type(c.rtfData, "North");
            QVERIFY(test::pickEntry(c.cboFields, "Credit Limit"));
            expected = "Do you want to save changes made to the 'Account Number' field settings?|4|Quillmark";
        } else {
            const test::WhenOpen<frmIntegrate> opened([](frmIntegrate* dialog) {
                test::click(dialog->lblScreen(0));
                test::click(dialog->cmdOK);
            });
            c.mnuIntegrate->trigger();
            QVERIFY(opened.opened());
            expected = frmIntegrate::kRestartText + "|4|Quillmark";
        }
        QCOMPARE(box.record.boxes(), QStringList{expected});
        QVERIFY(!box.waitedInVain);
        QVERIFY(!form->isVisible() && form->unloaded() && !form->RestartACT);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(t.settings.writes, QStringList({"Top", "Left", "Expanded", "LastField"}));
        QVERIFY(t.shell.requests.empty() && t.terminator.codes.empty());
        QCOMPARE(QDir(m_dir->path()).entryList({"Demo*.dat"}), QStringList{}); // no field saved
        QCOMPARE(test::readBytes(path("Users.dat")), B("[Demo]\r\nGlobalF={USR-0002-C7D1}\r\n"));
    }

    void restartOfAct() {
        DesktopShell desktop(ACT_STANDIN_PATH,
                             act::standin::isDatabaseFile); // opens the database file with the ACT! stand-in
        test::RecordingShell shell(&desktop);
        const std::unique_ptr<Form1> form = start(shell);
        QVERIFY(form);
        const act::standin::SessionStore session(path("act"));
        const act::standin::Session before = session.load();
        // The administrator adds the tool to the Contacts toolbar, presses Close and answers Yes
        // to the restart question (the message box's default answer).
        const test::WhenOpen<frmIntegrate> opened([](frmIntegrate* dialog) {
            dialog->chkScreen(0)->click();
            dialog->cmdOK->click();
        });
        form->mnuIntegrate_Click();
        QVERIFY(opened.opened());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(t.messageBox.boxes(), QStringList({frmIntegrate::kRestartText + "|4|Quillmark"}));
        QVERIFY(form->RestartACT && !form->isVisible());
        QCOMPARE(t.settings.writes, QStringList({"Top", "Left", "Expanded", "LastField"}));
        // ACT! was shut down and runs again on the same database, with the tool in its toolbar.
        QTRY_VERIFY_WITH_TIMEOUT(session.load().running && session.load().runSerial > before.runSerial,
                                 15000);
        QCOMPARE(session.load().database, before.database);
        QCOMPARE(session.load().toolbar[0], QStringList({"Quillmark"}));
        QCOMPARE(shell.requests, QStringList{before.database + "|" + t.app.folder + "|Form1|5"});
        // The tool ends at the second tick of its timer, not before.
        QTimer* tmr1 = form->controls().tmr1;
        QVERIFY(tmr1->isActive() && tmr1->interval() == 1000);
        QCOMPARE(form->TickCount, 0);
        form->tmr1_Timer();
        QVERIFY(t.terminator.codes.empty());
        form->tmr1_Timer();
        QCOMPARE(t.terminator.codes, std::vector<int>{0});
    }
};

QTEST_MAIN(TestRoad)
#include "tst_road.moc"
