#include "report/SettingsCheck.h"

#include "report/FileCheck.h"
#include "report/ListCheck.h"
#include "settings/AtomicFile.h"
#include "settings/Cp1252.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniFileCache.h"
#include "settings/IniLib.h"

#include <QFileInfo>
#include <QHash>

#include <map>

namespace qm::report {

namespace {

constexpr int kProgressEvery = 64;

QString fileNameOf(const QString& path) {
    return QFileInfo(path).fileName();
}

QString rightText(QChar letter) {
    return rights::rightName(letter == QLatin1Char('F') ? Right::Full : Right::Initialize);
}

struct Checker {
    const RightsReport& r;
    const QSet<std::int32_t>& unprotected;
    const rights::UserIndex index;
    QHash<QString, int> fieldById; // decimal ID -> row of a protected field
    std::vector<Hazard> out;

    Checker(const RightsReport& report, const QSet<std::int32_t>& unprotectedFields)
        : r(report)
        , unprotected(unprotectedFields)
        , index(uniqueIds(report.users)) {
        for (int i = 0; i < int(r.fields.size()); ++i) {
            fieldById.insert(QString::number(r.fields[std::size_t(i)].field.id), i);
        }
    }

    QString user(int u) const { return userText(r.users[std::size_t(u)]); }
    const QString& name(int u) const { return r.users[std::size_t(u)].name; }
    void add(HazardKind kind, const QString& user, const QString& field, const QString& key,
             const QString& text) {
        out.push_back({kind, user, field, key, text});
    }

    // IDs that are empty, equal to another or inside another give rights wherever the other gets one.
    void checkIds() {
        for (int u = 0; u < index.size(); ++u) {
            const QString& id = index.uniqueId(u);
            if (id.isEmpty()) {
                add(HazardKind::IdInsideId, user(u), {}, {},
                    name(u) +
                        QStringLiteral(" has an empty unique ID, which every list holds: reads as holding "
                                       "Full on every field."));
                continue;
            }
            for (const int inner : index.usersIn(id)) {
                const QString& innerId = index.uniqueId(inner);
                if (inner == u || innerId.isEmpty() || (innerId == id && inner > u)) {
                    continue;
                }
                add(HazardKind::IdInsideId, user(inner), {}, {},
                    innerId == id ? QString(name(inner) + QStringLiteral(" has the same unique ID as ") +
                                            name(u) + QStringLiteral(": the two always hold the same right."))
                                  : name(inner) + QStringLiteral("'s unique ID lies inside ") + name(u) +
                                        QStringLiteral("'s (") + id + QStringLiteral("): wherever ") +
                                        name(u) + QStringLiteral(" is given a right, ") + name(inner) +
                                        QStringLiteral(" gets it too."));
            }
        }
    }

    // One list as stored (its first key line): who it names, and whom a read finds instead.
    std::vector<int> checkList(const QString& key, QChar letter, const QString& field, const QString& value) {
        const ListReading reading = readList(index, value);
        const QString where =
            field.isEmpty() ? QStringLiteral(" in the global settings") : QStringLiteral(" on this field");
        const QString right = rightText(letter);
        for (const int u : reading.cut) {
            add(HazardKind::ListCut, user(u), field, key,
                key +
                    QStringLiteral(" is %1 characters long, but a read returns only the first 126: ")
                        .arg(value.size()) +
                    name(u) + QStringLiteral(" does not get ") + right + where + QLatin1Char('.'));
        }
        for (const ListReading::Found& f : reading.unnamed) {
            const qsizetype end = f.at + index.uniqueId(f.user).size() - 1;
            const ListPiece* first = pieceAt(reading, f.at);
            const ListPiece* last = pieceAt(reading, end);
            QString how;
            if (first && first == last && !first->users.isEmpty()) {
                how = QStringLiteral(" is found inside ") + name(first->users.front()) +
                      QStringLiteral("'s unique ID");
            } else if (first && last && !first->users.isEmpty() && !last->users.isEmpty()) {
                how = QStringLiteral(" is found across the IDs of ") + name(first->users.front()) +
                      QStringLiteral(" and ") + name(last->users.front());
            } else {
                how = QStringLiteral(" is found in text that is not its ID");
            }
            add(HazardKind::IdInList, user(f.user), field, key,
                name(f.user) + how + QStringLiteral(" in ") + key + QStringLiteral(": reads as holding ") +
                    right + where + QStringLiteral(", which nobody gave."));
        }
        for (const ListPiece& piece : reading.pieces) {
            if (piece.users.isEmpty()) {
                const QString text = value.mid(piece.from, piece.to - piece.from);
                add(HazardKind::UnknownId, text, field, key,
                    text + QStringLiteral(" in ") + key +
                        QStringLiteral(" is no user of this database: a user who comes with this ID holds ") +
                        right + where + QStringLiteral(" unseen."));
            }
        }
        return reading.named;
    }

