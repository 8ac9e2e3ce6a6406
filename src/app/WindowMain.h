#pragma once

// The tool in its window: the start-up, with its progress shown when it takes long, then the
// main window until it closes.

#include "platform/Progress.h"
#include "platform/Services.h"

namespace qm {

// The exit status of a start that did not open the window (another copy, no database, ACT!
// unreachable, not an administrator, or the start-up's progress cancelled), after its message:
// a launcher tells it from a normal end (0).
inline constexpr int kExitStartRefused = 1;

// Runs the start-up and, unless it ended the tool, the window's event loop. Returns the exit
// status. `clock` times the start-up for its progress.
int runWindow(Services& services, ProgressDisplay& progressDisplay,
              const StartupProgress::Clock& clock = StartupProgress::steadyClock);

} // namespace qm
