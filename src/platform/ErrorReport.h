#pragma once

// The common error report: one message box naming module, procedure and line, after which the
// procedure that trapped the error ends.

#include "platform/Services.h"
#include "platform/VbError.h"

#include <QString>

#include <exception>
#include <new>

namespace qm {

enum class ProcKind { Sub, Function };

struct ProcId {
    const char* module; // "Form1", "modAdmin", ...
    ProcKind kind;
    const char* name; // "Form_Load", ...
};

inline const QString kSupportAddress = QStringLiteral("support@quillmark.app");

// "Error 13: 'Type mismatch'" CR "in Form1: Sub Form_Load - Line # 16" CR CR
// "Please contact support@... with this error message."
QString errorReportText(int number, const QString& description, const ProcId& proc, int line);
inline QString errorReportTitle() {
    return kAppTitle + QStringLiteral(" error");
}

void showErrorReport(MessageBox& box, const VbError& error, const ProcId& proc, int line);

// An error trap for one procedure. `line` may be set by the procedure as it goes, to give the
// report a stable line number; it stays 0 otherwise.
//
//     ErrorTrap trap(box, {"Form1", ProcKind::Sub, "cmdSave_Click"});
//     trap.run([&] { trap.line = 1; ... });
class ErrorTrap {
public:
    ErrorTrap(MessageBox& box, ProcId proc)
        : m_box(box)
        , m_proc(proc) {}

    int line = 0;

    // Runs `body`; an error is reported and ends it. Returns false when an error was reported.
    template <typename F> bool run(F&& body) {
        try {
            body();
            return true;
        } catch (const VbError& e) {
            report(e);
        } catch (const std::bad_alloc&) {
            report(VbError(VbErr::OutOfMemory));
        } catch (const std::exception&) {
            report(VbError(VbErr::InternalError));
        }
        return false;
    }

private:
    void report(const VbError& e) { showErrorReport(m_box, e, m_proc, line); }

    MessageBox& m_box;
    ProcId m_proc;
};

} // namespace qm
