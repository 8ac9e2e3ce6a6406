#pragma once

// The ACT! objects kept for the run, and the open database's generic name.

#include "act/ActObjects.h"
#include "platform/Paths.h"
#include "platform/Services.h"

namespace qm {

// Created once at start-up by Create_Database and kept until the tool ends.
struct ActObjects {
    std::shared_ptr<act::ActApp> objApp;
    std::shared_ptr<act::ActViews> objViews;
    std::shared_ptr<act::ActContactView> objContactView;
    std::shared_ptr<act::ActDatabase> objDatabase;
    std::shared_ptr<act::ActContactTable> objContact;
    std::shared_ptr<act::ActFields> objFields;
    std::shared_ptr<act::ActUsers> objUsers;
};

namespace modAdmin {

// Creates the ACT! objects in order. A failing step is reported; the objects of that step and
// of every later step stay unset.
void Create_Database(ActObjects& objects, act::ObjectFactory& factory, MessageBox& box);

// The open database's file name without folder and without anything from its first "." on.
// A name without "." (or an empty path), and a name holding a control character (a CR or LF would
// end the section line), is reported and gives an empty name.
QString Get_Generic_Name(const ActObjects& objects, MessageBox& box, QChar separator = kPathSep);

// The name of the ACT! user logged in to the database now, whom the change log's records name; asked
// for each record as it is written (the user may change while the tool runs). Empty when ACT!
// cannot name its user; a call that fails is reported as every ACT! call is, and the name is then
// empty (the change it names has landed already).
QString Current_User_Name(const ActObjects& objects, MessageBox& box);

// The cut itself: after the last `separator` (on Windows, "\", also after the last "/"), before
// the first "." of what is left. Raises "Invalid procedure call or argument" (5) when there is no
// ".", and when what is left holds a control character.
QString genericNameFromPath(const QString& path, QChar separator);

// The refusals of the start-up (the window's and the command line's), each showing its message
// and giving true when the tool must not go on: no database open in ACT! (or ACT! not
// registered), and a current user who is not an administrator of the database.
bool Refuse_Without_Database(act::ActEvent& event, MessageBox& box);
bool Refuse_Non_Administrator(const ActObjects& objects, MessageBox& box);

} // namespace modAdmin
} // namespace qm
