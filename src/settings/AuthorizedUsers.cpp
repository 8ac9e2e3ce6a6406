#include "settings/AuthorizedUsers.h"
#include "platform/VbRuntime.h"

#include "platform/VbError.h"
#include "settings/IniLib.h"

namespace qm::AuthorizedUsers {

namespace {

// InStr(1, haystack, needle) > 0.
bool inStr(const QString& haystack, const QString& needle) {
    if (haystack.isEmpty()) {
        return false;
    }
    return needle.isEmpty() || haystack.contains(needle, Qt::CaseSensitive);
}

void writeOrRemove(const QString& section, const QString& key, const QString& list, const QString& file) {
    if (list.isEmpty()) {
        IniLib::DeleteKey(section, key, file);
    } else {
        IniLib::WriteKeyValue(section, key, list, file);
    }
}

} // namespace

QStringList rightNames() {
    return {QStringLiteral("Full"), QStringLiteral("Initialize"), QStringLiteral("None")};
}

QString fullKey(const QString& scope) {
    return scope + QLatin1Char('F');
}
QString initializeKey(const QString& scope) {
    return scope + QLatin1Char('I');
}

ScopeLists readScope(const QString& section, const QString& scope, const QString& file) {
    const QString blank = QStringLiteral(" ");
    return {IniLib::GetKeyValue(section, fullKey(scope), file) + blank,
            IniLib::GetKeyValue(section, initializeKey(scope), file) + blank};
}

QString Get_User_Right(const QString& id, const QString& fullList, const QString& initList) {
    if (inStr(fullList, id)) {
        return QStringLiteral("0");
    }
    if (inStr(initList, id)) {
        return QStringLiteral("1");
    }
    return QStringLiteral("2");
}

bool hasOwnSettings(const ScopeLists& lists) {
    const QString joined = lists.full + lists.initialize;
    return !vb::Trim(joined).isEmpty();
}

IdLists buildIdLists(const std::vector<std::pair<QString, int>>& userRights) {
    for (const auto& [id, code] : userRights) {
        if (code < 0 || code > 2) {
            raise(VbErr::SubscriptOutOfRange);
        }
    }
    IdLists lists;
    QString* byCode[] = {&lists.full, &lists.initialize, &lists.none};
    for (const auto& [id, code] : userRights) {
        *byCode[code] += id;
    }
    return lists;
}

void writeScope(const QString& section, const QString& scope, const IdLists& lists, const QString& file) {
    writeOrRemove(section, fullKey(scope), lists.full, file);
    writeOrRemove(section, initializeKey(scope), lists.initialize, file);
    IniLib::DeleteKey(section, scope, file);
}

void removeFieldRights(const QString& section, const QString& fieldId, const QString& file) {
    IniLib::DeleteKey(section, fullKey(fieldId), file);
    IniLib::DeleteKey(section, initializeKey(fieldId), file);
}

} // namespace qm::AuthorizedUsers
