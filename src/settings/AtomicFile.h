#pragma once

// Reading and changing a settings file so that a reader never sees it half-written, no two
// writers lose each other's change, and what the file is (its links, its owner, group and mode)
// stays as it was.
//
// Writers take turns through kernel locks that end with the process holding them, however it
// ends: the lock of the file's folder (which also covers a file that does not exist yet) and the
// lock of the file itself (which covers other names of the same file, and writers on other
// machines of a shared folder). A writer waits for them fairly (see FileLocks.h), and at most
// lockWaitMs: one that cannot have both by then changes nothing and says so (Busy), as a
// read-only file does. It never writes without them, so a writer that stalls while it holds them
// cannot lose anyone's change either. Each writer reads the file under the locks and derives the
// new content from what it read. While a reader or writer waits, the hook of LockWait.h hears of
// it, and may give the wait up (Cancelled).
//
// The new content normally goes into a short-named file beside the old one, is flushed to the
// disk and renamed over it, and the folder is flushed: a crash or a power cut leaves the old file
// or the new one. Where that would change what the file is, the content is written in place
// instead: when the file has other hard links (a new file would leave them behind), when the
// folder may not be written (no file can be made beside it) or when the new file could not be
// given the old one's owner and group (another login's file). Written in place safely means:
// - the whole new content is ready before the first byte is written, and what goes past the old
//   end of the file is written first, so a full disk fails before anything is overwritten;
// - readers of this program wait (a bounded time) while the content is being written, so they
//   see the old content or the new, never a mix;
// - the content is flushed to the disk before the locks are released.
// What it cannot promise is the old or the new content after a crash or a power cut during those
// few microseconds; the profile functions of Windows write every file that way.
//
// The settings folder is often one that other logins may write (a group folder, a share), so a
// name in it may have been made to lead elsewhere. Reads and writes follow a symbolic link only
// when this login or root made it, at every hop (on Windows: a reparse point), open the final
// name without following it, and refuse a file with several hard links outside this login's own
// folder (Refused, as a read-only file fails). A name that is no regular file (a FIFO, a device)
// is refused at once, never opened to wait on it, and a file larger than its kind of settings
// file can be is refused from its size, before a byte of it is read (TooLarge).
//
// A new file in a folder that its group may write is made readable and writable by that group,
// and keeps the folder's group, so that administrators who share the folder can all change what
// any of them created.

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace qm {

class IniDocument;

enum class ReplaceResult {
    Replaced,      // the new content is in the file, flushed to the disk
    Unchanged,     // the change asked for nothing
    FolderMissing, // the file's folder does not exist
    ReadOnly,      // the file may not be written, or (a new file) its folder may not be
    NotAFile,      // the path names a folder or another kind of file
    Busy,          // another writer kept the file longer than the wait allows
    Cancelled,     // the wait for another writer was given up (LockWait.h)
    DiskFull,      // no room for the new content (a full disk, a quota, a size limit)
    Refused,       // a link made by another login, or another name of the file in a shared folder
    TooLarge,      // the file is larger than a settings file of its kind can be
    Failed,        // reading or writing failed otherwise (an I/O error, ...)
};

// What became of a change of a file. On any result but Replaced the file is as it was.
struct WriteResult {
    ReplaceResult result = ReplaceResult::Failed;
    // Refused: what was refused ("/srv/Settings/Users.dat is a link made by mallory"); TooLarge:
    // the file's size in bytes; Failed: the system's text of the error.
    QString detail;
    bool landed() const { return result == ReplaceResult::Replaced || result == ReplaceResult::Unchanged; }
};

// Device, inode, size, modification and change time (ns), and 1; all 0 for a missing file. Any
// write or replacement of the file changes it (see IniFileCache.h for the one exception).
using FileIdentity = std::array<qint64, 6>;
// The identity of the file `path` names, links followed: a single stat, nothing opened.
FileIdentity identityOf(const QString& path);

struct FileContent {
    enum Status {
        Ok,
        Missing,   // no such file
        Denied,    // this login may not read it
        IsFolder,  // a folder
        NotAFile,  // a FIFO, a device, a socket: never opened to be read
        Busy,      // another program kept it locked longer than a reader waits
        Cancelled, // the wait for another program was given up (LockWait.h)
        Refused,   // a link made by another login, or another name of the file in a shared folder
        TooLarge,  // larger than the reader's limit
        IoError,   // reading failed
    } status = Missing;
    QByteArray bytes;
    FileIdentity identity{}; // of the content read; all 0 when the file changed while being read
    QString detail;          // Refused: what was refused; IoError: the system's text of the error
    qint64 size = 0;         // TooLarge: the file's size
};
// The whole file, read when no writer of this program is writing it in place (after a bounded,
// fair wait), when it is at most `maxBytes` long.
FileContent readFile(const QString& path, qint64 maxBytes);

// A change of a file: from its current content (nullptr when it does not exist) to the new
// content, or nullopt to leave it as it is. It may be called more than once: once more each time
// another writer got in first.
using ContentEdit = std::function<std::optional<QByteArray>(const QByteArray* current)>;

// What a change that landed replaced: the file as the writer read it under the locks (nullopt: no
// file) and what it wrote there.
struct Rewritten {
    std::optional<QByteArray> before;
    QByteArray after;
    // The same as the INI writer parsed them, when it did (a reader of a few keys need not parse
    // the whole file again).
    std::shared_ptr<const IniDocument> beforeParsed;
    std::shared_ptr<const IniDocument> afterParsed;
};

// Changes the file at the end of the link chain of `path`, under the writers' locks, as the top of
// this file says; a file longer than `maxBytes` is not read and not changed. On any result but
// Replaced the file is as it was and nothing is left beside it.
WriteResult rewriteFile(const QString& path, const ContentEdit& edit, qint64 maxBytes);

// Whether a removal goes ahead, from the file's content as read under the writers' locks.
using RemoveIf = std::function<bool(const QByteArray& current)>;
// Removes the file at the end of the link chain of `path` under the writers' locks, as rewriteFile
// changes it, when `removeIf` says so: Replaced when it was removed, Unchanged when it was kept or
// there was none.
WriteResult removeFile(const QString& path, const RemoveIf& removeIf, qint64 maxBytes);

// Knobs for tests and benchmarks.
struct FileWriteTuning {
    // The longest a writer waits for another writer's locks. Those are held for milliseconds, a
    // little longer on a busy machine or a slow share: only a writer that has really stopped
    // holds them this long.
    int lockWaitMs = 10'000;
    // The longest a reader waits for a write in place (which takes microseconds).
    int readWaitMs = 2000;
    bool sync = true; // flush new files and their folder to the disk
};
FileWriteTuning& fileWriteTuning();

} // namespace qm