    // The database's section of the authorized-users file, key by key as the reads see them.
    bool checkUsersFile(const Progress& progress) {
        const QString& path = r.paths.usersPath;
        if (!IniLib::FileExists(path)) {
            return true; // no rights given yet
        }
        const IniFileCache::Loaded loaded = IniFileCache::instance().loadChecked(path);
        const auto doc = loaded.doc;
        if (!doc) {
            const ReadProblem problem{path, loaded.status, loaded.detail, loaded.size};
            addUnreadable(problem, {}, QStringLiteral("every user reads as holding None on every field."));
            return true;
        }
        const auto isOurs = [&](const QByteArray& name) {
            return cp1252::decode(name).compare(r.genericName, Qt::CaseInsensitive) == 0;
        };
        const std::vector<IniDocument::SectionListing> sections = doc->listing();
        const IniDocument::SectionListing* ours = nullptr;
        for (const IniDocument::SectionListing& s : sections) {
            if (!isOurs(s.name)) {
                continue;
            }
            if (ours) {
                const QString section = QLatin1Char('[') + cp1252::decode(s.name) + QLatin1Char(']');
                add(HazardKind::Duplicate, {}, {}, section,
                    QStringLiteral("A second ") + section +
                        QStringLiteral(" section, at line %1, is never read: only "
                                       "the first, at line %2, counts.")
                            .arg(s.line)
                            .arg(ours->line));
                continue;
            }
            ours = &s;
        }
        // Why the section is missing, when a hazard of the file's bytes says it.
        bool explained = !notTextAt(doc->bytes()).isEmpty();
        checkContent(SettingsFileRole::UsersFile, path, doc->bytes(), {}, out);
        if (doc->bytes().startsWith(kUtf8ByteOrderMark)) {
            const auto hidden = IniDocument(doc->bytes().mid(kUtf8ByteOrderMark.size())).listing();
            if (!hidden.empty() && hidden.front().line == 1) {
                const QString section =
                    QLatin1Char('[') + cp1252::decode(hidden.front().name) + QLatin1Char(']');
                const QString what =
                    !isOurs(hidden.front().name) ? QStringLiteral(".")
                    : ours ? QStringLiteral(": a later ") + section + QStringLiteral(" counts instead.")
                           : QStringLiteral(": every user reads as holding None on every field.");
                explained = explained || isOurs(hidden.front().name);
                add(HazardKind::ByteOrderMark, {}, {}, section,
                    QStringLiteral(
                        "The file begins with a UTF-8 byte-order mark, which hides its first section, ") +
                        section + QStringLiteral(", from every read") + what);
            }
        }
        if (!ours) {
            if (!explained) {
                const QString section = QLatin1Char('[') + r.genericName + QLatin1Char(']');
                add(HazardKind::NoSection, {}, {}, section,
                    fileNameOf(path) + QStringLiteral(" has no ") + section +
                        QStringLiteral(" section: every user reads as holding None on every field of "
                                       "this database."));
            }
            return true;
        }
        QHash<QString, qsizetype> firstLine;
        std::map<QString, std::pair<std::vector<int>, std::vector<int>>> named; // scope -> Full, Initialize
        qint64 done = 0;
        for (const IniDocument::KeyListing& k : ours->keys) {
            if (++done % kProgressEvery == 0 && progress && !progress(done, qint64(ours->keys.size()))) {
                return false;
            }
            const QString key = cp1252::decode(k.name);
            const QString folded = key.toCaseFolded();
            if (const auto it = firstLine.constFind(folded); it != firstLine.constEnd()) {
                add(HazardKind::Duplicate, {}, {}, key,
                    key + QStringLiteral(" appears again at line %1: only the first, at line %2, is read.")
                              .arg(k.line)
                              .arg(*it));
                continue;
            }
            firstLine.insert(folded, k.line);
            checkKey(key, cp1252::decode(k.value), named);
        }
        for (const auto& [scope, lists] : named) {
            for (const int u : lists.first) {
                if (std::find(lists.second.begin(), lists.second.end(), u) != lists.second.end()) {
                    const int row = fieldById.value(scope, -1);
                    add(HazardKind::BothLists, user(u),
                        row < 0 ? QString() : fieldText(r.fields[std::size_t(row)].field),
                        AuthorizedUsers::fullKey(scope) + QStringLiteral(", ") +
                            AuthorizedUsers::initializeKey(scope),
                        name(u) +
                            QStringLiteral(" is in both the Full and the Initialize list: reads as holding "
                                           "Full, and the Initialize counts for nothing."));
                }
            }
        }
        return true;
    }

