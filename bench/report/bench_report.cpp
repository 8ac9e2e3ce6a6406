// The effective-rights report and the settings check on the large stand-in ACT! database (5,000
// users, about 2,500 protected fields), with settings that take every road: every field with rights
// of its own (ten users Full, ten Initialize), a settings file for every field, global lists far
// longer than a read returns (so the check finds thousands of hazards). Three contenders, taken in
// turns round by round:
//
// - "command line": `quillmark --check --report FILE.csv` in process, from attaching to ACT! to
//   the CSV written and the hazards printed;
// - "window": the report window's reading (ACT!, files, check) and the window built and shown;
// - baseline: the editor's own search for one user's right (rights::rightOf, a substring search
//   per user per list) over the same lists, on the first 100 fields.
//
// They take turns in rounds (BenchRounds.h). Each is printed as time per cell (user x field), the
// median of its rounds, and the median and spread of its per-round ratios to the baseline; the
// totals are held against 2 s.
//
//     bench_report [--rounds N]     (exit 1 when a median total exceeds 2 s)

#include "../BenchRounds.h"
#include "../BenchServices.h"
#include "act/standin/StandinBackend.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"
#include "report/ReportCommand.h"
#include "report/frmReport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace qm::bench;

constexpr int kBaselineFields = 100;
constexpr double kTargetMs = 2000;
volatile int sink = 0;

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
    }
}

// The settings described above, for the fields and users of the database.
void writeSettings(const QString& folder, const qm::report::ActData& act) {
    QByteArray full;
    QByteArray init;
    for (std::size_t u = 0; u < act.users.size(); ++u) {
        (u % 2 ? init : full) += act.users[u].uniqueId.toLatin1();
    }
    QByteArray users = "[Large]\r\nGlobalF=" + full + "\r\nGlobalI=" + init + "\r\n";
    QRandomGenerator random(1);
    for (const auto& field : act.fields) {
        const QByteArray id = QByteArray::number(field.id);
        for (const char* key : {"F=", "I="}) {
            users += id + key;
            for (int n = 0; n < 10; ++n) {
                users += act.users[random.bounded(int(act.users.size()))].uniqueId.toLatin1();
            }
            users += "\r\n";
        }
        writeFile(folder + QStringLiteral("/Large") + QString::fromLatin1(id) + QStringLiteral(".dat"),
                  "OnlyFromDropdown=1\r\nAllowEditing=1\r\nRed\r\nGreen\r\nBlue\r\n");
    }
    writeFile(folder + QStringLiteral("/Users.dat"), users);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int rounds = roundsOf(args);

    QTemporaryDir temp;
    const QString home = temp.filePath(QStringLiteral("act"));
    const QString database = temp.filePath(QStringLiteral("Large.dbf"));
    if (!startLarge(home, database)) {
        return 2;
    }
    StandinServices bench(home, {{QStringLiteral("UsersPath"), temp.filePath(QStringLiteral("Users.dat"))},
                                 {QStringLiteral("ListPath"), temp.path()}});

    // The ACT! objects as the main window keeps them, for the window's contender.
    qm::ActObjects objects;
    qm::modAdmin::Create_Database(objects, *bench.act, bench.box);
    const QString genericName = qm::modAdmin::Get_Generic_Name(objects, bench.box);
    qm::report::ActData data;
    if (!qm::report::readActData(objects, genericName, bench.box, data)) {
        return 2;
    }
    writeSettings(temp.path(), data);
    const QString usersPath = bench.settings.values.value(QStringLiteral("UsersPath"));
    const QString listPath = temp.path();
    const qint64 cells = qint64(data.fields.size()) * qint64(data.users.size());

    const QStringList command{QStringLiteral("quillmark"), QStringLiteral("--check"),
                              QStringLiteral("--report"), temp.filePath(QStringLiteral("report.csv"))};
    const qm::rights::UserIndex index(qm::report::uniqueIds(data.users));
    const qm::rights::RightsFile file(usersPath, genericName);
    int exitStatus = -1;
    qsizetype hazardLines = 0;
    // Each figure: nanoseconds per cell.
    const double perCell = 1e6 / double(cells);
    qm::bench::Contender cli{"command line",
                             [&] {
                                 return perCell * msOf([&] {
                                            QString printed;
                                            QTextStream out(&printed);
                                            exitStatus = qm::report::commandLineMain(
                                                command, bench.box, bench.settings, bench.app, *bench.act,
                                                out);
                                            out.flush();
                                            hazardLines = printed.count(QLatin1Char('\n'));
                                        });
                             },
                             {}};
    qm::bench::Contender window{
        "window",
        [&] {
            return perCell * msOf([&] {
                       const qm::report::ReportContext context{bench.services, objects, genericName,
                                                               usersPath, listPath};
                       qm::report::frmReport shown(bench.services,
                                                   qm::report::gatherReport(context, nullptr, {}));
                       shown.show();
                       QCoreApplication::processEvents();
                   });
        },
        {}};
    qm::bench::Contender baseline{
        "rightOf",
        [&] {
            int found = 0;
            const double ms = msOf([&] {
                for (int f = 0; f < kBaselineFields; ++f) {
                    const auto field = file.readField(QString::number(data.fields[std::size_t(f)].id));
                    for (int u = 0; u < index.size(); ++u) {
                        found += int(qm::rights::rightOf(field.lists, index.uniqueId(u)));
                    }
                }
            });
            sink = found; // the searches are not optimised away
            return ms * 1e6 / double(qint64(kBaselineFields) * index.size());
        },
        {}};
    qm::bench::runRounds({&cli, &window, &baseline}, rounds);
    if (bench.box.count > 0 || exitStatus != 1) {
        std::fprintf(stderr, "the check should have found hazards (exit status %d)\n", exitStatus);
        return 2;
    }

    std::printf("Rights report and settings check on the large stand-in database: %zu users x %zu protected "
                "fields = %lld cells, %lld lines printed by the check; %d rounds\n",
                data.users.size(), data.fields.size(), static_cast<long long>(cells),
                static_cast<long long>(hazardLines), rounds);
    const auto print = [&](const qm::bench::Contender& c) {
        const qm::bench::Spread ns = qm::bench::spreadOf(c.figures);
        std::printf("%-13s %6.1f ns per cell (rounds %.1f..%.1f), %7.1f ms in all; against rightOf: %s\n",
                    c.name.c_str(), ns.median, ns.low, ns.high, ns.median * double(cells) / 1e6,
                    qm::bench::spreadText(qm::bench::ratioOf(c, baseline)).c_str());
        return ns.median * double(cells) / 1e6;
    };
    const double cliMs = print(cli);
    const double windowMs = print(window);
    std::printf("%-13s %6.1f ns per cell: the editor's own search for one user's right, one substring search "
                "per user per list, on the first %d fields\n",
                "baseline", qm::bench::spreadOf(baseline.figures).median, kBaselineFields);
    std::printf("target: each within %.0f ms: %s\n", kTargetMs,
                cliMs <= kTargetMs && windowMs <= kTargetMs ? "met" : "NOT met");
    return cliMs <= kTargetMs && windowMs <= kTargetMs ? 0 : 1;
}
