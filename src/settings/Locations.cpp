#include "settings/Locations.h"

namespace qm::Locations {

QString defaultUsersPath(const AppInfo& app, QChar separator) {
    return defaultListPath(app, separator) + separator + QStringLiteral("Users.dat");
}

QString defaultListPath(const AppInfo& app, QChar separator) {
    return app.settingsHome() + separator + QStringLiteral("Settings");
}

QString storedUsersPath(const SettingsStore& settings, const AppInfo& app) {
    return settings.value(kUsersPathKey, defaultUsersPath(app));
}

QString storedListPath(const SettingsStore& settings, const AppInfo& app) {
    return settings.value(kListPathKey, defaultListPath(app));
}

} // namespace qm::Locations
