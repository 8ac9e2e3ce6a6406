// The writes of Save and Close when another administrator may have written the same file since the
// window read it: each decides, from the file as read under the writers' lock, between the write
// the window always made (the file unchanged) and the merge of Merge.h.

#include "editor/Editor.h"

#include "platform/ErrorReport.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniDocument.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace qm::editor {

namespace {

constexpr char kModule[] = "Form1";
// A write decided again after a choice or after the unique IDs were read finds the file changed once
// more only when other administrators keep writing it; after this many rounds it is said instead.
constexpr int kRounds = 8;

merge::ScopeValues valuesIn(const IniDocument* doc, const QString& section, const QString& scope) {
    if (!doc) {
        return {};
    }
    return {IniLib::WholeValueOf(*doc, section, AuthorizedUsers::fullKey(scope)),
            IniLib::WholeValueOf(*doc, section, AuthorizedUsers::initializeKey(scope))};
}

std::vector<IniLib::KeyChange> removal(const QString& fieldId) {
    return {{AuthorizedUsers::fullKey(fieldId), std::nullopt},
            {AuthorizedUsers::initializeKey(fieldId), std::nullopt}};
}

} // namespace

std::vector<int> Editor::codesOf(const QTreeWidget& list) const {
    std::vector<int> codes;
    codes.reserve(std::size_t(list.topLevelItemCount()));
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        bool ok = false;
        const int code = list.topLevelItem(i)->data(0, kListTagRole).toInt(&ok);
        codes.push_back(ok ? code : -1);
    }
    return codes;
}

merge::FieldFile Editor::panelValues() const {
    return {checkState(*c.chkOnlyFromDropdown), checkState(*c.chkEdit), c.rtfData->toPlainText()};
}

Editor::RightsPlan Editor::rightsPlan(QTreeWidget& list, bool own, const QString& oldKey,
                                      const Collected* collected) {
    RightsPlan plan;
    plan.global = &list == c.lvwUsers;
    plan.own = own;
    plan.oldKey = oldKey;
    if (collected) {
        plan.haveIds = true;
        plan.lists = collected->lists;
        for (const auto& [id, code] : collected->userRights) {
            plan.mine.ids << id;
            plan.mine.codes.push_back(code);
        }
    } else {
        plan.mine.codes = codesOf(list);
    }
    return plan;
}

// The unique IDs of the field's users, read only when a field that follows the global settings
// meets a file changed since the load.
bool Editor::collectIds(RightsPlan& plan) {
    const std::optional<Collected> collected = collectUsers(plan.global ? *c.lvwUsers : *c.lvwSpecialUsers);
    if (!collected) {
        return false;
    }
    plan.mine.ids.clear();
    for (const auto& pair : collected->userRights) {
        plan.mine.ids << pair.first;
    }
    plan.haveIds = true;
    return true;
}

std::optional<std::vector<IniLib::KeyChange>> Editor::decideRights(RightsPlan& plan, const IniDocument* doc,
                                                                   Need& need) {
    need = Need::Nothing;
    plan.merged = false;
    const QString scope = plan.global ? AuthorizedUsers::kGlobalScope : currentFieldId;
    const RightsBase& base = plan.global ? m_globalBase : m_fieldBase;
    plan.theirs = valuesIn(doc, m_x.genericName, scope);
    const bool unread = shown(plan.global ? What::GlobalRights : What::FieldRights).unread.has_value();
    if (unread || plan.theirs == base.values || base.codes.size() != std::size_t(plan.mine.codes.size())) {
        // As loaded (or not read then, and the administrator chose to write): the write as always.
        if (plan.own) {
            return AuthorizedUsers::scopeChanges(scope, plan.lists, plan.oldKey);
        }
        return removal(scope);
    }
    if (!plan.haveIds) {
        need = Need::Ids;
        return std::nullopt;
    }
    if (plan.mine.names.isEmpty()) { // the users are named only for a merge, which says who changed
        const QTreeWidget& list = plan.global ? *c.lvwUsers : *c.lvwSpecialUsers;
        for (int i = 0; i < list.topLevelItemCount(); ++i) {
            plan.mine.names << list.topLevelItem(i)->text(0);
        }
    }
    if (plan.global) {
        static_cast<merge::RightsMerge&>(plan.outcome) =
            merge::mergeRights(scope, plan.mine, base.codes, base.values, plan.theirs, m_choices);
        plan.outcome.own = true;
    } else {
        plan.outcome = merge::mergeFieldRights(scope, plan.mine, plan.own, base.codes, base.values,
                                               plan.theirs, m_choices);
    }
    if (!plan.outcome.unresolved.empty()) {
        need = Need::Choices;
        return std::nullopt;
    }
    plan.merged = true;
    switch (plan.outcome.write) {
    case merge::Write::Lists:
        return AuthorizedUsers::scopeChanges(scope, plan.outcome.lists, plan.oldKey);
    case merge::Write::Remove:
        return removal(scope);
    case merge::Write::Nothing:
        break;
    }
    return std::nullopt;
}

