#pragma once

// The effective-rights report as a CSV file (RFC 4180): UTF-8 with a byte-order mark, so that
// spreadsheet programs take it as UTF-8, CR LF line ends, a field quoted when it holds a comma, a
// quote or a line break, and a quote inside doubled. One header line: "Field", "Field ID",
// "Rights from", "Allow editing", "Only from Drop-down", "Drop-down entries", then one column per
// user named "<name> <unique ID>" (names need not be unique); then one line per protected field.

#include "report/RightsReport.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace qm::report {

// A text cell as written: quoted when it holds a comma, a quote or a line break, a quote inside
// doubled ("a,b" -> "\"a,b\"", "say \"hi\"" -> "\"say \"\"hi\"\"\""). Names and labels come from
// anyone who may name an ACT! user or field: a text beginning with "=", "+", "-", "@", a tab or a
// CR, which a spreadsheet would take for a formula, gets a leading apostrophe and is quoted
// ("=1+1" -> "\"'=1+1\""), so that the spreadsheet shows it as the text it is. Every CSV the tool
// writes puts its text cells through this.
QByteArray csvText(const QString& text);
// A number cell: its decimal digits, with its minus sign when negative ("-5").
QByteArray csvNumber(qint64 number);

// The fixed columns before the users'.
QStringList csvFixedColumns();

// Writes the fields `rows` (their order) and the users `columns` (their order) of `report` to
// `path`, replacing it at once when done, so that a reader never sees half a file. A link at
// `path` is followed (to the end of its chain) only when this login or root made it: another
// login's link is refused, as in a shared folder it may lead to any file of this login. False with
// `error` set when it could not be written (or was refused), or when `progress` stopped it (error
// empty): the file is then as it was.
bool writeCsv(const RightsReport& report, const QString& path, const std::vector<int>& rows,
              const std::vector<int>& columns, QString& error, const Progress& progress = {});
// Every field and every user, in their order.
bool writeCsv(const RightsReport& report, const QString& path, QString& error, const Progress& progress = {});

} // namespace qm::report
