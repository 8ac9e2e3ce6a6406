#pragma once

// What every window of the tool shares in laying itself out: geometry written in twips, as the
// windows were designed, placed at 15 twips to a device-independent pixel; the design font; the
// placing of controls with their names and tab indexes; and the stacking of controls that overlap.

#include <QRect>
#include <QString>
#include <QWidget>

#include <utility>
#include <vector>

class QDialog;
class QFont;

namespace qm {

inline constexpr int kTwipsPerPixel = 15;
inline int twipsToPixels(double twips) {
    return qRound(twips / kTwipsPerPixel);
}

// The control's designed rectangle (twips) in pixels.
inline QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

// Name of the dynamic property that holds a control's tab index as designed.
inline constexpr char kTabIndexProperty[] = "TabIndex";

// The design font, 8.25 pt "MS Sans Serif", or the platform's closest match.
QFont designFont(bool bold);

// Names a control and puts it at its designed rectangle (twips).
template <typename W> W* placeControl(W* w, const QString& name, int left, int top, int width, int height) {
    w->setObjectName(name);
    w->setGeometry(twipsRect(left, top, width, height));
    return w;
}
template <typename W> W* placeControl(W* w, const char* name, int left, int top, int width, int height) {
    return placeControl(w, QLatin1String(name), left, top, width, height);
}

// Places a window's controls in the order the window declares them, and when all are placed,
// stacks them and chains the focus:
//
// - Where two controls overlap, the one declared first lies on top and takes the mouse there (a
//   wide check box declared after a narrow one beside it must not swallow the narrow one's
//   clicks). Controls with different containers never overlap each other's contents: each
//   container's own children are stacked among themselves.
// - The focus goes from control to control in the order of their tab indexes, skipping those
//   that take no focus and those placed without a tab index.
class Placer {
public:
    template <typename W>
    W* place(W* w, const QString& name, int left, int top, int width, int height, int tab) {
        place(w, name, left, top, width, height);
        w->setProperty(kTabIndexProperty, tab);
        m_tabOrder.emplace_back(tab, w);
        return w;
    }
    template <typename W>
    W* place(W* w, const char* name, int left, int top, int width, int height, int tab) {
        return place(w, QLatin1String(name), left, top, width, height, tab);
    }
    // A control without a tab index (a line, a label that takes no focus in its window's order).
    template <typename W> W* place(W* w, const QString& name, int left, int top, int width, int height) {
        placeControl(w, name, left, top, width, height);
        m_declared.push_back(w);
        return w;
    }
    template <typename W> W* place(W* w, const char* name, int left, int top, int width, int height) {
        return place(w, QLatin1String(name), left, top, width, height);
    }

    // Stacks the placed controls (the first declared on top) and chains the focus.
    void finish();

private:
    std::vector<QWidget*> m_declared;
    std::vector<std::pair<int, QWidget*>> m_tabOrder;
};

// A dialog of a fixed size: a title and a close box, no minimise or maximise button.
void setFixedDialogFrame(QDialog& dialog);

} // namespace qm
