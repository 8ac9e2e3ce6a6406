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

// A list that would be empty is not written: its key is removed instead.
IniLib::KeyChange listChange(const QString& key, const QString& list) {
    return {key, list.isEmpty() ? std::nullopt : std::optional(list)};
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
    return readScopeChecked(section, scope, file).lists;
}

ScopeRead readScopeChecked(const QString& section, const QString& scope, const QString& file) {
    const IniLib::Loaded loaded = IniLib::Load(file);
    ScopeRead read = scopeIn(loaded.doc.get(), section, scope);
    if (!loaded.doc && loaded.status != FileContent::Missing) {
        read.problem = ReadProblem{file, loaded.status, loaded.detail, loaded.size};
    }
    return read;
}

ScopeRead scopeIn(const IniDocument* doc, const QString& section, const QString& scope) {
    const QString blank = QStringLiteral(" ");
    ScopeRead read{{blank, blank}, std::nullopt, {}};
    if (doc) {
        read.values = {IniLib::WholeValueOf(*doc, section, fullKey(scope)),
                       IniLib::WholeValueOf(*doc, section, initializeKey(scope))};
        read.lists = {read.values.full.left(IniLib::kMaxValueLength) + blank,
                      read.values.initialize.left(IniLib::kMaxValueLength) + blank};
    }
    return read;
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

std::vector<IniLib::KeyChange> scopeChanges(const QString& scope, const IdLists& lists,
                                            const QString& oldKey) {
    std::vector<IniLib::KeyChange> changes{listChange(fullKey(scope), lists.full),
                                           listChange(initializeKey(scope), lists.initialize),
                                           {scope, std::nullopt}};
    if (!oldKey.isEmpty() && oldKey != scope) {
        changes.push_back({oldKey, std::nullopt});
    }
    return changes;
}

WriteResult writeScope(const QString& section, const QString& scope, const IdLists& lists,
                       const QString& file, const QString& oldKey) {
    return IniLib::ChangeKeys(section, scopeChanges(scope, lists, oldKey), file);
}

WriteResult removeFieldRights(const QString& section, const QString& fieldId, const QString& file) {
    return IniLib::ChangeKeys(
        section, {{fullKey(fieldId), std::nullopt}, {initializeKey(fieldId), std::nullopt}}, file);
}

} // namespace qm::AuthorizedUsers
