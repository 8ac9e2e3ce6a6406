#pragma once

// Closing the tool while one of its dialogs is open.
//
// Every dialog of the tool is modal and runs an event loop of its own (QDialog::exec): the
// "Settings File Location" dialog, every message box shown through the MessageBox service
// (QtMessageBox), the file dialogs of the FileDialogs service, and any dialog added later. ACT!
// delivers its events inside such a loop too: when ACT! closes its database or its user quits
// ACT!, the main window calls rejectOpenDialogs() and then closes (Form1's ActEvent1 handlers).
//
// rejectOpenDialogs() rejects every visible dialog as Escape would: each exec() returns
// QDialog::Rejected, a message box answers with its Escape button (No for a Yes/No question, OK
// otherwise), and no dialog stays on screen without the window it belonged to. A new dialog gets
// this for free when it
//   1. is a QDialog shown with exec() (or through the MessageBox or FileDialogs services), and
//   2. stores what was typed into it only when accepted (its OK button), never on reject() or on
//      hiding.
// The procedure that opened the dialog goes on when exec() returns. Once the window it belonged to
// has closed, that procedure does nothing more: no store, no load, no call to ACT! (which is going
// away) and no further box. A question asked with askWhileOpen() says so by its answer; after any
// other dialog the procedure checks the window itself (Form1::unloaded()).

#include "platform/Services.h"

#include <functional>
#include <optional>

namespace qm {

// Rejects every visible dialog of the application; returns how many there were.
int rejectOpenDialogs();

// Asks a question through `box` on behalf of a window. The answer, or nullopt when `closed` says
// that the window closed while the question was open (ACT! closed its database or quit meanwhile):
// whatever was answered, the asking procedure then ends without doing anything more.
std::optional<int> askWhileOpen(MessageBox& box, const std::function<bool()>& closed, const QString& text,
                                int style, const QString& title = {});

} // namespace qm
