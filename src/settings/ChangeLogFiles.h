#pragma once

// The system's side of the change log (ChangeLog.h): the files of the log folder that may be
// read, the append of whole records to one file, and this process's login. ChangeLogPosix.cpp
// and ChangeLogWin.cpp are its two sides.

#include "settings/ChangeLog.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace qm::changelog::files {

// The paths of the "*.log" names of `folder`, in the order of the names (the reader of the settings
// files then judges what each is); a folder that cannot be listed is named in `problems`. A missing
// folder has none.
QStringList names(const QString& folder, QStringList& problems);

// Appends `bytes` (whole records) to `fileName` in `folder`, making the folder (beside the
// authorized-users file, which must exist) and the file when needed.
AppendOutcome append(const QString& folder, const QString& fileName, const QByteArray& bytes);

// This process's operating-system login.
QString login();

} // namespace qm::changelog::files
