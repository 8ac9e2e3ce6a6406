#pragma once

// The Windows side of SafePath.h: names of settings files in a folder that other logins may
// write. A reparse point (a symbolic link, a junction) is followed only when this user, the
// Administrators or SYSTEM own it, at every hop of a chain and among the folders of the path; a
// file with more than one hard link is refused unless this user owns its folder. (Whether others
// may write the folder is not read from its access list: owning it is taken as having it.)

#include <QString>

#include <windows.h>

namespace qm::win {

struct SafePath {
    QString path;    // the final name, with "/" between its parts
    QString refused; // "<link> is a link made by <owner>", when such a reparse point was met
    DWORD error = 0; // the system's error for a folder of the path that could not be looked at
    bool ok() const { return error == 0 && refused.isEmpty(); }
};

// `path` resolved through the reparse points that may be followed. A missing final name is fine
// (a file to be made).
SafePath resolve(const QString& path);

// Why the file `path` (opened as `file`) is refused, or an empty text: it is a reparse point (made
// so since it was resolved), or has more than one hard link outside a folder this user owns.
QString refusedFile(const QString& path, HANDLE file);

} // namespace qm::win
