#include "platform/WindowLayout.h"

#include <QDialog>
#include <QFont>

#include <algorithm>

namespace qm {

// The windows were drawn in 8.25 pt "MS Sans Serif"; where it is missing the closest sans serif
// stands in (Arial's metrics come nearest).
QFont designFont(bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

void Placer::finish() {
    // Raising each control puts it above its siblings: raised last to first, the first declared
    // ends on top. Controls that were not placed (a container's own parts) stay below.
    for (auto it = m_declared.rbegin(); it != m_declared.rend(); ++it) {
        (*it)->raise();
    }
    std::stable_sort(m_tabOrder.begin(), m_tabOrder.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QWidget* previous = nullptr;
    for (const auto& [tab, w] : m_tabOrder) {
        if (w->focusPolicy() == Qt::NoFocus) {
            continue;
        }
        if (previous) {
            QWidget::setTabOrder(previous, w);
        }
        previous = w;
    }
}

void setFixedDialogFrame(QDialog& dialog) {
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint);
}

} // namespace qm