std::optional<QByteArray> Editor::decideFile(FilePlan& plan, const QByteArray* current, Need& need) {
    need = Need::Nothing;
    plan.merged = false;
    plan.theirs = current ? std::optional(*current) : std::nullopt;
    if (m_fieldFile.unread || plan.theirs == m_fileBase.bytes) {
        return plan.bytes;
    }
    FieldSettingsFile::FieldSettings theirs;
    try {
        if (current) {
            FieldSettingsFile::readContent(*current, theirs);
        }
    } catch (const VbError&) {
        return plan.bytes; // a file this program cannot read back holds nothing to keep
    }
    plan.outcome =
        merge::mergeFieldFile(currentFieldId, m_fileBase.values, plan.mine,
                              {theirs.onlyFromDropdown, theirs.allowEditing, theirs.listText}, m_choices);
    if (!plan.outcome.unresolved.empty()) {
        need = Need::Choices;
        return std::nullopt;
    }
    plan.merged = true;
    if (!plan.outcome.write) {
        return std::nullopt;
    }
    try {
        return FieldSettingsFile::content(plan.outcome.values.onlyFromDropdown,
                                          plan.outcome.values.allowEditing, plan.outcome.values.listText);
    } catch (const VbError&) {
        return plan.bytes;
    }
}

bool Editor::askChoices(const std::vector<merge::Conflict>& conflicts) {
    std::vector<MergeConflict> shownConflicts;
    for (const merge::Conflict& conflict : conflicts) {
        shownConflicts.push_back({conflict.what, conflict.theirs, conflict.mine});
    }
    const std::optional<std::vector<bool>> keep = m_x.services.conflicts.choose(
        c.cmdSave->window(),
        QStringLiteral("Another administrator changed these settings since this window read them, and you "
                       "changed them too. Choose what to keep:"),
        shownConflicts);
    if (!keep || keep->size() != conflicts.size()) {
        return false; // back to the window, nothing written
    }
    if (m_x.windowClosed && m_x.windowClosed()) {
        return false; // ACT! closed the window while the conflicts were shown: nothing is written
    }
    for (std::size_t i = 0; i < conflicts.size(); ++i) {
        m_choices.insert(conflicts[i].key, (*keep)[i]);
    }
    return true;
}

bool Editor::writeRights(RightsPlan& plan, SettingsChange& change) {
    const What what = plan.global ? What::GlobalRights : What::FieldRights;
    for (int round = 0; round < kRounds; ++round) {
        Need need = Need::Nothing;
        Rewritten rewritten;
        const WriteResult result = IniLib::ChangeKeysOf(
            m_x.genericName, [&](const IniDocument* doc) { return decideRights(plan, doc, need); },
            m_x.usersPath, &rewritten);
        if (need == Need::Ids) {
            if (!collectIds(plan)) {
                return false;
            }
            continue;
        }
        if (need == Need::Choices) {
            if (!askChoices(plan.outcome.unresolved)) {
                return false;
            }
            continue;
        }
        if (result.result == ReplaceResult::Replaced) {
            change.usersWritten(rewritten); // what landed, merged, as read and written under the lock
        }
        return landed(what, m_x.usersPath, result);
    }
    return landed(what, m_x.usersPath, {ReplaceResult::Busy, {}});
}

bool Editor::writeFieldFile(FilePlan& plan, SettingsChange& change) {
    for (int round = 0; round < kRounds; ++round) {
        Need need = Need::Nothing;
        changelog::Bytes seen, written;
        const WriteResult result = currentFieldFile.isEmpty()
                                       ? WriteResult{ReplaceResult::FolderMissing, {}}
                                       : rewriteFile(
                                             currentFieldFile,
                                             [&](const QByteArray* current) {
                                                 seen = current ? changelog::Bytes(*current) : std::nullopt;
                                                 written = decideFile(plan, current, need);
                                                 return written;
                                             },
                                             FieldSettingsFile::kMaxFileBytes);
        if (need == Need::Choices) {
            if (!askChoices(plan.outcome.unresolved)) {
                return false;
            }
            continue;
        }
        if (result.result == ReplaceResult::Replaced) {
            change.fileWritten(seen, written);
        }
        return landed(What::FieldSettings, currentFieldFile, result);
    }
    return landed(What::FieldSettings, currentFieldFile, {ReplaceResult::Busy, {}});
}

