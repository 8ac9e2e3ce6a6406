#pragma once

// Restore of the state before a recorded change: the keys the change wrote in the authorized-users
// file and the field's settings file it wrote, brought back through the writes the editor makes
// (under the writers' locks, merged with what other administrators changed since, recorded).
//
// To the merge the restore is an edit like any other: the window "loaded" the state after the
// change (the base), the restore "sets" the state before it (mine), and the files hold what they
// hold now (theirs). When nobody changed the keys or the file since the change, they get back the
// exact bytes they held before it (a file the change made is removed again, under the writers'
// locks). When somebody did, what they changed is kept, per user and per setting as a Save keeps
// it, and what the restore and they changed differently is settled in the window of conflicts (or
// nothing is written).

#include "editor/SettingsChange.h"
#include "platform/Services.h"

#include <QString>
#include <QStringList>

#include <vector>

class QObject;

namespace qm::editor {

// The settings a restore writes to, and who makes it.
struct RestoreTarget {
    QString usersPath;
    QString database; // the generic name: the section of the users file
    QString listPath; // the folder of the field settings files
    std::vector<RosterUser> users;
    ActUserName actUser; // asked when the restore's record is appended
};

enum class RestoreResult {
    Restored, // written (or nothing to write: the settings already held the state before)
    Refused,  // not a change of this database's rights or field settings
    WentBack, // the administrator went back from the conflicts: nothing written
    Failed,   // a file could not be written (`detail` says which and why); the other may have been
};
struct RestoreOutcome {
    RestoreResult result = RestoreResult::Failed;
    QString detail;            // what could not be written, and why
    QStringList fromElsewhere; // what was kept of other administrators' changes since
    bool wrote = false;        // a settings file was changed
    changelog::AppendOutcome logged;
};

// Whether a record is of a kind restoreBefore takes.
bool restorable(const changelog::Record& record);

// Brings the keys and the settings file of `record` back to what they were before it; every other
// key stays. Conflicts are asked of `conflicts` (on `owner`). The restore is recorded as a change
// of its own.
RestoreOutcome restoreBefore(const changelog::Record& record, const RestoreTarget& target,
                             ConflictChooser& conflicts, QObject* owner);

} // namespace qm::editor
