#include "editor/Rights.h"

#include "platform/VbError.h"
#include "settings/IniLib.h"

#include <utility>
#include <vector>

namespace qm::rights {

QString rightName(Right right) {
    return AuthorizedUsers::rightNames().at(static_cast<int>(right));
}

Right rightOf(const ScopeLists& lists, const QString& uniqueId) {
    return static_cast<Right>(
        AuthorizedUsers::Get_User_Right(uniqueId, lists.full, lists.initialize).toInt());
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
    FieldScope field{read(fieldId), false};
    field.ownSettings = AuthorizedUsers::hasOwnSettings(field.lists);
    return field;
}

void RightsFile::write(const QString& scope, const IdLists& lists, const QString& oldKey) const {
    AuthorizedUsers::writeScope(m_section, scope, lists, m_path);
    if (oldKey != scope) {
        IniLib::DeleteKey(m_section, oldKey, m_path);
    }
}

void RightsFile::removeField(const QString& fieldId) const {
    AuthorizedUsers::removeFieldRights(m_section, fieldId, m_path);
}

EffectiveRight effectiveRight(const RightsFile& file, const QString& fieldId, const QString& uniqueId) {
    const RightsFile::FieldScope field = file.readField(fieldId);
    const ScopeLists lists = field.ownSettings ? field.lists : file.read(AuthorizedUsers::kGlobalScope);
    return {rightOf(lists, uniqueId), field.ownSettings};
}

QString uniqueIdOf(act::ActUsers& users, const QString& key) {
    return users.UniqueID(key.mid(1));
}

void setRights(RightsList& list, act::ActUsers& users, const ScopeLists& lists) {
    const int n = list.count();
    for (int i = 0; i < n; ++i) {
        const Right right = rightOf(lists, uniqueIdOf(users, list.key(i)));
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

IdLists collectIdLists(const RightsList& list, act::ActUsers& users) {
    std::vector<std::pair<QString, int>> userRights;
    const int n = list.count();
    userRights.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int code = list.code(i);
        if (code < 0 || code > 2) {
            raise(VbErr::SubscriptOutOfRange);
        }
        userRights.emplace_back(uniqueIdOf(users, list.key(i)), code);
    }
    return AuthorizedUsers::buildIdLists(userRights);
}

} // namespace qm::rights
