// Appends change-log records from a process of its own, for the tests that run many writers at once.
//
//   changelog_writer <users file> <login> <count> <size>
//
// Waits for a line on stdin (so that all writers start together), then appends <count> records of
// about <size> bytes as writer <login>@test, each with the note "<login> <n>". Exit 0 when every
// append landed.

#include "ChangeRecords.h"
#include "settings/AtomicFile.h"
#include "settings/ChangeLog.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5)
        return 2;
    std::printf("ready\n");
    std::fflush(stdout);
    char line[8];
    if (!std::fgets(line, sizeof line, stdin))
        return 3;
    // No flushes to the disk: they would space the appends out and hide a race between writers.
    qm::fileWriteTuning().sync = false;
    const qm::changelog::Writer writer{args[2], "test"};
    int failed = 0;
    for (int i = 0; i < args[3].toInt(); ++i) {
        const auto record = qm::test::bigRecord(QDateTime::currentMSecsSinceEpoch(), args[2],
                                                args[2] + " " + QString::number(i), args[4].toInt());
        if (!qm::changelog::append(args[1], record, writer).ok())
            ++failed;
    }
    return failed == 0 ? 0 : 1;
}
