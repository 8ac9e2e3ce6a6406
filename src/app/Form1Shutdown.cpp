// How the main window ends: Close and Cancel, the close box, ACT!'s two events, the unload handler
// with the restart of ACT!, and the timer that ends the tool after that restart.

#include "app/Form1.h"

#include "editor/Editor.h"
#include "platform/ErrorReport.h"
#include "platform/ModalDialogs.h"
#include "platform/VbRuntime.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace qm {

namespace {
constexpr char kModule[] = "Form1";
constexpr std::int16_t kShutDownAct = 150; // ACT!'s menu command that shuts it down
constexpr int kShowNormal = 5;
constexpr int kTickMs = 1000;
} // namespace

// Asks about unsaved field settings, writes the global rights and closes. Nothing is lost: when the
// save asked for does not land, or the global rights cannot be collected or written, the window
// stays open with the administrator's changes (the failure was said), so that closing without
// them is the administrator's choice (Cancel), never an accident of a busy or read-only file.
void Form1::cmdClose_Click() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "cmdClose_Click"});
    trap.run([&] {
        trap.line = 1;
        if (c.cmdSave->isEnabled()) {
            Prompt_Save();
            if (m_unloaded || c.cmdSave->isEnabled()) {
                return; // closed by ACT! meanwhile, or the save failed
            }
        }
        trap.line = 2;
        if (!Write_Users(*c.lvwUsers, AuthorizedUsers::kGlobalScope)) {
            return;
        }
        trap.line = 3;
        close();
    });
}

void Form1::cmdCancel_Click() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "cmdCancel_Click"});
    trap.run([&] {
        trap.line = 1;
        close();
    });
}

void Form1::ActEvent1_OnActUserWantsToClose(std::int32_t /*reason*/) {
    closeFromAct("ActEvent1_OnActUserWantsToClose");
}

void Form1::ActEvent1_OnDatabaseClose() {
    closeFromAct("ActEvent1_OnDatabaseClose");
}

// ACT! is going away: the window closes without a question, also when one of the tool's dialogs
// is open (see platform/ModalDialogs.h).
void Form1::closeFromAct(const char* handler) {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, handler});
    trap.run([&] {
        trap.line = 1;
        rejectOpenDialogs();
        close();
    });
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!m_unloaded) {
        m_unloaded = true; // from here on, a handler that a question interrupted does nothing more
        int cancel = 0;
        Form_Unload(cancel);
    }
    event->accept(); // the window always closes
}

void Form1::Form_Unload(int& /*cancel*/) {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "Form_Unload"});
    trap.run([&] {
        trap.line = 1;
        if (!m_actEvent) {
            qm::raise(VbErr::ObjectNotSet);
        }
        m_actEvent->Operation2();
        trap.line = 2;
        if (RestartACT) {
            Restart_ACT();
        }
        trap.line = 3;
        SettingsStore& settings = m_services.settings;
        settings.setValue(kTopKey, vb::CStr(topTwips()));
        settings.setValue(kLeftKey, vb::CStr(leftTwips()));
        settings.setValue(kExpandedKey, vb::CStr(c.cmdFieldSettings->text() == kHideCaption));
        settings.setValue(kLastFieldKey, c.cboFields->currentText());
    });
}

// ACT! is shut down and the shell opens its database file again, which starts ACT! on it; the
// window hides and tmr1 ends the tool two ticks later.
void Form1::Restart_ACT() {
    QString database;
    {
        const auto app = act::createAs<act::ActApp>(m_services.act, act::kProgIdApp); // not objApp
        app->OpenFile(QString());
        database = app->GetOpenDBName();
        app->Command(kShutDownAct);
    }
    m_services.shell.open(database, m_services.app.programFolder(), kShowNormal, this);
    // Hidden, not closed: the tool lives on until the timer ends it.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    hide();
    m_unloaded = true;
    TickCount = 0;
    c.tmr1->setInterval(kTickMs);
    c.tmr1->start();
}

void Form1::tmr1_Timer() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "tmr1_Timer"});
    trap.run([&] {
        trap.line = 1;
        TickCount = vb::CInt(static_cast<double>(TickCount) + 1.0);
        trap.line = 2;
        if (TickCount == 2) {
            c.tmr1->stop();
            m_services.settings.sync();
            m_services.terminator.endNow(0);
        }
    });
}

} // namespace qm
