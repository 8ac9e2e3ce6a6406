#pragma once

// The POSIX side of AtomicFile.h, its writing: a file made beside the old one and renamed over it,
// a write in place, a new file published without replacing one that appeared meanwhile, and the
// files beside that killed writers left (POSIX only, for AtomicFile.cpp).

#include "settings/AtomicFile.h"
#include "settings/SafePath.h"

#include <QByteArray>
#include <QDeadlineTimer>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace qm::posix {

// What a failed call means for a change of a file.
WriteResult failure(int error);
WriteResult done(ReplaceResult result);

// Reads the file from its start, and stops once more than `limit` bytes are read.
bool readAll(int fd, qint64 sizeHint, qint64 limit, QByteArray& out);

// Gives `name` the content `bytes` through a file beside it. nullopt: that would change what the
// file is (another owner or group), so it is to be written in place.
std::optional<WriteResult> replaceBeside(int dir, const char* name, const struct stat& old,
                                         const QByteArray& bytes);

// Writes `bytes` over the content of `fd` (`oldSize` bytes long), under the in-place lock.
WriteResult writeInPlace(int fd, qint64 oldSize, const QByteArray& bytes, const QDeadlineTimer& deadline,
                         const QString& file);

// Publishes a new file under `name` without ever replacing one that appeared meanwhile. nullopt:
// one did; the caller starts again with it.
std::optional<WriteResult> createNew(int dir, const char* name, const QByteArray& bytes);

// Removes, once per process and folder, what killed writers left beside the files of `dir`.
void sweepOnce(int dir, const QByteArray& folder);

} // namespace qm::posix
