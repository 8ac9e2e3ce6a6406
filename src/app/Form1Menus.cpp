// The main window's menu items that open the integration dialog, the help and the About window.

#include "app/Form1.h"
#include "app/frmAbout.h"
#include "integrate/frmIntegrate.h"
#include "platform/ErrorReport.h"

namespace qm {

namespace {
constexpr char kModule[] = "Form1";
constexpr int kShowNormal = 5;
} // namespace

void Form1::mnuIntegrate_Click() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "mnuIntegrate_Click"});
    trap.run([&] {
        trap.line = 1;
        frmIntegrate dialog(
            m_services, this,
            {RestartACT, [this](int& cancel) { Form_Unload(cancel); }, [this] { return m_unloaded; }});
        dialog.exec();
    });
}

// The shell opens the page; whatever it answers, the tool shows nothing of its own.
void Form1::mnuOnline_Click() {
    m_services.shell.open(kOnlineHelpPage, m_services.app.programFolder(), kShowNormal, this);
}

// The manual installed beside the executable; when it is missing nothing happens in the tool.
void Form1::mnuManual_Click() {
    const QString folder = m_services.app.programFolder();
    m_services.shell.open(folder + kPathSep + kManualFileName, folder, kShowNormal, this);
}

void Form1::mnuAbout_Click() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "mnuAbout_Click"});
    trap.run([&] {
        trap.line = 1;
        frmAbout dialog(m_services, this);
        dialog.exec();
    });
}

} // namespace qm
