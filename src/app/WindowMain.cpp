#include "app/WindowMain.h"

#include "app/Form1.h"

#include <QApplication>

namespace qm {

int runWindow(Services& services, ProgressDisplay& progressDisplay, const StartupProgress::Clock& clock) {
    Form1 form(services);
    StartupProgress progress(progressDisplay, clock);
    {
        const StartupProgress::Scope scope(progress);
        form.Form_Load();
    }
    progress.finish();
    if (form.startRefused()) {
        return kExitNoWindow;
    }
    if (form.unloaded()) {
        return 0; // ACT! closed its database during the start-up: the tool closes with it
    }
    form.show();
    return QApplication::exec();
}

} // namespace qm
