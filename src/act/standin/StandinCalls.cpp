// The count of the stand-in's automation calls and their optional delay, and what the shell
// takes for a stand-in database.

#include "act/standin/StandinBackend.h"

#include <QFile>

#include <atomic>
#include <chrono>

namespace qm::act::standin {

namespace {

std::atomic<std::int64_t> g_calls{0};
std::atomic<std::int64_t> g_delayNs{0};

// Spins rather than sleeps: a sleep of some microseconds lasts far longer than asked.
void wait(std::int64_t ns) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(ns);
    while (std::chrono::steady_clock::now() < until) {
    }
}

} // namespace

void automationCall() {
    ++g_calls;
    if (const std::int64_t ns = g_delayNs.load(std::memory_order_relaxed); ns > 0) {
        wait(ns);
    }
}

std::int64_t automationCalls() {
    return g_calls.load();
}

void setCallDelayFromEnvironment() {
    bool ok = false;
    const int us = qEnvironmentVariableIntValue(kCallDelayVariable, &ok);
    g_delayNs = ok && us > 0 ? std::int64_t{us} * 1000 : 0;
}

bool isDatabaseFile(const QString& path) {
    QFile file(path);
    static const QByteArray kSqliteHeader("SQLite format 3\0", 16);
    return file.open(QIODevice::ReadOnly) && file.read(kSqliteHeader.size()) == kSqliteHeader;
}

} // namespace qm::act::standin
