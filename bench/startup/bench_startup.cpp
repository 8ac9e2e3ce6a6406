// Starts Quillmark on a large stand-in ACT! database (5,000 users, 30,000 slots) and on the demo
// database, each up to the moment the main window is shown, and prints both times and their ratio.
// Target: the large database costs at most twice the demo database.
//
// Measures: "cold" launches a process per start, wired as main() wires the program, and
// times it from the launch to the exposed window (what a user waits for); "warm" repeats the
// start inside one process, so that only the per-database work differs; a third measure counts
// the automation calls of a start (and per field slot) and times it without a delay and at a
// delay per call (ACT_STANDIN_CALL_DELAY_US: an ACT! answering from another process). Each
// measure's contenders take turns in rounds (see BenchRounds.h): the ratio printed is the median
// of the per-round ratios, with their spread. A contender is a function run once per round;
// another measure is one more pair of them.
//
//     bench_startup [--rounds N] [--call-delay-us N]   (default 50 us; exit 1 when the median
//                                                       cold ratio misses the target)

#include "../BenchRounds.h"
#include "../BenchServices.h"
#include "act/standin/StandinBackend.h"
#include "act/standin/StandinDatabase.h"
#include "app/Form1.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"
#include "platform/Progress.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <vector>

namespace {

using namespace qm::bench;

struct Run {
    double ms = 0;
    int fields = 0;
    int users = 0;
    int messages = 0;
};

// One start: services wired as main() wires them, Form_Load, show, until the window is exposed.
Run startOnce(const QString& home) {
    PrintingMessageBox box;
    MemorySettings settings;
    qm::DesktopShell shell{QString(), {}};
    AloneGuard instance;
    qm::QtAppInfo app;
    qm::ProcessTerminator terminator;
    qm::QtFileDialogs dialogs;
    QElapsedTimer timer;
    timer.start();
    const auto act = qm::act::standin::makeFactory(home);
    qm::QuietWait wait;
    qm::Services services{box, settings, shell, instance, app, terminator, dialogs, *act, wait};
    Run run;
    {
        qm::Form1 form(services);
        form.Form_Load();
        form.show();
        while (!form.windowHandle() || !form.windowHandle()->isExposed()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        QCoreApplication::processEvents(); // the first paint
        run.ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        run.fields = form.controls().cboFields->count();
        run.users = form.controls().lvwUsers->topLevelItemCount();
        form.hide();
    }
    run.messages = box.count;
    return run;
}

// Launch to shown window of one process running startOnce.
double coldStart(const QString& home) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), home});
    while (!p.canReadLine() && p.waitForReadyRead(60000)) {
    }
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    const bool shown = p.readLine().startsWith("shown");
    p.waitForFinished(60000);
    return shown && p.exitCode() == 0 ? ms : -1.0;
}

// One start in this process at `delayUs` per automation call (an ACT! in another process, where
// every call crosses the boundary), with the progress display main() wires.
struct DelayedRun {
    double ms = 0;
    std::int64_t calls = 0;
    bool progressShown = false;
};
DelayedRun delayedStart(const QString& home, int delayUs) {
    setCallDelay(delayUs); // read by the start's factory
    qm::ProgressWindow window;
    qm::StartupProgress progress(window);
    const std::int64_t before = qm::act::standin::automationCalls();
    DelayedRun run;
    {
        const qm::StartupProgress::Scope scope(progress);
        run.ms = startOnce(home).ms;
    }
    run.calls = qm::act::standin::automationCalls() - before;
    run.progressShown = progress.shown();
    progress.finish();
    setCallDelay(0);
    return run;
}

