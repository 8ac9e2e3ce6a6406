#include "editor/Restore.h"

#include "editor/Merge.h"
#include "platform/VbError.h"
#include "settings/Cp1252.h"
#include "settings/FieldSettingsFile.h"
#include "settings/FileProblem.h"
#include "settings/IniDocument.h"
#include "settings/IniLib.h"

#include <QDir>

namespace qm::editor {

namespace {

using changelog::Bytes;
using changelog::Kind;

// A restore decided again after a choice finds the files changed once more only when other
// administrators keep writing them; after this many rounds it is said instead.
constexpr int kRounds = 8;

Bytes keyValue(const IniDocument* doc, const QString& section, const QString& key) {
    return doc ? doc->valueIfLine(section, key) : std::nullopt;
}

QString text(const Bytes& bytes) {
    return bytes ? cp1252::decode(*bytes) : QString();
}

rights::ScopeLists asRead(const merge::ScopeValues& v) {
    const QString blank = QStringLiteral(" ");
    return {v.full.left(IniLib::kMaxValueLength) + blank, v.initialize.left(IniLib::kMaxValueLength) + blank};
}

std::vector<int> codesIn(const QStringList& ids, const merge::ScopeValues& values) {
    const rights::ScopeLists lists = asRead(values);
    std::vector<int> codes;
    for (const QString& id : ids) {
        codes.push_back(int(rights::rightOf(lists, id)));
    }
    return codes;
}

merge::FieldFile fileValues(const Bytes& bytes) {
    FieldSettingsFile::FieldSettings read;
    if (bytes) {
        try {
            FieldSettingsFile::readContent(*bytes, read);
        } catch (const VbError&) {
            return {}; // a file this program cannot read back holds nothing to keep
        }
    }
    return {read.onlyFromDropdown, read.allowEditing, read.listText};
}

bool operator==(const merge::FieldFile& a, const merge::FieldFile& b) {
    return a.onlyFromDropdown == b.onlyFromDropdown && a.allowEditing == b.allowEditing &&
           merge::entriesOf(a.listText) == merge::entriesOf(b.listText);
}

// One restore: the record, where it goes, and what the merges found.
class Restorer {
public:
    Restorer(const changelog::Record& record, const RestoreTarget& target)
        : r(record)
        , t(target)
        , m_scope(record.fieldId.isEmpty() ? AuthorizedUsers::kGlobalScope : record.fieldId)
        , m_fieldFile(record.fileChanged && !record.fieldId.isEmpty()
                          ? FieldSettingsFile::fileName(target.listPath, target.database, record.fieldId)
                          : QString()) {
        for (const RosterUser& user : t.users) {
            m_mine.ids << user.uniqueId;
            m_mine.names << user.name;
        }
    }

    // The keys' changes from the users file as it is (nullptr: no file); nullopt: nothing to write,
    // or conflicts without a choice (in m_unresolved).
    std::optional<std::vector<IniLib::KeyChange>> decideKeys(const IniDocument* doc) {
        m_keysMerged = {};
        std::vector<IniLib::KeyChange> exact;
        bool asAfter = true;
        bool asBefore = true;
        for (const changelog::KeyChange& key : r.keys) {
            const Bytes now = keyValue(doc, t.database, key.key);
            asAfter = asAfter && now == key.after;
            asBefore = asBefore && now == key.before;
            exact.push_back({key.key, key.before ? std::optional(text(key.before)) : std::nullopt});
        }
        if (asAfter) {
            return exact; // nobody changed them since: the bytes they held before
        }
        if (asBefore) {
            return std::nullopt;
        }
        // Changed since: merged as a Save merges, the state after the change as its base.
        merge::ScopeValues theirs, base, mine;
        const auto part = [&](const QString& key, QString merge::ScopeValues::*member) {
            const Bytes now = keyValue(doc, t.database, key);
            theirs.*member = base.*member = mine.*member = text(now);
            for (const changelog::KeyChange& k : r.keys) {
                if (k.key.compare(key, Qt::CaseInsensitive) == 0) {
                    base.*member = text(k.after);
                    mine.*member = text(k.before);
                }
            }
        };
        part(AuthorizedUsers::fullKey(m_scope), &merge::ScopeValues::full);
        part(AuthorizedUsers::initializeKey(m_scope), &merge::ScopeValues::initialize);
        // Per user: a user the change gave another right has it back; any other user's right was
        // not the change's, so here it is as the base has it, and the file's stays.
        merge::UserRights mineRights = m_mine;
        mineRights.codes = codesIn(m_mine.ids, mine);
        std::vector<int> baseCodes = mineRights.codes;
        for (std::size_t i = 0; i < baseCodes.size(); ++i) {
            for (const changelog::UserChange& u : r.users) {
                if (u.uniqueId == m_mine.ids.at(qsizetype(i))) {
                    mineRights.codes[i] = int(u.before);
                    baseCodes[i] = int(u.after);
                }
            }
        }
        if (r.fieldId.isEmpty()) {
            static_cast<merge::RightsMerge&>(m_keysMerged) =
                merge::mergeRights(m_scope, mineRights, baseCodes, base, theirs, m_choices);
        } else {
            m_keysMerged =
                merge::mergeFieldRights(m_scope, mineRights, AuthorizedUsers::hasOwnSettings(asRead(mine)),
                                        baseCodes, base, theirs, m_choices);
        }
        if (!m_keysMerged.unresolved.empty()) {
            return std::nullopt;
        }
        switch (m_keysMerged.write) {
        case merge::Write::Lists:
            return AuthorizedUsers::scopeChanges(m_scope, m_keysMerged.lists);
        case merge::Write::Remove:
            return std::vector<IniLib::KeyChange>{{AuthorizedUsers::fullKey(m_scope), std::nullopt},
                                                  {AuthorizedUsers::initializeKey(m_scope), std::nullopt}};
        case merge::Write::Nothing:
            break;
        }
        return std::nullopt;
    }

