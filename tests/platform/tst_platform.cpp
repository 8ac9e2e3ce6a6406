// The common error report, the Visual Basic conversions, the texts of the real dialogs, the instance guard,
// the start-up's progress, the window of a wait for another program.

#include "OtherLogin.h"
#include "TestPlatform.h"
#include "platform/ErrorReport.h"
#include "platform/FileOwner.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"
#include "platform/Progress.h"
#include "platform/VbRuntime.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

using namespace qm;

class TestPlatform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void errorTrap_data() {
        // number 0: the procedure runs to its end
        test::columns<int, bool, QString>("number", "isSub", "report");
        test::row("no error", 0, true, QString());
        test::row("Sub", 13, true, test::errorBox(13, "Type mismatch", "Form1: Sub Form_Load - Line # 16"));
        test::row("Function", 429, false,
                  test::errorBox(429, "ActiveX component can't create object",
                                 "Form1: Function Form_Load - Line # 16"));
    }

    void errorTrap() {
        auto [number, isSub, report] = test::fetch<int, bool, QString>();
        test::FakeMessageBox box;
        ErrorTrap trap(box, {"Form1", isSub ? ProcKind::Sub : ProcKind::Function, "Form_Load"});
        bool ended = true;
        const bool ok = trap.run([&] {
            trap.line = 16;
            if (number)
                throw VbError(number, vbErrorDescription(number));
            ended = false;
        });
        QCOMPARE(ok, number == 0);
        QCOMPARE(ended, number != 0); // the error ends the procedure
        QCOMPARE(box.boxes(), number ? QStringList{report} : QStringList{});
    }

    void conversions_data() {
        test::columns<QString, QString, double, int>("kind", "text", "expected", "error"); // error 0: none
        auto row = [](const char* kind, const QString& text, double expected, int error = 0) {
            QTest::addRow("%s(%s)", kind, qPrintable(text)) << QString(kind) << text << expected << error;
        };
        // The conversions the start-up relies on for the stored window settings.
        row("CInt", "2.5", 2); // half to even
        row("CInt", "32767", 32767);
        row("CInt", "32768", 0, 6);
        row("CSng", "top", 0, 13);
        row("CSng", "nan", 0, 13); // no finite number is no number
        row("CSng", "-Infinity", 0, 13);
        row("CSng", "1e400", 0, 6);
        row("CBool", "inf", 0, 13);
        row("CBool", "True", 1);
        row("CBool", "fALSE", 0);
        row("CBool", "-1", 1);
        row("CBool", "Yes", 0, 13);
        row("CStr", "-1237.5", -1237.5); // a stored Top written by CStr reads back the same
    }

    void conversions() {
        auto [kind, text, expected, error] = test::fetch<QString, QString, double, int>();
        double got = 0;
        QCOMPARE(test::errorOf([&] {
                     got = kind == "CInt"    ? double(vb::CInt(text))
                           : kind == "CBool" ? double(vb::CBool(text))
                                             : double(vb::CSng(text));
                 }),
                 error);
        QCOMPARE(got, error ? 0.0 : expected);
        if (kind == "CStr")
            QCOMPARE(vb::CStr(float(expected)), text);
    }

    // What the real message box and file dialog show of the texts they are given.
    void shownTexts() {
        QCOMPARE(displayText("a\rb\r\nc"), "a\nb\nc");
        QCOMPARE(qtFilter("Data file (*.dat)|*.dat"), "Data file (*.dat)");
        QCOMPARE(qtFilter("Text|*.txt;*.log|All (*.*)|*.*"), "Text (*.txt *.log);;All (*.*)");
    }

    void instanceGuard() {
        QTemporaryDir dir;
        const QString path = dir.filePath("sub/quillmark.lock");
        {
            LockFileInstanceGuard first(path);
            QVERIFY(!first.anotherCopyRuns());
            LockFileInstanceGuard second(path);
            QVERIFY(second.anotherCopyRuns());
            QVERIFY(!first.anotherCopyRuns()); // asking again does not change the answer
        }
        QVERIFY(!LockFileInstanceGuard(path).anotherCopyRuns()); // the first copy ended
        // A copy that was killed leaves a lock naming a process that no longer runs: it does not block.
        QVERIFY(test::writeBytes(path, "999999\nquillmark\n" + QSysInfo::machineHostName().toUtf8() + "\n"));
        QVERIFY(!LockFileInstanceGuard(path).anotherCopyRuns());
    }

    // Without XDG_RUNTIME_DIR the lock lies in a folder of the login's own: the toolkit's stand-in
    // in the temporary folder when it is this login's, else the login's cache folder; never a fixed
    // name in the temporary folder, which another login could make first.
    void lockWithoutRuntimeFolder_data() {
        test::columns<bool>("taken");
        test::row("the stand-in is free", false);
        test::row("another login made the stand-in", true);
    }

    void lockWithoutRuntimeFolder() {
        auto [taken] = test::fetch<bool>();
        if (taken && !test::canPlayOtherLogin())
            QSKIP("only root can give a folder to another login");
        QTemporaryDir dir;
        const QString temp = dir.filePath("tmp");
        const QString cache = dir.filePath("cache");
        QVERIFY(QDir().mkpath(temp));
        const QList<QByteArray> names{"XDG_RUNTIME_DIR", "TMPDIR", "XDG_CACHE_HOME"};
        QList<QByteArray> saved;
        for (const QByteArray& name : names)
            saved << qgetenv(name);
        const auto restore = qScopeGuard([&] {
            for (int i = 0; i < names.size(); ++i)
                saved[i].isEmpty() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
        });
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(temp));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
        if (taken) {
            // The toolkit makes its stand-in ("runtime-" and the login's name); then it is taken.
            const QString standIn = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
            QVERIFY(standIn.startsWith(temp));
            QVERIFY(test::giveToOtherLogin(standIn));
        }
        const QString path = LockFileInstanceGuard::defaultLockPath();
        const QString folder = QFileInfo(path).absolutePath();
        QVERIFY2(folder != temp, qPrintable(path));
        QVERIFY2(!otherLoginOf(folder), qPrintable(path));
        if (taken)
            QCOMPARE(path, LockFileInstanceGuard::ownLockPath());
        QVERIFY(path.startsWith(taken ? cache : temp));
        QVERIFY(!LockFileInstanceGuard(path).anotherCopyRuns());
    }

    // A lock file that another login made says nothing of a copy of this login running: the lock
    // is taken in the login's own folder instead, and holds there.
    void lockFileOfAnotherLogin() {
        if (!test::canPlayOtherLogin())
            QSKIP("only root can give a file to another login");
        QTemporaryDir dir;
        const QString planted = dir.filePath("shared/quillmark.lock");
        const QString own = dir.filePath("own/quillmark.lock");
        QVERIFY(QDir().mkpath(dir.filePath("shared")));
        // A lock of a live copy on another machine, which cannot be judged stale.
        QVERIFY(test::writeBytes(planted, "1\nquillmark\nanother-host\n"));
        QVERIFY(test::giveToOtherLogin(planted));
        LockFileInstanceGuard first(planted, own);
        QVERIFY(!first.anotherCopyRuns());
        QCOMPARE(first.lockPath(), own);
        QVERIFY(LockFileInstanceGuard(planted, own).anotherCopyRuns()); // the own lock holds
        QCOMPARE(test::readBytes(planted), QByteArray("1\nquillmark\nanother-host\n"));
    }

    // The wait cursor at once, the window after a second; while it is up only its Cancel takes the
    // pointer, and neither another window nor a timer of the tool gets a turn.
    void waitWindow() {
        QWidget other;
        auto* button = new QPushButton("Save", &other);
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        int clicks = 0, ticks = 0;
        connect(button, &QPushButton::clicked, [&] { ++clicks; });
        QtWaitWindow wait;
        const QString file = "/srv/Settings/Users.dat";
        wait.begin(file);
        QTimer::singleShot(1, [&] { ++ticks; });
        QCOMPARE(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor,
                 Qt::WaitCursor);
        QVERIFY(!wait.cancelPressed());
        QVERIFY(!wait.window()->isVisible());
        QThread::msleep(QtWaitWindow::kShowAfterMs + 20);
        QVERIFY(!wait.cancelPressed());
        QVERIFY(wait.window()->isVisible());
        QCOMPARE(wait.window()->findChild<QLabel*>()->text(),
                 "Waiting for another program that is writing /srv/Settings/Users.dat...");
        QVERIFY(wait.window()->grab().save(QDir::temp().filePath("quillmark-waiting.png")));
        QThread::msleep(5);
        QVERIFY(!wait.cancelPressed());
        QCOMPARE(ticks, 0); // (QTest's clicks below let timers run themselves)
        QTest::mouseClick(other.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
        QVERIFY(!wait.cancelPressed());
        auto* cancel = wait.window()->findChild<QPushButton*>("cmdCancel");
        QTest::mouseClick(wait.window()->windowHandle(), Qt::LeftButton, {},
                          cancel->mapTo(wait.window(), cancel->rect().center()));
        QVERIFY(wait.cancelPressed());
        QCOMPARE(clicks, 0);
        wait.end();
        QVERIFY(!wait.window()->isVisible() && !QApplication::overrideCursor());
    }

    // A script of reports, "ms step done/total" (F fields, U users) or "ms finish", against what
    // the display was asked to do.
    void startupProgress_data() {
        test::columns<QString, QString>("script", "display");
        test::row("a quick start-up shows nothing", "0 F 0/4; 40 F 4/4; 50 U 1/3; 90 U 3/3; 95 finish", "");
        test::row("a slow pace shows progress early", "0 F 0/1000; 100 F 100/1000; 120 F 130/1000",
                  "show; 100 F");
        test::row("a long start-up shows at half a second",
                  "0 F 0/10; 40 F 10/10; 50 U 1/2; 300 U 2/2; 310 U 1/2; 520 U 2/2; 530 finish",
                  "show; 1000 U; hide");
        test::row("updates at most every 50 ms",
                  "0 F 0/100; 500 F 10/100; 510 F 20/100; 549 F 30/100; 550 F 40/100", "show; 100 F; 400 F");
        test::row("nothing after the start-up", "0 F 0/100; 600 F 10/100; 601 finish; 700 F 50/100",
                  "show; 100 F; hide");
        test::row("unknown total", "0 F 0/0; 600 F 3/0", "show; 0 F");
        test::row("Cancel ends the start-up at the next report",
                  "0 U 0/100; 600 U 10/100; 610 cancel; 620 U 11/100; 700 U 20/100", "show; 100 U; ended");
    }

    void startupProgress() {
        auto [script, display] = test::fetch<QString, QString>();
        struct Display : ProgressDisplay {
            QStringList log;
            void show() override { log << "show"; }
            void update(int permille, const QString& caption) override {
                log << QString("%1 %2").arg(permille).arg(
                    caption == StartupProgress::caption(ProgressStep::Fields) ? "F" : "U");
            }
            void hide() override { log << "hide"; }
            bool cancelled() const override { return cancel; }
            bool cancel = false;
        } shown;
        std::int64_t now = 0;
        StartupProgress progress(shown, [&] { return now; });
        const StartupProgress::Scope scope(progress);
        for (const QString& report : script.split("; ")) {
            const QStringList parts = report.split(' ');
            now = parts[0].toLongLong();
            if (parts[1] == "finish") {
                progress.finish();
                continue;
            }
            if (parts[1] == "cancel") { // the person presses Cancel
                shown.cancel = true;
                continue;
            }
            const QStringList counts = parts[2].split('/');
            try {
                reportProgress(parts[1] == "F" ? ProgressStep::Fields : ProgressStep::Users,
                               counts[0].toInt(), counts[1].toInt());
            } catch (const StartCancelled&) {
                shown.log << "ended";
                break;
            }
        }
        QCOMPARE(shown.log.join("; "), display);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
