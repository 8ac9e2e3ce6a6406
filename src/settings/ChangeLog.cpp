#include "settings/ChangeLog.h"

#include "settings/AtomicFile.h"
#include "settings/ChangeLogFiles.h"
#include "settings/FileProblem.h"
#include "settings/LargePages.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <cstring>

namespace qm::changelog {

namespace {

QString safeName(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        const bool kept = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
                          u == u'.' || u == u'-' || u == u'_';
        if (!kept) {
            c = QLatin1Char('_');
        }
    }
    return out.isEmpty() ? QStringLiteral("_") : out;
}

} // namespace

QString logFolder(const QString& usersPath) {
    return usersPath.isEmpty() ? QString() : usersPath + QStringLiteral(".log");
}

Writer thisWriter() {
    return {files::login(), QSysInfo::machineHostName()};
}

QString logFileName(const Writer& writer) {
    return safeName(writer.login) + QLatin1Char('@') + safeName(writer.machine) + QStringLiteral(".log");
}

AppendOutcome append(const QString& usersPath, const Record& record, const Writer& writer) {
    const QString folder = logFolder(usersPath);
    if (folder.isEmpty()) {
        return {AppendResult::NoFolder, QString(), QString()};
    }
    return files::append(folder, logFileName(writer), encode(record));
}

QString appendProblemText(const AppendOutcome& outcome) {
    const QString file = QDir::toNativeSeparators(outcome.path);
    QString why;
    switch (outcome.result) {
    case AppendResult::Appended:
        return {};
    case AppendResult::NoFolder:
        why = file.isEmpty() ? QStringLiteral("no authorized-users file is set")
                             : QStringLiteral("the folder of ") + file + QStringLiteral(" does not exist");
        break;
    case AppendResult::ReadOnly:
        why = file + QStringLiteral(" may not be written");
        break;
    case AppendResult::NotOurs:
        why = file + QStringLiteral(" is not a file of this login (a link, another login's file, or no "
                                    "regular file)");
        break;
    case AppendResult::Busy:
        why = file + QStringLiteral(" is held by another program");
        break;
    case AppendResult::Failed:
        why = file + QStringLiteral(" could not be written");
        break;
    }
    if (!outcome.detail.isEmpty()) {
        why += QStringLiteral(" (") + outcome.detail + QLatin1Char(')');
    }
    return QStringLiteral("The change was saved, but it could not be recorded in the change log: ") + why +
           QLatin1Char('.');
}

void readLines(QByteArrayView bytes, std::vector<LogLine>& out, qint64& skipped) {
    qsizetype from = 0;
    while (from < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', from);
        const bool whole = end >= 0;
        if (!whole) {
            end = bytes.size();
        }
        const QByteArrayView line = bytes.sliced(from, end - from);
        from = end + 1;
        if (line.isEmpty() || line == "\r") {
            continue; // a blank line (left before a record that follows a torn one)
        }
        const std::optional<CheckedLine> checked = whole ? checkLine(line) : std::nullopt;
        if (checked) {
            out.push_back(*checked);
        } else {
            ++skipped; // garbage, a damaged line, or a last line without its end
        }
    }
}

void readRecords(QByteArrayView bytes, std::vector<Record>& out, qint64& skipped) {
    std::vector<LogLine> lines;
    readLines(bytes, lines, skipped);
    for (const LogLine& line : lines) {
        out.push_back(*decode(line));
    }
}

LogRead readLog(const QString& usersPath) {
    LogRead log;
    const QString folder = logFolder(usersPath);
    if (folder.isEmpty()) {
        return log;
    }
    int looked = 0;
    for (const QString& path : files::names(folder, log.problems)) {
        if (++looked > kMaxLogFiles) {
            log.problems
                << QDir::toNativeSeparators(folder) +
                       QStringLiteral(": more than %1 files; the others were not read").arg(kMaxLogFiles);
            break;
        }
        // Read with the care of the settings files: no link another login made, no FIFO, nothing
        // larger than a log file can be.
        FileContent content = readFile(path, kMaxLogFileBytes);
        if (content.status == FileContent::TooLarge) {
            log.problems << QStringLiteral("%1 is %2 MB, larger than a file of the log can be")
                                .arg(QDir::toNativeSeparators(path))
                                .arg(content.size >> 20);
            continue;
        }
        if (content.status != FileContent::Ok) {
            log.problems << problemText(
                {QDir::toNativeSeparators(path), content.status, content.detail, content.size});
            continue;
        }
        ++log.files;
        log.bytes += content.bytes.size();
        log.buffers.push_back(std::move(content.bytes)); // moved, not copied: the lines stay valid
    }
    // Room for every line at once: a large log's list would otherwise be copied as it grows.
    qsizetype lines = 0;
    for (const QByteArray& buffer : log.buffers) {
        const char* const end = buffer.constData() + buffer.size();
        for (const char* at = buffer.constData(); at < end; ++lines) {
            const void* next = std::memchr(at, '\n', std::size_t(end - at));
            at = next ? static_cast<const char*>(next) + 1 : end;
        }
    }
    log.lines.reserve(std::size_t(lines));
    adviseLargePages(log.lines.data(), qint64(log.lines.capacity() * sizeof(LogLine)));
    for (const QByteArray& buffer : log.buffers) {
        readLines(buffer, log.lines, log.skipped);
    }
    // Each file is in the order its writer wrote; the log is all of them in time order.
    std::stable_sort(log.lines.begin(), log.lines.end(),
                     [](const LogLine& a, const LogLine& b) { return a.whenMs < b.whenMs; });
    return log;
}

} // namespace qm::changelog
