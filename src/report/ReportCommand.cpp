#include "report/ReportCommand.h"

#include "act/modAdmin.h"
#include "platform/ErrorReport.h"
#include "report/HistoryCommand.h"
#include "report/ReportCsv.h"
#include "report/SettingsCheck.h"
#include "settings/Locations.h"

#include <QCommandLineParser>
#include <QDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <tuple>

namespace qm::report {

namespace {

enum Exit { kDone = 0, kFound = 1, kCouldNotRun = 2 };

QString orDash(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : text;
}

struct Run {
    CountingMessageBox box;
    SettingsStore& settings;
    const AppInfo& app;
    act::ObjectFactory& factory;
    QTextStream& out;

    // Attaches to ACT! as the start-up does; false (after its message) when it refuses.
    bool attach(act::ActEvent& event, ActObjects& objects, QString& genericName) {
        if (modAdmin::Refuse_Without_Database(event, box)) {
            return false;
        }
        modAdmin::Create_Database(objects, factory, box);
        if (box.shown > 0) {
            return false;
        }
        if (modAdmin::Refuse_Non_Administrator(objects, box)) {
            return false;
        }
        genericName = modAdmin::Get_Generic_Name(objects, box);
        return box.shown == 0;
    }

    int go(const QString& reportPath, bool check, const std::optional<HistoryRequest>& history = {}) {
        const std::unique_ptr<act::ActEvent> event = factory.CreateEventControl();
        int exit = kCouldNotRun;
        ErrorTrap trap(box, {"modReport", ProcKind::Sub, "Report_Command"});
        trap.run([&] {
            trap.line = 1;
            ActObjects objects;
            QString genericName;
            if (!event || !attach(*event, objects, genericName)) {
                return;
            }
            trap.line = 2;
            const SettingsPaths paths{Locations::storedUsersPath(settings, app),
                                      Locations::storedListPath(settings, app)};
            if (history) {
                exit = printHistory(paths.usersPath, genericName, *history, box, out) ? kDone : kCouldNotRun;
                return;
            }
            ActData act;
            if (!readActData(objects, genericName, box, act)) {
                return;
            }
            trap.line = 3;
            const std::optional<RightsReport> report = buildReport(act, paths);
            if (!reportPath.isEmpty()) {
                trap.line = 4;
                QString error;
                if (!writeCsv(*report, reportPath, error)) {
                    box.show(QStringLiteral("The report could not be written to ") +
                                 QDir::toNativeSeparators(reportPath) + QStringLiteral(": ") + error,
                             vbExclamation, kAppTitle);
                    return;
                }
                out << printable(
                           QStringLiteral("Wrote the rights of %1 users on %2 protected fields of %3 to %4")
                               .arg(report->users.size())
                               .arg(report->fields.size())
                               .arg(genericName, QDir::toNativeSeparators(reportPath)))
                    << Qt::endl;
            }
            exit = kDone;
            if (check) {
                trap.line = 5;
                const std::vector<Hazard> hazards = *checkSettings(*report, act.unprotected);
                out << printable(QStringLiteral("Settings of ") + genericName + QStringLiteral(": ") +
                                 QDir::toNativeSeparators(paths.usersPath) +
                                 QStringLiteral(", field settings in ") +
                                 QDir::toNativeSeparators(paths.listPath))
                    << Qt::endl;
                for (const Hazard& h : hazards) {
                    out << printable(QStringList{kindText(h.kind), orDash(h.user), orDash(h.field),
                                                 orDash(h.key), h.explanation}
                                         .join(QStringLiteral(" | ")))
                        << Qt::endl;
                }
                out << (hazards.empty()       ? QStringLiteral("No hazard found.")
                        : hazards.size() == 1 ? QStringLiteral("1 hazard found.")
                                              : QStringLiteral("%1 hazards found.").arg(hazards.size()))
                    << Qt::endl;
                exit = hazards.empty() ? kDone : kFound;
            }
        });
        if (event) {
            event->Operation2();
        }
        return box.shown > 0 ? int(kCouldNotRun) : exit;
    }
};

// The options of --history and their reading.
struct HistoryOptions {
    QCommandLineOption history{
        QStringLiteral("history"),
        QStringLiteral(
            "Print the change log of the settings (who changed which right, when), newest first.")};
    QCommandLineOption since{
        QStringLiteral("since"),
        QStringLiteral("With --history: the changes from <date> on (YYYY-MM-DD, local time, "
                       "or YYYY-MM-DDTHH:MM[:SS][Z])."),
        QStringLiteral("date")};
    QCommandLineOption until{QStringLiteral("until"),
                             QStringLiteral("With --history: the changes up to the end of <date>."),
                             QStringLiteral("date")};
    QCommandLineOption field{
        QStringLiteral("field"),
        QStringLiteral("With --history: the changes of the field with this ID (or a part "
                       "of its label; \"global\" for the global rights)."),
        QStringLiteral("id")};
    QCommandLineOption user{
        QStringLiteral("user"),
        QStringLiteral("With --history: the changes of a right of a user (a part of the name or unique ID)."),
        QStringLiteral("name")};
    QCommandLineOption login{
        QStringLiteral("login"),
        QStringLiteral("With --history: the changes made by a login or ACT! user (a part of the name)."),
        QStringLiteral("name")};
    QCommandLineOption csv{
        QStringLiteral("csv"),
        QStringLiteral("With --history: write the changes to <file> as CSV (UTF-8) instead."),
        QStringLiteral("file")};

