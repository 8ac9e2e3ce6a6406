#pragma once

// What a person does with the running ACT!: start it on a database, open and close databases,
// change the current user or field, quit. Shared by the act-standin program and the backend
// (Command(150) quits). Each raises StandinError with a one-line message and changes nothing
// when the request cannot be met.

#include "act/standin/StandinDatabase.h"
#include "act/standin/StandinSession.h"

#include <functional>

namespace qm::act::standin {

// The absolute, clean form of a database path as given on a command line.
QString absoluteDatabasePath(const QString& path);

// Starts ACT! (when it does not run) and opens the database (when it is not open already). The
// current user becomes the database's administrator, the current field its first protected one.
// `createMissing`, when given, makes a missing database first: under the session's lock and only
// once the session has been read, so that two starts make it once and a refused start makes none.
Session startActOn(const SessionStore& store, const QString& databasePath,
                   const std::function<void(const QString& path)>& createMissing = {});
// Opens a database in the running ACT!, closing the one open before.
Session openDatabase(const SessionStore& store, const QString& databasePath);
// Closes the open database; ACT! keeps running.
Session closeDatabase(const SessionStore& store);
// ACT! shuts down (its user quits, or Command(150)).
Session quitAct(const SessionStore& store);
// `who` is a position (1..n) or a user's name (exact, else the only case-insensitive match).
Session setCurrentUser(const SessionStore& store, const QString& who);
// `which` is a field ID or a label (exact, else the only case-insensitive match); an ID wins.
Session setCurrentField(const SessionStore& store, const QString& which);
Session setRegistered(const SessionStore& store, bool registered);

// Resolve a user / field of loaded contents as the two commands above do; raise StandinError.
int findUser(const DatabaseContents& db, const QString& who);
std::int32_t findField(const DatabaseContents& db, const QString& which);

} // namespace qm::act::standin
