#include "report/HistoryCommand.h"

#include <QDir>

#include <algorithm>

namespace qm::report {

namespace {

// Text from the log as it may be printed: control characters written out, so that a name or a
// list entry cannot move the cursor or clear the terminal.
QString printable(const QString& text) {
    const auto control = [](QChar c) { return c.category() == QChar::Other_Control; };
    if (std::none_of(text.begin(), text.end(), control)) {
        return text;
    }
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (!control(c)) {
            out += c;
        } else {
            out += QStringLiteral("\\x") +
                   QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        }
    }
    return out;
}

QString plural(qint64 n, const QString& one, const QString& many) {
    return n == 1 ? one : many.arg(n);
}

} // namespace

bool printHistory(const QString& usersPath, const QString& database, const HistoryRequest& request,
                  MessageBox& box, QTextStream& out) {
    const History history(usersPath, database);
    const std::vector<int> rows = historyRows(history, request.filter);
    if (!request.csvPath.isEmpty()) {
        QString error;
        if (!writeHistoryCsv(history, rows, request.csvPath, error)) {
            box.show(QStringLiteral("The history could not be written to ") +
                         QDir::toNativeSeparators(request.csvPath) + QStringLiteral(": ") + error,
                     vbExclamation, kAppTitle);
            return false;
        }
    } else {
        QString text;
        SettingsFiles files;
        for (const int row : rows) {
            const Record& r = history.record(row);
            text.clear();
            text += utcTimeText(r.whenMs) + QStringLiteral("  ") + printable(r.login);
            if (!r.actUser.isEmpty()) {
                text += QStringLiteral(" (ACT! user ") + printable(r.actUser) + QLatin1Char(')');
            }
            text += QStringLiteral("  ") + printable(headline(r)) + QLatin1Char('\n');
            for (const QString& line : changeLines(r, false, &files)) {
                text += QStringLiteral("    ") + printable(line) + QLatin1Char('\n');
            }
            out << text;
        }
    }
    out << plural(qint64(rows.size()), QStringLiteral("1 change"), QStringLiteral("%1 changes"))
        << QStringLiteral(" of %1 in the change log of ").arg(history.size()) << printable(database)
        << (request.csvPath.isEmpty() ? QStringLiteral(".")
                                      : QStringLiteral(" written to ") +
                                            QDir::toNativeSeparators(request.csvPath) + QLatin1Char('.'))
        << Qt::endl;
    if (history.skipped() > 0) {
        out << plural(history.skipped(), QStringLiteral("1 damaged line"), QStringLiteral("%1 damaged lines"))
            << QStringLiteral(" of the log skipped.") << Qt::endl;
    }
    for (const QString& problem : history.problems()) {
        out << QStringLiteral("Not read: ") << printable(problem) << Qt::endl;
    }
    return true;
}

} // namespace qm::report
