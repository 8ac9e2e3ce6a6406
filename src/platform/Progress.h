#pragma once

// Progress of a long start-up. The start-up's long loops report how far they are; when the
// start-up is going to take longer than about half a second, a progress display is shown and
// kept up to date, and it goes away when the start-up is done. Reporting changes nothing else:
// the loops make the same ACT! calls in the same order, shown or not.

#include <QString>

#include <cstdint>
#include <functional>

namespace qm {

// What a person sees: a window with a caption, a bar and Cancel.
class ProgressDisplay {
public:
    virtual ~ProgressDisplay() = default;
    virtual void show() = 0;
    // `permille` of the current step, 0 to 1000, with the step's caption.
    virtual void update(int permille, const QString& caption) = 0;
    virtual void hide() = 0;
    // True once the person asked to end the start-up (Cancel, Escape, the close box).
    virtual bool cancelled() const { return false; }
};

// Thrown by the start-up's progress report once the person cancelled: it ends the start-up
// wherever its loops are. It is no error, and no error trap catches it (it derives from no
// standard exception); the start-up that set up the progress does, and ends as a refused start.
struct StartCancelled {};

enum class ProgressStep { Fields, Users };

class StartupProgress {
public:
    using Clock = std::function<std::int64_t()>; // milliseconds, steady

    static constexpr std::int64_t kShowAfterMs = 500;     // a start-up longer than this shows progress
    static constexpr std::int64_t kEstimateAfterMs = 100; // judged from its pace after this long
    static constexpr std::int64_t kUpdateEveryMs = 50;

    explicit StartupProgress(ProgressDisplay& display, Clock clock = steadyClock);
    ~StartupProgress();
    StartupProgress(const StartupProgress&) = delete;
    StartupProgress& operator=(const StartupProgress&) = delete;

    // `done` of `total` items of a step (total unknown yet: 0). Throws StartCancelled once the
    // display was cancelled.
    void report(ProgressStep step, int done, int total);
    // The start-up is over: the display goes away.
    void finish();
    bool shown() const { return m_shown; }

    // The start-up's progress that report() below goes to while this lives (one at a time).
    class Scope {
    public:
        explicit Scope(StartupProgress& progress);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;
    };

    static std::int64_t steadyClock();
    static QString caption(ProgressStep step);

private:
    void throwIfCancelled() const;

    ProgressDisplay& m_display;
    Clock m_clock;
    std::int64_t m_startMs;
    std::int64_t m_lastUpdateMs = -1;
    ProgressStep m_step = ProgressStep::Fields;
    int m_lastDone = 0;
    std::int64_t m_stepStartMs;
    bool m_shown = false;
    bool m_finished = false;
};

// Reports to the start-up's progress in scope, if any; costs next to nothing otherwise. Throws
// StartCancelled when the start-up was cancelled.
void reportProgress(ProgressStep step, int done, int total);

} // namespace qm
