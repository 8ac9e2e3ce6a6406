#pragma once

// One write of the settings as the change log records it: what the authorized-users file and the
// field's settings file held when the writer read them under the writers' lock, and what it wrote
// there. The record so describes the change as it landed, after any merge with another
// administrator's change, and never another administrator's change made before or after it: the
// writers hand over what they read and wrote (IniLib::ChangeKeysOf, rewriteFile), and nothing is
// read again outside the lock. Nothing here writes a byte of the settings: the record goes to the
// log only.
//
//     editor::SettingsChange change("Contacts", "28", "Phone");
//     Rewritten users;
//     if (IniLib::ChangeKeysOf("Contacts", decide, usersPath, &users).result == ReplaceResult::Replaced)
//         change.usersWritten(users);
//     editor::tellLogProblemOnce(box, change.append(usersPath, roster, actUserName));

#include "editor/Rights.h"
#include "platform/Services.h"
#include "settings/AtomicFile.h"
#include "settings/ChangeLog.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace qm::editor {

// A user as the records name them.
struct RosterUser {
    QString name;
    QString uniqueId;
};

// Who the ACT! user is, asked once for each record about to be appended, and only then: ACT!
// answers from another process, and its user may change while the tool runs. None, or an empty
// text: the record names no ACT! user.
using ActUserName = std::function<QString()>;

class SettingsChange {
public:
    // A change of the global rights of `section` (an empty `fieldId`), or of a field's rights and
    // settings file.
    SettingsChange(QString section, QString fieldId, QString fieldLabel);

    // A write of the authorized-users file that landed.
    void usersWritten(const Rewritten& rewritten);
    // A write of the field's settings file that landed (`after` nullopt: it was removed).
    void fileWritten(changelog::Bytes before, changelog::Bytes after);

    // The record of what the writes changed: the keys of the scope, the file, and every user whose
    // right the scope's keys give changed (a field without rights of its own follows the global
    // rights); nullopt when no byte of them changed.
    std::optional<changelog::Record> record(const std::vector<RosterUser>& users, const QString& actUser,
                                            changelog::Kind kind = changelog::Kind::Other,
                                            const QString& note = {}) const;
    // The record appended to the log beside the authorized-users file `usersPath`; Appended when
    // there was nothing to record (and `actUser` was not asked).
    changelog::AppendOutcome append(const QString& usersPath, const std::vector<RosterUser>& users,
                                    const ActUserName& actUser, changelog::Kind kind = changelog::Kind::Other,
                                    const QString& note = {}) const;

    // The keys of a scope a record names: "<scope>F", "<scope>I" and the bare scope, which a write
    // of the scope removes.
    static QStringList keysOf(const QString& scope);

private:
    QString m_section;
    QString m_fieldId;
    QString m_fieldLabel;
    std::optional<Rewritten> m_users;
    bool m_fileWritten = false;
    changelog::Bytes m_fileBefore;
    changelog::Bytes m_fileAfter;
};

// The settings locations of `database` changed (the paths of the authorized-users file and of the
// field settings' folder, before and after), recorded in the log of the new users file and, when
// it moved, of the old one too, so that each history shows where the settings went.
changelog::AppendOutcome recordLocations(const QString& database, const ActUserName& actUser,
                                         const QString& usersBefore, const QString& listBefore,
                                         const QString& usersAfter, const QString& listAfter);

// Says, once per run, why a record could not be appended; nothing when it was.
void tellLogProblemOnce(MessageBox& box, const changelog::AppendOutcome& outcome);
// For tests: the next problem is said again.
void forgetLogProblemTold();

} // namespace qm::editor