    void checkKey(const QString& key, const QString& value,
                  std::map<QString, std::pair<std::vector<int>, std::vector<int>>>& named) {
        const auto isId = [](const QString& text) {
            bool ok = false;
            return QString::number(text.toInt(&ok)) == text && ok;
        };
        if (key.compare(AuthorizedUsers::kGlobalScope, Qt::CaseInsensitive) == 0 || isId(key)) {
            const bool global = !isId(key);
            const int row = fieldById.value(key, -1);
            add(HazardKind::LeftoverKey, {},
                row < 0 ? QString() : fieldText(r.fields[std::size_t(row)].field), key,
                key + QStringLiteral(" is left by a save of ") +
                    (global ? QStringLiteral("the global rights") : QStringLiteral("this field's rights")) +
                    QStringLiteral(" that did not finish: its lists may not be the ones last saved."));
            return;
        }
        const QChar letter = key.isEmpty() ? QChar() : key.back().toUpper();
        if (letter != QLatin1Char('F') && letter != QLatin1Char('I')) {
            return; // no key this tool reads
        }
        const QString scope = key.chopped(1);
        QString field;
        if (scope.compare(AuthorizedUsers::kGlobalScope, Qt::CaseInsensitive) != 0) {
            if (!isId(scope)) {
                return;
            }
            const int row = fieldById.value(scope, -1);
            if (row < 0) {
                const bool exists = unprotected.contains(scope.toInt());
                add(exists ? HazardKind::FieldNotProtected : HazardKind::FieldGone, {},
                    QStringLiteral("(") + scope + QLatin1Char(')'), key,
                    QStringLiteral("Field ") + scope +
                        (exists ? QStringLiteral(" is no longer protected; if it is protected again")
                                : QStringLiteral(" no longer exists; if a field with this ID comes back")) +
                        QStringLiteral(", it gets these old rights."));
                return;
            }
            field = fieldText(r.fields[std::size_t(row)].field);
        }
        auto& lists = named[scope.compare(AuthorizedUsers::kGlobalScope, Qt::CaseInsensitive) == 0
                                ? AuthorizedUsers::kGlobalScope
                                : scope];
        (letter == QLatin1Char('F') ? lists.first : lists.second) = checkList(key, letter, field, value);
    }

