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

// A field's settings file as the editor reads it; nullopt when it does not read.
std::optional<FieldSettingsFile::FieldSettings> settingsOf(const changelog::Bytes& bytes) {
    FieldSettingsFile::FieldSettings s;
    if (!bytes) {
        return s; // a missing file: both flags 0, no entries
    }
    try {
        FieldSettingsFile::readContent(*bytes, s);
    } catch (const VbError&) {
        return std::nullopt;
    }
    return s;
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

void fileLines(const Record& r, QStringList& lines) {
    const auto before = settingsOf(r.fileBefore);
    const auto after = settingsOf(r.fileAfter);
    if (!before || !after) {
        lines << QStringLiteral("Settings file: ") +
                     (before ? QString() : QStringLiteral("the earlier file did not read; ")) +
                     (after ? QString() : QStringLiteral("the file written does not read"));
        return;
    }
    if (!r.fileBefore) {
        lines << QStringLiteral("Settings file made");
    }
    if (before->onlyFromDropdown != after->onlyFromDropdown) {
        lines << QStringLiteral("Only from Drop-down: ") + flagName(before->onlyFromDropdown) + kArrow +
                     flagName(after->onlyFromDropdown);
    }
    if (before->allowEditing != after->allowEditing) {
        lines << QStringLiteral("Allow editing: ") + flagName(before->allowEditing) + kArrow +
                     flagName(after->allowEditing);
    }
    const QStringList b = entriesOf(before->listText);
    const QStringList a = entriesOf(after->listText);
    if (b != a) {
        lines << QStringLiteral("Drop-down list: ") + entriesText(b.size()) + kArrow + entriesText(a.size()) +
                     listDifference(b, a);
    }
}

QString valueText(const changelog::Bytes& value, bool utf8) {
    if (!value) {
        return QStringLiteral("absent");
    }
    return QLatin1Char('"') + (utf8 ? QString::fromUtf8(*value) : cp1252::decode(*value)) + QLatin1Char('"');
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

History loadHistory(const QString& usersPath, const QString& database) {
    changelog::LogRead log = changelog::readLog(usersPath);
    History h;
    h.database = database;
    h.bytes = log.bytes;
    h.skipped = log.skipped;
    h.problems = std::move(log.problems);
    h.records.reserve(log.records.size());
    for (Record& r : log.records) {
        if (r.database.compare(database, Qt::CaseInsensitive) == 0) {
            h.records.push_back(std::move(r));
        }
    }
    return h;
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
    rows.reserve(history.records.size());
    for (int i = int(history.records.size()) - 1; i >= 0; --i) {
        if (filter.isEmpty() || matches(history.records[std::size_t(i)], filter)) {
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

QStringList changeLines(const Record& r, bool withKeys) {
    QStringList lines;
    for (const changelog::UserChange& u : r.users) {
        lines << u.name + QLatin1Char(' ') + u.uniqueId + QStringLiteral(": ") + rights::rightName(u.before) +
                     kArrow + rights::rightName(u.after);
    }
    if (r.fileChanged) {
        fileLines(r, lines);
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
            out += csvField(cells.at(i));
        }
        out += "\r\n";
    };
    appendRow(historyCsvColumns());
    for (const int row : rows) {
        const Record& r = history.records[std::size_t(row)];
        appendRow({QString::fromLatin1(changelog::utcText(r.whenMs)), r.login, r.actUser, r.database,
                   changeText(r), r.fieldId, r.fieldId.isEmpty() ? recordFieldText(r) : r.fieldLabel,
                   changeLines(r).join(QStringLiteral("\r\n"))});
    }
    if (file.write(out) != out.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace qm::report
