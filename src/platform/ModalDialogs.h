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
// The procedure that opened the dialog goes on when exec() returns. If it would store anything
// after that, it first checks that the main window has not been unloaded meanwhile
// (Form1::unloaded(), as cmdClose_Click does after the question about unsaved field settings).

namespace qm {

// Rejects every visible dialog of the application; returns how many there were.
int rejectOpenDialogs();

} // namespace qm
