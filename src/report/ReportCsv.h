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

// One field as written: "a,b" -> "\"a,b\"", "say \"hi\"" -> "\"say \"\"hi\"\"\"".
QByteArray csvField(const QString& text);

// The fixed columns before the users'.
QStringList csvFixedColumns();

// Writes the fields `rows` (their order) and the users `columns` (their order) of `report` to
// `path`, replacing it at once when done, so that a reader never sees half a file. False with
// `error` set when it could not be written, or when `progress` stopped it (error empty): the file
// is then as it was.
bool writeCsv(const RightsReport& report, const QString& path, const std::vector<int>& rows,
              const std::vector<int>& columns, QString& error, const Progress& progress = {});
// Every field and every user, in their order.
bool writeCsv(const RightsReport& report, const QString& path, QString& error, const Progress& progress = {});

} // namespace qm::report
