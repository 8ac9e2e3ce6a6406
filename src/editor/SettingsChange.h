#pragma once

// One write of the settings as the change log records it: what the keys concerned and the field's
// settings file held before the write, taken when a SettingsChange is made, and what they hold
// once the write has landed, read again by landed(). The record so describes the change as it
// landed (a part that failed is not in it, another administrator's key written meanwhile is),
// without the writers having to say what they did. Nothing here writes a byte of the settings:
// the record goes to the log only.
//
//     editor::SettingsChange change(file, "28", "Phone", fieldFile);
//     ... the field's file and rights are written ...
//     editor::tellLogProblemOnce(box, change.landed(users, actUser));
//
// Restore writes the keys and the file of a record back to what they were before it, through
// the writers' locks, and is itself recorded.

#include "editor/Rights.h"
#include "platform/Services.h"
#include "settings/ChangeLog.h"

#include <QString>

#include <optional>
#include <vector>

namespace qm::editor {

// A user as the records name them.
struct RosterUser {
    QString name;
    QString uniqueId;
};

class SettingsChange {
public:
    // A change of the global rights (an empty `fieldId`), or of a field's rights and, when
    // `fieldFile` is not empty, its settings file.
    SettingsChange(rights::RightsFile file, QString fieldId, QString fieldLabel, QString fieldFile = {});

    // The record of what changed between the making and now (the users' rights as the tool reads
    // them: a field without rights of its own follows the global rights); nullopt when no byte of
    // the keys or the file changed.
    std::optional<changelog::Record> landedRecord(const std::vector<RosterUser>& users,
                                                  const QString& actUser,
                                                  changelog::Kind kind = changelog::Kind::Other,
                                                  const QString& note = {}) const;
    // landedRecord appended to the log beside the authorized-users file. Appended when there was
    // nothing to record.
    changelog::AppendOutcome landed(const std::vector<RosterUser>& users, const QString& actUser,
                                    changelog::Kind kind = changelog::Kind::Other,
                                    const QString& note = {}) const;

    struct State {
        std::vector<changelog::Bytes> keys; // in the order of keys()
        changelog::Bytes file;
        rights::ScopeLists scope;
        rights::ScopeLists global;
    };

private:
    State read() const;
    QStringList keys() const;

    rights::RightsFile m_file;
    QString m_fieldId;
    QString m_fieldLabel;
    QString m_fieldFile;
    State m_before;
};

// The settings locations of `database` changed (the paths of the authorized-users file and of the
// field settings' folder, before and after), recorded in the log of the new users file and, when
// it moved, of the old one too, so that each history shows where the settings went.
changelog::AppendOutcome recordLocations(const QString& database, const QString& actUser,
                                         const QString& usersBefore, const QString& listBefore,
                                         const QString& usersAfter, const QString& listAfter);

// Says, once per run, why a record could not be appended; nothing when it was.
void tellLogProblemOnce(MessageBox& box, const changelog::AppendOutcome& outcome);
// For tests: the next problem is said again.
void forgetLogProblemTold();

enum class RestoreResult { Restored, Refused, Failed };
struct RestoreOutcome {
    RestoreResult result = RestoreResult::Failed;
    QString detail; // what could not be written, and why
    changelog::AppendOutcome logged;
};

// Brings the keys and the settings file of `record` (a global, field or restore record of
// `file`'s database) back to what they were before it: the keys in one write of the
// authorized-users file under its locks, the file in another; every other key and any change
// made since to other keys stays. The restore is recorded as a change of its own.
RestoreOutcome restoreBefore(const changelog::Record& record, const rights::RightsFile& file,
                             const QString& listPath, const std::vector<RosterUser>& users,
                             const QString& actUser);

} // namespace qm::editor
