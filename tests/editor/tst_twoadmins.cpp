// Two administrators at once, each with a window on the same files: a Save or a Close keeps what the
// other wrote meanwhile, unless both changed the same thing, which is shown to be settled first.

#include "EditorWindow.h"
#include "app/frmMerge.h"

#include <QApplication>
#include <QTableWidget>
#include <QTimer>

#include <QCheckBox>
#include <QLabel>

using namespace qm;
using namespace qm::test;
using B = QByteArray;

namespace {

// A check box or option button clicked on its indicator.
void tick(QAbstractButton* box) {
    click(box, indicatorOf(box).center());
}

} // namespace

class TestTwoAdmins : public QObject {
    Q_OBJECT

    // Two windows on the same files (kRights, and kFax for Fax), as two administrators have them.
    std::unique_ptr<EditorWindow> a, b;

    void bothOn(const QString& field) const {
        a->select(field);
        b->select(field);
    }

private Q_SLOTS:
    void init() {
        a = std::make_unique<EditorWindow>(kRights, nullptr, 3, withFaxFile);
        b = std::make_unique<EditorWindow>(B(), nullptr, 3, [this](EditorWindow& e) {
            e.t.settings.values["UsersPath"] = a->usersPath();
            e.t.settings.values["ListPath"] = a->dir.path();
        });
        QVERIFY(a->exposed && b->exposed);
    }
    void cleanup() {
        b.reset();
        a.reset();
    }

    // B makes user 1 None globally and closes; then A closes: having changed nothing, it writes no
    // global key; having changed another user, both changes are in the file and A is told.
    void closeAfterAnothersClose_data() {
        columns<QString, B, QStringList>("mine", "after", "boxes");
        row("A changed nothing", QString(), B("[Contacts]\r\nGlobalI={ID-0002}\r\n31F={ID-0003}\r\n"),
            QStringList());
        row("A changed another user", QString("Initialize"),
            B("[Contacts]\r\nGlobalI={ID-0002}{ID-0003}\r\n31F={ID-0003}\r\n"),
            QStringList("The global rights were saved. Kept from another administrator's changes: User 1 "
                        "(None).|0|Quillmark"));
    }

    void closeAfterAnothersClose() {
        auto [mine, after, boxes] = fetch<QString, B, QStringList>();
        b->give(b->c().lvwUsers, 0, "None");
        click(b->c().cmdClose);
        QCOMPARE(readBytes(a->usersPath()), B("[Contacts]\r\nGlobalI={ID-0002}\r\n31F={ID-0003}\r\n"));
        if (!mine.isEmpty())
            a->give(a->c().lvwUsers, 2, mine);
        click(a->c().cmdClose);
        QVERIFY(!a->form->isVisible());
        QCOMPARE(readBytes(a->usersPath()), after);
        QCOMPARE(a->t.messageBox.boxes(), boxes);
    }

    // The same user changed on both sides: the window of choices, whose Go Back writes nothing and
    // keeps the window open with its changes; a second Close keeps this window's right.
    void closeConflict() {
        b->give(b->c().lvwUsers, 2, "Full");
        click(b->c().cmdClose);
        const B afterB = readBytes(a->usersPath());
        a->give(a->c().lvwUsers, 2, "Initialize");
        a->t.conflicts.answers = {"back", "mine"};
        click(a->c().cmdClose);
        QVERIFY(a->form->isVisible());
        QCOMPARE(readBytes(a->usersPath()), afterB);
        QCOMPARE(a->t.conflicts.shown, QStringList("User 3:Full>Initialize"));
        click(a->c().cmdClose);
        QVERIFY(!a->form->isVisible());
        QCOMPARE(readBytes(a->usersPath()),
                 B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}{ID-0003}\r\n31F={ID-0003}\r\n"));
    }

    // A and B open the same field; A gives user 2 Initialize and saves, B gives user 1 Full and
    // saves: both are in the file, and B's window shows A's change and says so.
    void saveMergesField() {
        bothOn("Fax");
        a->give(a->c().lvwSpecialUsers, 1, "Initialize");
        click(a->c().cmdSave);
        b->give(b->c().lvwSpecialUsers, 0, "Full");
        click(b->c().cmdSave);
        QVERIFY(!b->c().cmdSave->isEnabled());
        QCOMPARE(readBytes(a->usersPath()),
                 B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n31F={ID-0001}{ID-0003}\r\n"
                   "31I={ID-0002}\r\n"));
        QCOMPARE(WindowDriver::rights(b->c().lvwSpecialUsers), "Full,Initialize,Full");
        QCOMPARE(b->c().lblStatus->text(), "Kept from another administrator's changes: User 2 (Initialize).");
        if (qEnvironmentVariableIsSet("QM_SHOTS"))
            b->form->grab().save(qEnvironmentVariable("QM_SHOTS") + "/status.png");
        QCOMPARE(readBytes(a->fieldPath(31)), kFax);
        // A's next Save of its own change finds B's in the file: no conflict, B's kept.
        a->give(a->c().lvwSpecialUsers, 2, "None");
        click(a->c().cmdSave);
        QCOMPARE(
            readBytes(a->usersPath()),
            B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n31F={ID-0001}\r\n31I={ID-0002}\r\n"));
        QCOMPARE(a->t.conflicts.shown + b->t.conflicts.shown, QStringList());
    }

