#pragma once

// What every window of the tool shares in laying itself out: geometry written in twips, as the
// windows were designed, placed at 15 twips to a device-independent pixel; the design font; and
// the placing of controls with their names and tab indexes.

#include <QRect>
#include <QWidget>

#include <utility>
#include <vector>

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
template <typename W> W* placeControl(W* w, const char* name, int left, int top, int width, int height) {
    w->setObjectName(QLatin1String(name));
    w->setGeometry(twipsRect(left, top, width, height));
    return w;
}

// Places controls with their designed tab indexes, to chain the focus afterwards.
class Placer {
public:
    template <typename W>
    W* place(W* w, const char* name, int left, int top, int width, int height, int tab) {
        placeControl(w, name, left, top, width, height);
        w->setProperty(kTabIndexProperty, tab);
        m_tabOrder.emplace_back(tab, w);
        return w;
    }

    // The focus goes from control to control in the order of their tab indexes, skipping those
    // that take no focus.
    void chainFocus();

private:
    std::vector<std::pair<int, QWidget*>> m_tabOrder;
};

} // namespace qm
