// The editor through the real window: the field settings panel and its Save, the rights lists with
// the chooser (mouse and keys), and closing the window, also when ACT! closes it.

#include "EditorWindow.h"
#include "platform/ModalDialogs.h"
#include "platform/PlatformGui.h"
#include "settings/frmLocations.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>

using namespace qm;
using test::EditorWindow;
using test::kRights;
using B = QByteArray;

namespace {

QString prompt(const QString& field) {
    return "Do you want to save changes made to the '" + field + "' field settings?|4|Quillmark";
}

const B kOld = "[Contacts]\r\nGlobal=old\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n28F={ID-0003}\r\n";

QString panel(const EditorWindow& w) {
    return QString("%1|%2|%3")
        .arg(editor::checkState(*w.c().chkOnlyFromDropdown))
        .arg(editor::checkState(*w.c().chkEdit))
        .arg(w.c().rtfData->toPlainText());
}

QTreeWidget* listNamed(const EditorWindow& w, const QString& name) {
    return name == "users" ? w.c().lvwUsers : w.c().lvwSpecialUsers;
}

// The "Rights" cell of a row and the chooser, on the screen.
QRect cellRect(QTreeWidget* list, int row) {
    const QRect r = list->visualItemRect(list->topLevelItem(row));
    return {list->viewport()->mapToGlobal(QPoint(list->header()->sectionViewportPosition(1), r.top())),
            QSize(list->header()->sectionSize(1), r.height())};
}

// The list's rows as the screen shows them, and as the list draws them now.
QImage onScreen(const QTreeWidget* list) {
    const QWidget* rows = list->viewport();
    const QPoint at = rows->mapTo(rows->window(), QPoint(0, 0));
    return rows->screen()
        ->grabWindow(rows->window()->winId(), at.x(), at.y(), rows->width(), rows->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}
QImage drawnNow(const QTreeWidget* list) {
    return list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRect chooserRect(const EditorWindow& w) {
    return {w.c().cboFloating->mapToGlobal(QPoint(0, 0)), w.c().cboFloating->size()};
}

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fieldSwitch_data() {
        // failure: how the save of Phone fails ("": it does not); <dir>: the settings folder
        test::columns<int, QString, QString, B, QStringList>("answer", "failure", "shown", "phoneFile",
                                                             "reports");
        using test::row;
        const auto notSaved = [](const QString& why) -> QString {
            return "The settings of the 'Phone' field were not saved: " + why +
                   ".\rYour changes are still in the window.|48|Quillmark";
        };
        row("Yes saves Phone, then shows Fax", int(vbYes), "", "Fax",
            B("OnlyFromDropdown=0\r\nAllowEditing=1\r\nRed\r\nGreen\r\n"), QStringList{});
        row("No drops Phone's changes", int(vbNo), "", "Fax", B("<missing>"), QStringList{});
        row("read-only file", int(vbYes), "read-only", "Phone", B("OnlyFromDropdown=0\r\nAllowEditing=0\r\n"),
            QStringList{notSaved("<dir>/Contacts28.dat is read-only")});
        row("missing folder", int(vbYes), "no folder", "Phone", B("<missing>"),
            QStringList{notSaved("the folder <dir>/gone does not exist")});
        row("a folder in the file's place", int(vbYes), "folder", "Phone", B("<missing>"),
            QStringList{
                "The settings of the 'Phone' field could not be read when they were shown: "
                "<dir>/Contacts28.dat "
                "is a folder.\rWriting them replaces what the file holds with what the window shows.\r\rDo "
                "you want to write them all the same?|52|Quillmark",
                notSaved("<dir>/Contacts28.dat is not a regular file")});
    }

    void fieldSwitch() {
        auto [answer, failure, shown, phoneFile, reports] =
            test::fetch<int, QString, QString, B, QStringList>();
        EditorWindow w;
        if (failure == "no folder")
            w.form->ListPath = w.dir.filePath("gone");
        if (failure == "folder")
            QVERIFY(QDir().mkdir(w.fieldPath(28)));
        if (failure == "read-only") {
            QVERIFY(test::writeBytes(w.fieldPath(28), phoneFile));
            QFile::setPermissions(w.fieldPath(28), QFile::ReadOwner);
        }
        w.select("Phone");
        w.c().rtfData->setPlainText("Red\nGreen");
        w.c().chkEdit->click();
        w.t.messageBox.clear();
        w.t.messageBox.answerNext(answer);
        w.select("Fax");
        reports.replaceInStrings("<dir>", w.dir.path());
        QCOMPARE(w.t.messageBox.boxes(), QStringList{prompt("Phone")} + reports);
        QCOMPARE(w.c().cboFields->currentText(), shown);
        QCOMPARE(test::readBytes(w.fieldPath(28)), phoneFile);
        // A failed save loses nothing: Phone stays on screen with its changes, Save enabled.
        QCOMPARE(w.c().cmdSave->isEnabled(), !reports.isEmpty());
        QCOMPARE(w.c().rtfData->toPlainText(), reports.isEmpty() ? "" : "Red\nGreen");
    }

    void loading_data() {
        // Fax's settings file (null: none), more keys; what the panel and lvwSpecialUsers show then
        test::columns<B, B, QString, QString, QStringList>("file", "keys", "panel", "rights", "reports");
        using test::row;
        row("no file, global rights", B(), B(), "0|0|", "0:Full,Initialize,None", QStringList{});
        row("flags, list and own rights",
            B("OnlyFromDropdown=1\r\nAllowEditing=2\r\n  Red\r\n Blue \r\n\r\n"), B("31I={ID-0001}\r\n"),
            "1|2|  Red\nBlue", "1:Initialize,None,None", QStringList{});
        row("keys of blanks follow the global rights", B("OnlyFromDropdown=0\r\nAllowEditing=1\r\n"),
            B("31I=  \r\n"), "0|1|", "0:Full,Initialize,None", QStringList{});
        row("a bad flag stops the load", B("OnlyFromDropdown=1\r\nAllowEditing=x\r\nRed\r\n"), B(), "1|0|",
            "1:None,Full,None",
            QStringList{test::errorBox(13, "Type mismatch", "Form1: Sub cboFields_Click - Line # 6")});
    }

    void loading() {
        auto [file, keys, panelAfter, rightsAfter, reports] =
            test::fetch<B, B, QString, QString, QStringList>();
        EditorWindow w("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n28F={ID-0002}\r\n" + keys);
        if (!file.isNull())
            QVERIFY(test::writeBytes(w.fieldPath(31), file));
        w.select("Phone"); // rights of its own
        QCOMPARE(w.state() + ":" + EditorWindow::rights(w.c().lvwSpecialUsers), "1:None,Full,None");
        w.select("Fax");
        QCOMPARE(w.t.messageBox.boxes(), reports);
        QCOMPARE(panel(w), panelAfter);
        QCOMPARE(w.state() + ":" + EditorWindow::rights(w.c().lvwSpecialUsers),
                 rightsAfter);  // Save stays off
        w.c().chkEdit->click(); // an error leaves the loading flag cleared all the same
        QVERIFY(w.c().cmdSave->isEnabled());
    }

    // What the screen shows of the field's list is what the list holds, cell by cell: after a field
    // switch on the screen, and after one made while the window was hidden.
    void rightsOnTheScreen() {
        EditorWindow w(kRights);
        QTreeWidget* list = w.c().lvwSpecialUsers;
        for (const QString field : {"Fax", "Phone", "Fax"}) {
            const bool hidden = field == "Phone";
            if (hidden)
                w.form->hide();
            w.select(field);
            if (hidden) {
                w.form->show();
                QVERIFY(QTest::qWaitForWindowExposed(w.form));
            }
            QCOMPARE(EditorWindow::rights(list), field == "Fax" ? "None,None,Full" : "Full,Initialize,None");
            QTRY_COMPARE(onScreen(list), drawnNow(list));
        }
    }

    void edits_data() {
        // state: option selected, Save enabled, chooser shown; panel: only|edit|text
        test::columns<QString, QString, QString>("edit", "state", "panel");
        test::row("emptying the list clears both boxes", "clear", "0,save", "0|0|");
        test::row("spaces are not empty", "spaces", "0,save", "1|1|  ");
        test::row("Allow editing leaves the chooser open", "edit", "0,save,chooser", "1|0|Red");
        test::row("Only from Drop-down closes it", "only", "0,save", "0|1|Red");
        test::row("a click on the window's surface closes it", "window", "0", "1|1|Red");
        test::row("the field chooser taking the focus closes it", "focus", "0", "1|1|Red");
        test::row("an item's check state changed marks a change", "check", "1,save", "1|1|Red");
    }

    void edits() {
        auto [edit, state, panelAfter] = test::fetch<QString, QString, QString>();
        EditorWindow w(kRights);
        QVERIFY(test::writeBytes(w.fieldPath(28), "OnlyFromDropdown=1\r\nAllowEditing=1\r\nRed\r\n"));
        w.select("Phone");
        w.openChooser(w.c().lvwUsers, 0);
        QCOMPARE(w.state(), "0,chooser");
        QFocusEvent focusIn(QEvent::FocusIn);
        if (edit == "clear" || edit == "spaces")
            w.c().rtfData->setPlainText(edit == "clear" ? "" : "  ");
        else if (edit == "window") // between the global frame and the buttons
            QTest::mouseClick(w.form->centralWidget(), Qt::LeftButton, {}, QPoint(twipsToPixels(5980), 100));
        else if (edit == "focus")
            QApplication::sendEvent(w.c().cboFields, &focusIn);
        else if (edit == "check")
            w.c().lvwSpecialUsers->topLevelItem(0)->setCheckState(0, Qt::Checked);
        else
            (edit == "edit" ? w.c().chkEdit : w.c().chkOnlyFromDropdown)->click();
        QCOMPARE(w.state(), state);
        QCOMPARE(panel(w), panelAfter);
    }

    void saveRights_data() {
        // picks in lvwSpecialUsers ("row:right"), or "global": "Use Global Settings" selected
        test::columns<QStringList, B>("picks", "users");
        const B keep = "[Contacts]\r\nGlobalF={ID-0001}\r\n40F={ID-0003}\r\n";
        test::row("Use Global Settings removes both keys", QStringList{"global"}, keep + "31=old\r\n");
        test::row("Use Settings below writes both lists", QStringList{"2:Full"},
                  keep + "31F={ID-0002}{ID-0003}\r\n31I={ID-0001}\r\n");
        test::row("everyone None writes neither key", QStringList{"0:None", "1:None"}, keep);
    }

    void saveRights() {
        auto [picks, users] = test::fetch<QStringList, B>();
        EditorWindow w(
            "[Contacts]\r\nGlobalF={ID-0001}\r\n40F={ID-0003}\r\n31F={ID-0002}\r\n31I={ID-0001}\r\n"
            "31=old\r\n");
        w.select("Fax");
        for (const QString& p : picks) {
            if (p == "global") {
                w.c().optUsers[0]->click(); // the global rights are copied in
                QCOMPARE(EditorWindow::rights(w.c().lvwSpecialUsers), "Full,None,None");
            } else {
                w.give(w.c().lvwSpecialUsers, p.section(':', 0, 0).toInt(), p.section(':', 1));
            }
        }
        QCOMPARE(w.state(), picks == QStringList{"global"} ? "0,save" : "1,save,chooser");
        w.c().cmdSave->click();
        QCOMPARE(test::readBytes(w.usersPath()), users);
        QCOMPARE(w.state(), picks == QStringList{"global"} ? "0" : "1");
        QVERIFY(w.t.messageBox.shown.empty());
    }

    void picks_data() {
        // rights: lvwUsers|lvwSpecialUsers afterwards
        test::columns<QString, QString, int, QString, QString, QString>("field", "list", "row", "pick",
                                                                        "rights", "state");
        using test::row;
        row("a global pick reaches a field that follows the global rights", "Phone", "users", 2, "Full",
            "Full,Initialize,Full|Full,Initialize,Full", "0,chooser");
        row("a field with its own rights does not follow", "Fax", "users", 2, "Initialize",
            "Full,Initialize,Initialize|None,None,Full", "1,chooser");
        row("a field pick enables Save and selects Use Settings below", "Phone", "field", 0, "None",
            "Full,Initialize,None|None,Initialize,None", "1,save");
        row("the same right changes nothing", "Phone", "field", 1, "Initialize",
            "Full,Initialize,None|Full,Initialize,None", "0,chooser");
        row("Use Settings below already selected", "Fax", "field", 0, "Full",
            "Full,Initialize,None|Full,None,Full", "1,save,chooser");
    }

    void picks() {
        auto [field, list, row, pick, rightsAfter, state] =
            test::fetch<QString, QString, int, QString, QString, QString>();
        EditorWindow w(kRights);
        w.select(field);
        w.openChooser(listNamed(w, list), row);
        QCOMPARE(w.c().cboFloating->currentText(), listNamed(w, list)->topLevelItem(row)->text(1));
        w.pick(pick);
        QCOMPARE(EditorWindow::rights(w.c().lvwUsers) + "|" + EditorWindow::rights(w.c().lvwSpecialUsers),
                 rightsAfter);
        QCOMPARE(w.state(), state);
        QCOMPARE(w.form->editor().ActiveRightsList, listNamed(w, list));
        QCOMPARE(w.c().lvwSpecialUsers->topLevelItem(row)->data(0, kListTagRole).toInt(),
                 AuthorizedUsers::rightNames().indexOf(rightsAfter.section('|', 1).section(',', row, row)));
    }

    // Also run at twice the scale (test_editor_2x).
    void chooser_data() {
        // at: "left"/"right" (the Rights cell's borders), "users" (the Users cell's last pixel),
        // "past" (right of the Rights cell), "below" (under the last row)
        test::columns<QString, int, QString, bool, bool>("list", "row", "at", "fieldSelected", "shown");
        using test::row;
        row("global list, left border", "users", 0, "left", true, true);
        row("global list, right border", "users", 2, "right", true, true);
        row("field list, left border", "field", 0, "left", true, true);
        row("field list, right border", "field", 2, "right", true, true);
        row("Users column", "users", 1, "users", true, false);
        row("past the right border", "field", 1, "past", true, false);
        row("below the last row", "users", 1, "below", true, false);
        row("field list before any field: nothing changes", "field", 1, "left", false, true);
    }

    void chooser() {
        auto [list, row, at, fieldSelected, shown] = test::fetch<QString, int, QString, bool, bool>();
        EditorWindow w(kRights);
        if (fieldSelected)
            w.select("Phone");
        w.openChooser(w.c().lvwUsers, 1);
        const QRect before = chooserRect(w);
        QTreeWidget* view = listNamed(w, list);
        const int width = view->header()->sectionSize(1);
        QPoint p = EditorWindow::cellPoint(view, row,
                                           at == "users"   ? -1
                                           : at == "right" ? width
                                           : at == "past"  ? width + 1
                                                           : 0);
        if (at == "below")
            p.setY(view->visualItemRect(view->topLevelItem(2)).bottom() + 3);
        EditorWindow::release(view, p);
        QCOMPARE(w.c().cboFloating->isVisible(), shown);
        QCOMPARE(w.form->editor().ActiveRightsList, fieldSelected ? view : w.c().lvwUsers);
        if (!fieldSelected || !shown) {
            QVERIFY(fieldSelected || chooserRect(w) == before);
            return;
        }
        // The chooser covers the row's "Rights" cell, centred on it, and nothing lies over it.
        const QRect cell = cellRect(view, row), chooser = chooserRect(w);
        QCOMPARE(QList<int>({chooser.left(), chooser.width()}), QList<int>({cell.left(), cell.width()}));
        QVERIFY(chooser.top() <= cell.top() && chooser.bottom() >= cell.bottom() &&
                chooser.top() > cell.top() - 4);
        for (const QPoint& corner : {cell.topLeft(), cell.bottomRight()}) {
            const QWidget* there = w.form->childAt(w.form->mapFromGlobal(corner));
            QVERIFY(there == w.c().cboFloating || w.c().cboFloating->isAncestorOf(there));
        }
    }

    void keyboard_data() {
        // keys sent to the widget with the focus; "click": a click on the list editor
        test::columns<QString, QStringList, QString, QString>("list", "keys", "rights", "state");
        using test::row;
        row("F2, Down, Return picks", "field", QStringList{"F2", "Down", "Return"}, "Full,None,None",
            "1,save");
        row("Space, Up, Escape changes nothing", "field", QStringList{"Space", "Up", "Escape"},
            "Full,Initialize,None", "0");
        row("a click elsewhere keeps the pick", "field", QStringList{"F2", "Down", "click"}, "Full,None,None",
            "1,save");
        row("global list: Up, Up, Return", "users", QStringList{"F2", "Up", "Up", "Return"}, "Full,Full,None",
            "0");
    }

    void keyboard() {
        auto [list, keys, rightsAfter, state] = test::fetch<QString, QStringList, QString, QString>();
        EditorWindow w(kRights);
        w.select("Phone");
        QTreeWidget* view = listNamed(w, list);
        w.openChooser(view, 1); // where the mouse puts the chooser
        const QRect byMouse = chooserRect(w);
        w.c().cboFloating->hide();
        QVERIFY(w.activate());
        view->setFocus();
        for (const QString& key : keys) {
            if (key == "click")
                QTest::mouseClick(w.c().rtfData->viewport(), Qt::LeftButton);
            else
                QTest::keyClick(QApplication::focusWidget(), QKeySequence(key)[0].key());
            if (key == keys.first())
                QCOMPARE(chooserRect(w), byMouse);
        }
        QCOMPARE(EditorWindow::rights(w.c().lvwSpecialUsers), rightsAfter);
        QCOMPARE(w.state(), state);
        QVERIFY(w.form->isVisible()); // Enter and Escape went to the chooser, not to Close and Cancel
        QCOMPARE(QApplication::focusWidget(),
                 keys.last() == "click" ? static_cast<QWidget*>(w.c().rtfData) : view);
    }

    void closing_data() {
        // what the administrator does after making user 2 Full in the global list; users: the file after
        test::columns<QString, QStringList, B, bool, QStringList>("action", "reports", "users", "closed",
                                                                  "writes");
        using test::row;
        const B written = "[Contacts]\r\nGlobalF={ID-0001}{ID-0002}\r\n28F={ID-0003}\r\n";
        const QStringList window{"Top", "Left", "Expanded", "LastField"};
        row("Close writes the global rights", "close", QStringList{}, written, true, window);
        row("Close asks about the field first", "close, changed", QStringList{prompt("Fax")}, written, true,
            window);
        row("Cancel stores only the window", "cancel", QStringList{}, kOld, true, window);
        row("the close box likewise", "close box", QStringList{}, kOld, true, window);
        row("global rights that cannot be collected keep the window open", "close, bad code",
            QStringList{test::errorBox(9, "Subscript out of range", "Form1: Sub Write_Users - Line # 2")},
            kOld, false, QStringList{});
    }

    void closing() {
        auto [action, reports, users, closed, writes] =
            test::fetch<QString, QStringList, B, bool, QStringList>();
        EditorWindow w(kOld);
        w.select("Fax");
        w.give(w.c().lvwUsers, 1, "Full");
        if (action.contains("changed")) {
            w.c().rtfData->setPlainText("Red");
            w.t.messageBox.answerNext(vbNo);
        }
        if (action.contains("bad code"))
            w.c().lvwUsers->topLevelItem(2)->setData(0, kListTagRole, 3);
        if (action == "close box")
            w.form->close();
        else
            (action == "cancel" ? w.c().cmdCancel : w.c().cmdClose)->click();
        QCOMPARE(w.t.messageBox.boxes(), reports);
        QCOMPARE(test::readBytes(w.usersPath()), users);
        QCOMPARE(!w.form->isVisible(), closed);
        QCOMPARE(w.t.settings.writes, writes);
        QCOMPARE(test::readBytes(w.fieldPath(31)), B("<missing>"));
    }

    // The users' unique IDs were read with their names at the start-up: loading a field's rights,
    // saving them and Close ask ACT! nothing per user (ACT! answers from another process, each call
    // costly), only the current user's name once for the write's record, and write the IDs of the
    // right users.
    void noCallsPerUser_data() {
        test::columns<QString, QStringList, B>("action", "calls", "users");
        using test::row;
        const QStringList none, who{"CurrentUserName()"};
        row("a field with rights of its own shown", "Fax", none, kRights);
        row("a field following the global rights shown", "Phone", none, kRights);
        row("a field's own rights saved", "Phone, pick, save", who,
            kRights + "28F={ID-0001}{ID-0050}\r\n28I={ID-0002}\r\n");
        row("the global rights loaded into a field", "Fax, global, save", who,
            B("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n"));
        row("Close writes the global rights", "Fax, global pick, close", who + QStringList{"Operation2()"},
            B("[Contacts]\r\nGlobalF={ID-0001}{ID-0050}\r\nGlobalI={ID-0002}\r\n31F={ID-0003}\r\n"));
    }

    void noCallsPerUser() {
        auto [action, calls, users] = test::fetch<QString, QStringList, B>();
        EditorWindow w(kRights, nullptr, 50);
        QCOMPARE(w.c().lvwUsers->topLevelItemCount(), 50);
        w.t.actState.calls.clear();
        w.select(action.section(", ", 0, 0));
        QTreeWidget* list = action.contains("global pick") ? w.c().lvwUsers : w.c().lvwSpecialUsers;
        if (action.contains("global,"))
            w.c().optUsers[0]->click();
        if (action.contains("pick")) {
            list->scrollToItem(list->topLevelItem(49));
            w.give(list, 49, "Full");
        }
        if (action.contains("save"))
            w.c().cmdSave->click();
        if (action.contains("close"))
            w.c().cmdClose->click();
        QCOMPARE(w.t.actState.calls, calls); // Close detaches from ACT!'s event control, no more
        QCOMPARE(w.t.messageBox.boxes(), QStringList{});
        QCOMPARE(test::readBytes(w.usersPath()), users);
    }

    // A list that a read would cut at 126 characters is asked about before anything is written.
    void cutWarning_data() {
        test::columns<QString, int, bool>("action", "answer", "written");
        for (const char* action : {"close", "save"}) {
            test::row(qPrintable(QString(action) + ", go on"), QString(action), int(vbYes), true);
            test::row(qPrintable(QString(action) + ", go back"), QString(action), int(vbNo), false);
        }
    }

    void cutWarning() {
        auto [action, answer, written] = test::fetch<QString, int, bool>();
        QString fourteen; // 14 IDs of 9 characters: 126, all that a read returns
        for (int i = 1; i <= 14; ++i)
            fourteen += QString("{ID-%1}").arg(i, 4, 10, QChar('0'));
        const B before =
            "[Contacts]\r\nGlobalF=" + fourteen.toLatin1() + "\r\n31F=" + fourteen.toLatin1() + "\r\n";
        EditorWindow w(before, nullptr, 15);
        w.select("Fax");
        const bool save = action == "save";
        QTreeWidget* list = save ? w.c().lvwSpecialUsers : w.c().lvwUsers;
        list->scrollToItem(list->topLevelItem(14));
        w.give(list, 14, "Full");
        w.t.messageBox.answerNext(answer);
        (save ? w.c().cmdSave : w.c().cmdClose)->click();
        QCOMPARE(
            w.t.messageBox.boxes(),
            QStringList{"Only the first 126 characters of a list of users are read back.\rWritten as they "
                        "stand, " +
                        QString(save ? "the rights on 'Fax'" : "the global rights") +
                        " would be read without: User 15 (Full).\r\rDo you want to write them all the "
                        "same?|52|Quillmark"});
        const B key = (save ? "31F=" : "GlobalF=") + fourteen.toLatin1();
        const B after = B(before).replace(key, B(key + "{ID-0015}"));
        QCOMPARE(test::readBytes(w.usersPath()), written ? after : before);
        QCOMPARE(test::readBytes(w.fieldPath(31)) != "<missing>",
                 written && save); // nothing written before the question
        QCOMPARE(save ? w.c().cmdSave->isEnabled() : w.form->isVisible(), !written);
    }

    void actEvents_data() {
        // dialog: what is open when the event arrives
        test::columns<bool, QString>("databaseClose", "dialog");
        for (const bool close : {true, false}) {
            for (const char* dialog : {"", "question", "locations", "report"})
                test::row(qPrintable(QString(close ? "database closed" : "ACT! quits") + ", " +
                                     (*dialog ? dialog : "no dialog")),
                          close, QString(dialog));
        }
    }

    void actEvents() {
        auto [databaseClose, dialog] = test::fetch<bool, QString>();
        QtMessageBox realBoxes;
        EditorWindow w(kOld, &realBoxes);
        w.select("Fax");
        w.give(w.c().lvwUsers, 1, "Full");
        w.c().rtfData->setPlainText("Red");
        auto* act = static_cast<test::FakeActEvent*>(w.form->ActEvent1());
        const auto raise = [&] { databaseClose ? act->raiseDatabaseClose() : act->raiseUserWantsToClose(); };
        QString opened;
        const QObject frame; // the timers below end with this test
        QTimer::singleShot(0, &frame, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                opened = modal->metaObject()->className();
                for (QLineEdit* typed : modal->findChildren<QLineEdit*>())
                    typed->setText("/typed");
            }
            raise();
        });
        bool leftOpen = false; // rather than hang when the event leaves the dialog open
        QTimer::singleShot(3000, &frame, [&] { leftOpen = rejectOpenDialogs() > 0; });
        if (dialog == "question")
            w.c().cmdClose->click();
        else if (dialog == "locations")
            w.form->mnuLocation_Click();
        else if (dialog == "report")
            w.c().mnuReport->trigger();
        else
            QTest::qWait(20);
        QCOMPARE(opened, dialog == "question"    ? "QMessageBox"
                         : dialog == "locations" ? "qm::frmLocations"
                         : dialog == "report"    ? "qm::report::frmReport"
                                                 : "");
        QVERIFY(!leftOpen && !w.form->isVisible() && w.form->unloaded());
        for (QWidget* window : QApplication::topLevelWidgets())
            QVERIFY2(!window->isVisible(), qPrintable(window->objectName())); // no dialog left alone
        // Nothing but the window's place is stored: not the global rights, not the field, not the dialog.
        QCOMPARE(w.t.settings.writes, QStringList({"Top", "Left", "Expanded", "LastField"}));
        QCOMPARE(test::readBytes(w.usersPath()), kOld);
        QCOMPARE(test::readBytes(w.fieldPath(31)), B("<missing>"));
        QCOMPARE(w.t.actState.calls.filter("Operation2").size(), 1);
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
