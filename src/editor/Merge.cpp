#include "editor/Merge.h"

#include "platform/VbRuntime.h"
#include "settings/IniLib.h"

#include <algorithm>

namespace qm::merge {

namespace {

const QChar kSep(0x1f);

QString keyOf(const QString& scope, const QString& what, const QString& theirs, const QString& mine) {
    return scope + kSep + what + kSep + theirs + kSep + mine;
}

// The lists as a read gives them: cut to what a read returns, one blank appended.
rights::ScopeLists asRead(const ScopeValues& v) {
    const QString blank = QStringLiteral(" ");
    return {v.full.left(IniLib::kMaxValueLength) + blank, v.initialize.left(IniLib::kMaxValueLength) + blank};
}

// What is left of a list once every ID of `ids` is taken out of it: the IDs of users this window
// does not list (added to ACT! since it loaded, or gone from it), trimmed.
QString unknownIds(QString value, const QStringList& ids) {
    std::vector<QString> byLength(ids.begin(), ids.end());
    std::sort(byLength.begin(), byLength.end(),
              [](const QString& a, const QString& b) { return a.size() > b.size(); });
    for (const QString& id : byLength) {
        if (!id.isEmpty()) {
            value.remove(id, Qt::CaseSensitive);
        }
    }
    return vb::Trim(value).toString();
}

// The IDs of unknown users that the file gained since the load, to be kept: a right given to a
// user this window does not list is not this window's to take away. Those that were there at the
// load already leave the lists at this write, as they always did.
QString keptUnknown(const QString& base, const QString& theirs, const QStringList& ids) {
    const QString now = unknownIds(theirs, ids);
    return now == unknownIds(base, ids) ? QString() : now;
}

rights::IdLists listsOf(const UserRights& mine, const std::vector<int>& codes) {
    std::vector<std::pair<QString, int>> pairs;
    pairs.reserve(codes.size());
    for (std::size_t i = 0; i < codes.size(); ++i) {
        pairs.emplace_back(mine.ids.at(qsizetype(i)), codes[i]);
    }
    return AuthorizedUsers::buildIdLists(pairs);
}

QString rightText(int code) {
    return rights::rightName(rights::Right(code));
}

// The file's rights for every user of `mine`.
std::vector<int> rightsIn(const UserRights& mine, const ScopeValues& values) {
    const rights::ScopeLists lists = asRead(values);
    std::vector<int> codes;
    codes.reserve(std::size_t(mine.ids.size()));
    for (const QString& id : mine.ids) {
        codes.push_back(int(rights::rightOf(lists, id)));
    }
    return codes;
}

bool ownIn(const ScopeValues& values) {
    return AuthorizedUsers::hasOwnSettings(asRead(values));
}

const QString kOwnText = QStringLiteral("Use Settings below");
const QString kGlobalText = QStringLiteral("Use Global Settings");

} // namespace

RightsMerge mergeRights(const QString& scope, const UserRights& mine, const std::vector<int>& baseCodes,
                        const ScopeValues& base, const ScopeValues& theirs, const Choices& choices,
                        bool switchedHere) {
    RightsMerge m;
    m.codes = mine.codes;
    m.changedHere = switchedHere || mine.codes != baseCodes;
    if (theirs == base) {
        m.lists = listsOf(mine, m.codes); // as the window always wrote it
        return m;
    }
    const std::vector<int> now = rightsIn(mine, theirs);
    if (!m.changedHere) {
        m.write = Write::Nothing; // nothing of this window's to store
    }
    for (std::size_t i = 0; i < mine.codes.size(); ++i) {
        const int b = baseCodes[i];
        const int me = mine.codes[i];
        const int them = now[i];
        if (me == b) {
            m.codes[i] = them;
        } else if (them != b && them != me) {
            const QString id = mine.ids.at(qsizetype(i));
            const QString key = keyOf(scope, id, rightText(them), rightText(me));
            const auto choice = choices.constFind(key);
            if (choice == choices.cend()) {
                m.unresolved.push_back({key, mine.names.at(qsizetype(i)), rightText(them), rightText(me)});
            } else if (!*choice) {
                m.codes[i] = them;
            }
        }
        if (m.codes[i] != me) {
            m.fromElsewhere << mine.names.at(qsizetype(i)) + QStringLiteral(" (") + rightText(m.codes[i]) +
                                   QLatin1Char(')');
        }
    }
    if (m.write == Write::Nothing) {
        return m;
    }
    m.lists = listsOf(mine, m.codes);
    const QString keptFull = keptUnknown(base.full, theirs.full, mine.ids);
    const QString keptInitialize = keptUnknown(base.initialize, theirs.initialize, mine.ids);
    m.lists.full += keptFull;
    m.lists.initialize += keptInitialize;
    if (!keptFull.isEmpty() || !keptInitialize.isEmpty()) {
        m.fromElsewhere << QStringLiteral("rights of users not in this list");
    }
    return m;
}

FieldRightsMerge mergeFieldRights(const QString& fieldId, const UserRights& mine, bool mineOwn,
                                  const std::vector<int>& baseCodes, const ScopeValues& base,
                                  const ScopeValues& theirs, const Choices& choices) {
    FieldRightsMerge m;
    const bool baseOwn = ownIn(base);
    const bool theirsOwn = ownIn(theirs);
    m.codes = mine.codes;
    m.own = mineOwn;
    if (!mineOwn && (!theirsOwn || theirs == base)) {
        m.write = Write::Remove; // follows the global settings, as the window always wrote it
        m.changedHere = baseOwn;
        return m;
    }
    if (mineOwn && (theirs == base || !theirsOwn)) {
        // The file unchanged, or following the global settings while the window has rights of its
        // own: when the file has followed them since the load, the window's rights are written.
        if (theirs == base || !baseOwn) {
            static_cast<RightsMerge&>(m) = mergeRights(fieldId, mine, baseCodes, base, base, choices);
            m.changedHere = true;
            return m;
        }
    } else if (mineOwn && theirsOwn) {
        // Rights of their own on both sides: merged user by user. A field that followed the global
        // settings at the load had the global rights the window showed as its base.
        static_cast<RightsMerge&>(m) =
            mergeRights(fieldId, mine, baseCodes, base, theirs, choices, /*switchedHere=*/!baseOwn);
        m.own = true;
        return m;
    }
    // The switch differs between here and the file, and the file changed since the load.
    m.changedHere = mineOwn != baseOwn || (mineOwn && mine.codes != baseCodes);
    bool keepMine = false;
    if (m.changedHere) { // changed on both sides
        const QString theirsText = theirsOwn ? kOwnText : kGlobalText;
        const QString mineText = mineOwn ? kOwnText : kGlobalText;
        const QString key = keyOf(fieldId, QStringLiteral("switch"), theirsText, mineText);
        const auto choice = choices.constFind(key);
        if (choice == choices.cend()) {
            m.unresolved.push_back({key, QStringLiteral("Rights of the field"), theirsText, mineText});
            m.write = mineOwn ? Write::Lists : Write::Remove;
            m.lists = listsOf(mine, m.codes);
            return m;
        }
        keepMine = *choice;
    }
    if (keepMine) {
        m.write = mineOwn ? Write::Lists : Write::Remove;
        m.lists = listsOf(mine, m.codes);
        return m;
    }
    m.own = theirsOwn;
    m.write = Write::Nothing;
    m.codes = theirsOwn ? rightsIn(mine, theirs) : mine.codes;
    m.fromElsewhere << (theirsOwn ? kOwnText : kGlobalText);
    return m;
}

QString entriesOf(const QString& listText) {
    QStringList entries;
    for (const QStringView piece : QStringView(listText).split(QLatin1Char('\n'))) {
        const QString entry = vb::Trim(piece).toString();
        if (!entry.isEmpty()) {
            entries << entry;
        }
    }
    return entries.join(QLatin1Char('\n'));
}

FieldFileMerge mergeFieldFile(const QString& fieldId, const FieldFile& base, const FieldFile& mine,
                              const FieldFile& theirs, const Choices& choices) {
    FieldFileMerge m;
    m.values = mine;
    bool changedHere = false;
    // One part: true when the merge takes the file's value.
    const auto part = [&](const QString& what, const QString& b, const QString& me, const QString& them,
                          const QString& themShown, const QString& meShown) {
        if (me == b) {
            return true;
        }
        changedHere = true;
        if (them == b || them == me) {
            return false;
        }
        const QString key = keyOf(fieldId, what, them, me);
        const auto choice = choices.constFind(key);
        if (choice == choices.cend()) {
            m.unresolved.push_back({key, what, themShown, meShown});
            return false;
        }
        return !*choice;
    };
    const auto checked = [](int state) {
        return state == 1   ? QStringLiteral("checked")
               : state == 2 ? QStringLiteral("greyed")
                            : QStringLiteral("unchecked");
    };
    const auto flag = [&](const QString& what, int FieldFile::*member) {
        const QString b = checked(base.*member), me = checked(mine.*member), them = checked(theirs.*member);
        if (part(what, b, me, them, them, me)) {
            m.values.*member = theirs.*member;
            if (them != me) {
                m.fromElsewhere << what + QStringLiteral(" (") + them + QLatin1Char(')');
            }
        }
    };
    flag(QStringLiteral("Only from Drop-down"), &FieldFile::onlyFromDropdown);
    flag(QStringLiteral("Allow editing"), &FieldFile::allowEditing);
    const QString b = entriesOf(base.listText), me = entriesOf(mine.listText),
                  them = entriesOf(theirs.listText);
    const auto shown = [](const QString& entries) {
        return entries.isEmpty() ? QStringLiteral("(empty)")
                                 : QString(entries).replace(QLatin1Char('\n'), QStringLiteral(", "));
    };
    const QString list = QStringLiteral("Drop-down list");
    if (part(list, b, me, them, shown(them), shown(me))) {
        m.values.listText = theirs.listText;
        if (them != me) {
            m.fromElsewhere << list;
        }
    }
    m.write = changedHere;
    return m;
}

} // namespace qm::merge