    explicit HistoryOptions(QCommandLineParser& parser) {
        parser.addOptions({history, since, until, field, user, login, csv});
    }
    bool anySet(const QCommandLineParser& parser) const {
        for (const QCommandLineOption* o : {&since, &until, &field, &user, &login, &csv}) {
            if (parser.isSet(*o)) {
                return true;
            }
        }
        return false;
    }
    // The request; a usage message when an option does not read.
    QString read(const QCommandLineParser& parser, HistoryRequest& request) const {
        for (const auto& [option, end, bound] : {std::tuple{&since, false, &request.filter.sinceMs},
                                                 std::tuple{&until, true, &request.filter.untilMs}}) {
            if (!parser.isSet(*option)) {
                continue;
            }
            *bound = parseDate(parser.value(*option), end);
            if (!*bound) {
                return QStringLiteral("'") + parser.value(*option) +
                       QStringLiteral("' is no date (YYYY-MM-DD, or "
                                      "YYYY-MM-DDTHH:MM).");
            }
        }
        request.filter.field = parser.value(field);
        request.filter.user = parser.value(user);
        request.filter.login = parser.value(login);
        request.csvPath = parser.value(csv);
        if (parser.isSet(csv) && request.csvPath.isEmpty()) {
            return QStringLiteral("The file name after '--csv' is empty.");
        }
        return {};
    }
};

// C0, DEL and C1 controls, and the marks, embeddings, overrides and isolates of direction.
bool unprintable(char16_t u) {
    const bool control = u < 0x20 || (u >= 0x7F && u < 0xA0);
    const bool direction = u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) ||
                           (u >= 0x2066 && u <= 0x2069);
    return control || direction;
}

} // namespace

int printableEscape(char16_t u, char (&out)[7]) {
    if (char16_t(u - 0x20) < 0x5F || !unprintable(u)) {
        return 0;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    out[0] = '\\';
    if (u == '\t' || u == '\n' || u == '\r') {
        out[1] = u == '\t' ? 't' : u == '\n' ? 'n' : 'r';
        return 2;
    }
    const int digits = u < 0x100 ? 2 : 4;
    out[1] = u < 0x100 ? 'x' : 'u';
    for (int i = 0; i < digits; ++i) {
        out[1 + digits - i] = kHex[(u >> (4 * i)) & 0xF];
    }
    return 2 + digits;
}

void appendPrintable(QString& out, QStringView text) {
    qsizetype from = 0; // the start of what is still to be copied as it is
    const char16_t* const chars = reinterpret_cast<const char16_t*>(text.data());
    constexpr qsizetype kBlock = 16;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Most text is printable ASCII: whole blocks of it passed at once.
        while (i + kBlock <= text.size()) {
            bool other = false;
            for (qsizetype j = 0; j < kBlock; ++j) {
                other |= char16_t(chars[i + j] - 0x20) >= 0x5F;
            }
            if (other) {
                break;
            }
            i += kBlock;
        }
        if (i >= text.size()) {
            break;
        }
        char escape[7];
        const int n = printableEscape(chars[i], escape);
        if (n == 0) {
            continue;
        }
        out += text.sliced(from, i - from);
        out += QLatin1StringView(escape, n);
        from = i + 1;
    }
    out += text.sliced(from);
}

