#include "settings/FileProblem.h"

#include <QFileInfo>
#include <QLocale>

namespace qm {

namespace {

QString seconds(int ms) {
    return QString::number(ms / 1000.0) +
           (ms == 1000 ? QStringLiteral(" second") : QStringLiteral(" seconds"));
}

QString tooLarge(const QString& path, qint64 size) {
    return QStringLiteral("%1 is %2 bytes, too large for a settings file")
        .arg(path, QLocale(QLocale::English).toString(size));
}

QString folderOf(const QString& path) {
    const qsizetype cut = std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return cut > 0 ? path.left(cut) : path;
}

} // namespace

QString problemText(const ReadProblem& problem) {
    const QString& file = problem.path;
    switch (problem.status) {
    case FileContent::Ok:
    case FileContent::Missing:
        break;
    case FileContent::Denied:
        return QStringLiteral("this login may not read %1").arg(file);
    case FileContent::IsFolder:
        return QStringLiteral("%1 is a folder").arg(file);
    case FileContent::NotAFile:
        return QStringLiteral("%1 is not a regular file").arg(file);
    case FileContent::Busy:
        return QStringLiteral("another program kept %1 locked for more than %2")
            .arg(file, seconds(fileWriteTuning().readWaitMs));
    case FileContent::Cancelled:
        return QStringLiteral("the wait for %1 was cancelled").arg(file);
    case FileContent::Refused:
        return problem.detail;
    case FileContent::TooLarge:
        return tooLarge(file, problem.size);
    case FileContent::IoError:
        break;
    }
    return QStringLiteral("%1 could not be read (%2)").arg(file, problem.detail);
}

QString notWrittenText(const QString& path, const WriteResult& result) {
    if (path.isEmpty()) {
        return QStringLiteral("no file is named in the settings locations");
    }
    switch (result.result) {
    case ReplaceResult::Replaced:
    case ReplaceResult::Unchanged:
        break;
    case ReplaceResult::FolderMissing:
        return QStringLiteral("the folder %1 does not exist").arg(folderOf(path));
    case ReplaceResult::ReadOnly:
        return QFileInfo::exists(path)
                   ? QStringLiteral("%1 is read-only").arg(path)
                   : QStringLiteral("the folder %1 may not be written").arg(folderOf(path));
    case ReplaceResult::NotAFile:
        return QStringLiteral("%1 is not a regular file").arg(path);
    case ReplaceResult::Busy:
        return QStringLiteral("another program kept %1 busy for more than %2")
            .arg(path, seconds(fileWriteTuning().lockWaitMs));
    case ReplaceResult::Cancelled:
        return QStringLiteral("the wait for %1 was cancelled").arg(path);
    case ReplaceResult::DiskFull:
        return QStringLiteral("there is no room for %1 on its disk").arg(path);
    case ReplaceResult::Refused:
        return result.detail;
    case ReplaceResult::TooLarge:
        return tooLarge(path, result.detail.toLongLong());
    case ReplaceResult::Failed:
        break;
    }
    return QStringLiteral("%1 could not be written (%2)").arg(path, result.detail);
}

} // namespace qm
