// The rights lists and the floating rights chooser: a mouse release over a row's "Rights" cell lays
// cboFloating over that cell with the row's right selected, and picking an entry writes the new
// right into the row. The option buttons switch the field between the global settings and its own.

#include "editor/Editor.h"

#include "platform/ErrorReport.h"
#include "platform/WindowLayout.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include <algorithm>

namespace qm::editor {

namespace {

constexpr char kModule[] = "Form1";

// The list's column with the key "Rights"; -1 when there is none.
int rightsColumn(const QTreeWidget& list) {
    for (int col = 0; col < list.columnCount(); ++col) {
        if (list.headerItem()->data(col, kListKeyRole).toString() == QLatin1String("Rights")) {
            return col;
        }
    }
    return -1;
}

QTreeWidgetItem* selectedItem(const QTreeWidget& list) {
    const QList<QTreeWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

int twips(int pixels) {
    return pixels * kTwipsPerPixel;
}

} // namespace

void Editor::hideChooser() {
    c.cboFloating->hide();
}

void Editor::lvwUsers_MouseUp(int /*button*/, int /*shift*/, float x, float y) {
    rightsListMouseUp(*c.lvwUsers, x, y);
}

void Editor::lvwSpecialUsers_MouseUp(int /*button*/, int /*shift*/, float x, float y) {
    if (!c.optUsers[0]->isEnabled()) {
        return; // no field selected yet: nothing changes, an open chooser stays open
    }
    rightsListMouseUp(*c.lvwSpecialUsers, x, y);
}

// Where the chooser goes. On Windows the chooser's top and left were the list's place in its frame,
// the frame's place in the window, the row's top and the column's left edge, corrected by a few
// fixed twips and by the dialog-frame metrics for the borders that Windows draws around frames and
// lists. Here each of those terms is read from the widgets as they are laid out now (at any
// scale): where the list's corner lies on the window, where the row and the column begin inside
// the list (its border and header included), and how tall the row is, so that the chooser covers
// the "Rights" cell exactly, centred on the row when it is the taller of the two.
QRect Editor::chooserPlace(const QTreeWidget& list, const QTreeWidgetItem& row, int col) const {
    const QWidget* viewport = list.viewport();
    const int columnLeft = twips(viewport->x() + list.header()->sectionViewportPosition(col));
    const int columnWidth = twips(list.header()->sectionSize(col));
    const QRect rowRect = list.visualItemRect(&row);
    const int rowTop = twips(viewport->y() + rowRect.top());
    const QComboBox& chooser = *c.cboFloating;
    const int chooserHeight = std::max(m_chooserHeight, rowRect.height());
    const int dy = twips((rowRect.height() - chooserHeight) / 2);
    const int dx = 0; // the chooser's own frame lies inside its rectangle, as the cell's does
    const QPoint listCorner = list.mapTo(chooser.parentWidget(), QPoint(0, 0));
    const int top = twips(listCorner.y()) + rowTop + dy;
    const int left = twips(listCorner.x()) + columnLeft + dx;
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(columnWidth), chooserHeight};
}

void Editor::rightsListMouseUp(QTreeWidget& list, float x, float y) {
    ErrorTrap trap(
        m_x.services.messageBox,
        {kModule, ProcKind::Sub, &list == c.lvwUsers ? "lvwUsers_MouseUp" : "lvwSpecialUsers_MouseUp"});
    trap.run([&] {
        trap.line = 1;
        ActiveRightsList = &list;
        trap.line = 2;
        hideChooser();
        trap.line = 3;
        // Rows are selected whole: the hit test finds a row anywhere along it.
        const QWidget* viewport = list.viewport();
        const QPoint inViewport =
            QPoint(qFloor(x / kTwipsPerPixel), qFloor(y / kTwipsPerPixel)) - viewport->pos();
        if (!viewport->rect().contains(inViewport) || !list.itemAt(QPoint(0, inViewport.y()))) {
            return;
        }
        trap.line = 4;
        const int col = rightsColumn(list);
        if (col < 0) {
            raise(VbErr::InvalidCall);
        }
        const int columnLeft = twips(viewport->x() + list.header()->sectionViewportPosition(col));
        const int columnWidth = twips(list.header()->sectionSize(col));
        if (x < static_cast<float>(columnLeft) || x > static_cast<float>(columnLeft + columnWidth)) {
            return;
        }
        trap.line = 5;
        QTreeWidgetItem* row = selectedItem(list);
        if (!row) {
            return;
        }
        trap.line = 9;
        QComboBox& chooser = *c.cboFloating;
        chooser.setGeometry(chooserPlace(list, *row, col));
        trap.line = 10;
        const int code = rightCode(*row);
        if (code < 0 || code >= chooser.count()) {
            raise(VbErr::InvalidPropertyValue);
        }
        chooser.setCurrentIndex(code);
        cboFloating_Click();
        m_chooserStart = code;
        m_chooserRow = list.indexFromItem(row);
        trap.line = 11;
        chooser.show(); // declared first in its window, it lies over the lists (platform/WindowLayout.h)
    });
}

void Editor::cboFloating_Click() {
    ErrorTrap trap(m_x.services.messageBox, {kModule, ProcKind::Sub, "cboFloating_Click"});
    trap.run([&] {
        trap.line = 1;
        QTreeWidget* list = ActiveRightsList;
        QTreeWidgetItem* row = list ? selectedItem(*list) : nullptr;
        if (!row) {
            return;
        }
        trap.line = 2;
        const int picked = c.cboFloating->currentIndex();
        const QString name = c.cboFloating->itemText(picked);
        if (picked < 0 || row->text(1) == name) {
            return;
        }
        trap.line = 3;
        row->setText(1, name);
        row->setData(0, kListTagRole, picked);
        if (list->objectName() != c.lvwSpecialUsers->objectName()) {
            m_global.changed = true;
            trap.line = 4;
            if (c.optUsers[0]->isChecked()) {
                Copy_Global_Rights(); // the field follows the global settings: it shows the change
            }
            return;
        }
        trap.line = 5;
        c.cmdSave->setEnabled(true);
        m_fieldRights.changed = true;
        RightsLoading = true;
        c.optUsers[0]->setChecked(false);
        c.optUsers[1]->setChecked(true);
        // Cleared again, so that choosing "Use Global Settings" afterwards refills the list.
        RightsLoading = false;
    });
}

void Editor::lvwSpecialUsers_ItemCheck(QTreeWidgetItem* /*item*/) {
    ErrorTrap trap(m_x.services.messageBox, {kModule, ProcKind::Sub, "lvwSpecialUsers_ItemCheck"});
    trap.run([&] {
        trap.line = 1;
        c.cmdSave->setEnabled(true);
        m_fieldRights.changed = true;
        trap.line = 2;
        c.optUsers[1]->setChecked(true);
    });
}

void Editor::optUsers_Click(int /*index*/) {
    ErrorTrap trap(m_x.services.messageBox, {kModule, ProcKind::Sub, "optUsers_Click"});
    trap.run([&] {
        trap.line = 1;
        hideChooser();
        if (!loading && !RightsLoading) {
            m_fieldRights.changed = true; // chosen by the administrator, not by a load
        }
        trap.line = 2;
        if (c.optUsers[1]->isChecked()) {
            return;
        }
        trap.line = 3;
        if (!RightsLoading) {
            Load_User_Rights(*c.lvwSpecialUsers, true);
        }
        trap.line = 4;
        if (!loading) {
            c.cmdSave->setEnabled(true);
        }
    });
}

// F2 and Space work as a mouse release over the middle of the selected row's "Rights" cell. While
// the person types a name to find its row (the list's own keyboard search, whose typed text goes on
// as long as each key follows the last within the toolkit's keyboard-search interval), Space is a
// part of that name and goes to the search instead.
bool Editor::listKey(QTreeWidget& list, const QKeyEvent& event) {
    const int key = event.key();
    const bool plain = (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) == 0;
    const QString text = event.text();
    const bool searching = m_searchList == &list && m_searchTyped.isValid() &&
                           m_searchTyped.elapsed() <= QApplication::keyboardInputInterval();
    if (key == Qt::Key_Space && plain && searching) {
        m_searchTyped.start();
        return false;
    }
    if (key == Qt::Key_F2 || key == Qt::Key_Space) {
        openChooserFromKeyboard(list);
        return true;
    }
    if (plain && !text.isEmpty() && text.at(0).isPrint()) {
        m_searchList = &list; // a key of the list's keyboard search
        m_searchTyped.start();
    }
    return false;
}

void Editor::openChooserFromKeyboard(QTreeWidget& list) {
    QTreeWidgetItem* row = selectedItem(list);
    const int col = rightsColumn(list);
    if (!row || col < 0) {
        return;
    }
    const QWidget* viewport = list.viewport();
    const QRect rowRect = list.visualItemRect(row);
    const QPoint centre(viewport->x() + list.header()->sectionViewportPosition(col) +
                            list.header()->sectionSize(col) / 2,
                        viewport->y() + rowRect.center().y());
    const auto x = static_cast<float>(twips(centre.x()));
    const auto y = static_cast<float>(twips(centre.y()));
    if (&list == c.lvwUsers) {
        lvwUsers_MouseUp(0, 0, x, y);
    } else {
        lvwSpecialUsers_MouseUp(0, 0, x, y);
    }
    if (!c.cboFloating->isVisible()) {
        return;
    }
    m_keyboardList = &list;
    c.cboFloating->setFocus(Qt::OtherFocusReason);
    qApp->installEventFilter(this);
}

// The keys of the chooser opened from the keyboard. The arrows move through the rights; the pick
// reaches the row when the chooser closes with Enter (or by a click elsewhere, or Tab).
bool Editor::chooserKey(int key) {
    QComboBox& chooser = *c.cboFloating;
    const int last = chooser.count() - 1;
    const int now = chooser.currentIndex();
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Left:
        chooser.setCurrentIndex(std::max(0, now - 1));
        return true;
    case Qt::Key_Down:
    case Qt::Key_Right:
        chooser.setCurrentIndex(std::min(last, now + 1));
        return true;
    case Qt::Key_Home:
    case Qt::Key_PageUp:
        chooser.setCurrentIndex(0);
        return true;
    case Qt::Key_End:
    case Qt::Key_PageDown:
        chooser.setCurrentIndex(last);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        endKeyboardChoice(true);
        return true;
    case Qt::Key_Escape:
        endKeyboardChoice(false);
        return true;
    default:
        return false;
    }
}

