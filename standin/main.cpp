// act-standin: plays a running ACT! where ACT! cannot run (see `act-standin --help`).

#include "StandinCommands.h"

#include "act/standin/StandinBackend.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("act-standin"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return qm::standin::runCommand(QCoreApplication::arguments().mid(1), qm::act::standin::homeFolder(), out,
                                   err);
}
