#pragma once

// The tool in its window: the start-up, with its progress shown when it takes long, then the
// main window until it closes.

#include "platform/Progress.h"
#include "platform/Services.h"

namespace qm {

// The exit status when the window did not open: a refused start (another copy, no database,
// ACT! unreachable, not an administrator) after its message, the start-up's progress cancelled,
// or no display. A launcher tells it from a normal end (0); the command line's options keep
// their own statuses.
inline constexpr int kExitNoWindow = 1;

// Runs the start-up and, unless it ended the tool, the window's event loop. Returns the exit
// status. `clock` times the start-up for its progress.
int runWindow(Services& services, ProgressDisplay& progressDisplay,
              const StartupProgress::Clock& clock = StartupProgress::steadyClock);

} // namespace qm
