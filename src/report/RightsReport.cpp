#include "report/RightsReport.h"

#include "platform/VbRuntime.h"
#include "settings/FieldSettingsFile.h"

#include <QHash>

namespace qm::report {

namespace {

// Work is looked in on every this many items.
constexpr int kProgressEvery = 64;

bool goOn(const Progress& progress, qint64 done, qint64 total) {
    return !progress || progress(done, total);
}

// The drop-down entries that a save of the list text would write: its pieces between LFs that
// are not empty.
int entriesOf(const QString& listText) {
    int n = 0;
    for (const QStringView piece : QStringView(listText).split(QLatin1Char('\n'))) {
        n += piece.isEmpty() ? 0 : 1;
    }
    return n;
}

void readFieldFile(const QString& path, FieldRow& row) {
    FieldSettingsFile::FieldSettings file;
    try {
        row.fileProblem = FieldSettingsFile::read(path, file);
        if (row.fileProblem) {
            row.readable = false;
            row.readError = problemText(*row.fileProblem);
            return;
        }
    } catch (const VbError& e) {
        row.readable = false;
        row.readError = QStringLiteral("Error %1: '%2'").arg(e.number()).arg(e.description());
        return;
    }
    row.onlyFromDropdown = file.onlyFromDropdown;
    row.allowEditing = file.allowEditing;
    row.entries = entriesOf(file.listText);
}

} // namespace

bool readActData(const ActObjects& objects, const QString& genericName, MessageBox& box, ActData& out,
                 const Progress& progress, const std::vector<User>* keptUsers) {
    out = ActData{genericName, {}, {}, {}};
    std::vector<std::int32_t> unprotected;
    CountingMessageBox walkBox(box);
    modPopulateACTLists::walkProtectedFields(objects.objFields, walkBox, out.fields, &unprotected);
    if (walkBox.shown > 0) {
        return false; // reported: a report of part of the fields would mislead
    }
    out.unprotected = QSet<std::int32_t>(unprotected.begin(), unprotected.end());
    if (keptUsers) {
        out.users = *keptUsers;
        return true;
    }
    act::ActUsers& users = act::deref(objects.objUsers);
    const std::int16_t n = vb::CInt(static_cast<double>(users.Count()));
    out.users.reserve(std::size_t(std::max<std::int16_t>(n, 0)));
    for (int p = 1; p <= n; ++p) {
        if (p % kProgressEvery == 0 && !goOn(progress, p, n)) {
            return false;
        }
        const QString name = users.Name(static_cast<std::int16_t>(p));
        out.users.push_back({name, rights::uniqueIdOf(users, QStringLiteral("U") + QString::number(p))});
    }
    return true;
}

QStringList uniqueIds(const std::vector<User>& users) {
    QStringList ids;
    ids.reserve(qsizetype(users.size()));
    for (const User& u : users) {
        ids << u.uniqueId;
    }
    return ids;
}

std::optional<RightsReport> buildReport(const ActData& act, const SettingsPaths& paths,
                                        const Progress& progress) {
    RightsReport r{act.genericName, paths, act.users, {}, {}};
    const rights::UserIndex index(uniqueIds(act.users));
    const rights::RightsFile file(paths.usersPath, act.genericName);
    r.scopes.push_back(index.rightsOf(file.read(AuthorizedUsers::kGlobalScope)));
    // Fields with the same lists share their rights.
    QHash<QString, int> scopeOf;
    const qint64 total = qint64(act.fields.size());
    r.fields.reserve(act.fields.size());
    for (const modPopulateACTLists::FieldEntry& field : act.fields) {
        if (r.fields.size() % kProgressEvery == 0 && !goOn(progress, qint64(r.fields.size()), total)) {
            return std::nullopt;
        }
        FieldRow row;
        row.field = field;
        const QString id = QString::number(field.id);
        const rights::RightsFile::FieldScope scope = file.readField(id);
        row.ownSettings = scope.ownSettings;
        if (row.ownSettings) {
            const QString key = scope.lists.full + QChar(0) + scope.lists.initialize;
            auto it = scopeOf.constFind(key);
            if (it == scopeOf.constEnd()) {
                it = scopeOf.insert(key, int(r.scopes.size()));
                r.scopes.push_back(index.rightsOf(scope.lists));
            }
            row.scope = *it;
        }
        readFieldFile(FieldSettingsFile::fileName(paths.listPath, act.genericName, id), row);
        r.fields.push_back(std::move(row));
    }
    return r;
}

QString flagText(const FieldRow& row, int state) {
    if (!row.readable) {
        return QStringLiteral("?");
    }
    return state == 1 ? QStringLiteral("Yes") : state == 2 ? QStringLiteral("Greyed") : QStringLiteral("No");
}

QString sourceText(const FieldRow& row) {
    return row.ownSettings ? QStringLiteral("Own") : QStringLiteral("Global");
}

} // namespace qm::report