// Before a Save writes either file: the conflicts of both, as the files stand, asked at once, so
// that going back leaves both as they are.
bool Editor::settleBeforeSave(FilePlan* file, RightsPlan* rights) {
    for (int round = 0; round < kRounds; ++round) {
        std::vector<merge::Conflict> conflicts;
        Need need = Need::Nothing;
        if (file) {
            const FileContent content = readFile(currentFieldFile, FieldSettingsFile::kMaxFileBytes);
            if (content.status == FileContent::Ok || content.status == FileContent::Missing) {
                decideFile(*file, content.status == FileContent::Ok ? &content.bytes : nullptr, need);
                if (need == Need::Choices) {
                    conflicts = file->outcome.unresolved;
                }
            }
        }
        if (rights) {
            const IniLib::Loaded loaded = IniLib::Load(m_x.usersPath);
            if (loaded.doc || loaded.status == FileContent::Missing) {
                decideRights(*rights, loaded.doc.get(), need);
                if (need == Need::Ids) {
                    if (!collectIds(*rights)) {
                        return false;
                    }
                    continue;
                }
                if (need == Need::Choices) {
                    conflicts.insert(conflicts.end(), rights->outcome.unresolved.begin(),
                                     rights->outcome.unresolved.end());
                }
            }
        }
        if (conflicts.empty()) {
            return true;
        }
        if (!askChoices(conflicts)) {
            return false;
        }
    }
    return true; // the writes decide again under the lock, and ask there if they must
}

QStringList Editor::fromElsewhere(const FilePlan* file, const RightsPlan* rights) {
    QStringList from;
    if (file && file->merged) {
        from << file->outcome.fromElsewhere;
    }
    if (rights && rights->merged) {
        from << rights->outcome.fromElsewhere;
    }
    return from;
}

QString Editor::elsewhereText(const QStringList& from) const {
    return from.isEmpty() ? QString()
                          : QStringLiteral("Kept from another administrator's changes: ") +
                                from.join(QStringLiteral(", ")) + QLatin1Char('.');
}

// After a Save: the window shows what the files now hold, and that is the base of the next one.
void Editor::showSaved(const FilePlan* file, const RightsPlan* rights) {
    const bool wasLoading = loading;
    loading = true; // what follows is no edit
    if (file) {
        if (file->merged) {
            const merge::FieldFile& v = file->outcome.values;
            if (v.listText != c.rtfData->toPlainText()) {
                c.rtfData->setPlainText(v.listText);
            }
            setCheckState(*c.chkOnlyFromDropdown, v.onlyFromDropdown);
            setCheckState(*c.chkEdit, v.allowEditing);
            m_fileBase = {file->outcome.write ? std::optional(FieldSettingsFile::content(
                                                    v.onlyFromDropdown, v.allowEditing, v.listText))
                                              : file->theirs,
                          v};
        } else {
            m_fileBase = {file->bytes, file->mine};
        }
    }
    if (rights) {
        if (rights->merged) {
            const merge::FieldRightsMerge& m = rights->outcome;
            RightsLoading = true;
            c.optUsers[m.own ? 0 : 1]->setChecked(false);
            c.optUsers[m.own ? 1 : 0]->setChecked(true);
            if (m.own) {
                for (int i = 0; i < c.lvwSpecialUsers->topLevelItemCount() && std::size_t(i) < m.codes.size();
                     ++i) {
                    QTreeWidgetItem* item = c.lvwSpecialUsers->topLevelItem(i);
                    item->setData(0, kListTagRole, m.codes[std::size_t(i)]);
                    item->setText(1, rights::rightName(rights::Right(m.codes[std::size_t(i)])));
                }
            } else {
                Copy_Global_Rights();
            }
            RightsLoading = false;
            m_fieldBase.values = m.write == merge::Write::Lists
                                     ? merge::ScopeValues{m.lists.full, m.lists.initialize}
                                 : m.write == merge::Write::Remove ? merge::ScopeValues{}
                                                                   : rights->theirs;
        } else {
            m_fieldBase.values = rights->own
                                     ? merge::ScopeValues{rights->lists.full, rights->lists.initialize}
                                     : merge::ScopeValues{};
        }
        m_fieldBase.codes = codesOf(*c.lvwSpecialUsers);
    }
    loading = wasLoading;
    c.lblStatus->setText(elsewhereText(fromElsewhere(file, rights)));
}

} // namespace qm::editor
