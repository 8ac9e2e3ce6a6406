// The rights lists from the keyboard, keys sent to the window as a person types them: a name typed
// to find its row (type-ahead) takes its spaces; Space on its own opens the rights chooser.

#include "EditorWindow.h"
#include "Pointer.h"

#include <QApplication>

using namespace qm;
using test::EditorWindow;

class TestEditorKeys : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // keys: text typed, "pause" (longer than the toolkit's keyboard-search interval), "Space"
    void typeAhead_data() {
        test::columns<QString, QStringList, QString, bool>("list", "keys", "current", "chooser");
        using test::row;
        row("a name with a space finds its row", "field", QStringList{"user 11"}, "User 11", false);
        row("in the global list too", "users", QStringList{"user 1", "2"}, "User 12", false);
        row("Space after a pause opens the chooser", "field", QStringList{"user 2", "pause", "Space"},
            "User 2", true);
        row("Space first opens the chooser", "field", QStringList{"Space"}, "User 1", true);
        row("after a pause a new name is searched", "users", QStringList{"user 3", "pause", "user 1", "0"},
            "User 10", false);
    }

    void typeAhead() {
        auto [list, keys, current, chooser] = test::fetch<QString, QStringList, QString, bool>();
        EditorWindow w({}, nullptr, 12);
        w.select("Phone");
        QTreeWidget* view = list == "users" ? w.c().lvwUsers : w.c().lvwSpecialUsers;
        QVERIFY(w.activate());
        test::clickCell(view, 0, 0); // the first user's name: the list takes the keys
        QVERIFY(view->hasFocus() && !w.c().cboFloating->isVisible());
        for (const QString& key : keys) {
            if (key == "pause")
                QTest::qWait(QApplication::keyboardInputInterval() + 200);
            else if (key == "Space")
                test::key(view, Qt::Key_Space);
            else
                test::type(view, key);
        }
        QCOMPARE(view->currentItem()->text(0), current);
        QCOMPARE(w.c().cboFloating->isVisible(), chooser);
        if (chooser) // over the found row's "Rights" cell
            QVERIFY(w.c().cboFloating->geometry().contains(w.c().cboFloating->parentWidget()->mapFrom(
                w.form, test::inWindow(view, test::cellCentre(view, view->currentIndex().row(), 1)))));
        QCOMPARE(EditorWindow::rights(view), "None,None,None,None,None,None,None,None,None,None,None,None");
    }
};

QTEST_MAIN(TestEditorKeys)
#include "tst_editorkeys.moc"