QString printable(const QString& text) {
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return unprintable(c.unicode()); })) {
        return text;
    }
    QString out;
    out.reserve(text.size() + 8);
    appendPrintable(out, text);
    return out;
}

int ConsoleMessageBox::show(const QString& text, int style, const QString& title) {
    QString joined = text;
    joined.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = joined.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        line = printable(line);
    }
    const QString shown = printable(title.isEmpty() ? kAppTitle : title) + QStringLiteral(": ") +
                          lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
    std::fputs(shown.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    return (style & 0x7) == vbYesNo ? vbNo : vbOK;
}

int commandLineMain(const QStringList& arguments, MessageBox& box, SettingsStore& settings,
                    const AppInfo& app, act::ObjectFactory& act, QTextStream& out) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Quillmark keeps which ACT! users may change the protected fields of an ACT! database.\n"
        "Without options it opens its window on the database the running ACT! has open.\n"
        "With --report, --check or --history it works on that database without a window."));
    // Not addHelpOption(): its --help-all lists the toolkit's window options, which a run
    // without a window does not take.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show these options."));
    parser.addOption(help);
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    parser.addOption(version);
    const QCommandLineOption report(
        QStringLiteral("report"),
        QStringLiteral("Write the effective-rights report (every user against every protected field) to "
                       "<file> as CSV (UTF-8)."),
        QStringLiteral("file"));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral(
            "Check the settings files for hazards that would silently give a user another right, "
            "and print them. Exit status 0 when none is found, 1 when one is, 2 when the check could "
            "not run."));
    parser.addOption(report);
    parser.addOption(check);
    const HistoryOptions historyOptions(parser);
    const auto usage = [&](const QString& message) {
        box.show(message + QChar(13) + QStringLiteral("Try '") + app.exeName() + QStringLiteral(" --help'."),
                 vbOKOnly, kAppTitle);
        return int(kCouldNotRun);
    };
    if (!parser.parse(arguments)) {
        return usage(parser.errorText());
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return kDone;
    }
    if (parser.isSet(version)) {
        const VersionInfo v = app.version();
        out << app.exeName() << ' ' << v.major << '.' << v.minor << '.' << v.revision << Qt::endl;
        return kDone;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usage(QStringLiteral("Unexpected argument '") + parser.positionalArguments().constFirst() +
                     QStringLiteral("'."));
    }
    Run run{CountingMessageBox(box), settings, app, act, out};
    if (parser.isSet(historyOptions.history)) {
        if (parser.isSet(report) || parser.isSet(check)) {
            return usage(QStringLiteral("--history goes without --report and --check."));
        }
        HistoryRequest request;
        const QString problem = historyOptions.read(parser, request);
        return problem.isEmpty() ? run.go({}, false, request) : usage(problem);
    }
    if (historyOptions.anySet(parser)) {
        return usage(
            QStringLiteral("--since, --until, --field, --user, --login and --csv go with --history."));
    }
    if (!parser.isSet(report) && !parser.isSet(check)) {
        return usage(QStringLiteral("Nothing to do."));
    }
    if (parser.isSet(report) && parser.value(report).isEmpty()) {
        return usage(QStringLiteral("The file name after '--report' is empty."));
    }
    return run.go(parser.value(report), parser.isSet(check));
}

} // namespace qm::report
