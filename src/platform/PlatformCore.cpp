#include "platform/PlatformCore.h"

#include "Version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>

namespace qm {

std::optional<QString> QtSettingsStore::value(const QString& key) const {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, kAppTitle, kAppTitle);
    s.beginGroup(QStringLiteral("Settings"));
    if (!s.contains(key)) {
        return std::nullopt;
    }
    return s.value(key).toString();
}

void QtSettingsStore::setValue(const QString& key, const QString& value) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, kAppTitle, kAppTitle);
    s.beginGroup(QStringLiteral("Settings"));
    s.setValue(key, value);
}

void QtSettingsStore::sync() {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, kAppTitle, kAppTitle);
    s.sync();
}

LockFileInstanceGuard::LockFileInstanceGuard(QString lockPath)
    : m_path(std::move(lockPath)) {}

LockFileInstanceGuard::~LockFileInstanceGuard() = default;

QString LockFileInstanceGuard::defaultLockPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    return folder + QStringLiteral("/quillmark.lock");
}

bool LockFileInstanceGuard::anotherCopyRuns() {
    if (m_checked) {
        return m_another;
    }
    m_checked = true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    m_lock = std::make_unique<QLockFile>(m_path);
    m_lock->setStaleLockTime(0); // only a lock whose process is gone is stale
    m_another = !m_lock->tryLock(0);
    if (m_another) {
        // Not stale by process? Ask once more after removing a lock Qt judges stale.
        if (m_lock->error() == QLockFile::LockFailedError && m_lock->removeStaleLockFile()) {
            m_another = !m_lock->tryLock(0);
        }
    }
    return m_another;
}

QString QtAppInfo::programFolder() const {
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString QtAppInfo::exeName() const {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

VersionInfo QtAppInfo::version() const {
    return {build::kVersionMajor, build::kVersionMinor, build::kVersionPatch};
}

void ProcessTerminator::endNow(int exitCode) {
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace qm