    // The field's file: the list changed here, "Allow editing" there; then the list on both
    // sides, settled for the other's.
    void saveMergesFieldFile() {
        bothOn("Fax");
        tick(a->c().chkEdit);
        click(a->c().cmdSave);
        QCOMPARE(readBytes(a->fieldPath(31)), B("OnlyFromDropdown=0\r\nAllowEditing=0\r\nRed\r\n"));
        b->c().rtfData->setPlainText("Red\nBlue");
        click(b->c().cmdSave);
        QCOMPARE(readBytes(a->fieldPath(31)), B("OnlyFromDropdown=0\r\nAllowEditing=0\r\nRed\r\nBlue\r\n"));
        QVERIFY(!b->c().chkEdit->isChecked());
        QCOMPARE(b->c().lblStatus->text(),
                 "Kept from another administrator's changes: Allow editing (unchecked).");

        a->c().rtfData->setPlainText("Red\nGreen");
        b->c().rtfData->setPlainText("Red\nBlue\nWhite");
        click(b->c().cmdSave);
        a->t.conflicts.answers = {"theirs"};
        click(a->c().cmdSave);
        QCOMPARE(a->t.conflicts.shown, QStringList("Drop-down list:Red, Blue, White>Red, Green"));
        QCOMPARE(readBytes(a->fieldPath(31)),
                 B("OnlyFromDropdown=0\r\nAllowEditing=0\r\nRed\r\nBlue\r\nWhite\r\n"));
        QCOMPARE(a->c().rtfData->toPlainText(), "Red\nBlue\nWhite");
        QVERIFY(!a->c().cmdSave->isEnabled());
    }

    // The own-settings switch: B makes Fax follow the global settings; A, who only changed its
    // list, saves: Fax keeps following them, and A's window shows the global rights.
    void switchChangedElsewhere() {
        bothOn("Fax");
        tick(b->c().optUsers[0]);
        click(b->c().cmdSave);
        QCOMPARE(readBytes(a->usersPath()), B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n"));
        a->c().rtfData->setPlainText("Red\nGreen");
        click(a->c().cmdSave);
        QCOMPARE(readBytes(a->usersPath()), B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n"));
        QCOMPARE(a->state(), "0");
        QCOMPARE(WindowDriver::rights(a->c().lvwSpecialUsers), "Full,Initialize,None");
        // Both give it rights of their own again, from the global rights shown: merged per user.
        b->give(b->c().lvwSpecialUsers, 2, "Initialize");
        click(b->c().cmdSave);
        a->give(a->c().lvwSpecialUsers, 0, "None");
        click(a->c().cmdSave);
        QCOMPARE(readBytes(a->usersPath()),
                 B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n31I={ID-0002}{ID-0003}\r\n"));
        QCOMPARE(a->c().lblStatus->text(), "Kept from another administrator's changes: User 3 (Initialize).");
        // B makes it follow the global settings while A's rights changed it there: a conflict, and
        // going back writes nothing.
        tick(b->c().optUsers[0]);
        click(b->c().cmdSave);
        QCOMPARE(b->t.conflicts.shown,
                 QStringList("Rights of the field:Use Settings below>Use Global Settings"));
        QVERIFY(b->c().cmdSave->isEnabled());
        QCOMPARE(readBytes(a->usersPath()),
                 B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n31I={ID-0002}{ID-0003}\r\n"));
    }

    // The window of conflicts, as the administrator uses it: all taken from the other, one row set
    // back to this window's, Save; or Go Back, which writes nothing.
    void conflictWindow() {
        const std::vector<MergeConflict> conflicts{{"Chen Wei", "Full", "Initialize"},
                                                   {"Allow editing", "checked", "unchecked"}};
        std::vector<bool> seen;
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<frmMerge*>(QApplication::activeModalWidget());
            QVERIFY(window);
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QCOMPARE(window->lvwConflicts->item(0, 1)->text() + "|" +
                         window->lvwConflicts->item(0, 2)->text(),
                     "Full|Initialize");
            if (qEnvironmentVariableIsSet("QM_SHOTS"))
                window->grab().save(qEnvironmentVariable("QM_SHOTS") + "/merge.png");
            click(window->cmdTakeTheirs);
            seen = window->choices();
            window->findChild<QComboBox*>("cboKeep_1")->setCurrentIndex(0);
            click(window->cmdSave);
        });
        MergeWindowChooser chooser;
        const std::optional<std::vector<bool>> keep =
            chooser.choose(nullptr, "Changed here and there:", conflicts);
        QCOMPARE(seen, (std::vector<bool>{false, false}));
        QVERIFY(keep);
        QCOMPARE(*keep, (std::vector<bool>{false, true}));

        QTimer::singleShot(
            0, [&] { click(qobject_cast<frmMerge*>(QApplication::activeModalWidget())->cmdBack); });
        QVERIFY(!chooser.choose(nullptr, "Changed here and there:", conflicts));
    }
};

QTEST_MAIN(TestTwoAdmins)
#include "tst_twoadmins.moc"
