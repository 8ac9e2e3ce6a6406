#include "platform/Progress.h"

#include <QElapsedTimer>

#include <algorithm>

namespace qm {

namespace {
StartupProgress* g_current = nullptr;
}

StartupProgress::StartupProgress(ProgressDisplay& display, Clock clock)
    : m_display(display)
    , m_clock(std::move(clock))
    , m_startMs(m_clock())
    , m_stepStartMs(m_startMs) {}

StartupProgress::~StartupProgress() {
    finish();
}

std::int64_t StartupProgress::steadyClock() {
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

QString StartupProgress::caption(ProgressStep step) {
    return step == ProgressStep::Fields ? QStringLiteral("Reading the fields of the ACT! database...")
                                        : QStringLiteral("Reading the users of the ACT! database...");
}

void StartupProgress::report(ProgressStep step, int done, int total) {
    if (m_finished) {
        return;
    }
    const std::int64_t now = m_clock();
    if (step != m_step || done < m_lastDone) { // another step, or the same one again
        m_step = step;
        m_stepStartMs = now;
    }
    m_lastDone = done;
    const double fraction = total > 0 ? std::min(1.0, static_cast<double>(done) / total) : 0.0;
    if (!m_shown) {
        const std::int64_t elapsed = now - m_startMs;
        const std::int64_t stepElapsed = now - m_stepStartMs;
        // The step's pace says how long it takes in all.
        const bool slowStep =
            stepElapsed >= kEstimateAfterMs && fraction > 0.0 &&
            static_cast<double>(stepElapsed) / fraction >= static_cast<double>(kShowAfterMs);
        if (elapsed < kShowAfterMs && !slowStep) {
            return;
        }
        m_shown = true;
        m_display.show();
    } else if (now - m_lastUpdateMs < kUpdateEveryMs) {
        throwIfCancelled();
        return;
    }
    m_lastUpdateMs = now;
    m_display.update(static_cast<int>(fraction * 1000.0), caption(step));
    throwIfCancelled();
}

void StartupProgress::throwIfCancelled() const {
    if (m_display.cancelled()) {
        throw StartCancelled{};
    }
}

void StartupProgress::finish() {
    m_finished = true;
    if (m_shown) {
        m_shown = false;
        m_display.hide();
    }
}

StartupProgress::Scope::Scope(StartupProgress& progress) {
    g_current = &progress;
}

StartupProgress::Scope::~Scope() {
    g_current = nullptr;
}

void reportProgress(ProgressStep step, int done, int total) {
    if (g_current) {
        g_current->report(step, done, total);
    }
}

} // namespace qm
