// Quillmark on the command line: the exit statuses of --check and --report with what they print,
// in process on a fake ACT!, and the real program without any display on the ACT! stand-in.

#include "TestServices.h"
#include "act/standin/StandinBackend.h"
#include "report/ReportCommand.h"

#include <QProcess>
#include <QTemporaryDir>

using namespace qm;
using B = QByteArray;

class TestReportCommand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exitStatus_data() {
        // act: how ACT! is ("" runs with the database open); users: the users file; out and box: a
        // part of what is printed and the first message box ("" none)
        test::columns<QString, QString, B, int, QString, QString>("args", "act", "users", "exit", "out",
                                                                  "box");
        using test::row;
        const B clean = "[Contacts]\r\nGlobalF={ID-0001}\r\n28I={ID-0002}\r\n";
        const B found = clean + "99F={ID-0001}\r\n";
        row("help", "--help", "", clean, 0, "--report <file>", "");
        row("version", "--version", "", clean, 0, "quillmark 1.0.4\n", "");
        row("unknown option", "--bogus", "", clean, 2, "",
            "Unknown option 'bogus'.\rTry 'quillmark --help'.");
        row("report without a file", "--report", "", clean, 2, "", "Missing value after '--report'.");
        row("an argument", "--check extra", "", clean, 2, "", "Unexpected argument 'extra'.");
        row("check, clean", "--check", "", clean, 0, "No hazard found.\n", "");
        row("check, hazards", "--check", "", found, 1, "Field no longer exists | - | (99) | 99F |", "");
        row("report and check", "--report %1/r.csv --check", "", clean, 0, "Wrote the rights of 3 users on 2",
            "");
        row("report to a missing folder", "--report %1/no/r.csv", "", clean, 2, "",
            "The report could not be written to");
        row("no database", "--check", "closed", clean, 2, "",
            "Please open an ACT database prior to running Quillmark!");
        row("ACT! unreachable", "--check", "unregistered", clean, 2, "", "Unable to communicate with ACT!");
        row("not an administrator", "--check", "user", clean, 2, "",
            "Sorry! This program may only be run by an administrator of the database!");
        row("an ACT! error", "--report %1/r.csv", "UniqueID", clean, 2, "", "Error 440: 'Automation error'");
    }

    void exitStatus() {
        auto [args, act, users, exit, out, box] = test::fetch<QString, QString, B, int, QString, QString>(
            "args", "act", "users", "exit", "out", "box");
        QTemporaryDir dir;
        test::TestServices t;
        t.actState.databasePath = "/act/Contacts.dbf";
        t.actState.slots = {{5, "Company", 0}, {28, "Phone", 3}, {31, "Fax", 3}};
        t.actState.addUsers(3);
        t.actState.databaseOpen = act != "closed";
        t.actState.automationRegistered = act != "unregistered";
        t.actState.currentUserSecurity = act == "user" ? 1 : 5;
        if (act == "UniqueID")
            t.actState.failing = {"UniqueID"};
        t.settings.values = {{"UsersPath", dir.filePath("Users.dat")}, {"ListPath", dir.path()}};
        QVERIFY(test::writeBytes(dir.filePath("Users.dat"), users));
        QString printed;
        QTextStream stream(&printed);
        const int status = report::commandLineMain(QStringList{"quillmark"} +
                                                       QString(args).replace("%1", dir.path()).split(' '),
                                                   t.messageBox, t.settings, t.app, t.act, stream);
        stream.flush();
        QCOMPARE(status, exit);
        QVERIFY2(printed.contains(out), qPrintable(printed));
        QVERIFY(box.isEmpty() ? t.messageBox.shown.empty() : t.messageBox.shown.at(0).text.startsWith(box));
        QCOMPARE(QFile::exists(dir.filePath("r.csv")), args.contains("/r.csv") && exit == 0);
        QVERIFY(!t.actState.calls.contains("Operation1(0)") || t.actState.calls.last() == "Operation2()");
    }

    // The installed program, with no display at all, on the ACT! stand-in's demo database.
    void withoutDisplay_data() {
        test::columns<bool, B, int>("standin", "users", "exit");
        test::row("clean", true, B("[Demo]\r\nGlobalF={USR-0002-C7D1}\r\n"), 0);
        test::row("a user in both lists", true,
                  B("[Demo]\r\n210F={USR-0002-C7D1}\r\n210I={USR-0002-C7D1}\r\n"), 1);
        test::row("ACT! not running", false, B(), 2);
    }

    void withoutDisplay() {
        auto [standin, users, exit] = test::fetch<bool, B, int>("standin", "users", "exit");
        QTemporaryDir dir;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        env.insert(act::standin::kHomeVariable, dir.filePath("act"));
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        QVERIFY(QDir().mkpath(dir.filePath("config/Quillmark")));
        QVERIFY(test::writeBytes(dir.filePath("config/Quillmark/Quillmark.conf"),
                                 "[Settings]\nUsersPath=" + dir.filePath("Users.dat").toUtf8() +
                                     "\nListPath=" + dir.path().toUtf8() + "\n"));
        QVERIFY(test::writeBytes(dir.filePath("Users.dat"), users));
        QProcess p;
        p.setProcessEnvironment(env);
        if (standin) {
            p.start(ACT_STANDIN_PATH, {"start"});
            QVERIFY(p.waitForFinished(20000) && p.exitCode() == 0);
        }
        p.start(QUILLMARK_PATH, {"--check", "--report", dir.filePath("r.csv")});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == exit, p.readAllStandardError().constData());
        QCOMPARE(test::readBytes(dir.filePath("r.csv")).count('\n'), standin ? 13 : 0);
    }
};

QTEST_MAIN(TestReportCommand)
#include "tst_reportcommand.moc"
