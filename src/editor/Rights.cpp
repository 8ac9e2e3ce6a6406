#include "editor/Rights.h"

#include "platform/VbError.h"
#include "settings/IniLib.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace qm::rights {

QString rightName(Right right) {
    static const QStringList names = AuthorizedUsers::rightNames();
    return names.at(static_cast<int>(right));
}

Right rightOf(const ScopeLists& lists, const QString& uniqueId) {
    // "0", "1" or "2": the code is the one digit's value.
    const QString code = AuthorizedUsers::Get_User_Right(uniqueId, lists.full, lists.initialize);
    return static_cast<Right>(code.at(0).unicode() - u'0');
}

UserIndex::UserIndex(QStringList uniqueIds)
    : m_ids(std::move(uniqueIds))
    , m_seen(std::size_t(m_ids.size()), 0) {
    for (int i = 0; i < m_ids.size(); ++i) {
        const QStringView id(m_ids.at(i));
        if (id.isEmpty()) {
            m_empty << i;
            continue;
        }
        m_byId[id] << i;
        if (std::find(m_lengths.begin(), m_lengths.end(), id.size()) == m_lengths.end()) {
            m_lengths.push_back(id.size());
        }
    }
}

std::vector<int> UserIndex::usersIn(QStringView text) const {
    std::vector<int> found;
    if (text.isEmpty()) {
        return found;
    }
    if (++m_stamp == 0) { // the stamps went round: start afresh
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_stamp = 1;
    }
    found.assign(m_empty.begin(), m_empty.end());
    for (const qsizetype length : m_lengths) {
        for (qsizetype at = 0; at + length <= text.size(); ++at) {
            const auto it = m_byId.constFind(text.sliced(at, length));
            if (it == m_byId.constEnd()) {
                continue;
            }
            for (const int user : *it) {
                if (m_seen[std::size_t(user)] != m_stamp) {
                    m_seen[std::size_t(user)] = m_stamp;
                    found.push_back(user);
                }
            }
        }
    }
    return found;
}

std::vector<std::uint8_t> UserIndex::rightsOf(const ScopeLists& lists) const {
    std::vector<std::uint8_t> rights(std::size_t(m_ids.size()), std::uint8_t(Right::None));
    for (const int user : usersIn(lists.initialize)) {
        rights[std::size_t(user)] = std::uint8_t(Right::Initialize);
    }
    for (const int user : usersIn(lists.full)) {
        rights[std::size_t(user)] = std::uint8_t(Right::Full); // in both lists: Full
    }
    return rights;
}

RightsFile::RightsFile(QString path, QString section)
    : m_path(std::move(path))
    , m_section(std::move(section)) {}

bool RightsFile::exists() const {
    return IniLib::FileExists(m_path);
}

ScopeLists RightsFile::read(const QString& scope) const {
    return AuthorizedUsers::readScope(m_section, scope, m_path);
}

RightsFile::FieldScope RightsFile::readField(const QString& fieldId) const {
    return readFieldChecked(fieldId).field;
}

AuthorizedUsers::ScopeRead RightsFile::readChecked(const QString& scope) const {
    return AuthorizedUsers::readScopeChecked(m_section, scope, m_path);
}

RightsFile::FieldRead RightsFile::readFieldChecked(const QString& fieldId) const {
    AuthorizedUsers::ScopeRead read = readChecked(fieldId);
    const bool own = AuthorizedUsers::hasOwnSettings(read.lists);
    return {{std::move(read.lists), own}, std::move(read.problem), std::move(read.values)};
}

WriteResult RightsFile::write(const QString& scope, const IdLists& lists, const QString& oldKey) const {
    return AuthorizedUsers::writeScope(m_section, scope, lists, m_path, oldKey);
}

WriteResult RightsFile::removeField(const QString& fieldId) const {
    return AuthorizedUsers::removeFieldRights(m_section, fieldId, m_path);
}

EffectiveRight effectiveRight(const RightsFile& file, const QString& fieldId, const QString& uniqueId) {
    const RightsFile::FieldScope field = file.readField(fieldId);
    const ScopeLists lists = field.ownSettings ? field.lists : file.read(AuthorizedUsers::kGlobalScope);
    return {rightOf(lists, uniqueId), field.ownSettings};
}

QString uniqueIdOf(act::ActUsers& users, const QString& key) {
    return users.UniqueID(key.mid(1));
}

void setRights(RightsList& list, const ScopeLists& lists) {
    const int n = list.count();
    for (int i = 0; i < n; ++i) {
        const Right right = rightOf(lists, list.uniqueId(i));
        list.setCode(i, static_cast<int>(right));
        list.setRightsText(i, rightName(right));
    }
}

void copyRights(const RightsList& from, RightsList& to) {
    const int n = from.count();
    for (int i = 0; i < n; ++i) {
        if (i >= to.count()) {
            raise(VbErr::SubscriptOutOfRange);
        }
        to.setRightsText(i, from.rightsText(i));
        to.setCode(i, from.code(i));
    }
}

std::vector<std::pair<QString, int>> collectUserRights(const RightsList& list) {
    std::vector<std::pair<QString, int>> userRights;
    const int n = list.count();
    userRights.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int code = list.code(i);
        if (code < 0 || code > 2) {
            raise(VbErr::SubscriptOutOfRange);
        }
        userRights.emplace_back(list.uniqueId(i), code);
    }
    return userRights;
}

IdLists collectIdLists(const RightsList& list) {
    return AuthorizedUsers::buildIdLists(collectUserRights(list));
}

std::vector<int> cutOnRead(const std::vector<std::pair<QString, int>>& userRights, const IdLists& lists) {
    const QString blank = QStringLiteral(" ");
    const ScopeLists read{lists.full.left(IniLib::kMaxValueLength) + blank,
                          lists.initialize.left(IniLib::kMaxValueLength) + blank};
    std::vector<int> cut;
    for (int i = 0; i < int(userRights.size()); ++i) {
        const auto& [id, code] = userRights[std::size_t(i)];
        const QString& written = code == int(Right::Full) ? lists.full : lists.initialize;
        if (code != int(Right::None) && written.size() > IniLib::kMaxValueLength &&
            rightOf(read, id) != Right(code)) {
            cut.push_back(i);
        }
    }
    return cut;
}

} // namespace qm::rights
