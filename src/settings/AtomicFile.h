#pragma once

// Replacing a settings file so that it is never seen half-written: the new content goes into a
// file beside it, which is then renamed over it. Writers of one file take turns through a lock
// file beside it, so each can re-read the file, change one thing and put it back without losing
// what another writer put there a moment before.

#include <QByteArrayView>
#include <QLockFile>
#include <QString>

#include <memory>

namespace qm {

enum class ReplaceResult {
    Replaced,
    FolderMissing, // the file's folder does not exist
    ReadOnly,      // the file, or its folder, may not be written
    NotAFile,      // the path names a folder
    Failed,        // writing or renaming failed (disk full, ...)
};

// The file a write of `path` changes: the target of a symbolic link, so that the link stays.
QString writeTarget(const QString& path);

// An existing file that may not be written (the read-only attribute of Windows).
bool isReadOnlyFile(const QString& path);

// Whether `target` can be replaced: its folder exists and it is missing or a writable file.
ReplaceResult checkReplaceable(const QString& target);

// The lock of one settings file, held from construction to destruction: "<file>.lock" beside it.
// A lock left by a process that died is taken over at once when that process ran on this
// machine, and after kStaleMs otherwise; one left half-made (no owner in it) after kUnfinishedMs. After
// kWaitMs the writer goes ahead without the lock rather than dropping the administrator's change.
class SettingsFileLock {
public:
    static constexpr int kStaleMs = 5000;
    static constexpr int kWaitMs = 8000;
    // A lock file that names no owner this long after it was made was left half-made.
    static constexpr int kUnfinishedMs = 250;

    explicit SettingsFileLock(const QString& target, int waitMs = kWaitMs);
    ~SettingsFileLock();
    SettingsFileLock(const SettingsFileLock&) = delete;
    SettingsFileLock& operator=(const SettingsFileLock&) = delete;

    bool isLocked() const { return m_lock && m_lock->isLocked(); }
    // The lock file could not be created at all (the folder may not be written to).
    bool isDenied() const { return m_denied; }

private:
    std::unique_ptr<QLockFile> m_lock;
    bool m_denied = false;
};

// Writes `bytes` beside `target` and renames the result over it, keeping the old file's
// permissions. `locked` says the caller holds the file's lock; without it the file beside gets a
// name of its own. On failure the target is untouched and nothing is left beside it.
ReplaceResult replaceContent(const QString& target, QByteArrayView bytes, bool locked);

} // namespace qm
