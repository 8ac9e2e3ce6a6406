#pragma once

// A person's mouse and keyboard: events sent to the window (its QWindow), so that they reach the
// control the toolkit finds under the pointer, as a person's do, and never a control by name.
// Points are given in a widget's own coordinates and turned into its window's.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

namespace qm::test {

// The window `w` lies in, as the window system knows it.
inline QWindow* windowOf(const QWidget* w) {
    return w->window()->windowHandle();
}

// `local` (a point of `w`) in the coordinates of `w`'s window.
inline QPoint inWindow(const QWidget* w, QPoint local) {
    return w->mapTo(w->window(), local);
}

inline QPoint centreOf(const QWidget* w) {
    return w->rect().center();
}

// The widget the toolkit finds under `local` of `w`, as it does for a click there: the window's
// child at that point (the window itself where no child lies).
inline QWidget* widgetUnder(const QWidget* w, QPoint local) {
    QWidget* window = w->window();
    QWidget* found = window->childAt(inWindow(w, local));
    return found ? found : window;
}

// True when a click at `local` of `w` reaches `w` (or a part of it, such as a list's viewport).
inline bool reaches(const QWidget* w, QPoint local) {
    const QWidget* found = widgetUnder(w, local);
    return found == w || w->isAncestorOf(found);
}

// The round or square indicator of an option button or check box, in its own coordinates.
inline QRect indicatorOf(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
    return button->style()->subElementRect(
        radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, button);
}

// The mouse, through the window.
inline void moveTo(const QWidget* w, QPoint local) {
    QTest::mouseMove(windowOf(w), inWindow(w, local));
}
inline void click(const QWidget* w, QPoint local, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(windowOf(w), button, {}, inWindow(w, local));
}
inline void click(const QWidget* w) {
    click(w, centreOf(w));
}

// The mouse wheel turned by `steps` notches (negative: towards the person, scrolling down) with the
// pointer at `local` of `w`; the window hands it to the widget under the pointer.
inline void wheel(const QWidget* w, QPoint local, int steps) {
    const QPoint at = inWindow(w, local);
    QWheelEvent event(at, w->window()->mapToGlobal(at), QPoint(), QPoint(0, 120 * steps), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(windowOf(w), &event);
}

// The groove of a scroll bar past its handle (a click there pages on), in its own coordinates.
inline QRect pageOnOf(const QScrollBar* bar) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    if (bar->orientation() == Qt::Horizontal)
        option.state |= QStyle::State_Horizontal;
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddPage, bar);
}

// A cell of a list or grid, in the view's own coordinates (its header and frame included).
inline QRect cellOf(const QAbstractItemView* view, const QModelIndex& index) {
    return view->visualRect(index).translated(view->viewport()->pos());
}
inline QPoint cellCentre(const QAbstractItemView* view, int row, int column) {
    return cellOf(view, view->model()->index(row, column)).center();
}
inline void clickCell(const QAbstractItemView* view, int row, int column) {
    click(view, cellCentre(view, row, column));
}

// The arrow button of a drop-down list, in its own coordinates (an editable one opens only there).
inline QRect arrowOf(const QComboBox* combo) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.subControls = QStyle::SC_All;
    return combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, combo);
}

// Opens a drop-down list with a click on its arrow and clicks its entry `index` in the list that drops down.
// False when the list did not open, or did not close on the click.
inline bool pickEntry(QComboBox* combo, int index) {
    click(combo, arrowOf(combo).center());
    QAbstractItemView* list = combo->view();
    if (!QTest::qWaitFor(
            [list] { return list->isVisible() && windowOf(list) && windowOf(list)->isExposed(); }, 2000)) {
        return false;
    }
    const QModelIndex entry = list->model()->index(index, combo->modelColumn(), combo->rootModelIndex());
    list->scrollTo(entry);
    // The pointer comes to rest on the entry before the click, as a hand's does.
    moveTo(list, cellOf(list, entry).center());
    click(list, cellOf(list, entry).center());
    return QTest::qWaitFor([list] { return !list->isVisible(); }, 2000);
}
inline bool pickEntry(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text);
    return index >= 0 && pickEntry(combo, index);
}

// The keyboard, through the window of `w`: keys reach the control with the focus there.
inline void key(const QWidget* w, Qt::Key k, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(windowOf(w), k, modifiers);
}
inline void type(const QWidget* w, const QString& text) {
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            key(w, Qt::Key_Return);
        } else {
            QTest::keyClick(windowOf(w), c.toLatin1());
        }
    }
}

} // namespace qm::test
