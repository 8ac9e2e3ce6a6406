#pragma once

// Where the protection settings live: the authorized-users file and the per-field settings folder,
// two per-user preferences with defaults under the program folder (AppInfo::settingsHome: for an
// installed program, the login's data folder).

#include "platform/Paths.h"
#include "platform/Services.h"

#include <QString>

namespace qm::Locations {

inline const QString kUsersPathKey = QStringLiteral("UsersPath");
inline const QString kListPathKey = QStringLiteral("ListPath");

// The settings home, then "Settings" and "Users.dat" joined with `separator`.
QString defaultUsersPath(const AppInfo& app, QChar separator = kPathSep);
// The settings home, then "Settings", joined with `separator`; no final separator.
QString defaultListPath(const AppInfo& app, QChar separator = kPathSep);

// The stored values, exactly as stored, or the defaults when absent.
QString storedUsersPath(const SettingsStore& settings, const AppInfo& app);
QString storedListPath(const SettingsStore& settings, const AppInfo& app);

} // namespace qm::Locations
