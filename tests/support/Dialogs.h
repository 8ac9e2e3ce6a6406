#pragma once

// Driving a modal dialog from a test: exec() returns only when the dialog closes, so what a person
// does in it runs from the dialog's own event loop, once the dialog is open.

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>

namespace qm::test {

// Acts on the modal dialog of type D as soon as one is open, while this object lives:
//
//     WhenOpen<frmAbout> about([&](frmAbout* d) { ...; d->cmdOK->click(); });
//     mnuAbout->trigger();
//     QVERIFY(about.opened());
//
// A dialog that never opens fails the test through opened(), and the watch ends with the test's
// frame, so nothing is left to run later against a test that has ended. A dialog that `act` leaves
// open (a failed check inside it) is rejected, so that exec() returns.
template <typename D> class WhenOpen {
public:
    template <typename F> explicit WhenOpen(F act) {
        m_poll.setInterval(5);
        QObject::connect(&m_poll, &QTimer::timeout, [this, act] {
            auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
            if (!dialog) {
                return;
            }
            m_poll.stop();
            m_opened = true;
            const QPointer<D> open(dialog);
            act(dialog);
            if (open && open->isVisible()) {
                open->reject();
            }
        });
        m_poll.start();
    }
    bool opened() const { return m_opened; }

private:
    QTimer m_poll;
    bool m_opened = false;
};

} // namespace qm::test
