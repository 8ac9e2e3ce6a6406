#include "report/History.h"

#include "platform/VbError.h"
#include "report/ReportCsv.h"
#include "settings/Cp1252.h"
#include "settings/FieldSettingsFile.h"

#include <QDateTime>
#include <QSaveFile>

#include <cstring>

namespace qm::report {

namespace {

using changelog::Kind;

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

namespace {

// A hash of a part's bytes, 8 at a time; never 0.
quint64 hashOf(QByteArrayView part) {
    constexpr quint64 kOdd = 0x9E3779B97F4A7C15ULL;
    const char* p = part.data();
    qsizetype n = part.size();
    quint64 hash = quint64(n) * kOdd;
    for (; n >= 8; n -= 8, p += 8) {
        quint64 word = 0;
        std::memcpy(&word, p, 8);
        hash = (hash ^ word) * kOdd;
        hash ^= hash >> 31;
    }
    quint64 last = 0;
    for (qsizetype i = 0; i < n; ++i) {
        last |= quint64(static_cast<unsigned char>(p[i])) << (8 * i);
    }
    hash = (hash ^ last) * kOdd;
    return (hash ^ (hash >> 29)) | 1;
}

} // namespace

template <typename T> const T* History::PartTable<T>::find(QByteArrayView part, quint64 hash) const {
    for (std::size_t at = home(hash);; at = (at + 1) & (m_slots.size() - 1)) {
        const Slot& slot = m_slots[at];
        if (slot.hash == 0) {
            return nullptr;
        }
        if (slot.hash == hash && slot.size == part.size() &&
            std::memcmp(m_bytes.constData() + slot.at, part.data(), std::size_t(part.size())) == 0) {
            return &slot.made;
        }
    }
}

template <typename T> void History::PartTable<T>::insert(QByteArrayView part, quint64 hash, T made) {
    if (2 * (m_used + 1) > m_slots.size()) { // kept at most half full: grown, the slots placed again
        std::vector<Slot> old(m_slots.size() * 2);
        old.swap(m_slots);
        for (Slot& s : old) {
            if (s.hash != 0) {
                std::size_t to = home(s.hash);
                while (m_slots[to].hash != 0) {
                    to = (to + 1) & (m_slots.size() - 1);
                }
                m_slots[to] = std::move(s);
            }
        }
    }
    std::size_t at = home(hash);
    while (m_slots[at].hash != 0) {
        at = (at + 1) & (m_slots.size() - 1);
    }
    m_slots[at] = {hash, m_bytes.size(), part.size(), std::move(made)};
    m_bytes += part;
    ++m_used;
}

std::optional<QString> History::SharedTexts::text(QByteArrayView part) {
    const quint64 hash = hashOf(part);
    if (const QString* found = m_texts.find(part, hash)) {
        return *found;
    }
    std::optional<QString> made = TextDecoder::text(part);
    if (made) {
        m_texts.insert(part, hash, *made);
    }
    return made;
}

std::optional<changelog::Bytes> History::SharedTexts::value(QByteArrayView part) {
    const quint64 hash = hashOf(part);
    if (const changelog::Bytes* found = m_values.find(part, hash)) {
        return *found;
    }
    std::optional<changelog::Bytes> made = TextDecoder::value(part);
    if (made) {
        m_values.insert(part, hash, *made);
    }
    return made;
}

History::History(const QString& usersPath, const QString& database)
    : m_database(database)
    , m_log(changelog::readLog(usersPath)) {
    // The database's lines: found by the database's text as the lines hold it, and only where
    // that differs, by decoding it (another letter case).
    const QByteArray escaped = changelog::escapedText(database);
    std::erase_if(m_log.lines, [&](const changelog::LogLine& line) {
        return line.database() != escaped &&
               changelog::decodedText(line.database()).compare(database, Qt::CaseInsensitive) != 0;
    });
    m_records.resize(m_log.lines.size());
}

const Record& History::record(int i) const {
    std::unique_ptr<const Record>& kept = m_records[std::size_t(i)];
    if (!kept) {
        const changelog::LogLine& line = m_log.lines[std::size_t(i)];
        std::optional<Record> decoded = changelog::decode(line, changelog::KeyValues::Skipped, &m_texts);
        kept = std::make_unique<const Record>(decoded ? std::move(*decoded) : damaged(line.whenMs));
    }
    return *kept;
}

Record History::passingRecord(int i) const {
    if (const std::unique_ptr<const Record>& kept = m_records[std::size_t(i)]) {
        return *kept;
    }
    const changelog::LogLine& line = m_log.lines[std::size_t(i)];
    std::optional<Record> decoded = changelog::decode(line, changelog::KeyValues::Skipped, &m_texts);
    return decoded ? std::move(*decoded) : damaged(line.whenMs);
}

Record History::fullRecord(int i) const {
    const changelog::LogLine& line = m_log.lines[std::size_t(i)];
    return changelog::decode(line).value_or(damaged(line.whenMs));
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
    QByteArray text = changelog::utcText(ms); // 2024-05-01T09:12:33.123Z
    text[10] = ' ';
    text[19] = 'Z';
    return QString::fromLatin1(text.constData(), 20);
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
        const Record r = history.passingRecord(row);
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
