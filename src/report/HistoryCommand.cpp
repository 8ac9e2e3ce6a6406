#include "report/HistoryCommand.h"

#include "report/ReportCommand.h"

#include <QDir>

#include <algorithm>

namespace qm::report {

namespace {

QString plural(qint64 n, const QString& one, const QString& many) {
    return n == 1 ? one : many.arg(n);
}

// The lines of changes appended to the text printed, indented, the log's texts made printable.
class Printed : public LineWriter {
public:
    explicit Printed(QString& text)
        : m_text(text) {}
    void fixed(QStringView text) override {
        indent();
        m_text += text;
    }
    void fromLog(QStringView text) override {
        indent();
        appendPrintable(m_text, text);
    }
    void endLine() override {
        indent();
        m_text += QLatin1Char('\n');
        m_begun = false;
    }

private:
    void indent() {
        if (!m_begun) {
            m_text += QStringLiteral("    ");
            m_begun = true;
        }
    }
    QString& m_text;
    bool m_begun = false;
};

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
        // Printed in large pieces: a log of a hundred thousand changes is some tens of megabytes.
        constexpr qsizetype kPiece = 1 << 20;
        QString text;
        text.reserve(kPiece + 4096);
        SettingsFiles files;
        Printed printed(text);
        for (const int row : rows) {
            const Record r = history.passingRecord(row);
            text += utcTimeText(r.whenMs);
            text += QStringLiteral("  ");
            appendPrintable(text, r.login);
            if (!r.actUser.isEmpty()) {
                text += QStringLiteral(" (ACT! user ");
                appendPrintable(text, r.actUser);
                text += QLatin1Char(')');
            }
            text += QStringLiteral("  ");
            appendPrintable(text, headline(r));
            text += QLatin1Char('\n');
            writeChangeLines(r, false, files, printed);
            if (text.size() >= kPiece) {
                out << text;
                text.resize(0); // keeps its room
            }
        }
        out << text;
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