    // A file that exists but cannot be read: a name that is not followed (another login's link,
    // a hard link in a shared folder) is a hazard of its own; anything else, a file unreadable.
    void addUnreadable(const ReadProblem& problem, const QString& field, const QString& whatThen) {
        const bool refused = problem.status == FileContent::Refused;
        add(refused ? HazardKind::RefusedName : HazardKind::UnreadableFile, {}, field,
            fileNameOf(problem.path),
            (refused ? QString(problem.detail +
                               QStringLiteral(": it is not followed, so nothing is read from it and "))
                     : QString(QStringLiteral("The file cannot be read (") + problemText(problem) +
                               QStringLiteral("): "))) +
                whatThen);
    }

    // The settings file of every protected field, read as the editor reads it.
    void checkFieldFiles() {
        for (const FieldRow& row : r.fields) {
            const QString path = FieldSettingsFile::fileName(r.paths.listPath, r.genericName, row.field.id);
            if (row.fileProblem) {
                addUnreadable(*row.fileProblem, fieldText(row.field),
                              QStringLiteral("the editor cannot show this field's settings."));
            } else if (!row.readable) {
                add(HazardKind::UnreadableFile, {}, fieldText(row.field), fileNameOf(path),
                    row.readError +
                        QStringLiteral(" while reading it: the editor stops part-way and shows this "
                                       "field's settings only in part."));
            }
            if (!row.fileProblem) {
                const FileContent file = readFile(path, FieldSettingsFile::kMaxFileBytes);
                if (file.status == FileContent::Ok) {
                    checkContent(SettingsFileRole::FieldFile, path, file.bytes, fieldText(row.field), out);
                }
            }
        }
    }
};

} // namespace

QString kindText(HazardKind kind) {
    switch (kind) {
    case HazardKind::IdInsideId:
        return QStringLiteral("ID inside another ID");
    case HazardKind::IdInList:
        return QStringLiteral("Found in a list unnamed");
    case HazardKind::ListCut:
        return QStringLiteral("List cut at 126");
    case HazardKind::BothLists:
        return QStringLiteral("In both lists");
    case HazardKind::FieldGone:
        return QStringLiteral("Field no longer exists");
    case HazardKind::FieldNotProtected:
        return QStringLiteral("Field no longer protected");
    case HazardKind::UnknownId:
        return QStringLiteral("Unknown user ID");
    case HazardKind::LeftoverKey:
        return QStringLiteral("Left by a save");
    case HazardKind::UnreadableFile:
        return QStringLiteral("Unreadable file");
    case HazardKind::RefusedName:
        return QStringLiteral("Name not followed");
    case HazardKind::ByteOrderMark:
        return QStringLiteral("Byte-order mark");
    case HazardKind::Duplicate:
        return QStringLiteral("Appears twice");
    case HazardKind::NotText:
        return QStringLiteral("Not a text file");
    case HazardKind::NoSection:
        return QStringLiteral("No section for this database");
    case HazardKind::FolderMissing:
        return QStringLiteral("Settings folder missing");
    }
    return {};
}

QString userText(const User& user) {
    return user.name + QLatin1Char(' ') + user.uniqueId;
}

QString fieldText(const modPopulateACTLists::FieldEntry& field) {
    const QString id = QLatin1Char('(') + QString::number(field.id) + QLatin1Char(')');
    return field.label.isEmpty() ? id : field.label + QLatin1Char(' ') + id;
}

std::optional<std::vector<Hazard>>
checkSettings(const RightsReport& report, const QSet<std::int32_t>& unprotected, const Progress& progress) {
    Checker c(report, unprotected);
    checkFolders(report.paths, c.out);
    c.checkIds();
    if (!c.checkUsersFile(progress)) {
        return std::nullopt;
    }
    c.checkFieldFiles();
    return std::move(c.out);
}

} // namespace qm::report
