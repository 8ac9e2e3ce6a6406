#include "editor/SettingsChange.h"

#include "settings/IniDocument.h"

#include <QDateTime>
#include <QSet>

#include <atomic>
#include <utility>

namespace qm::editor {

namespace {

using changelog::Bytes;
using changelog::Kind;

std::atomic<bool> g_logProblemTold{false};

// The rights a scope's keys give: a field's own, or the global ones when it has none.
rights::ScopeLists effective(const IniDocument* doc, const QString& section, const QString& fieldId) {
    if (!fieldId.isEmpty()) {
        rights::ScopeLists own = AuthorizedUsers::scopeIn(doc, section, fieldId).lists;
        if (AuthorizedUsers::hasOwnSettings(own)) {
            return own;
        }
    }
    return AuthorizedUsers::scopeIn(doc, section, AuthorizedUsers::kGlobalScope).lists;
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

// The users whose right a change of the lists from `a` to `b` may have changed, as a filter:
// an ID in braces (with no other closing brace) occurs in a list exactly where one of the list's
// opening braces starts it, so the lists' pieces from each "{" to the next "}" find those users
// without a search of every list for every user; any other ID is searched for.
class MaybeChanged {
public:
    MaybeChanged(const rights::ScopeLists& a, const rights::ScopeLists& b) {
        for (const QString* list : {&a.full, &a.initialize, &b.full, &b.initialize}) {
            for (qsizetype open = list->indexOf(QLatin1Char('{')); open >= 0;
                 open = list->indexOf(QLatin1Char('{'), open + 1)) {
                const qsizetype close = list->indexOf(QLatin1Char('}'), open);
                if (close < 0) {
                    break;
                }
                m_pieces.insert(list->mid(open, close - open + 1));
            }
        }
    }
    bool operator()(const QString& id) const {
        const bool braced =
            id.size() >= 2 && id.front() == QLatin1Char('{') && id.indexOf(QLatin1Char('}')) == id.size() - 1;
        return !braced || m_pieces.contains(id);
    }

private:
    QSet<QString> m_pieces;
};

QString nameOf(const ActUserName& actUser) {
    return actUser ? actUser() : QString();
}

} // namespace

SettingsChange::SettingsChange(QString section, QString fieldId, QString fieldLabel)
    : m_section(std::move(section))
    , m_fieldId(std::move(fieldId))
    , m_fieldLabel(std::move(fieldLabel)) {}

void SettingsChange::usersWritten(const Rewritten& rewritten) {
    if (m_users) { // a second write of the scope: from the first's start
        m_users->after = rewritten.after;
        m_users->afterParsed = rewritten.afterParsed;
    } else {
        m_users = rewritten;
    }
}

void SettingsChange::fileWritten(Bytes before, Bytes after) {
    if (!m_fileWritten) {
        m_fileBefore = std::move(before);
    }
    m_fileWritten = true;
    m_fileAfter = std::move(after);
}

QStringList SettingsChange::keysOf(const QString& scope) {
    return {AuthorizedUsers::fullKey(scope), AuthorizedUsers::initializeKey(scope), scope};
}

std::optional<changelog::Record> SettingsChange::record(const std::vector<RosterUser>& users,
                                                        const QString& actUser, Kind kind,
                                                        const QString& note) const {
    const bool field = !m_fieldId.isEmpty();
    if (kind == Kind::Other) {
        kind = field ? Kind::Field : Kind::GlobalRights;
    }
    changelog::Record r = newRecord(m_section, actUser, kind);
    r.fieldId = m_fieldId;
    r.fieldLabel = m_fieldLabel;
    r.note = note;
    if (m_users) {
        const auto parsed = [](const std::shared_ptr<const IniDocument>& doc, const QByteArray& bytes) {
            return doc ? doc : std::make_shared<const IniDocument>(bytes);
        };
        const std::shared_ptr<const IniDocument> before =
            m_users->before ? parsed(m_users->beforeParsed, *m_users->before) : nullptr;
        const std::shared_ptr<const IniDocument> afterDoc = parsed(m_users->afterParsed, m_users->after);
        const IniDocument& after = *afterDoc;
        const IniDocument none;
        for (const QString& key : keysOf(field ? m_fieldId : AuthorizedUsers::kGlobalScope)) {
            Bytes from = (before ? *before : none).valueIfLine(m_section, key); // without the cut to 126
            Bytes to = after.valueIfLine(m_section, key);
            if (from != to) {
                r.keys.push_back({key, std::move(from), std::move(to)});
            }
        }
        if (!r.keys.empty()) {
            const rights::ScopeLists listsBefore = effective(before.get(), m_section, m_fieldId);
            const rights::ScopeLists listsAfter = effective(&after, m_section, m_fieldId);
            const MaybeChanged maybeChanged(listsBefore, listsAfter);
            for (const RosterUser& user : users) {
                if (!maybeChanged(user.uniqueId)) {
                    continue;
                }
                const rights::Right from = rights::rightOf(listsBefore, user.uniqueId);
                const rights::Right to = rights::rightOf(listsAfter, user.uniqueId);
                if (from != to) {
                    r.users.push_back({user.name, user.uniqueId, from, to});
                }
            }
        }
    }
    r.fileChanged = m_fileWritten && m_fileBefore != m_fileAfter;
    if (r.fileChanged) {
        r.fileBefore = m_fileBefore;
        r.fileAfter = m_fileAfter;
    }
    if (r.keys.empty() && !r.fileChanged) {
        return std::nullopt;
    }
    return r;
}

changelog::AppendOutcome SettingsChange::append(const QString& usersPath,
                                                const std::vector<RosterUser>& users,
                                                const ActUserName& actUser, Kind kind,
                                                const QString& note) const {
    std::optional<changelog::Record> r = record(users, QString(), kind, note);
    if (!r) {
        return {changelog::AppendResult::Appended, {}, {}};
    }
    r->actUser = nameOf(actUser);
    return changelog::append(usersPath, *r);
}

changelog::AppendOutcome recordLocations(const QString& database, const ActUserName& actUser,
                                         const QString& usersBefore, const QString& listBefore,
                                         const QString& usersAfter, const QString& listAfter) {
    changelog::Record r = newRecord(database, QString(), Kind::Locations);
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
    r.actUser = nameOf(actUser);
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

} // namespace qm::editor