    // What the field's file is to hold, from what it holds (nullptr: no file): nullopt to leave it
    // (nothing to do, or conflicts without a choice), a Bytes without value to remove it.
    std::optional<Bytes> decideFile(const QByteArray* current) {
        m_fileMerged = {};
        const Bytes theirs = current ? Bytes(*current) : std::nullopt;
        if (theirs == r.fileAfter) {
            return r.fileBefore;
        }
        if (theirs == r.fileBefore) {
            return std::nullopt;
        }
        const merge::FieldFile mine = fileValues(r.fileBefore);
        m_fileMerged =
            merge::mergeFieldFile(r.fieldId, fileValues(r.fileAfter), mine, fileValues(theirs), m_choices);
        if (!m_fileMerged.unresolved.empty() || !m_fileMerged.write) {
            return std::nullopt;
        }
        if (m_fileMerged.values == mine) {
            return r.fileBefore;
        }
        const merge::FieldFile& v = m_fileMerged.values;
        return FieldSettingsFile::content(v.onlyFromDropdown, v.allowEditing, v.listText);
    }

    // The conflicts of both parts as the files stand, asked before anything is written; false when
    // the administrator went back.
    bool settle(ConflictChooser& chooser, QObject* owner) {
        for (int round = 0; round < kRounds; ++round) {
            std::vector<merge::Conflict> conflicts;
            if (!m_fieldFile.isEmpty()) {
                const FileContent content = readFile(m_fieldFile, FieldSettingsFile::kMaxFileBytes);
                if (content.status == FileContent::Ok || content.status == FileContent::Missing) {
                    decideFile(content.status == FileContent::Ok ? &content.bytes : nullptr);
                    conflicts = m_fileMerged.unresolved;
                }
            }
            if (!r.keys.empty()) {
                const IniLib::Loaded loaded = IniLib::Load(t.usersPath);
                if (loaded.doc || loaded.status == FileContent::Missing) {
                    decideKeys(loaded.doc.get());
                    conflicts.insert(conflicts.end(), m_keysMerged.unresolved.begin(),
                                     m_keysMerged.unresolved.end());
                }
            }
            if (conflicts.empty()) {
                return true;
            }
            if (!ask(chooser, owner, conflicts)) {
                return false;
            }
        }
        return true;
    }

    bool ask(ConflictChooser& chooser, QObject* owner, const std::vector<merge::Conflict>& conflicts) {
        std::vector<MergeConflict> shown;
        for (const merge::Conflict& c : conflicts) {
            shown.push_back({c.what, c.theirs, c.mine});
        }
        const std::optional<std::vector<bool>> keep = chooser.choose(
            owner,
            QStringLiteral(
                "Another administrator changed these settings since the change, and the restore "
                "changes them too. Choose what to keep (this window's value is the restored one):"),
            shown);
        if (!keep || keep->size() != conflicts.size()) {
            return false;
        }
        for (std::size_t i = 0; i < conflicts.size(); ++i) {
            m_choices.insert(conflicts[i].key, (*keep)[i]);
        }
        return true;
    }

    // The keys written under the writers' lock. nullopt: written (or nothing to write); otherwise
    // false when the administrator went back, or the result that did not land.
    std::optional<WriteResult> writeKeys(ConflictChooser& chooser, QObject* owner, bool& wentBack) {
        for (int round = 0; round < kRounds; ++round) {
            Rewritten rewritten;
            const WriteResult result = IniLib::ChangeKeysOf(
                t.database, [&](const IniDocument* doc) { return decideKeys(doc); }, t.usersPath, &rewritten);
            if (!m_keysMerged.unresolved.empty()) {
                if (!ask(chooser, owner, m_keysMerged.unresolved)) {
                    wentBack = true;
                    return std::nullopt;
                }
                continue;
            }
            if (result.result == ReplaceResult::Replaced) {
                m_change.usersWritten(rewritten);
            }
            m_from << m_keysMerged.fromElsewhere;
            return result.landed() ? std::nullopt : std::optional(result);
        }
        return WriteResult{ReplaceResult::Busy, {}};
    }

