#include "platform/ErrorReport.h"

namespace qm {

QString errorReportText(int number, const QString& description, const ProcId& proc, int line) {
    const QChar cr(13);
    return QStringLiteral("Error ") + QString::number(number) + QStringLiteral(": '") + description +
           QStringLiteral("'") + cr + QStringLiteral("in ") + QLatin1String(proc.module) +
           QStringLiteral(": ") +
           (proc.kind == ProcKind::Sub ? QStringLiteral("Sub") : QStringLiteral("Function")) +
           QLatin1Char(' ') + QLatin1String(proc.name) + QStringLiteral(" - Line # ") +
           QString::number(line) + cr + cr + QStringLiteral("Please contact ") + kSupportAddress +
           QStringLiteral(" with this error message.");
}

void showErrorReport(MessageBox& box, const VbError& error, const ProcId& proc, int line) {
    box.show(errorReportText(error.number(), error.description(), proc, line), vbOKOnly, errorReportTitle());
}

} // namespace qm
