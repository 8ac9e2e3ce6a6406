#pragma once

// Why a settings file could not be read, or why a change of one did not land, told as a clause
// that names the file, for the messages of the editor and the settings check:
// "/srv/Settings/Users.dat is read-only".

#include "settings/AtomicFile.h"

#include <QString>

namespace qm {

// A file that exists but could not be read.
struct ReadProblem {
    QString path;
    FileContent::Status status = FileContent::IoError;
    QString detail;
    qint64 size = 0;
};
QString problemText(const ReadProblem& problem);

// Why a change of `path` did not land (`result` is not landed()).
QString notWrittenText(const QString& path, const WriteResult& result);

} // namespace qm
