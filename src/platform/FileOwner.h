#pragma once

// Who made a file, for the names the tool writes or trusts in folders that other logins may write
// too (a shared settings folder, the temporary folder): a name that this login or root made is
// the tool's own; one that another login made is not, and a link of theirs is never followed.
// On Windows root is the administrators' group and the system.

#include <QString>

#include <optional>

#ifndef Q_OS_WIN
#include <sys/types.h>
#endif

namespace qm {

// The login that made `path` itself (a link's own maker, not its target's) when that is neither
// this login nor root: its name, or its number when it has none. nullopt for a name of this login
// or root, and for a missing path.
std::optional<QString> otherLoginOf(const QString& path);

// "<link> is a link made by <login>": why a name was not followed.
QString linkMadeBy(const QString& link, const QString& login);

// The same for the name opened as `handle` (a HANDLE opened with READ_CONTROL), or whose owner
// `owner` came from the descriptor it was opened as: a name looked at again may be another's.
#ifdef Q_OS_WIN
std::optional<QString> otherLoginOfOwner(void* handle);
// Whether this login's own user (not a group of it, nor the administrators) owns what `handle`
// (opened with READ_CONTROL) names.
bool ownedByThisLogin(void* handle);
#else
std::optional<QString> otherLoginOfOwner(uid_t owner);
#endif

// A chain of symbolic links walked name by name, as a writer that follows only this login's and
// root's links walks it.
struct LinkWalk {
    // The name at the end of the chain: no link (a missing name when the chain ends at one). The
    // path itself when it is no link, and when the chain is too long to end.
    QString target;
    // The first link of the chain that another login made, and who; both empty when none did.
    QString foreignLink;
    QString foreignLogin;

    bool refused() const { return !foreignLink.isEmpty(); }
    // "/tmp/r.csv is a link made by mallory"
    QString reason() const;
};
LinkWalk walkLinks(const QString& path);

} // namespace qm
