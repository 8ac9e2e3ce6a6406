// Quillmark on the command line: the exit statuses of --check and --report with what they print,
// in process on a fake ACT!, and the real program without any display on the ACT! stand-in.

#include "OtherLogin.h"
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
        row("report to an empty name", "--report ", "", clean, 2, "",
            "The file name after '--report' is empty.\rTry 'quillmark --help'.");
        row("report to an empty name, with =", "--report= --check", "", clean, 2, "",
            "The file name after '--report' is empty.");
        // %1/link.csv: a link that another login made, to a file of the test's
        row("report to another login's link", "--report %1/link.csv", "", clean, 2, "",
            "The report could not be written to %1/link.csv: %1/link.csv is a link made by nobody");
        row("check, a list holding escape sequences", "--check", "",
            clean + "GlobalI=\x1b[2J\x1b[HNo hazard found.\x07\r\n", 1,
            "\\x1B[2J\\x1B[HNo hazard found.\\x07 |", "");
        row("check, a users file of no text", "--check", "", B("\xFF\xFE[\0C\0", 6), 1,
            "Not a text file | - | - | Users.dat | The file holds bytes that are not text (0x00 at byte 4)",
            "");
        row("check, no section for the database", "--check", "", B("[Other]\r\nGlobalF={ID-0001}\r\n"), 1,
            "No section for this database | - | - | [Contacts] |", "");
        row("no database", "--check", "closed", clean, 2, "",
            "Please open an ACT database prior to running Quillmark!");
        row("ACT! unreachable", "--check", "unregistered", clean, 2, "", "Unable to communicate with ACT!");
        row("not an administrator", "--check", "user", clean, 2, "",
            "Sorry! This program may only be run by an administrator of the database!");
        row("an ACT! error", "--report %1/r.csv", "UniqueID", clean, 2, "", "Error 440: 'Automation error'");
    }

    void exitStatus() {
        auto [args, act, users, exit, out, box] = test::fetch<QString, QString, B, int, QString, QString>();
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
        if (args.contains("link.csv")) {
            if (!test::canPlayOtherLogin())
                QSKIP("only root can make a link of another login");
            QVERIFY(test::writeBytes(dir.filePath("mine.csv"), "private\n"));
            QVERIFY(test::makeLink(dir.filePath("mine.csv"), dir.filePath("link.csv"), true));
        }
        QString printed;
        QTextStream stream(&printed);
        const int status = report::commandLineMain(QStringList{"quillmark"} +
                                                       QString(args).replace("%1", dir.path()).split(' '),
                                                   t.messageBox, t.settings, t.app, t.act, stream);
        stream.flush();
        QCOMPARE(status, exit);
        QVERIFY2(printed.contains(out), qPrintable(printed));
        // Nothing from the files reaches the terminal as a control character.
        QVERIFY2(std::none_of(printed.cbegin(), printed.cend(),
                              [](QChar c) { return c.category() == QChar::Other_Control && c != '\n'; }),
                 qPrintable(report::printable(printed)));
        QVERIFY2(box.isEmpty()
                     ? t.messageBox.shown.empty()
                     : t.messageBox.shown.at(0).text.startsWith(QString(box).replace("%1", dir.path())),
                 qPrintable(t.messageBox.shown.empty() ? "" : t.messageBox.shown.at(0).text));
        if (args.contains("link.csv"))
            QCOMPARE(test::readBytes(dir.filePath("mine.csv")), B("private\n"));
        QCOMPARE(QFile::exists(dir.filePath("r.csv")), args.contains("/r.csv") && exit == 0);
        QVERIFY(!t.actState.calls.contains("Operation1(0)") || t.actState.calls.last() == "Operation2()");
    }

    // What a terminal is given of a text: its control characters, and the characters that turn
    // the direction of text, as visible escapes.
    void printable_data() {
        test::columns<QString, QString>("text", "shown");
        using test::row;
        row("plain", "Ann Archer {USR-0001}", "Ann Archer {USR-0001}");
        row("beyond ASCII", "Zoë Ørsted", "Zoë Ørsted");
        row("an escape sequence", "\x1b[2J\x1b[HNo hazard found.", "\\x1B[2J\\x1B[HNo hazard found.");
        row("line breaks and a tab", "a\r\nb\tc", "a\\r\\nb\\tc");
        row("NUL, bell, DEL", QString("a") + QChar(0) + "\x07\x7f", "a\\x00\\x07\\x7F");
        row("a C1 control", QString("a") + QChar(0x9b) + "2J", "a\\x9B2J");
        row("a right-to-left override", QString("abc") + QChar(0x202e) + "fdp.exe", "abc\\u202Efdp.exe");
    }

    void printable() {
        auto [text, shown] = test::fetch<QString, QString>();
        QCOMPARE(report::printable(text), shown);
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
        auto [standin, users, exit] = test::fetch<bool, B, int>();
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
