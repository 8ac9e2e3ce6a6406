// Writes settings files from a process of its own, for the tests that kill writers or run two
// at once.
//
//   settings_writer churn <ini> <field file> <size>   rewrites both files until killed
//   settings_writer keys <ini> <prefix> <count>       writes keys <prefix>0 .. <prefix><count-1>

#include "TestFiles.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniLib.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5)
        return 2;
    if (args[1] == "keys") {
        for (int i = 0; i < args[4].toInt(); ++i) {
            qm::IniLib::WriteKeyValue("Sales", args[3] + QString::number(i), "v" + QString::number(i),
                                      args[2]);
        }
        return 0;
    }
    QElapsedTimer cycle;
    cycle.start();
    for (int i = int(QRandomGenerator::global()->bounded(26)), n = 0;; ++i, ++n) {
        const QChar c('a' + i % 26);
        qm::IniLib::WriteKeyValue("Data", "Fill", QString(100, c), args[2]);
        qm::FieldSettingsFile::write(args[3], 1, 0, qm::test::churnList(c, args[4].toInt() / 4));
        if (n == 0) {
            // The first cycle is done (taking over any lock a killed writer left): say how long one
            // takes, so the test can kill at any point of the next few.
            std::printf("cycle %lld\n", static_cast<long long>(cycle.elapsed()));
            std::fflush(stdout);
        }
    }
}
