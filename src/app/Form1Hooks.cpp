// The main window's procedures that belong to the field settings panel, the rights load and save
// and the restart of ACT!. Until those land they do nothing, so that the start-up and the closing
// run to their end; each keeps the name and the place in the sequence its caller relies on.

#include "app/Form1.h"

namespace qm {

// Offers to save the previous field, then loads the selected field's settings and rights.
void Form1::cboFields_Click() {}

// Sets the rights of every item of `list` from the authorized-users file, or copies the global
// rights when `useGlobal` is true.
void Form1::Load_User_Rights(QTreeWidget& /*list*/, bool /*useGlobal*/) {}

// Sets the global rights of lvwUsers from "GlobalF" and "GlobalI" of the authorized-users file.
void Form1::Check_Authorized_Users() {}

// Asks whether to save the current field's changed settings.
void Form1::Prompt_Save() {}

// Writes the rights shown in `list` to the authorized-users file and removes `oldKey`.
void Form1::Write_Users(QTreeWidget& /*list*/, const QString& /*oldKey*/) {}

// When the integration dialog asked for it: shuts ACT! down, opens the database again, hides the
// window and lets tmr1 end the tool.
void Form1::Restart_ACT_If_Asked() {}

} // namespace qm
