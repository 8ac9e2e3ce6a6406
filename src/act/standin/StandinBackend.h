#pragma once

// The backend that answers the ACT! automation calls from the ACT! stand-in: its session file
// (which database is open, the current user and field, ...) and its SQLite databases.

#include "act/ActObjects.h"

#include <QString>

#include <memory>

namespace qm::act::standin {

// Name of the environment variable that names the stand-in's home folder.
inline constexpr char kHomeVariable[] = "ACT_STANDIN_HOME";

// $ACT_STANDIN_HOME, or the per-user data folder of the stand-in.
QString homeFolder();

std::unique_ptr<ObjectFactory> makeFactory(const QString& home = homeFolder());

} // namespace qm::act::standin
