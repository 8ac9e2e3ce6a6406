#pragma once

// The commands of act-standin, apart from the process around them so tests of the program and
// the program itself run the same code.

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace qm::standin {

// Exit codes: 0 done (status: ACT! runs with a database open), 1 status: ACT! does not run or
// has no database open, 2 bad input or a failure.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNotRunning = 1;
inline constexpr int kExitError = 2;

// Runs one command line (without the program name) against the stand-in in `home`. Results go
// to `out`; a failure is one line on `err`.
int runCommand(const QStringList& args, const QString& home, QTextStream& out, QTextStream& err);

// The help text listing every command.
QString helpText();

// The embedded demo database script.
QString demoScript();

} // namespace qm::standin
