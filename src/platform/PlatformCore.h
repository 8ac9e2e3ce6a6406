#pragma once

// The real platform services that need no display.

#include "platform/Services.h"

#include <QString>

#include <memory>

class QLockFile;

namespace qm {

// QSettings in its native format, organisation and application "Quillmark", group "Settings".
class QtSettingsStore : public SettingsStore {
public:
    std::optional<QString> value(const QString& key) const override;
    void setValue(const QString& key, const QString& value) override;
    void sync() override;
    using SettingsStore::value;
};

// One copy per user login: a lock file in the user's runtime folder, or where there is none (no
// XDG_RUNTIME_DIR, or its stand-in in the temporary folder taken by another login) in a folder of
// the login's own, never under a fixed name in the shared temporary folder, where another login
// could make it first. The lock of a copy that crashed names a process that no longer runs, and
// the next start takes it over. A lock file that another login made is not this login's: it says
// nothing of a copy running, and the lock is taken in the login's own folder instead.
class LockFileInstanceGuard : public InstanceGuard {
public:
    explicit LockFileInstanceGuard(QString lockPath = defaultLockPath(), QString ownPath = ownLockPath());
    ~LockFileInstanceGuard() override;
    bool anotherCopyRuns() override;
    // The lock the guard took or found (the own one when the first was another login's).
    QString lockPath() const { return m_path; }
    static QString defaultLockPath();
    // In the login's cache folder, named after the machine: a home folder may be shared by the
    // machines of a network.
    static QString ownLockPath();

private:
    QString m_path;
    QString m_ownPath;
    std::unique_ptr<QLockFile> m_lock;
    bool m_checked = false;
    bool m_another = false;
};

class QtAppInfo : public AppInfo {
public:
    // Where the settings files lie by default: beside the executable (an unpacked build), or in
    // the login's data folder "Quillmark" (the installed package, built with QM_SETTINGS_PER_USER).
    enum class SettingsHome { ProgramFolder, PerUser };
    static const SettingsHome kBuiltSettingsHome;

    explicit QtAppInfo(SettingsHome home = kBuiltSettingsHome)
        : m_home(home) {}
    QString programFolder() const override;
    QString settingsHome() const override;
    QString exeName() const override;
    // The version resource of the running executable's file, read when asked.
    VersionInfo version() const override;

private:
    SettingsHome m_home;
};

// The version resource that the build places in an executable (a record
// "QMVERSIONINFO:major.minor.revision;", each part from 0 to 65535); 0.0.0 when the file has none
// or cannot be read.
VersionInfo readVersionResource(const QString& executablePath);

class ProcessTerminator : public Terminator {
public:
    void endNow(int exitCode) override;
};

} // namespace qm
