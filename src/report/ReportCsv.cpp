#include "report/ReportCsv.h"

#include "platform/FileOwner.h"
#include "report/SettingsCheck.h"

#include <QSaveFile>

#include <array>
#include <numeric>

namespace qm::report {

namespace {

constexpr int kProgressEvery = 32;

void appendTexts(QByteArray& out, const QStringList& cells) {
    for (qsizetype i = 0; i < cells.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += csvText(cells.at(i));
    }
}

} // namespace

QByteArray csvText(const QString& text) {
    QByteArray utf8 = text.toUtf8();
    // What spreadsheets take for the start of a formula (OWASP's advice on CSV injection).
    const bool formula = !utf8.isEmpty() && QByteArrayView("=+-@\t\r").contains(utf8.front());
    const bool quote =
        formula || utf8.contains(',') || utf8.contains('"') || utf8.contains('\r') || utf8.contains('\n');
    if (!quote) {
        return utf8;
    }
    utf8.replace('"', "\"\"");
    return (formula ? QByteArray("\"'") : QByteArray("\"")) + utf8 + '"';
}

QByteArray csvNumber(qint64 number) {
    return QByteArray::number(number);
}

QStringList csvFixedColumns() {
    return {QStringLiteral("Field"),
            QStringLiteral("Field ID"),
            QStringLiteral("Rights from"),
            QStringLiteral("Allow editing"),
            QStringLiteral("Only from Drop-down"),
            QStringLiteral("Drop-down entries")};
}

bool writeCsv(const RightsReport& report, const QString& path, const std::vector<int>& rows,
              const std::vector<int>& columns, QString& error, const Progress& progress) {
    error.clear();
    const LinkWalk walk = walkLinks(path);
    if (walk.refused()) {
        error = walk.reason() + QStringLiteral(" (another login), which is not followed");
        return false;
    }
    // The end of the chain, walked once here, so that the writer follows no link it was not shown.
    QSaveFile file(walk.target);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    QByteArray chunk("\xEF\xBB\xBF");
    appendTexts(chunk, csvFixedColumns());
    for (const int u : columns) {
        chunk += ',' + csvText(userText(report.users[std::size_t(u)]));
    }
    chunk += "\r\n";
    const std::array<QByteArray, 3> cells{",Full", ",Initialize", ",None"};
    qint64 done = 0;
    for (const int f : rows) {
        if (done % kProgressEvery == 0 && progress && !progress(done, qint64(rows.size()))) {
            file.cancelWriting();
            return false;
        }
        ++done;
        const FieldRow& row = report.fields[std::size_t(f)];
        chunk += csvText(row.field.label) + ',' + csvNumber(row.field.id) + ',';
        appendTexts(chunk,
                    {sourceText(row), flagText(row, row.allowEditing), flagText(row, row.onlyFromDropdown)});
        chunk += ',' + (row.readable ? csvNumber(row.entries) : csvText(QStringLiteral("?")));
        const std::vector<std::uint8_t>& rights = report.scopes[std::size_t(row.scope)];
        for (const int u : columns) {
            chunk += cells[rights[std::size_t(u)]];
        }
        chunk += "\r\n";
        if (chunk.size() > (1 << 20)) {
            if (file.write(chunk) != chunk.size()) {
                error = file.errorString();
                file.cancelWriting();
                return false;
            }
            chunk.clear();
        }
    }
    if (file.write(chunk) != chunk.size() || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool writeCsv(const RightsReport& report, const QString& path, QString& error, const Progress& progress) {
    std::vector<int> rows(report.fields.size());
    std::iota(rows.begin(), rows.end(), 0);
    std::vector<int> columns(report.users.size());
    std::iota(columns.begin(), columns.end(), 0);
    return writeCsv(report, path, rows, columns, error, progress);
}

} // namespace qm::report