// Calls per start-up (and per slot of the large database's `slots`), and the start-up without a
// delay and at `delayUs` per call, the two databases at both delays in turns over `rounds` rounds.
void printCallCost(const QString& demoHome, const QString& largeHome, std::size_t slots, int delayUs,
                   int rounds) {
    struct Pair {
        int delayUs;
        DelayedRun demo, large;
        qm::bench::Contender demoC, largeC;
    };
    std::vector<Pair> pairs{{0, {}, {}, {}, {}}, {delayUs, {}, {}, {}, {}}};
    std::vector<qm::bench::Contender*> contenders;
    for (Pair& p : pairs) {
        p.demoC = {"demo", [&p, &demoHome] { return (p.demo = delayedStart(demoHome, p.delayUs)).ms; }, {}};
        p.largeC = {
            "large", [&p, &largeHome] { return (p.large = delayedStart(largeHome, p.delayUs)).ms; }, {}};
        contenders.insert(contenders.end(), {&p.demoC, &p.largeC});
    }
    qm::bench::runRounds(contenders, rounds);
    std::printf("automation calls per start-up, and the start-up without a delay and at %d us per call\n"
                "(%d rounds; medians, lowest..highest round)\n",
                delayUs, rounds);
    const Pair& last = pairs.back();
    std::printf("  demo  %7lld calls\n", static_cast<long long>(last.demo.calls));
    std::printf("  large %7lld calls, %.3f per slot of %zu\n", static_cast<long long>(last.large.calls),
                static_cast<double>(last.large.calls) / static_cast<double>(std::max<std::size_t>(slots, 1)),
                slots);
    for (const Pair& p : pairs) {
        const auto d = qm::bench::spreadOf(p.demoC.figures);
        const auto l = qm::bench::spreadOf(p.largeC.figures);
        std::printf(
            "  at %3d us per call: demo %8.1f ms (%.1f..%.1f)   large %8.1f ms (%.1f..%.1f), calls alone "
            "%.1f ms, progress shown: %s\n",
            p.delayUs, d.median, d.low, d.high, l.median, l.low, l.high,
            static_cast<double>(p.large.calls) * p.delayUs / 1000.0, p.large.progressShown ? "yes" : "no");
        std::printf("    ratio large/demo %s\n",
                    qm::bench::spreadText(qm::bench::ratioOf(p.largeC, p.demoC)).c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--child")) {
        const Run run = startOnce(args.at(2));
        std::printf("shown %.3f\n", run.ms);
        std::fflush(stdout);
        return run.messages > 0 ? 2 : 0;
    }
    const int rounds = roundsOf(args);
    const int delayUs = callDelayOf(args);
    setCallDelay(0);

    QTemporaryDir temp;
    const QString largeHome = temp.filePath(QStringLiteral("large"));
    const QString demoHome = temp.filePath(QStringLiteral("demo"));
    const QString largeDb = temp.filePath(QStringLiteral("Large.dbf"));
    if (!startLarge(largeHome, largeDb) || !standin(demoHome, {QStringLiteral("start")})) {
        return 2;
    }

    using qm::bench::Contender;
    Run lastLarge;
    Run lastDemo;
    Contender coldLarge{"cold large", [&] { return coldStart(largeHome); }, {}};
    Contender coldDemo{"cold demo", [&] { return coldStart(demoHome); }, {}};
    Contender warmLarge{"warm large", [&] { return (lastLarge = startOnce(largeHome)).ms; }, {}};
    Contender warmDemo{"warm demo", [&] { return (lastDemo = startOnce(demoHome)).ms; }, {}};
    coldStart(demoHome); // warm-up: the file cache
    qm::bench::runRounds({&coldLarge, &coldDemo}, rounds);
    for (const Contender* c : {&coldLarge, &coldDemo}) {
        if (*std::min_element(c->figures.begin(), c->figures.end()) < 0) {
            std::fprintf(stderr, "a start did not reach the shown window\n");
            return 2;
        }
    }
    startOnce(demoHome); // warm-up: fonts, style, plugins
    qm::bench::runRounds({&warmLarge, &warmDemo}, rounds);
    if (lastLarge.messages + lastDemo.messages > 0) {
        return 2;
    }
    QElapsedTimer load;
    load.start();
    const auto contents = qm::act::standin::readDatabase(largeDb);
    const double loadMs = static_cast<double>(load.nsecsElapsed()) / 1e6;

    using qm::bench::spreadOf;
    using qm::bench::spreadText;
    const auto cold = qm::bench::ratioOf(coldLarge, coldDemo);
    std::printf("Start-up to the shown main window, %d rounds (medians; lowest..highest round)\n", rounds);
    std::printf("  large database: %d protected fields listed of %zu slots, %d users\n", lastLarge.fields,
                contents.slots.size(), lastLarge.users);
    std::printf("  demo database:  %d protected fields listed, %d users\n", lastDemo.fields, lastDemo.users);
    for (const auto& [title, large, demo] :
         {std::tuple{"cold (process launch to shown window)", &coldLarge, &coldDemo},
          std::tuple{"warm (repeated in one process)", &warmLarge, &warmDemo}}) {
        const auto l = spreadOf(large->figures);
        const auto d = spreadOf(demo->figures);
        std::printf("%s\n", title);
        std::printf("  large %8.1f ms (%.1f..%.1f)   demo %8.1f ms (%.1f..%.1f)\n", l.median, l.low, l.high,
                    d.median, d.low, d.high);
        std::printf("  ratio large/demo %s%s\n", spreadText(qm::bench::ratioOf(*large, *demo)).c_str(),
                    large == &coldLarge ? " (target at most 2.00)" : "");
    }
    std::printf("  of the large start, the stand-in reading its database: %.1f ms\n", loadMs);
    printCallCost(demoHome, largeHome, contents.slots.size(), delayUs, std::max(1, rounds / 2));
    return cold.median <= 2.0 ? 0 : 1;
}
