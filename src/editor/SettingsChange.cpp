#include "editor/SettingsChange.h"

#include "settings/AtomicFile.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniDocument.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <atomic>
#include <utility>

namespace qm::editor {

namespace {

using changelog::Bytes;
using changelog::Kind;

std::atomic<bool> g_logProblemTold{false};

// The value of a key as its line holds it (what a read gives, without the cut to 126 characters);
// nullopt when the key has no line.
Bytes keyValue(const IniDocument& doc, const QString& section, const QString& key) {
    if (!doc.withoutKey(section, key)) {
        return std::nullopt;
    }
    return doc.value(section, key);
}

// A file's bytes; nullopt when it is missing, or could not be read (which the record then shows
// as absent: it never stops the write it follows).
Bytes fileBytes(const QString& path) {
    FileContent content = readFile(path);
    if (content.status != FileContent::Ok) {
        return std::nullopt;
    }
    return std::move(content.bytes);
}

rights::ScopeLists effective(const SettingsChange::State& state, bool field) {
    return field && AuthorizedUsers::hasOwnSettings(state.scope) ? state.scope : state.global;
}

changelog::Record newRecord(const QString& database, const QString& actUser, Kind kind) {
    changelog::Record r;
    r.whenMs = QDateTime::currentMSecsSinceEpoch();
    r.login = changelog::thisWriter().login;
    r.actUser = actUser;
    r.database = database;
    r.kind = kind;
    return r;
}

} // namespace

SettingsChange::SettingsChange(rights::RightsFile file, QString fieldId, QString fieldLabel,
                               QString fieldFile)
    : m_file(std::move(file))
    , m_fieldId(std::move(fieldId))
    , m_fieldLabel(std::move(fieldLabel))
    , m_fieldFile(std::move(fieldFile))
    , m_before(read()) {}

QStringList SettingsChange::keys() const {
    const QString scope = m_fieldId.isEmpty() ? AuthorizedUsers::kGlobalScope : m_fieldId;
    return {AuthorizedUsers::fullKey(scope), AuthorizedUsers::initializeKey(scope), scope};
}

SettingsChange::State SettingsChange::read() const {
    State state;
    const Bytes users = fileBytes(m_file.path());
    const IniDocument doc(users.value_or(QByteArray()));
    for (const QString& key : keys()) {
        state.keys.push_back(keyValue(doc, m_file.section(), key));
    }
    if (!m_fieldFile.isEmpty()) {
        state.file = fileBytes(m_fieldFile);
    }
    state.global = m_file.read(AuthorizedUsers::kGlobalScope);
    if (!m_fieldId.isEmpty()) {
        state.scope = m_file.read(m_fieldId);
    }
    return state;
}

std::optional<changelog::Record> SettingsChange::landedRecord(const std::vector<RosterUser>& users,
                                                              const QString& actUser, Kind kind,
                                                              const QString& note) const {
    const State after = read();
    const bool field = !m_fieldId.isEmpty();
    if (kind == Kind::Other) {
        kind = field ? Kind::Field : Kind::GlobalRights;
    }
    changelog::Record r = newRecord(m_file.section(), actUser, kind);
    r.fieldId = m_fieldId;
    r.fieldLabel = m_fieldLabel;
    r.note = note;
    const QStringList names = keys();
    for (int i = 0; i < names.size(); ++i) {
        const Bytes& before = m_before.keys[std::size_t(i)];
        const Bytes& now = after.keys[std::size_t(i)];
        if (before != now) {
            r.keys.push_back({names[i], before, now});
        }
    }
    r.fileChanged = !m_fieldFile.isEmpty() && m_before.file != after.file;
    if (r.fileChanged) {
        r.fileBefore = m_before.file;
        r.fileAfter = after.file;
    }
    if (r.keys.empty() && !r.fileChanged) {
        return std::nullopt;
    }
    const rights::ScopeLists listsBefore = effective(m_before, field);
    const rights::ScopeLists listsAfter = effective(after, field);
    for (const RosterUser& user : users) {
        const rights::Right from = rights::rightOf(listsBefore, user.uniqueId);
        const rights::Right to = rights::rightOf(listsAfter, user.uniqueId);
        if (from != to) {
            r.users.push_back({user.name, user.uniqueId, from, to});
        }
    }
    return r;
}

changelog::AppendOutcome SettingsChange::landed(const std::vector<RosterUser>& users, const QString& actUser,
                                                Kind kind, const QString& note) const {
    const std::optional<changelog::Record> record = landedRecord(users, actUser, kind, note);
    if (!record) {
        return {changelog::AppendResult::Appended, {}, {}};
    }
    return changelog::append(m_file.path(), *record);
}

changelog::AppendOutcome recordLocations(const QString& database, const QString& actUser,
                                         const QString& usersBefore, const QString& listBefore,
                                         const QString& usersAfter, const QString& listAfter) {
    changelog::Record r = newRecord(database, actUser, Kind::Locations);
    for (const auto& [key, before, after] :
         {std::tuple{QStringLiteral("UsersPath"), &usersBefore, &usersAfter},
          std::tuple{QStringLiteral("ListPath"), &listBefore, &listAfter}}) {
        if (*before != *after) {
            r.keys.push_back({key, before->toUtf8(), after->toUtf8()});
        }
    }
    if (r.keys.empty()) {
        return {changelog::AppendResult::Appended, {}, {}};
    }
    changelog::AppendOutcome outcome = changelog::append(usersAfter, r);
    if (usersBefore != usersAfter && !usersBefore.isEmpty()) {
        const changelog::AppendOutcome old = changelog::append(usersBefore, r);
        if (outcome.ok()) {
            outcome = old;
        }
    }
    return outcome;
}

void tellLogProblemOnce(MessageBox& box, const changelog::AppendOutcome& outcome) {
    if (outcome.ok() || g_logProblemTold.exchange(true)) {
        return;
    }
    box.show(changelog::appendProblemText(outcome), vbOKOnly + vbExclamation, kAppTitle);
}

void forgetLogProblemTold() {
    g_logProblemTold = false;
}

RestoreOutcome restoreBefore(const changelog::Record& record, const rights::RightsFile& file,
                             const QString& listPath, const std::vector<RosterUser>& users,
                             const QString& actUser) {
    RestoreOutcome out;
    const bool rightsKind =
        record.kind == Kind::GlobalRights || record.kind == Kind::Field || record.kind == Kind::Restore;
    if (!rightsKind || record.database.compare(file.section(), Qt::CaseInsensitive) != 0) {
        out.result = RestoreResult::Refused;
        out.detail =
            QStringLiteral("only a change of this database's rights or field settings can be restored");
        return out;
    }
    const QString fieldFile = record.fileChanged && !record.fieldId.isEmpty()
                                  ? FieldSettingsFile::fileName(listPath, file.section(), record.fieldId)
                                  : QString();
    const SettingsChange change(file, record.fieldId, record.fieldLabel, fieldFile);
    QStringList problems;
    if (!record.keys.empty()) {
        // Only the keys of the record, edited in what the file holds now: a key that another
        // administrator changed since keeps that change.
        const WriteResult written = rewriteFile(file.path(), [&](const QByteArray* current) {
            const QByteArray now = current ? *current : QByteArray();
            IniDocument doc(now);
            for (const changelog::KeyChange& key : record.keys) {
                if (key.before) {
                    doc = doc.withValue(file.section(), key.key, *key.before);
                } else if (std::optional<IniDocument> without = doc.withoutKey(file.section(), key.key)) {
                    doc = std::move(*without);
                }
            }
            return doc.bytes() == now && current ? std::nullopt : std::optional<QByteArray>(doc.bytes());
        });
        if (!written.landed()) {
            problems << QDir::toNativeSeparators(file.path());
        }
    }
    if (!fieldFile.isEmpty()) {
        if (record.fileBefore) {
            const QByteArray& before = *record.fileBefore;
            const WriteResult written = rewriteFile(fieldFile, [&](const QByteArray* current) {
                return current && *current == before ? std::nullopt : std::optional<QByteArray>(before);
            });
            if (!written.landed()) {
                problems << QDir::toNativeSeparators(fieldFile);
            }
        } else if (QFile::exists(fieldFile) && !QFile::remove(fieldFile)) {
            // The change made the file: before it, there was none.
            problems << QDir::toNativeSeparators(fieldFile);
        }
    }
    const QString note = QStringLiteral("Restored to before the change of ") +
                         QString::fromLatin1(changelog::utcText(record.whenMs)) + QStringLiteral(" by ") +
                         record.login;
    out.logged = change.landed(users, actUser, Kind::Restore, note);
    if (!problems.isEmpty()) {
        out.result = RestoreResult::Failed;
        out.detail = problems.join(QStringLiteral(", ")) + QStringLiteral(" could not be written");
    } else {
        out.result = RestoreResult::Restored;
    }
    return out;
}

} // namespace qm::editor
