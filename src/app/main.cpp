// Quillmark: wires the real platform services and the ACT! backend, runs the start-up and, unless
// it refused to start, shows the main window. With options it works on the command line instead
// (report/ReportCommand.h).

#include "act/standin/StandinBackend.h"
#include "app/AppIcon.h"
#include "app/WindowMain.h"
#include "app/frmMerge.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"
#include "report/ReportCommand.h"
#include "settings/Locations.h"

#ifdef Q_OS_WIN
#include "act/com/ComBackend.h"

#include <qt_windows.h>

#include <cstdio>
#endif

#include <QApplication>
#include <QDir>
#include <QTextStream>

namespace {

// The ACT! stand-in, which opens stand-in database files for the shell, lies beside the executable.
QString actStandinProgram() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("act-standin"));
}

// On Windows the tool talks to ACT!'s own automation objects, unless QUILLMARK_ACT says
// "standin"; elsewhere to the ACT! stand-in.
bool useRealAct() {
#ifdef Q_OS_WIN
    return qEnvironmentVariable("QUILLMARK_ACT").compare(QLatin1String("standin"), Qt::CaseInsensitive) != 0;
#else
    return false;
#endif
}

std::unique_ptr<qm::act::ObjectFactory> makeActBackend(bool realAct) {
#ifdef Q_OS_WIN
    if (realAct) {
        return qm::act::com::makeFactory();
    }
#endif
    Q_UNUSED(realAct);
    return qm::act::standin::makeFactory();
}

std::unique_ptr<qm::Shell> makeShell(bool realAct) {
#ifdef Q_OS_WIN
    if (realAct) {
        return std::make_unique<qm::WindowsShell>();
    }
#endif
    Q_UNUSED(realAct);
    return std::make_unique<qm::DesktopShell>(actStandinProgram(), qm::act::standin::isDatabaseFile);
}

#ifdef Q_OS_WIN
// The Windows program is a windowed one, started without a console: its command line prints into
// the console it was started from, unless its output goes to a file or a pipe already.
void attachParentConsole() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
        return;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        (void)std::freopen("CONOUT$", "w", stdout);
        (void)std::freopen("CONOUT$", "w", stderr);
        SetConsoleOutputCP(CP_UTF8);
    }
}
#endif

} // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        // Options: --help, --version, the report and the check, without a window or a display.
#ifdef Q_OS_WIN
        attachParentConsole();
#endif
        QCoreApplication app(argc, argv);
        qm::report::ConsoleMessageBox messageBox;
        qm::QtSettingsStore settings;
        const qm::QtAppInfo appInfo;
        const std::unique_ptr<qm::act::ObjectFactory> act = makeActBackend(useRealAct());
        QTextStream out(stdout);
        return qm::report::commandLineMain(QCoreApplication::arguments(), messageBox, settings, appInfo, *act,
                                           out);
    }

    // The window needs a display; the options above need none.
    const std::unique_ptr<QApplication> app =
        qm::openApplication(argc, argv,
                            QStringLiteral("quillmark: the window needs a display, and none could be opened; "
                                           "--report and --check work without one (see quillmark --help)."),
                            qm::kExitNoWindow);
    QApplication::setWindowIcon(qm::appIcon());

    const bool realAct = useRealAct();
    qm::QtMessageBox messageBox;
    qm::QtSettingsStore settings;
    const std::unique_ptr<qm::Shell> shell = makeShell(realAct);
    qm::LockFileInstanceGuard instance;
    qm::QtAppInfo appInfo;
    // An installed program keeps its settings in the login's data folder, which the first save
    // needs to find.
    if (appInfo.settingsHome() != appInfo.programFolder()) {
        QDir().mkpath(QDir::fromNativeSeparators(qm::Locations::defaultListPath(appInfo)));
    }
    qm::ProcessTerminator terminator;
    qm::QtFileDialogs dialogs;
    const std::unique_ptr<qm::act::ObjectFactory> act = makeActBackend(realAct);
    qm::QtWaitWindow wait;
    qm::MergeWindowChooser conflicts;
    qm::Services services{messageBox, settings, *shell, instance, appInfo,
                          terminator, dialogs,  *act,   wait,     conflicts};

    // A long start-up shows its progress; the main window appears when it is done.
    qm::ProgressWindow progressWindow;
    return qm::runWindow(services, progressWindow);
}
