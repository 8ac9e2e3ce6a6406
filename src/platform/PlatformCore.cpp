#include "platform/PlatformCore.h"

#include "platform/FileOwner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>

#include <QByteArrayView>

#include <cstdio>
#include <cstdlib>
#include <optional>

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

LockFileInstanceGuard::LockFileInstanceGuard(QString lockPath, QString ownPath)
    : m_path(std::move(lockPath))
    , m_ownPath(std::move(ownPath)) {}

LockFileInstanceGuard::~LockFileInstanceGuard() = default;

QString LockFileInstanceGuard::defaultLockPath() {
    // The toolkit checks that the runtime folder is this login's own, and gives none when it is not.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? ownLockPath() : folder + QStringLiteral("/quillmark.lock");
}

QString LockFileInstanceGuard::ownLockPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Quillmark/quillmark-") + QSysInfo::machineHostName() + QStringLiteral(".lock");
}

bool LockFileInstanceGuard::anotherCopyRuns() {
    if (m_checked) {
        return m_another;
    }
    m_checked = true;
    if (otherLoginOf(m_path)) {
        m_path = m_ownPath;
    }
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

#ifdef QM_SETTINGS_PER_USER
const QtAppInfo::SettingsHome QtAppInfo::kBuiltSettingsHome = SettingsHome::PerUser;
#else
const QtAppInfo::SettingsHome QtAppInfo::kBuiltSettingsHome = SettingsHome::ProgramFolder;
#endif

QString QtAppInfo::settingsHome() const {
    if (m_home == SettingsHome::ProgramFolder) {
        return programFolder();
    }
    return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                    QStringLiteral("/Quillmark"));
}

QString QtAppInfo::exeName() const {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

VersionInfo QtAppInfo::version() const {
    return readVersionResource(QCoreApplication::applicationFilePath());
}

namespace {

// One number of a version record: decimal digits up to `end`, 0 to 65535.
std::optional<int> versionPart(QByteArrayView text, qsizetype& at, char end) {
    const qsizetype start = at;
    while (at < text.size() && at - start <= 5 && text[at] >= '0' && text[at] <= '9') {
        ++at;
    }
    if (at == start || at - start > 5 || at >= text.size() || text[at] != end) {
        return std::nullopt;
    }
    bool ok = false;
    const int value = text.sliced(start, at - start).toInt(&ok);
    ++at;
    return ok && value <= 65535 ? std::optional(value) : std::nullopt;
}

} // namespace

VersionInfo readVersionResource(const QString& executablePath) {
    QFile file(executablePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0) {
        return {};
    }
    const uchar* mapped = file.map(0, file.size());
    const QByteArray read = mapped ? QByteArray() : file.readAll();
    const QByteArrayView bytes = mapped ? QByteArrayView(mapped, file.size()) : QByteArrayView(read);
    // Made here rather than written out whole, so that this reader's own code holds no record.
    QByteArray marker("QMVERSIONINFO");
    marker += ':';
    for (qsizetype found = bytes.indexOf(marker); found >= 0; found = bytes.indexOf(marker, found + 1)) {
        qsizetype at = found + marker.size();
        const std::optional<int> major = versionPart(bytes, at, '.');
        const std::optional<int> minor = major ? versionPart(bytes, at, '.') : std::nullopt;
        const std::optional<int> revision = minor ? versionPart(bytes, at, ';') : std::nullopt;
        if (revision) {
            return {*major, *minor, *revision};
        }
    }
    return {};
}

void ProcessTerminator::endNow(int exitCode) {
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

} // namespace qm
