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

// Global: user 1 Full, user 2 Initialize, user 3 None. Fax (31) has rights of its own.
const B kRights = "[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n31F={ID-0003}\r\n";
const B kFax = "OnlyFromDropdown=0\r\nAllowEditing=1\r\nRed\r\n";

void press(QAbstractButton* button) {
    QTest::mouseClick(button->window()->windowHandle(), Qt::LeftButton, {},
                      button->mapTo(button->window(), button->rect().center()));
}

// A check box or option button clicked on its indicator.
void tick(QAbstractButton* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

// A second window on the files of `first`.
std::unique_ptr<EditorWindow> secondOn(const EditorWindow& first) {
    return std::make_unique<EditorWindow>(B(), nullptr, 3, [&](EditorWindow& e) {
        e.t.settings.values["UsersPath"] = first.usersPath();
        e.t.settings.values["ListPath"] = first.dir.path();
        writeBytes(first.fieldPath(31), kFax);
    });
}

} // namespace

class TestTwoAdmins : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A keeps the window open; B makes user 1 None globally and closes; A, who changed nothing,
    // closes: user 1 stays None, and A writes no global key.
    void closeWithoutChanges() {
        EditorWindow a(kRights);
        QVERIFY(a.exposed);
        const auto b = secondOn(a);
        b->openChooser(b->c().lvwUsers, 0);
        b->pick("None");
        press(b->c().cmdClose);
        const B afterB = readBytes(a.usersPath());
        QCOMPARE(afterB, B("[Contacts]\r\nGlobalI={ID-0002}\r\n31F={ID-0003}\r\n"));
        press(a.c().cmdClose);
        QVERIFY(!a.form->isVisible());
        QCOMPARE(readBytes(a.usersPath()), afterB);
        QCOMPARE(a.t.messageBox.boxes(), QStringList());
    }

    // Both change different users globally: both changes are in the file, and A's Close says
    // what came from elsewhere.
    void closeMergesGlobal() {
        EditorWindow a(kRights);
        const auto b = secondOn(a);
        b->openChooser(b->c().lvwUsers, 0);
        b->pick("None");
        press(b->c().cmdClose);
        a.openChooser(a.c().lvwUsers, 2);
        a.pick("Initialize");
        press(a.c().cmdClose);
        QVERIFY(!a.form->isVisible());
        QCOMPARE(readBytes(a.usersPath()),
                 B("[Contacts]\r\nGlobalI={ID-0002}{ID-0003}\r\n31F={ID-0003}\r\n"));
        QCOMPARE(
            a.t.messageBox.boxes(),
            QStringList("The global rights were saved. Kept from another administrator's changes: User 1 "
                        "(None).|0|Quillmark"));
    }

    // The same user changed on both sides: the window of choices, whose Go Back writes nothing and
    // keeps the window open with its changes; a second Close keeps this window's right.
    void closeConflict() {
        EditorWindow a(kRights);
        const auto b = secondOn(a);
        b->openChooser(b->c().lvwUsers, 2);
        b->pick("Full");
        press(b->c().cmdClose);
        const B afterB = readBytes(a.usersPath());
        a.openChooser(a.c().lvwUsers, 2);
        a.pick("Initialize");
        a.t.conflicts.answers = {"back", "mine"};
        press(a.c().cmdClose);
        QVERIFY(a.form->isVisible());
        QCOMPARE(readBytes(a.usersPath()), afterB);
        QCOMPARE(a.t.conflicts.shown, QStringList("User 3:Full>Initialize"));
        press(a.c().cmdClose);
        QVERIFY(!a.form->isVisible());
        QCOMPARE(readBytes(a.usersPath()),
                 B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}{ID-0003}\r\n31F={ID-0003}\r\n"));
    }

    // A and B open the same field; A gives user 2 Initialize and saves, B gives user 1 Full and
    // saves: both are in the file, and B's window shows A's change and says so.
    void saveMergesField() {
        EditorWindow a(kRights);
        const auto b = secondOn(a);
        a.select("Fax");
        b->select("Fax");
        a.openChooser(a.c().lvwSpecialUsers, 1);
        a.pick("Initialize");
        press(a.c().cmdSave);
        b->openChooser(b->c().lvwSpecialUsers, 0);
        b->pick("Full");
        press(b->c().cmdSave);
        QVERIFY(!b->c().cmdSave->isEnabled());
        QCOMPARE(readBytes(a.usersPath()),
                 B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n31F={ID-0001}{ID-0003}\r\n"
                   "31I={ID-0002}\r\n"));
        QCOMPARE(WindowDriver::rights(b->c().lvwSpecialUsers), "Full,Initialize,Full");
        QCOMPARE(b->c().lblStatus->text(), "Kept from another administrator's changes: User 2 (Initialize).");
        if (qEnvironmentVariableIsSet("QM_SHOTS"))
            b->form->grab().save(qEnvironmentVariable("QM_SHOTS") + "/status.png");
        QCOMPARE(readBytes(a.fieldPath(31)), kFax);
        // A's next Save of its own change finds B's in the file: no conflict, B's kept.
        a.openChooser(a.c().lvwSpecialUsers, 2);
        a.pick("None");
        press(a.c().cmdSave);
        QCOMPARE(
            readBytes(a.usersPath()),
            B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n31F={ID-0001}\r\n31I={ID-0002}\r\n"));
        QCOMPARE(a.t.conflicts.shown + b->t.conflicts.shown, QStringList());
    }

    // The field's file: the list changed here, "Allow editing" there; then the list on both
    // sides, settled for the other's.
    void saveMergesFieldFile() {
        EditorWindow a(kRights, nullptr, 3, [](EditorWindow& e) { writeBytes(e.fieldPath(31), kFax); });
        const auto b = secondOn(a);
        a.select("Fax");
        b->select("Fax");
        tick(a.c().chkEdit);
        press(a.c().cmdSave);
        QCOMPARE(readBytes(a.fieldPath(31)), B("OnlyFromDropdown=0\r\nAllowEditing=0\r\nRed\r\n"));
        b->c().rtfData->setPlainText("Red\nBlue");
        press(b->c().cmdSave);
        QCOMPARE(readBytes(a.fieldPath(31)), B("OnlyFromDropdown=0\r\nAllowEditing=0\r\nRed\r\nBlue\r\n"));
        QVERIFY(!b->c().chkEdit->isChecked());
        QCOMPARE(b->c().lblStatus->text(),
                 "Kept from another administrator's changes: Allow editing (unchecked).");

        a.c().rtfData->setPlainText("Red\nGreen");
        b->c().rtfData->setPlainText("Red\nBlue\nWhite");
        press(b->c().cmdSave);
        a.t.conflicts.answers = {"theirs"};
        press(a.c().cmdSave);
        QCOMPARE(a.t.conflicts.shown, QStringList("Drop-down list:Red, Blue, White>Red, Green"));
        QCOMPARE(readBytes(a.fieldPath(31)),
                 B("OnlyFromDropdown=0\r\nAllowEditing=0\r\nRed\r\nBlue\r\nWhite\r\n"));
        QCOMPARE(a.c().rtfData->toPlainText(), "Red\nBlue\nWhite");
        QVERIFY(!a.c().cmdSave->isEnabled());
    }

    // The own-settings switch: B makes Fax follow the global settings; A, who only changed its
    // list, saves: Fax keeps following them, and A's window shows the global rights.
    void switchChangedElsewhere() {
        EditorWindow a(kRights, nullptr, 3, [](EditorWindow& e) { writeBytes(e.fieldPath(31), kFax); });
        const auto b = secondOn(a);
        a.select("Fax");
        b->select("Fax");
        tick(b->c().optUsers[0]);
        press(b->c().cmdSave);
        QCOMPARE(readBytes(a.usersPath()), B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n"));
        a.c().rtfData->setPlainText("Red\nGreen");
        press(a.c().cmdSave);
        QCOMPARE(readBytes(a.usersPath()), B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n"));
        QCOMPARE(a.state(), "0");
        QCOMPARE(WindowDriver::rights(a.c().lvwSpecialUsers), "Full,Initialize,None");
        // Both give it rights of their own again, from the global rights shown: merged per user.
        b->openChooser(b->c().lvwSpecialUsers, 2);
        b->pick("Initialize");
        press(b->c().cmdSave);
        a.openChooser(a.c().lvwSpecialUsers, 0);
        a.pick("None");
        press(a.c().cmdSave);
        QCOMPARE(readBytes(a.usersPath()),
                 B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n31I={ID-0002}{ID-0003}\r\n"));
        QCOMPARE(a.c().lblStatus->text(), "Kept from another administrator's changes: User 3 (Initialize).");
        // B makes it follow the global settings while A's rights changed it there: a conflict, and
        // going back writes nothing.
        tick(b->c().optUsers[0]);
        press(b->c().cmdSave);
        QCOMPARE(b->t.conflicts.shown,
                 QStringList("Rights of the field:Use Settings below>Use Global Settings"));
        QVERIFY(b->c().cmdSave->isEnabled());
        QCOMPARE(readBytes(a.usersPath()),
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
            press(window->cmdTakeTheirs);
            seen = window->choices();
            window->findChild<QComboBox*>("cboKeep_1")->setCurrentIndex(0);
            press(window->cmdSave);
        });
        MergeWindowChooser chooser;
        const std::optional<std::vector<bool>> keep =
            chooser.choose(nullptr, "Changed here and there:", conflicts);
        QCOMPARE(seen, (std::vector<bool>{false, false}));
        QVERIFY(keep);
        QCOMPARE(*keep, (std::vector<bool>{false, true}));

        QTimer::singleShot(
            0, [&] { press(qobject_cast<frmMerge*>(QApplication::activeModalWidget())->cmdBack); });
        QVERIFY(!chooser.choose(nullptr, "Changed here and there:", conflicts));
    }
};

QTEST_MAIN(TestTwoAdmins)
#include "tst_twoadmins.moc"
