#pragma once

// A label that reports a click of the left mouse button (pressed and released over it), as a
// caption the user can click to act on the control beside it, or a link.

#include <QLabel>
#include <QMouseEvent>

namespace qm {

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

Q_SIGNALS:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override {
        m_pressed = event->button() == Qt::LeftButton;
        QLabel::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        const bool click =
            m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
        m_pressed = false;
        QLabel::mouseReleaseEvent(event);
        if (click) {
            Q_EMIT clicked();
        }
    }

private:
    bool m_pressed = false;
};

} // namespace qm
