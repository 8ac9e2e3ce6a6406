// Quillmark: wires the real platform services and the ACT! backend, runs the start-up and, unless
// it refused to start, shows the main window.

#include "act/standin/StandinBackend.h"
#include "app/AppIcon.h"
#include "app/Form1.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"

#include <QApplication>
#include <QDir>

namespace {

// The ACT! stand-in, which opens stand-in database files for the shell, lies beside the executable.
QString actStandinProgram() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("act-standin"));
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(qm::appIcon());

    qm::QtMessageBox messageBox;
    qm::QtSettingsStore settings;
    qm::DesktopShell shell(actStandinProgram());
    qm::LockFileInstanceGuard instance;
    qm::QtAppInfo appInfo;
    qm::ProcessTerminator terminator;
    qm::QtFileDialogs dialogs;
    const std::unique_ptr<qm::act::ObjectFactory> act = qm::act::standin::makeFactory();
    qm::Services services{messageBox, settings, shell, instance, appInfo, terminator, dialogs, *act};

    qm::Form1 form(services);
    form.Form_Load();
    if (form.startRefused() || form.unloaded()) { // refused, or ACT! closed during the start-up
        return 0;
    }
    form.show();
    return app.exec();
}
