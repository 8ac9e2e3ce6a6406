#pragma once

// The effective-rights report: every ACT! user against every protected field of the open database,
// each cell the right the user effectively holds on the field, and per field whether its rights
// are its own or the global ones, its "Allow editing" and "Only from Drop-down" flags and the
// number of its drop-down entries. Read from the same files through the same code as the editor
// (rights::RightsFile, FieldSettingsFile), without any widget, so that the window and the command
// line give the same report as the editor shows.
//
//     report::ActData act;   // readActData(): the protected fields and the users
//     const auto r = report::buildReport(act, {usersPath, listPath});
//     r->right(field, user); // Right::Full, Initialize or None

#include "act/FieldWalk.h"
#include "act/modAdmin.h"
#include "editor/Rights.h"

#include <QSet>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace qm::report {

using rights::Right;

// How far a long piece of work is: `done` of `total`. Returning false stops the work.
using Progress = std::function<bool(qint64 done, qint64 total)>;

struct User {
    QString name;
    QString uniqueId;
};

// What the report reads of ACT!: the open database's protected fields, in slot order, as the field
// chooser lists them, the other fields' IDs, and the users in ACT!'s order, as the rights lists
// hold them.
struct ActData {
    QString genericName;
    std::vector<modPopulateACTLists::FieldEntry> fields;
    QSet<std::int32_t> unprotected;
    std::vector<User> users;
};

// Reads ActData through the kept ACT! objects: the field chooser's walk and the users at positions
// 1 to Count with the unique ID of each, or `keptUsers` when given (the users the main window
// read at start-up: ACT! is not asked for them again). False when the walk reported an error (and
// ended) or `progress` stopped the reading; an error reading the users raises.
bool readActData(const ActObjects& objects, const QString& genericName, MessageBox& box, ActData& out,
                 const Progress& progress = {}, const std::vector<User>* keptUsers = nullptr);

// Where the settings files are: the authorized-users file and the per-field settings folder.
struct SettingsPaths {
    QString usersPath;
    QString listPath;
};

// One protected field of the report.
struct FieldRow {
    modPopulateACTLists::FieldEntry field;
    bool ownSettings = false; // the field's own rights, not the global ones
    int scope = 0;            // its rights: RightsReport::scopes[scope]
    // Its settings file as the editor reads it: a missing file gives both flags 0 and no entries.
    bool readable = true;
    std::optional<ReadProblem> fileProblem; // the file exists but could not be read at all
    QString readError;                      // "Error 13: 'Type mismatch'", or why it could not be read
    int onlyFromDropdown = 0;
    int allowEditing = 0;
    int entries = 0; // the drop-down entries a save would write
};

struct RightsReport {
    QString genericName;
    SettingsPaths paths;
    std::vector<User> users;
    std::vector<FieldRow> fields;
    // The rights of every user (codes of Right) per set of lists; scope 0 is the global one.
    std::vector<std::vector<std::uint8_t>> scopes;

    Right right(int field, int user) const {
        return Right(scopes[std::size_t(fields[std::size_t(field)].scope)][std::size_t(user)]);
    }
    qint64 cells() const { return qint64(fields.size()) * qint64(users.size()); }
};

// Builds the report from the files. nullopt when `progress` stopped it.
std::optional<RightsReport> buildReport(const ActData& act, const SettingsPaths& paths,
                                        const Progress& progress = {});

// The unique IDs of the users, in order.
QStringList uniqueIds(const std::vector<User>& users);

// "Yes", "No" or "Greyed" for a check box state; "?" when the file could not be read.
QString flagText(const FieldRow& row, int state);
// "Own" or "Global".
QString sourceText(const FieldRow& row);

} // namespace qm::report
