#pragma once

// A writer of a process of its own that holds a settings file's writers' locks (settings_writer
// stall) until the test ends: for the tests of what waits for those locks. The test target
// defines SETTINGS_WRITER, the helper's path.

#include <QProcess>

#include <csignal>

namespace qm::test {

struct StalledWriter {
    QProcess process;
    bool start(const QString& file) {
        process.start(SETTINGS_WRITER, {"stall", file, "H", "held"});
        return process.waitForReadyRead(10'000) && process.readLine() == "holding\n";
    }
    ~StalledWriter() {
        if (process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(process.processId()), SIGCONT);
        process.kill();
        process.waitForFinished();
    }
};

} // namespace qm::test
