#pragma once

// The change log of the settings: who changed which right, when, kept beside the authorized-users
// file in the folder "<users file name>.log" ("Users.dat.log"), one file per writer in it:
// "<login>@<machine>.log". Each file holds records (ChangeRecord.h), one per line, in the order
// they were written; the log is all the files together, in time order.
//
// Why a folder of files, one per writer, rather than one shared file: the settings folder is
// usually shared, often on a network share. A shared file would need every append to be atomic
// against every other administrator's, which O_APPEND is not over NFS and which file locks give
// only as far as the share honours them (their meaning varies between NFS, SMB and the local
// disk). A file that only one writer ever appends to needs neither: one login runs one copy of
// the tool per machine, so each file has one writer, and another administrator's record can never
// land inside one of ours. Appends are still made whole records at a time and under a lock of the
// file, for the case that two programs of one login append at once on one machine (where the
// local disk makes both reliable). Each file belongs to the login that writes it, so a shared
// folder needs no group-writable log files; the folder itself is made writable for the group
// when the settings folder is. Backing up the log means copying the folder.
//
// A record that cannot be appended never stops the change it describes: the caller learns the
// result and says so. Reading never fails as a whole: a line that does not read back whole is
// counted and skipped, and a file that cannot be read is named with the reason. The log lies in a
// folder other logins can write, so it is read with the care of the settings themselves: only
// regular files, a link only when this login or root made it, never a FIFO, no file larger than
// kMaxLogFileBytes.

#include "settings/ChangeRecord.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace qm::changelog {

// The folder of the log that belongs to an authorized-users file: its path with ".log" appended.
// Empty for an empty path.
QString logFolder(const QString& usersPath);

// Who appends: the operating-system login and the machine.
struct Writer {
    QString login;
    QString machine;
};
// This process's login and machine.
Writer thisWriter();
// The writer's file name in the folder: "<login>@<machine>.log", every character but letters,
// digits, ".", "-" and "_" written as "_" ("DOMAIN\ann" -> "DOMAIN_ann").
QString logFileName(const Writer& writer);

enum class AppendResult {
    Appended,
    NoFolder, // the authorized-users file's folder does not exist (or no users file is set)
    ReadOnly, // the log folder or file may not be written
    NotOurs,  // the writer's file is a link, a FIFO or another kind of file, or another login's
    Busy,     // another program of this login held the file longer than the wait allows
    Failed,   // the write failed (a full disk, an I/O error)
};
struct AppendOutcome {
    AppendResult result = AppendResult::Failed;
    QString path;   // the file appended to (or meant)
    QString detail; // the system's text of the error
    bool ok() const { return result == AppendResult::Appended; }
};

// Appends the record to the writer's file of the log of `usersPath`, making the folder and the
// file as needed: the whole record or nothing.
AppendOutcome append(const QString& usersPath, const Record& record, const Writer& writer = thisWriter());

// "The change was saved, but it could not be recorded in its log: /srv/Users.dat.log/ann@pc1.log
// is another login's file."
QString appendProblemText(const AppendOutcome& outcome);

// Files larger than this are not read (a log file grows by about half a kilobyte per change: this
// is hundreds of thousands of changes of one writer).
inline constexpr qint64 kMaxLogFileBytes = 256LL << 20;
// At most this many files of the folder are read.
inline constexpr int kMaxLogFiles = 4096;

// A line of the log that reads back whole (checkLine), in the buffers of its LogRead.
using LogLine = CheckedLine;

struct LogRead {
    std::vector<QByteArray> buffers; // the files' bytes, which the lines point into
    std::vector<LogLine> lines;      // in time order, oldest first; equal times in the order written
    qint64 bytes = 0;                // the bytes read
    int files = 0;                   // the files read
    qint64 skipped = 0;              // lines that did not read back whole
    QStringList problems;            // each file or folder not read, and why
};

// The log of `usersPath`: every line of its files that reads back whole, found without decoding
// the records (decode() gives each). A missing folder is an empty log.
LogRead readLog(const QString& usersPath);

// The lines of `bytes` (a log file's content) that read back whole, appended to `out`; the others
// counted in `skipped`.
void readLines(QByteArrayView bytes, std::vector<LogLine>& out, qint64& skipped);
// The same, each line decoded.
void readRecords(QByteArrayView bytes, std::vector<Record>& out, qint64& skipped);

} // namespace qm::changelog
