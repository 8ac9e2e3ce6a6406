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

// The "*.log" files of `folder` that may be read: regular files, or links that this login or root
// made to regular files, no larger than kMaxLogFileBytes, at most kMaxLogFiles of them, in the
// order of their names. What is passed over is named in `problems`. A missing folder has none.
QStringList readable(const QString& folder, QStringList& problems);

// Appends `bytes` (whole records) to `fileName` in `folder`, making the folder (beside the
// authorized-users file, which must exist) and the file when needed.
AppendOutcome append(const QString& folder, const QString& fileName, const QByteArray& bytes);

// This process's operating-system login.
QString login();

} // namespace qm::changelog::files
