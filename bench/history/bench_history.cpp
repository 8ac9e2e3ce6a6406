// The change log at 100,000 records (four writers' files, two years of changes: field saves with a
// few users and the field's file, Closes with the global lists, now and then the locations), with
// ACT!'s stand-in running on its demo database. Three contenders, taken in turns round by round
// (BenchRounds.h):
//
// - "History view": the report window's History view made, shown, the log read into it and the
//   first rows painted;
// - "--history": `quillmark --history` in process, from attaching to ACT! to the last of the
//   100,000 changes printed (to /dev/null);
// - baseline: reading the same files' bytes with the settings reader (AtomicFile.h).
//
// Each is printed as its median time with the lowest and highest round, and the median and spread
// of its per-round ratio to the baseline; the views are held against 1 s.
//
//     bench_history [--rounds N] [--records N]     (exit 1 when a median misses 1 s)
//     bench_history --only view|history [--rounds N]  one contender alone, for a profiler

#include "../BenchRounds.h"
#include "../BenchServices.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"
#include "report/HistoryView.h"
#include "report/ReportCommand.h"
#include "settings/AtomicFile.h"
#include "settings/ChangeLog.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace qm::bench;
using namespace qm::changelog;

constexpr double kTargetMs = 1000;
volatile qint64 sink = 0;

QByteArray idList(QRandomGenerator& random, int count) {
    QByteArray list;
    for (int i = 0; i < count; ++i) {
        list += "{USR-" + QByteArray::number(random.bounded(1, 5000)).rightJustified(4, '0') + "-C7D1}";
    }
    return list;
}

Record makeRecord(QRandomGenerator& random, qint64 when, const QString& login) {
    Record r;
    r.whenMs = when;
    r.login = login;
    r.actUser = QStringLiteral("Chris Huffman");
    r.database = QStringLiteral("Demo");
    const int kind = random.bounded(100);
    const int users = random.bounded(1, 4);
    for (int u = 0; u < users; ++u) {
        const int n = random.bounded(1, 5000);
        r.users.push_back({QStringLiteral("User %1 Surname").arg(n),
                           QStringLiteral("{USR-%1-C7D1}").arg(n, 4, 10, QLatin1Char('0')),
                           Right(random.bounded(3)), Right(random.bounded(3))});
    }
    if (kind < 60) {
        r.kind = Kind::Field;
        r.fieldId = QString::number(200 + random.bounded(40));
        r.fieldLabel = QStringLiteral("Field ") + r.fieldId;
        r.keys = {{r.fieldId + QLatin1Char('F'), idList(random, 6), idList(random, 5)},
                  {r.fieldId + QLatin1Char('I'), idList(random, 3), idList(random, 4)}};
        r.fileChanged = true;
        r.fileBefore = QByteArray("OnlyFromDropdown=1\r\nAllowEditing=0\r\nRed\r\nGreen\r\nBlue\r\n");
        r.fileAfter =
            QByteArray("OnlyFromDropdown=1\r\nAllowEditing=1\r\nRed\r\nGreen\r\nBlue\r\nPurple\r\n");
    } else if (kind < 95) {
        r.kind = Kind::GlobalRights;
        r.keys = {{QStringLiteral("GlobalF"), idList(random, 12), idList(random, 12)},
                  {QStringLiteral("GlobalI"), idList(random, 8), idList(random, 8)}};
    } else {
        r.kind = Kind::Locations;
        r.users.clear();
        r.keys = {{QStringLiteral("UsersPath"), QByteArray("/srv/old/Settings/Users.dat"),
                   QByteArray("/srv/acts/Settings/Users.dat")}};
    }
    return r;
}