    std::optional<WriteResult> writeFile(ConflictChooser& chooser, QObject* owner, bool& wentBack) {
        for (int round = 0; round < kRounds; ++round) {
            Bytes seen;
            std::optional<Bytes> wanted;
            const WriteResult result = rewriteFile(
                m_fieldFile,
                [&](const QByteArray* current) {
                    seen = current ? Bytes(*current) : std::nullopt;
                    wanted = decideFile(current);
                    return wanted && *wanted ? *wanted : Bytes();
                },
                FieldSettingsFile::kMaxFileBytes);
            if (!m_fileMerged.unresolved.empty()) {
                if (!ask(chooser, owner, m_fileMerged.unresolved)) {
                    wentBack = true;
                    return std::nullopt;
                }
                continue;
            }
            if (!result.landed()) {
                return result;
            }
            if (result.result == ReplaceResult::Replaced) {
                m_change.fileWritten(seen, *wanted);
            } else if (wanted && !*wanted && seen) {
                // The change made the file: removed again, under the writers' locks, if it still
                // holds what was decided on.
                bool changedMeanwhile = false;
                const WriteResult removed = removeFile(
                    m_fieldFile,
                    [&](const QByteArray& now) {
                        changedMeanwhile = now != *seen;
                        return !changedMeanwhile;
                    },
                    FieldSettingsFile::kMaxFileBytes);
                if (changedMeanwhile) {
                    continue;
                }
                if (!removed.landed()) {
                    return removed;
                }
                if (removed.result == ReplaceResult::Replaced) {
                    m_change.fileWritten(seen, std::nullopt);
                }
            }
            m_from << m_fileMerged.fromElsewhere;
            return std::nullopt;
        }
        return WriteResult{ReplaceResult::Busy, {}};
    }

    RestoreOutcome run(ConflictChooser& chooser, QObject* owner) {
        RestoreOutcome out;
        if (!settle(chooser, owner)) {
            out.result = RestoreResult::WentBack;
            return out;
        }
        QStringList problems;
        bool wentBack = false;
        if (!m_fieldFile.isEmpty()) {
            if (const std::optional<WriteResult> failed = writeFile(chooser, owner, wentBack)) {
                problems << notWrittenText(QDir::toNativeSeparators(m_fieldFile), *failed);
            }
        }
        if (!r.keys.empty() && !wentBack) {
            if (const std::optional<WriteResult> failed = writeKeys(chooser, owner, wentBack)) {
                problems << notWrittenText(QDir::toNativeSeparators(t.usersPath), *failed);
            }
        }
        QString note = QStringLiteral("Restored to before the change of ") +
                       QString::fromLatin1(changelog::utcText(r.whenMs)) + QStringLiteral(" by ") + r.login;
        if (!m_from.isEmpty()) {
            note += QStringLiteral("; kept from another administrator's changes: ") +
                    m_from.join(QStringLiteral(", "));
        }
        out.wrote = m_change.record(t.users, QString()).has_value();
        out.logged = m_change.append(t.usersPath, t.users, t.actUser, Kind::Restore, note);
        out.fromElsewhere = m_from;
        if (!problems.isEmpty()) {
            out.result = RestoreResult::Failed;
            out.detail = problems.join(QStringLiteral("; "));
        } else {
            out.result = wentBack ? RestoreResult::WentBack : RestoreResult::Restored;
        }
        return out;
    }

private:
    const changelog::Record& r;
    const RestoreTarget& t;
    QString m_scope;
    QString m_fieldFile;
    merge::UserRights m_mine; // the users, without codes
    merge::Choices m_choices;
    merge::FieldRightsMerge m_keysMerged;
    merge::FieldFileMerge m_fileMerged;
    QStringList m_from;
    SettingsChange m_change{t.database, r.fieldId, r.fieldLabel};
};

} // namespace

bool restorable(const changelog::Record& record) {
    return record.kind == Kind::GlobalRights || record.kind == Kind::Field || record.kind == Kind::Restore;
}

RestoreOutcome restoreBefore(const changelog::Record& record, const RestoreTarget& target,
                             ConflictChooser& conflicts, QObject* owner) {
    if (!restorable(record) || record.database.compare(target.database, Qt::CaseInsensitive) != 0) {
        RestoreOutcome out;
        out.result = RestoreResult::Refused;
        out.detail =
            QStringLiteral("only a change of this database's rights or field settings can be restored");
        return out;
    }
    return Restorer(record, target).run(conflicts, owner);
}

} // namespace qm::editor
