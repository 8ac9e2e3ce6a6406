// Writes settings files from a process of its own, for the tests that kill writers, stall them or
// run two at once.
//
//   settings_writer churn <ini> <field file> <size>   rewrites both files until killed
//   settings_writer keys <ini> <prefix> <count>       writes keys <prefix>0 .. <prefix><count-1>,
//                                                     and after every fourth removes the one two
//                                                     before it; prints each change that did not
//                                                     land, and exits 1 if there was one
//   settings_writer stall <ini> <key> <value>         writes one key, but stops once it holds the
//                                                     file: says "holding", goes on at a line on stdin

#include "TestFiles.h"
#include "settings/AtomicFile.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniDocument.h"
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
        int failed = 0;
        const auto check = [&](const char* what, int i, const qm::WriteResult& result) {
            if (!result.landed()) {
                std::printf("%s %d: %d %s\n", what, i, int(result.result), qPrintable(result.detail));
                ++failed;
            }
        };
        for (int i = 0; i < args[4].toInt(); ++i) {
            check("write", i,
                  qm::IniLib::WriteKeyValueResult("Sales", args[3] + QString::number(i),
                                                  "v" + QString::number(i), args[2]));
            if (i % 4 == 3) {
                check("delete", i - 2,
                      qm::IniLib::DeleteKeyResult("Sales", args[3] + QString::number(i - 2), args[2]));
            }
        }
        std::fflush(stdout);
        return failed == 0 ? 0 : 1;
    }
    if (args[1] == "stall") {
        const auto result = qm::rewriteFile(
            args[2],
            [&](const QByteArray* current) {
                std::printf("holding\n");
                std::fflush(stdout);
                char line[8];
                if (!std::fgets(line, sizeof line, stdin))
                    std::exit(3);
                const qm::IniDocument doc(current ? *current : QByteArray());
                return std::optional(doc.withValue(u"Sales", args[3], args[4].toLatin1()).bytes());
            },
            qint64(1) << 30);
        return result.result == qm::ReplaceResult::Replaced ? 0 : 1;
    }
    QElapsedTimer cycle;
    cycle.start();
    for (int i = int(QRandomGenerator::global()->bounded(26)), n = 0;; ++i, ++n) {
        const QChar c('a' + i % 26);
        qm::IniLib::WriteKeyValue("Data", "Fill", QString(100, c), args[2]);
        qm::FieldSettingsFile::write(args[3], 1, 0, qm::test::churnList(c, args[4].toInt() / 4));
        if (n == 0) {
            // The first cycle is done: say how long one takes, so the test can kill at any point
            // of the next few.
            std::printf("cycle %lld\n", static_cast<long long>(cycle.elapsed()));
            std::fflush(stdout);
        }
    }
}
