#pragma once

// The backend that answers the ACT! automation calls from the ACT! stand-in: its session file
// (which database is open, the current user and field, ...) and its SQLite databases.

#include "act/ActObjects.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace qm::act::standin {

// Name of the environment variable that names the stand-in's home folder.
inline constexpr char kHomeVariable[] = "ACT_STANDIN_HOME";

// Name of the environment variable that gives every automation call a delay, in microseconds
// (absent or 0: none), read when a factory is made. It plays an ACT! in another process, where
// every call crosses the process boundary.
inline constexpr char kCallDelayVariable[] = "ACT_STANDIN_CALL_DELAY_US";

// $ACT_STANDIN_HOME, or the per-user data folder of the stand-in.
QString homeFolder();

std::unique_ptr<ObjectFactory> makeFactory(const QString& home = homeFolder());

// Counts one automation call (an object created, a member called, an operation of the event
// control) and waits the call delay, if any.
void automationCall();
// The automation calls this process has made to the stand-in so far.
std::int64_t automationCalls();
// Reads the call delay from the environment (makeFactory does).
void setCallDelayFromEnvironment();

// True when the file is a stand-in ACT! database, judged by its content, not its name.
bool isDatabaseFile(const QString& path);

} // namespace qm::act::standin
