#include "report/History.h"

#include "platform/VbError.h"
#include "report/ReportCsv.h"
#include "settings/Cp1252.h"
#include "settings/FieldSettingsFile.h"

#include <QDateTime>
#include <QSaveFile>

namespace qm::report {

namespace {

using changelog::Kind;

const QString kArrow = QStringLiteral(" -> ");
constexpr int kEntriesNamed = 10;

QString flagName(int state) {
    return state == 1 ? QStringLiteral("Yes") : state == 2 ? QStringLiteral("Greyed") : QStringLiteral("No");
}

QString entriesText(qsizetype n) {
    return n == 1 ? QStringLiteral("1 entry") : QStringLiteral("%1 entries").arg(n);
}

// " (+ Purple; - Red)": what the later list has that the earlier lacks, and the other way round.
QString listDifference(const QStringList& before, const QStringList& after) {
    QStringList parts;
    for (const auto& [from, to, sign] : {std::tuple{&before, &after, QStringLiteral("+ ")},
                                         std::tuple{&after, &before, QStringLiteral("- ")}}) {
        QStringList named;
        qsizetype more = 0;
        for (const QString& e : *to) {
            if (from->contains(e)) {
                continue;
            }
            if (named.size() < kEntriesNamed) {
                named << e;
            } else {
                ++more;
            }
        }
        if (more > 0) {
            named << QStringLiteral("%1 more").arg(more);
        }
        if (!named.isEmpty()) {
            parts << sign + named.join(QStringLiteral(", "));
        }
    }
    return parts.isEmpty() ? QStringLiteral(" (the same entries in another order)")
                           : QStringLiteral(" (") + parts.join(QStringLiteral("; ")) + QLatin1Char(')');
}

QStringList entriesOf(const QString& listText) {
    QStringList entries;
    for (const QString& e : listText.split(QLatin1Char('\n'))) {
        if (!e.trimmed().isEmpty()) {
            entries << e.trimmed();
        }
    }
    return entries;
}

void fileLines(const Record& r, QStringList& lines, SettingsFiles& files) {
    const SettingsFiles::Read& before = files.read(r.fileBefore);
    const SettingsFiles::Read& after = files.read(r.fileAfter);
    if (!before.readable || !after.readable) {
        lines << QStringLiteral("Settings file: ") +
                     (before.readable ? QString() : QStringLiteral("the earlier file did not read; ")) +
                     (after.readable ? QString() : QStringLiteral("the file written does not read"));
        return;
    }
    if (!r.fileBefore) {
        lines << QStringLiteral("Settings file made");
    }
    if (before.onlyFromDropdown != after.onlyFromDropdown) {
        lines << QStringLiteral("Only from Drop-down: ") + flagName(before.onlyFromDropdown) + kArrow +
                     flagName(after.onlyFromDropdown);
    }
    if (before.allowEditing != after.allowEditing) {
        lines << QStringLiteral("Allow editing: ") + flagName(before.allowEditing) + kArrow +
                     flagName(after.allowEditing);
    }
    if (before.entries != after.entries) {
        lines << QStringLiteral("Drop-down list: ") + entriesText(before.entries.size()) + kArrow +
                     entriesText(after.entries.size()) + listDifference(before.entries, after.entries);
    }
}

QString valueText(const changelog::Bytes& value, bool utf8) {
    if (!value) {
        return QStringLiteral("absent");
    }
    return QLatin1Char('"') + (utf8 ? QString::fromUtf8(*value) : cp1252::decode(*value)) + QLatin1Char('"');
}

// A line that passed its check but whose parts do not read (made by another program): shown as
// what it is rather than left out.
Record damaged(qint64 whenMs) {
    Record r;
    r.whenMs = whenMs;
    r.kindWord = QStringLiteral("Damaged record");
    r.note = QStringLiteral("This line of the log does not read back whole.");
    return r;
}

bool userMatches(const Record& r, const QString& text) {
    for (const changelog::UserChange& u : r.users) {
        if (u.name.contains(text, Qt::CaseInsensitive) || u.uniqueId.contains(text, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

bool fieldMatches(const Record& r, const QString& text) {
    bool number = false;
    const int id = text.toInt(&number);
    if (number) {
        return r.fieldId == QString::number(id);
    }
    return recordFieldText(r).contains(text, Qt::CaseInsensitive);
}

} // namespace

const SettingsFiles::Read& SettingsFiles::read(const changelog::Bytes& bytes) {
    if (!bytes) {
        return m_missing; // a missing file: both flags 0, no entries
    }
    const auto found = m_read.find(*bytes);
    if (found != m_read.end()) {
        return found->second;
    }
    Read read;
    FieldSettingsFile::FieldSettings s;
    try {
        FieldSettingsFile::readContent(*bytes, s);
        read = {true, s.onlyFromDropdown, s.allowEditing, entriesOf(s.listText)};
    } catch (const VbError&) {
        read.readable = false;
    }
    return m_read.emplace(*bytes, std::move(read)).first->second;
}

QString History::SharedTexts::text(QByteArrayView part) {
    const std::string_view key(part.data(), std::size_t(part.size()));
    const auto found = m_made.find(key);
    if (found != m_made.end()) {
        return found->second;
    }
    return m_made.emplace(key, TextDecoder::text(part)).first->second;
}

History::History(const QString& usersPath, const QString& database)
    : m_database(database)
    , m_log(changelog::readLog(usersPath)) {
    // The database's lines: found by the database's text as the lines hold it, and only where
    // that differs, by decoding it (another letter case).
    const QByteArray escaped = changelog::escapedText(database);
    std::erase_if(m_log.lines, [&](const changelog::LogLine& line) {
        return line.database != escaped &&
               changelog::decodedText(line.database).compare(database, Qt::CaseInsensitive) != 0;
    });
    m_records.resize(m_log.lines.size());
}

const Record& History::record(int i) const {
    std::unique_ptr<const Record>& kept = m_records[std::size_t(i)];
    if (!kept) {
        const changelog::LogLine& line = m_log.lines[std::size_t(i)];
        std::optional<Record> decoded = changelog::decode(line.line, changelog::KeyValues::Skipped, &m_texts);
        kept = std::make_unique<const Record>(decoded ? std::move(*decoded) : damaged(line.whenMs));
    }
    return *kept;
}

Record History::fullRecord(int i) const {
    const changelog::LogLine& line = m_log.lines[std::size_t(i)];
    return changelog::decode(line.line).value_or(damaged(line.whenMs));
}

bool matches(const Record& r, const HistoryFilter& f) {
    if ((f.sinceMs && r.whenMs < *f.sinceMs) || (f.untilMs && r.whenMs >= *f.untilMs)) {
        return false;
    }
    const QString field = f.field.trimmed();
    if (!field.isEmpty() && !fieldMatches(r, field)) {
        return false;
    }
    const QString login = f.login.trimmed();
    if (!login.isEmpty() && !r.login.contains(login, Qt::CaseInsensitive) &&
        !r.actUser.contains(login, Qt::CaseInsensitive)) {
        return false;
    }
    const QString user = f.user.trimmed();
    return user.isEmpty() || userMatches(r, user);
}

std::vector<int> historyRows(const History& history, const HistoryFilter& filter) {
    std::vector<int> rows;
    rows.reserve(std::size_t(history.size()));
    // Times are known without decoding: a filter of dates alone decodes nothing.
    const bool byTime = filter.field.isEmpty() && filter.user.isEmpty() && filter.login.isEmpty();
    for (int i = history.size() - 1; i >= 0; --i) {
        const qint64 when = history.whenMs(i);
        if ((filter.sinceMs && when < *filter.sinceMs) || (filter.untilMs && when >= *filter.untilMs)) {
            continue;
        }
        if (byTime || matches(history.record(i), filter)) {
            rows.push_back(i);
        }
    }
    return rows;
}

std::optional<qint64> parseDate(const QString& text, bool endOfDay) {
    const QString t = text.trimmed();
    if (t.size() == 10) {
        const QDate day = QDate::fromString(t, Qt::ISODate);
        if (!day.isValid()) {
            return std::nullopt;
        }
        return QDateTime(endOfDay ? day.addDays(1) : day, QTime(0, 0)).toMSecsSinceEpoch();
    }
    const QDateTime when = QDateTime::fromString(t, Qt::ISODate);
    if (!when.isValid() || t.size() < 16) {
        return std::nullopt;
    }
    return when.toMSecsSinceEpoch();
}

QString localTimeText(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString utcTimeText(qint64 ms) {
    QString text = QString::fromLatin1(changelog::utcText(ms)); // 2024-05-01T09:12:33.123Z
    text[10] = QLatin1Char(' ');
    return text.left(19) + QLatin1Char('Z');
}

QString changeText(const Record& r) {
    switch (r.kind) {
    case Kind::GlobalRights:
        return QStringLiteral("Global rights");
    case Kind::Field:
        return QStringLiteral("Field settings");
    case Kind::Locations:
        return QStringLiteral("Settings locations");
    case Kind::Restore:
        return QStringLiteral("Restore");
    case Kind::Other:
        break;
    }
    return r.kindWord;
}

QString recordFieldText(const Record& r) {
    if (!r.fieldId.isEmpty()) {
        return r.fieldLabel + QStringLiteral(" (") + r.fieldId + QLatin1Char(')');
    }
    return r.kind == Kind::Locations ? QString() : QStringLiteral("Global (all fields)");
}

QString headline(const Record& r) {
    const QString field = recordFieldText(r);
    if (r.kind == Kind::GlobalRights || field.isEmpty()) {
        return changeText(r);
    }
    return changeText(r) + QStringLiteral(": ") + field;
}

QStringList changeLines(const Record& r, bool withKeys, SettingsFiles* files) {
    QStringList lines;
    for (const changelog::UserChange& u : r.users) {
        lines << u.name + QLatin1Char(' ') + u.uniqueId + QStringLiteral(": ") + rights::rightName(u.before) +
                     kArrow + rights::rightName(u.after);
    }
    if (r.fileChanged) {
        SettingsFiles once;
        fileLines(r, lines, files ? *files : once);
    }
    const bool locations = r.kind == Kind::Locations;
    if (withKeys || locations) {
        for (const changelog::KeyChange& k : r.keys) {
            lines << (locations ? QString() : QStringLiteral("Key ")) + k.key + QStringLiteral(": ") +
                         valueText(k.before, locations) + kArrow + valueText(k.after, locations);
        }
    }
    if (!r.note.isEmpty()) {
        lines << QStringLiteral("Note: ") + r.note;
    }
    return lines;
}

QString changeSummary(const Record& r, int limit) {
    QString text = changeLines(r).join(QStringLiteral("; "));
    if (text.size() > limit) {
        text = text.left(limit - 1) + QChar(0x2026);
    }
    return text;
}

QStringList historyCsvColumns() {
    return {QStringLiteral("When (UTC)"), QStringLiteral("Login"),  QStringLiteral("ACT! user"),
            QStringLiteral("Database"),   QStringLiteral("Change"), QStringLiteral("Field ID"),
            QStringLiteral("Field"),      QStringLiteral("Changes")};
}

bool writeHistoryCsv(const History& history, const std::vector<int>& rows, const QString& path,
                     QString& error) {
    error.clear();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    QByteArray out("\xEF\xBB\xBF");
    const auto appendRow = [&out](const QStringList& cells) {
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i > 0) {
                out += ',';
            }
            out += csvText(cells.at(i));
        }
        out += "\r\n";
    };
    appendRow(historyCsvColumns());
    SettingsFiles files;
    for (const int row : rows) {
        const Record& r = history.record(row);
        appendRow({QString::fromLatin1(changelog::utcText(r.whenMs)), r.login, r.actUser, r.database,
                   changeText(r), r.fieldId, r.fieldId.isEmpty() ? recordFieldText(r) : r.fieldLabel,
                   changeLines(r, false, &files).join(QStringLiteral("\r\n"))});
    }
    if (file.write(out) != out.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace qm::report
