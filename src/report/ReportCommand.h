#pragma once

// Quillmark on the command line, without a window: --help, --version, and the effective-rights
// report (--report FILE.csv), the settings check (--check) and the change log (--history, with
// its filters --since, --until, --field, --user, --login, and --csv FILE) of the database that
// the running ACT! has open. It attaches to ACT! and refuses as the window's start-up does (no
// database, ACT! unreachable, not an administrator), with the same messages, shown by the message
// box service: on the command line, ConsoleMessageBox prints them to standard error.
//
// Exit status: 0 when done (and, with --check, nothing was found); 1 when --check found a hazard;
// 2 when it could not run (bad arguments, ACT!, an error report, a report that cannot be written).

#include "platform/Services.h"

#include <QStringList>
#include <QTextStream>

namespace qm::report {

// Text as a terminal may show it: every control character (and every character that turns the
// direction of text) as a visible escape ("\x1B", "\t", "\u202E"), so that names and IDs read
// from the settings files or from ACT! cannot move the cursor, clear the screen or print a line
// of their own.
QString printable(const QString& text);
// The same, appended to `out`.
void appendPrintable(QString& out, QStringView text);
// The escape that printable() writes for one character, in `out`: its length, 0 for a character
// that it shows as it is.
int printableEscape(char16_t u, char (&out)[7]);

// Message boxes on a console: the text (line breaks as lines, other control characters escaped)
// on standard error, answered as Escape would answer it (OK, or No for a question).
class ConsoleMessageBox : public MessageBox {
public:
    int show(const QString& text, int style, const QString& title) override;
};

// `arguments`: the program's arguments, its name first. Hazards and summaries go to `out`.
int commandLineMain(const QStringList& arguments, MessageBox& box, SettingsStore& settings,
                    const AppInfo& app, act::ObjectFactory& act, QTextStream& out);

} // namespace qm::report
