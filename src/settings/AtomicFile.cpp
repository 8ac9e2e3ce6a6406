#include "settings/AtomicFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <filesystem>
#include <system_error>

namespace qm {

namespace {

std::filesystem::path nativePath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

} // namespace

QString writeTarget(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.symLinkTarget();
        if (!target.isEmpty()) {
            return target;
        }
    }
    return info.absoluteFilePath();
}

bool isReadOnlyFile(const QString& path) {
    // No write permission bit at all is a read-only file, even for a user the bits do not bind.
    constexpr auto anyWrite = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
    const QFileInfo info(path);
    return info.isFile() && (!info.isWritable() || !(info.permissions() & anyWrite));
}

ReplaceResult checkReplaceable(const QString& target) {
    const QFileInfo info(target);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir()) {
        return ReplaceResult::FolderMissing;
    }
    if (info.isDir()) {
        return ReplaceResult::NotAFile;
    }
    if (isReadOnlyFile(target)) {
        return ReplaceResult::ReadOnly;
    }
    return ReplaceResult::Replaced;
}

SettingsFileLock::SettingsFileLock(const QString& target, int waitMs)
    : m_lock(std::make_unique<QLockFile>(target + QStringLiteral(".lock"))) {
    const QString lockPath = target + QStringLiteral(".lock");
    m_lock->setStaleLockTime(kStaleMs);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (m_lock->tryLock(0)) {
            return;
        }
        if (m_lock->error() == QLockFile::PermissionError) {
            m_denied = true;
            return;
        }
        // A writer killed between creating its lock and writing its name into it leaves a lock
        // that names no process; once it is clearly not being written any more, it is stale.
        qint64 pid = 0;
        QString host;
        QString app;
        if (!m_lock->getLockInfo(&pid, &host, &app) &&
            QFileInfo(lockPath).lastModified().msecsTo(QDateTime::currentDateTime()) > kUnfinishedMs) {
            QFile::remove(lockPath);
            continue;
        }
        if (waited.elapsed() >= waitMs) {
            return;
        }
        QThread::msleep(5);
    }
}

SettingsFileLock::~SettingsFileLock() = default; // QLockFile unlocks when destroyed

ReplaceResult replaceContent(const QString& target, QByteArrayView bytes, bool locked) {
    QString beside = target + QStringLiteral(".new");
    if (!locked) {
        beside += QLatin1Char('-') + QString::number(QCoreApplication::applicationPid()) + QLatin1Char('-') +
                  QString::number(QRandomGenerator::global()->generate(), 16);
    }
    QFile out(beside);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return out.error() == QFileDevice::PermissionsError ? ReplaceResult::ReadOnly : ReplaceResult::Failed;
    }
    bool ok = out.write(bytes.data(), bytes.size()) == bytes.size() && out.flush();
    if (ok && QFileInfo::exists(target)) {
        ok = out.setPermissions(QFile::permissions(target));
    }
    out.close();
    ok = ok && out.error() == QFileDevice::NoError;
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(nativePath(beside), nativePath(target), ec);
    }
    if (!ok || ec) {
        QFile::remove(beside);
        return ReplaceResult::Failed;
    }
    return ReplaceResult::Replaced;
}

} // namespace qm
