#pragma once

// The rights of ACT! users over the protected fields of one database, without any widget: where
// they are kept, how a rights list is set from the authorized-users file and collected back into
// it, and the right a user holds on a field. The editor's two rights lists (Editor.h) and
// command-line tools (a report of effective rights, a check of the files) share this code, so a
// tool reads the files exactly as the editor shows them.
//
//     const rights::RightsFile file(usersPath, genericName);
//     const rights::EffectiveRight r = rights::effectiveRight(file, "28", "{USR-0002-C7D1}");
//     // r.right is Right::Full, Initialize or None; r.ownSettings says whether field 28 has
//     // rights of its own or follows the global settings.

#include "act/ActObjects.h"
#include "settings/AuthorizedUsers.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace qm::rights {

using AuthorizedUsers::IdLists;
using AuthorizedUsers::Right;
using AuthorizedUsers::ScopeLists;

// "Full", "Initialize" or "None".
QString rightName(Right right);

// The right that two ID lists of one scope give a user (see AuthorizedUsers::Get_User_Right).
Right rightOf(const ScopeLists& lists, const QString& uniqueId);

// The unique IDs of a database's users, in ACT!'s order, indexed so that the right two ID lists
// give every user is found in one pass over the lists instead of one search per user: a report
// of thousands of users and fields. Gives exactly what rightOf gives each user.
class UserIndex {
public:
    explicit UserIndex(QStringList uniqueIds);
    int size() const { return int(m_ids.size()); }
    const QString& uniqueId(int user) const { return m_ids.at(user); }

    // rightOf(lists, id) for every user, as the codes of Right.
    std::vector<std::uint8_t> rightsOf(const ScopeLists& lists) const;
    // The users whose unique ID occurs anywhere in `text` (plain, case-sensitive), each once, in
    // no particular order. An empty ID occurs in any text that is not empty.
    std::vector<int> usersIn(QStringView text) const;
    // The lengths of the unique IDs that are not empty, each once.
    const std::vector<qsizetype>& lengths() const { return m_lengths; }
    // The users whose unique ID is exactly `id`.
    QList<int> usersWithId(QStringView id) const { return m_byId.value(id); }

private:
    QStringList m_ids;
    std::vector<qsizetype> m_lengths; // the lengths of the IDs that are not empty
    QHash<QStringView, QList<int>> m_byId;
    QList<int> m_empty; // users whose ID is empty
    mutable std::vector<std::uint32_t> m_seen;
    mutable std::uint32_t m_stamp = 0;
};

// The authorized-users file of one ACT! database: the file (UsersPath) and its section (the
// database's generic name). Reads give what the INI functions give (the checked ones also say
// when the file exists but could not be read); a write or removal that cannot be done leaves the
// file as it was, and its result says why.
class RightsFile {
public:
    RightsFile(QString path, QString section);

    const QString& path() const { return m_path; }
    const QString& section() const { return m_section; }
    bool exists() const;

    // The two ID lists of a scope ("Global" or a field ID), each with one blank appended.
    ScopeLists read(const QString& scope) const;

    // A field's rights as the editor loads them: the field's own lists, and whether it has any.
    // Without lists of its own the field follows the global settings.
    struct FieldScope {
        ScopeLists lists;
        bool ownSettings = false;
    };
    FieldScope readField(const QString& fieldId) const;
    // The same reads, with the problem of a file that exists but could not be read.
    AuthorizedUsers::ScopeRead readChecked(const QString& scope) const;
    struct FieldRead {
        FieldScope field;
        std::optional<ReadProblem> problem;
        AuthorizedUsers::ScopeValues values; // the two keys' values whole
    };
    FieldRead readFieldChecked(const QString& fieldId) const;

    // Writes the Full and Initialize lists of a scope (an empty list removes its key) and then
    // removes `oldKey` ("Global" after the global settings, the bare field ID after a field's),
    // all in one write (AuthorizedUsers::writeScope).
    WriteResult write(const QString& scope, const IdLists& lists, const QString& oldKey) const;
    // Removes a field's own rights: the field follows the global settings again.
    WriteResult removeField(const QString& fieldId) const;

private:
    QString m_path;
    QString m_section;
};

// The right a user holds on a protected field, read from the file: the field's own settings when
// it has any, otherwise the global settings.
struct EffectiveRight {
    Right right = Right::None;
    bool ownSettings = false;
};
EffectiveRight effectiveRight(const RightsFile& file, const QString& fieldId, const QString& uniqueId);

// A rights list as the load and save see it: one item per ACT! user, in ACT!'s order, each with
// its user's unique ID (read from ACT! once, when the list was filled), the text of its "Rights"
// column and its right code.
class RightsList {
public:
    virtual ~RightsList() = default;
    // "lvwUsers" or "lvwSpecialUsers": the load and save tell the lists apart by name.
    virtual QString name() const = 0;
    virtual int count() const = 0;
    // The unique ID kept with the item. An item that was never given one raises "Invalid
    // procedure call or argument" (5): an empty ID would read as holding every right.
    virtual QString uniqueId(int item) const = 0;
    virtual QString rightsText(int item) const = 0;
    // The item's right code; an item that was never given one raises "Type mismatch" (13).
    virtual int code(int item) const = 0;
    virtual void setRightsText(int item, const QString& text) = 0;
    virtual void setCode(int item, int code) = 0;
};

// The unique ID of an item's user: the key without its "U", asked of ACT!'s users collection.
// Asked once per user, when a rights list is filled; the item keeps it (RightsList::uniqueId).
QString uniqueIdOf(act::ActUsers& users, const QString& key);

// Gives every item the right that `lists` give its user: the code, then the "Rights" text.
void setRights(RightsList& list, const ScopeLists& lists);

// Copies the "Rights" text and code of every item of `from` to the item at the same position of
// `to`; both hold the same users in the same order. Raises "Subscript out of range" (9) when `to`
// is shorter.
void copyRights(const RightsList& from, RightsList& to);

// Every item's (unique ID, right code), in the list's order. Every code and unique ID is read
// before anything is returned: a code outside 0 to 2 raises "Subscript out of range" (9).
std::vector<std::pair<QString, int>> collectUserRights(const RightsList& list);
// The ID lists of the three rights, in the list's order, as collectUserRights reads them.
IdLists collectIdLists(const RightsList& list);

// The items (positions in `userRights`) whose right the written `lists` would not give back: their
// ID lies past the 126 characters a read of their list returns.
std::vector<int> cutOnRead(const std::vector<std::pair<QString, int>>& userRights, const IdLists& lists);

} // namespace qm::rights
