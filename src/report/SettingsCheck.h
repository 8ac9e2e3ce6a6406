#pragma once

// The settings check: every hazard in the settings files that would silently give a user another
// right than the administrator gave, each with the user, field and key concerned and one line that
// says what happens. The ID lists have no separator and are read cut to 126 characters, and the
// INI reads skip what they do not expect without a word; this finds where that bites.

#include "report/RightsReport.h"

#include <QString>

#include <optional>
#include <vector>

namespace qm::report {

enum class HazardKind {
    IdInsideId,        // a unique ID inside another (or equal to it, or empty)
    IdInList,          // a user found in a list inside another's ID or across two IDs
    ListCut,           // a list longer than a read returns
    BothLists,         // a user in the Full and the Initialize list of one scope
    FieldGone,         // keys of a field that no longer exists
    FieldNotProtected, // keys of a field that is no longer protected
    UnknownId,         // an ID of no user of the database
    LeftoverKey,       // "Global" or a bare field ID, left by a save that did not finish
    UnreadableFile,    // a settings file that cannot be read
    RefusedName,       // a link made by another login, or a hard link in a shared folder
    ByteOrderMark,     // a file beginning with a UTF-8 byte-order mark
    Duplicate,         // a section or key that appears twice
    NotText,           // a settings file holding bytes that are not text
    NoSection,         // an authorized-users file without the database's section
    FolderMissing,     // a settings folder that does not exist
};

struct Hazard {
    HazardKind kind;
    QString user;  // "Ann Archer {USR-0001-5E2A}", or the ID text for an unknown ID
    QString field; // "Account Number (210)"
    QString key;   // "210F", "[Demo]", a file name
    QString explanation;
};

// A short name of the kind: "ID inside another ID", "List cut at 126", ...
QString kindText(HazardKind kind);

// "Ann Archer {USR-0001-5E2A}", "Account Number (210)" ("(237)" without a label).
QString userText(const User& user);
QString fieldText(const modPopulateACTLists::FieldEntry& field);

// Checks the users' IDs, the authorized-users file (the database's section) and the settings file
// of every protected field in `report`. `unprotected`: the IDs of the database's other fields.
// nullopt when `progress` stopped it.
std::optional<std::vector<Hazard>> checkSettings(const RightsReport& report,
                                                 const QSet<std::int32_t>& unprotected,
                                                 const Progress& progress = {});

} // namespace qm::report
