#pragma once

// What the window benchmarks share: the services a measured window gets (no box may wait for a
// click: an unexpected message is printed, counted and answered), a run of `act-standin`, and the
// time one piece of work takes. QM_ACT_STANDIN names the stand-in program (set by the build).

#include "act/standin/StandinBackend.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"
#include "platform/Services.h"

#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace qm::bench {

class PrintingMessageBox : public MessageBox {
public:
    explicit PrintingMessageBox(int answer = vbOK)
        : m_answer(answer) {}
    int show(const QString& text, int, const QString&) override {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(displayText(text)));
        ++count;
        return m_answer;
    }
    int count = 0;

private:
    int m_answer;
};

// Preferences in memory: every run starts from the values the benchmark puts there.
class MemorySettings : public SettingsStore {
public:
    std::optional<QString> value(const QString& key) const override {
        return values.contains(key) ? std::optional<QString>(values.value(key)) : std::nullopt;
    }
    void setValue(const QString& key, const QString& value) override { values.insert(key, value); }
    using SettingsStore::value;
    QMap<QString, QString> values;
};

class AloneGuard : public InstanceGuard {
public:
    bool anotherCopyRuns() override { return false; }
};

// The services of a measured window on the stand-in session at `home`, wired as main() wires
// them, with `preferences` for its settings and `answer` to every message.
struct StandinServices {
    StandinServices(const QString& home, QMap<QString, QString> preferences, int answer = vbOK)
        : box(answer)
        , act(act::standin::makeFactory(home)) {
        settings.values = std::move(preferences);
    }
    PrintingMessageBox box;
    MemorySettings settings;
    DesktopShell shell{QString(), {}};
    AloneGuard instance;
    QtAppInfo app;
    ProcessTerminator terminator;
    QtFileDialogs dialogs;
    std::unique_ptr<act::ObjectFactory> act;
    QuietWait wait;
    Services services{box, settings, shell, instance, app, terminator, dialogs, *act, wait};
};

// `act-standin args...` with its home at `home`; false (and what it said) when it fails.
inline bool standin(const QString& home, const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(act::standin::kHomeVariable), home);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(QM_ACT_STANDIN), args);
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        std::fprintf(stderr, "act-standin %s failed: %s\n", qPrintable(args.join(QLatin1Char(' '))),
                     p.readAllStandardError().constData());
        return false;
    }
    return true;
}

// A stand-in session on a new large database (see `act-standin create-large`).
inline bool startLarge(const QString& home, const QString& database) {
    return standin(home, {QStringLiteral("create-large"), database}) &&
           standin(home, {QStringLiteral("start"), database});
}

// "NAME N" from the command line (at least `least`), else `fallback`.
inline int intOption(const QStringList& args, const QString& name, int fallback, int least) {
    const qsizetype at = args.indexOf(name);
    if (at > 0 && at + 1 < args.size()) {
        return std::max(least, args.at(at + 1).toInt());
    }
    return fallback;
}

// "--rounds N" from the command line (at least 1), else `fallback`.
inline int roundsOf(const QStringList& args, int fallback = 7) {
    return intOption(args, QStringLiteral("--rounds"), fallback, 1);
}

// "--call-delay-us N" from the command line (at least 0), else 50: the delay of every automation
// call that plays an ACT! answering from another process.
inline int callDelayOf(const QStringList& args) {
    return intOption(args, QStringLiteral("--call-delay-us"), 50, 0);
}

// From now on every automation call of the stand-in in this process waits `us` microseconds:
// ACT_STANDIN_CALL_DELAY_US set, and read again.
inline void setCallDelay(int us) {
    qputenv(act::standin::kCallDelayVariable, QByteArray::number(us));
    act::standin::setCallDelayFromEnvironment();
}

inline double msOf(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace qm::bench