// `records` records in four writers' files; the bytes written.
qint64 writeLog(const QString& usersPath, int records) {
    const QString folder = logFolder(usersPath);
    QDir().mkpath(folder);
    QRandomGenerator random(20);
    const qint64 start = *parseUtcText("2023-01-01T08:00:00.000Z");
    const qint64 step = 2LL * 365 * 86'400'000 / records;
    const QStringList logins{QStringLiteral("ann"), QStringLiteral("bob"), QStringLiteral("carl"),
                             QStringLiteral("dora")};
    QList<QByteArray> files(logins.size());
    for (int i = 0; i < records; ++i) {
        const int w = random.bounded(int(logins.size()));
        files[w] += encode(makeRecord(random, start + i * step, logins[w]));
    }
    qint64 bytes = 0;
    for (qsizetype w = 0; w < logins.size(); ++w) {
        QFile file(QDir(folder).filePath(logFileName({logins[w], QStringLiteral("pc")})));
        if (!file.open(QIODevice::WriteOnly) || file.write(files[w]) != files[w].size()) {
            return -1;
        }
        bytes += files[w].size();
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int rounds = roundsOf(args);
    const int records = intOption(args, QStringLiteral("--records"), 100'000, 1);

    QTemporaryDir temp;
    const QString home = temp.filePath(QStringLiteral("act"));
    const QString database = temp.filePath(QStringLiteral("Demo.dbf"));
    if (!standin(home, {QStringLiteral("create-demo"), database}) ||
        !standin(home, {QStringLiteral("start"), database})) {
        return 2;
    }
    const QString usersPath = temp.filePath(QStringLiteral("Users.dat"));
    const qint64 bytes = writeLog(usersPath, records);
    if (bytes < 0) {
        return 2;
    }
    StandinServices bench(
        home, {{QStringLiteral("UsersPath"), usersPath}, {QStringLiteral("ListPath"), temp.path()}});

    QFile devNull(QStringLiteral("/dev/null"));
    if (!devNull.open(QIODevice::WriteOnly)) {
        return 2;
    }
    int exitStatus = -1;
    qsizetype shown = 0;
    Contender view{"History view",
                   [&] {
                       return msOf([&] {
                           qm::report::HistoryView v(bench.services, {usersPath, temp.path()},
                                                     QStringLiteral("Demo"), {});
                           v.resize(1000, 600);
                           v.show();
                           QCoreApplication::processEvents();
                           shown = v.model().rows().size();
                       });
                   },
                   {}};
    Contender cli{"--history",
                  [&] {
                      return msOf([&] {
                          QTextStream out(&devNull);
                          exitStatus = qm::report::commandLineMain(
                              {QStringLiteral("quillmark"), QStringLiteral("--history")}, bench.box,
                              bench.settings, bench.app, *bench.act, out);
                      });
                  },
                  {}};
    Contender baseline{
        "read the bytes",
        [&] {
            return msOf([&] {
                QStringList problems;
                for (const QString& name :
                     QDir(logFolder(usersPath)).entryList({QStringLiteral("*.log")}, QDir::Files)) {
                    sink = sink + qm::readFile(QDir(logFolder(usersPath)).filePath(name), kMaxLogFileBytes)
                                      .bytes.size();
                }
            });
        },
        {}};
    const int only = args.indexOf(QStringLiteral("--only"));
    if (only > 0 && only + 1 < args.size()) {
        Contender& alone = args[only + 1] == QStringLiteral("view") ? view : cli;
        runRounds({&alone}, rounds);
        const Spread ms = spreadOf(alone.figures);
        std::printf("%s alone: %.1f ms (rounds %.1f..%.1f)\n", alone.name.c_str(), ms.median, ms.low,
                    ms.high);
        return 0;
    }
    runRounds({&view, &cli, &baseline}, rounds);
    if (bench.box.count > 0 || exitStatus != 0 || shown != records) {
        std::fprintf(stderr, "the log did not read whole: exit %d, %lld of %d shown\n", exitStatus,
                     static_cast<long long>(shown), records);
        return 2;
    }
    std::printf("Change log of %d records, %.1f MB in 4 files; %d rounds\n", records, double(bytes) / 1e6,
                rounds);
    bool met = true;
    for (const Contender* c : {&view, &cli}) {
        const Spread ms = spreadOf(c->figures);
        std::printf("%-14s %7.1f ms (rounds %.1f..%.1f); against reading the bytes: %s\n", c->name.c_str(),
                    ms.median, ms.low, ms.high, spreadText(ratioOf(*c, baseline)).c_str());
        met = met && ms.median <= kTargetMs;
    }
    const Spread base = spreadOf(baseline.figures);
    std::printf("%-14s %7.1f ms (rounds %.1f..%.1f): the same files' bytes, read by the settings reader\n",
                "baseline", base.median, base.low, base.high);
    std::printf("target: each within %.0f ms: %s\n", kTargetMs, met ? "met" : "NOT met");
    return met ? 0 : 1;
}
