// The rights chooser against the person's other moves, all through the window: the list's row or
// scroll moving under the open chooser, Enter and Escape after a pick with the mouse, and the panel's
// own button; with the panel's option buttons once a field is chosen.

#include "EditorWindow.h"
#include "Pointer.h"

#include <QApplication>
#include <QScrollBar>

using namespace qm;
using test::EditorWindow;
using B = QByteArray;

namespace {

// The value of `key` in the authorized-users file; empty when the key is absent.
QString valueIn(const B& file, const QString& key) {
    for (const B& line : file.split('\n')) {
        if (line.startsWith((key + "=").toLatin1()))
            return QString::fromLatin1(line.mid(key.size() + 1)).trimmed();
    }
    return {};
}

} // namespace

class TestChooser : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The chooser is opened by the mouse over a row; then the row or the list moves under it, and
    // the person picks "Initialize" in the chooser where it is then, if it is still shown, and
    // stores. Only the row the chooser covers may get the right.
    void pickLandsOnTheCoveredRow_data() {
        // atEnd: the list scrolled to its end first, the chooser opened over its first row shown;
        // otherwise over row 1
        test::columns<QString, bool, QString>("list", "atEnd", "move");
        test::row("field list, Down", "field", false, "Down");
        test::row("field list, Up", "field", false, "Up");
        test::row("global list, Down", "users", false, "Down");
        test::row("field list, wheel", "field", false, "wheel down");
        test::row("global list, wheel", "users", false, "wheel down");
        test::row("field list, scroll bar", "field", false, "scroll bar");
        test::row("global list, wheel, the row stays in view", "users", true, "wheel up");
        test::row("field list, wheel, the row stays in view", "field", true, "wheel up");
    }

    void pickLandsOnTheCoveredRow() {
        auto [list, atEnd, move] = test::fetch<QString, bool, QString>();
        // Nobody holds Initialize: globally users 1 and 4 hold Full, on Fax user 3.
        EditorWindow w("[Contacts]\r\nGlobalF={ID-0001}{ID-0004}\r\n31F={ID-0003}\r\n", nullptr, 12);
        w.select("Fax");
        QVERIFY(w.activate());
        const bool field = list == "field";
        QTreeWidget* view = field ? w.c().lvwSpecialUsers : w.c().lvwUsers;
        QComboBox* chooser = w.c().cboFloating;
        QScrollBar* bar = view->verticalScrollBar();
        QVERIFY(bar->maximum() > 0); // the list scrolls
        for (int page = 0; atEnd && page < 5 && bar->value() < bar->maximum(); ++page)
            test::click(bar, test::pageOnOf(bar).center());
        QCOMPARE(bar->value(), atEnd ? bar->maximum() : 0);
        const int scrolled = bar->value();
        const int open = atEnd ? view->indexAt(QPoint(0, 1)).row() : 1;
        test::clickCell(view, open, 1);
        QVERIFY(chooser->isVisible());
        if (move == "Down" || move == "Up")
            test::key(view, move == "Down" ? Qt::Key_Down : Qt::Key_Up);
        else if (move.startsWith("wheel"))
            test::wheel(view, test::cellCentre(view, open, 0), move.endsWith("down") ? -1 : 1);
        else
            test::click(bar, test::pageOnOf(bar).center());
        QVERIFY(view->currentIndex().row() != open || bar->value() != scrolled); // it moved
        QString covered; // the unique ID of the row under the chooser, while it is shown
        if (chooser->isVisible()) {
            const QPoint centre =
                view->viewport()->mapFromGlobal(chooser->mapToGlobal(chooser->rect().center()));
            QTreeWidgetItem* row = view->itemAt(QPoint(0, centre.y()));
            QVERIFY(row);
            covered = row->data(0, kListIdRole).toString();
            QVERIFY(test::pickEntry(chooser, "Initialize"));
        }
        test::click(field ? w.c().cmdSave : w.c().cmdClose);
        QCOMPARE(valueIn(test::readBytes(w.usersPath()), field ? "31I" : "GlobalI"), covered);
        QCOMPARE(covered.isEmpty(), move != "wheel up"); // hidden, unless its row stays in view
    }

    // After a pick with the mouse the focus stays in the chooser: Enter and Escape are the
    // chooser's, never the window's Close and Cancel.
    void keysAfterAPick_data() {
        // Fax has rights of its own ("Use Settings below"): the chooser stays open after a pick.
        test::columns<QString, QString, QString, QString>("list", "key", "rights", "state");
        using test::row;
        row("global list, Enter keeps the pick", "users", "Return", "Full,Full,None", "1");
        row("global list, Escape gives the row its right back", "users", "Escape", "Full,Initialize,None",
            "1");
        row("field list, Enter keeps the pick", "field", "Return", "None,Full,Full", "1,save");
        row("field list, Escape gives the row its right back", "field", "Escape", "None,None,Full", "1,save");
    }

    void keysAfterAPick() {
        auto [list, key, rightsAfter, state] = test::fetch<QString, QString, QString, QString>();
        EditorWindow w(test::kRights);
        w.select("Fax");
        QVERIFY(w.activate());
        QTreeWidget* view = list == "field" ? w.c().lvwSpecialUsers : w.c().lvwUsers;
        test::clickCell(view, 1, 1);
        QVERIFY(test::pickEntry(w.c().cboFloating, "Full"));
        QCOMPARE(QApplication::focusWidget(), w.c().cboFloating);
        test::key(view, key == "Return" ? Qt::Key_Return : Qt::Key_Escape);
        QVERIFY(w.form->isVisible());
        QCOMPARE(EditorWindow::rights(view), rightsAfter);
        QCOMPARE(w.state(), state);
        QCOMPARE(QApplication::focusWidget(), view);
        QCOMPARE(test::readBytes(w.usersPath()), test::kRights);
    }

    // "Hide Field Settings" and "Show Field Settings" hide the chooser; hiding the panel stores the
    // field shown as "LastField".
    void panelButton() {
        EditorWindow w;
        w.select("Fax");
        QVERIFY(w.activate());
        QPushButton* button = w.c().cmdFieldSettings;
        for (const QString caption : {"Hide Field Settings", "Show Field Settings"}) {
            test::clickCell(w.c().lvwUsers, 1, 1);
            QVERIFY(w.c().cboFloating->isVisible());
            QCOMPARE(button->text(), caption);
            test::click(button);
            QVERIFY(!w.c().cboFloating->isVisible());
            if (caption.startsWith("Hide")) {
                QCOMPARE(w.t.settings.writes, QStringList{"LastField"});
                QCOMPARE(w.t.settings.values.value("LastField"), "Fax");
            }
        }
        QCOMPARE(w.c().cboFields->currentText(), "Fax");
    }

    // Before a field is chosen the option buttons take no click; once one is, "Use Settings below"
    // and "Use Global Settings" do.
    void optionButtonsOnceAFieldIsChosen() {
        EditorWindow w("[Contacts]\r\nGlobalF={ID-0001}\r\n");
        QVERIFY(w.activate());
        const auto clickOption = [&](int i) {
            test::click(w.c().optUsers[i], test::indicatorOf(w.c().optUsers[i]).center());
        };
        clickOption(1);
        QCOMPARE(w.state(), "0");
        QVERIFY(test::pickEntry(w.c().cboFields, "Phone"));
        clickOption(1); // by hand: no copy, nothing to save
        QCOMPARE(w.state(), "1");
        clickOption(0); // the global rights copied in
        QCOMPARE(w.state() + ":" + EditorWindow::rights(w.c().lvwSpecialUsers), "0,save:Full,None,None");
    }
};

QTEST_MAIN(TestChooser)
#include "tst_chooser.moc"
