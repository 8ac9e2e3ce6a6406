#pragma once

// `quillmark --history`: the change log of the database that the running ACT! has open, printed
// newest first (or written as CSV), filtered as the History view filters.

#include "platform/Services.h"
#include "report/History.h"

#include <QTextStream>

namespace qm::report {

struct HistoryRequest {
    HistoryFilter filter;
    QString csvPath; // write CSV there instead of printing
};

// Prints the history of `database` from the log of `usersPath` to `out` (or writes its CSV), then
// a line saying how many changes were shown, how many damaged lines of the log were skipped and
// which log files could not be read. False (after a message) when the CSV could not be written.
bool printHistory(const QString& usersPath, const QString& database, const HistoryRequest& request,
                  MessageBox& box, QTextStream& out);

} // namespace qm::report
