#pragma once

// All the doubles wired into one Services, for tests that drive the tool end to end.

#include "FakeAct.h"
#include "TestPlatform.h"

namespace qm::test {

struct TestServices {
    FakeMessageBox messageBox;
    MemorySettingsStore settings;
    RecordingShell shell;
    FakeInstanceGuard instance;
    FakeAppInfo app;
    RecordingTerminator terminator;
    ScriptedFileDialogs dialogs;
    FakeActState actState;
    FakeActFactory act{actState};
    FakeWaitIndicator wait;
    ScriptedConflicts conflicts;

    Services services{messageBox, settings, shell, instance, app, terminator, dialogs, act, wait, conflicts};
};

} // namespace qm::test
