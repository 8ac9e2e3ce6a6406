#pragma once

// One stored ID list read apart: the users the administrator put in it (the list split into the
// unique IDs of the database's users, no separator between them) against the users a read of the
// list gives (its first 126 characters, searched for each user's ID).

#include "editor/Rights.h"

#include <QString>

#include <vector>

namespace qm::report {

struct ListPiece {
    qsizetype from = 0;
    qsizetype to = 0;
    QList<int> users; // the users with this ID; empty: text that is no user's ID
};

struct ListReading {
    // The list split into pieces, covering as much of it as possible with users' IDs.
    std::vector<ListPiece> pieces;
    // Users the list names (one of its pieces is their ID), in list order.
    std::vector<int> named;
    // Users named whose ID lies past what a read returns.
    std::vector<int> cut;
    // Users a read finds who are not named, each with the first place where their ID was found.
    struct Found {
        int user;
        qsizetype at;
    };
    std::vector<Found> unnamed;
};

// At most this many characters of a list are split into IDs (a list of some 50,000 users): a
// longer one, which no save of the tool writes, is split only this far.
inline constexpr qsizetype kMaxSplit = qsizetype(1) << 20;

// `value`: the list as stored, whole. Users with an empty ID are left out (the ID check reports
// them).
ListReading readList(const rights::UserIndex& users, const QString& value);

// The piece holding position `at`, or nullptr past the end.
const ListPiece* pieceAt(const ListReading& reading, qsizetype at);

} // namespace qm::report