void Editor::endKeyboardChoice(bool keepPick) {
    QPointer<QTreeWidget> list = m_keyboardList;
    m_keyboardList = nullptr;
    qApp->removeEventFilter(this);
    const bool hadFocus = c.cboFloating->hasFocus(); // not when closed by a click elsewhere
    if (keepPick) {
        cboFloating_Click(); // as a pick with the mouse
    } else {
        c.cboFloating->setCurrentIndex(m_chooserStart);
    }
    hideChooser();
    if (list && hadFocus) {
        list->setFocus(Qt::OtherFocusReason);
    }
}

// The chooser opened by the mouse takes Enter and Escape too (after a pick the focus stays in it),
// so that they never reach the window's Close and Cancel: Enter keeps the pick, Escape gives the
// row back the right it showed when the chooser opened. The arrows are the drop-down list's own,
// each a pick.
bool Editor::mouseChooserKey(int key) {
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        endMouseChoice(true);
        return true;
    case Qt::Key_Escape:
        endMouseChoice(false);
        return true;
    default:
        return false;
    }
}

// A pick with the mouse has reached the row already: Escape writes the first right back, as a pick
// of it would. Save stays as the picks left it (enabled after a pick in lvwSpecialUsers): an edit
// made elsewhere meanwhile is not taken back with it.
void Editor::endMouseChoice(bool keepPick) {
    const QPointer<QTreeWidget> list = ActiveRightsList;
    if (!keepPick && c.cboFloating->currentIndex() != m_chooserStart) {
        c.cboFloating->setCurrentIndex(m_chooserStart);
        cboFloating_Click();
    }
    hideChooser();
    if (list) {
        list->setFocus(Qt::OtherFocusReason);
    }
}

// The chooser covers one cell and a pick goes to the list's selected row. When the selection moves
// to another row (the arrow keys), the chooser is hidden: a release over a cell lays it there
// again. When the list scrolls or its columns change, it moves with its row while the row's cell is
// in view (the list scrolls a row it shows in part into view of itself, just after a click on it),
// and is hidden once the cell leaves the view. So it never covers one row while a pick would go to
// another.
void Editor::chooserCellMoved(const QTreeWidget& list) {
    if (ActiveRightsList != &list || !c.cboFloating->isVisible()) {
        return;
    }
    const QTreeWidgetItem* row = selectedItem(list);
    const int col = rightsColumn(list);
    if (row && col >= 0 && list.indexFromItem(row) == m_chooserRow) {
        const QRect rowRect = list.visualItemRect(row);
        const QRect cell(list.header()->sectionViewportPosition(col), rowRect.top(),
                         list.header()->sectionSize(col), rowRect.height());
        if (list.viewport()->rect().contains(cell)) {
            c.cboFloating->setGeometry(chooserPlace(list, *row, col));
            return;
        }
    }
    hideChooser();
}

} // namespace qm::editor
