// The history of the settings: the filters and the order, the texts of a change, the command
// line's --history, and the History view driven as an administrator drives it.

#include "ChangeRecords.h"
#include "Pointer.h"
#include "TestServices.h"
#include "report/HistoryView.h"
#include "report/ReportCommand.h"

#include <QApplication>
#include <QBuffer>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <ctime>

using namespace qm;
using namespace qm::changelog;
using B = QByteArray;

namespace {

qint64 at(const char* utc) {
    return *parseUtcText(utc);
}

// A log of six changes of "Contacts" (one of them written as "contacts") and one of "Other", from
// three writers, each change's note naming it, and a truncated last line. Names that a spreadsheet
// would take for a formula, or that would drive a terminal.
void writeLog(const QString& users) {
    Record r1 = test::fieldRecord(at("2024-01-10T09:00:00.000Z"), "ann", "r1");
    r1.actUser = "=Chris Huffman";
    Record r2 = test::globalRecord(at("2024-01-11T09:00:00.000Z"), "bob", "r2");
    r2.actUser = "Ed Bell";
    Record r3 = test::fieldRecord(at("2024-01-12T09:00:00.000Z"), "ann", "r3");
    r3.actUser = QString::fromUtf8("\x1b[2J Zo\u00eb \u202e\U0001F600");
    r3.fieldId = "280";
    r3.fieldLabel = "Phone 2";
    Record r4 = test::fieldRecord(at("2024-01-13T09:00:00.000Z"), "carl", "r4");
    r4.database = "Other";
    Record r5 = test::fieldRecord(at("2024-01-14T09:00:00.000Z"), "bob", "r5");
    r5.database = "contacts";
    r5.fieldId = "31";
    r5.fieldLabel = "Fax";
    r5.users.clear();
    r5.keys.clear();
    r5.fileBefore = B("OnlyFromDropdown=1\r\nAllowEditing=0\r\nRed\r\nGreen\r\n");
    r5.fileAfter = B("OnlyFromDropdown=1\r\nAllowEditing=1\r\nRed\r\nBlue\r\nGreen\r\n");
    Record r6 = test::globalRecord(at("2024-01-15T09:00:00.000Z"), "ann", "r6");
    r6.kind = Kind::Locations;
    r6.users.clear();
    r6.keys = {{"UsersPath", B("/old/Users.dat"), B("/srv/Users.dat")}};
    for (const Record& r : {r1, r2, r3, r4, r5, r6})
        QVERIFY(append(users, r, {r.login, "pc"}).ok());
    QVERIFY(test::writeBytes(users + ".log/ann@pc.log",
                             test::readBytes(users + ".log/ann@pc.log") + "QM1\t2024"));
}

QStringList notesOf(const report::History& h, const std::vector<int>& rows) {
    QStringList out;
    for (const int row : rows)
        out << h.record(row).note;
    return out;
}

} // namespace

class TestHistory : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        qputenv("TZ", "UTC"); // dates without a zone are local ones
        ::tzset();
        writeLog(m_dir.filePath("Users.dat"));
    }

    void filters_data() {
        test::columns<QString, QString, QString, QString, QString, QStringList>("field", "user", "login",
                                                                                "since", "until", "shown");
        using test::row;
        using L = QStringList;
        row("everything, newest first", "", "", "", "", "", L{"r6", "r5", "r3", "r2", "r1"});
        row("a field ID, exactly", "28", "", "", "", "", L{"r1"});
        row("a part of a label", "PHONE", "", "", "", "", L{"r3", "r1"});
        row("the global rights", "global", "", "", "", "", L{"r2"});
        row("a part of a user's name", "", "dana", "", "", "", L{"r3", "r1"});
        row("a part of a unique ID", "", "ID-0001", "", "", "", L{"r2"});
        row("a login", "", "", "Ann", "", "", L{"r6", "r3", "r1"});
        row("an ACT! user", "", "", "ed b", "", "", L{"r2"});
        row("from a day on", "", "", "", "2024-01-12", "", L{"r6", "r5", "r3"});
        row("up to the end of a day", "", "", "", "", "2024-01-11", L{"r2", "r1"});
        row("from a time on", "", "", "", "2024-01-11T09:00:00.001Z", "", L{"r6", "r5", "r3"});
        row("all together", "phone", "dana", "ann", "2024-01-11", "2024-01-12", L{"r3"});
        row("nothing matches", "", "nobody", "", "", "", L{});
    }

    void filters() {
        auto [field, user, login, since, until, shown] =
            test::fetch<QString, QString, QString, QString, QString, QStringList>("field", "user", "login",
                                                                                  "since", "until", "shown");
        const report::History h(m_dir.filePath("Users.dat"), "Contacts");
        QCOMPARE(h.size(), 5);
        report::HistoryFilter f{field, user, login, {}, {}};
        if (!since.isEmpty())
            f.sinceMs = report::parseDate(since);
        if (!until.isEmpty())
            f.untilMs = report::parseDate(until, true);
        QCOMPARE(notesOf(h, report::historyRows(h, f)), shown);
    }

    void dates_data() {
        test::columns<QString, bool, QString>("text", "endOfDay", "utc");
        test::row("a day", "2024-05-01", false, "2024-05-01T00:00:00.000Z");
        test::row("the end of a day", "2024-05-01", true, "2024-05-02T00:00:00.000Z");
        test::row("a local time", "2024-05-01T09:30", false, "2024-05-01T09:30:00.000Z");
        test::row("a time with a zone", "2024-05-01T09:30:00+02:00", false, "2024-05-01T07:30:00.000Z");
        test::row("a word", "yesterday", false, "");
        test::row("no such day", "2024-02-30", false, "");
        test::row("an hour alone", "2024-05-01T09", false, "");
    }

    void dates() {
        auto [text, endOfDay, utc] = test::fetch<QString, bool, QString>("text", "endOfDay", "utc");
        const std::optional<qint64> ms = report::parseDate(text, endOfDay);
        QCOMPARE(ms ? QString::fromLatin1(utcText(*ms)) : QString(), utc);
    }

    void command_data() {
        // args ("%1": the temporary folder); exit; out: a part of what is printed; box: the first box
        test::columns<QString, int, QString, QString>("args", "exit", "out", "box");
        using test::row;
        row("everything, newest first", "--history", 0,
            "2024-01-15 09:00:00Z  ann  Settings locations\n"
            "    UsersPath: \"/old/Users.dat\" -> \"/srv/Users.dat\"\n"
            "    Note: r6\n"
            "2024-01-14 09:00:00Z  bob (ACT! user Chris Huffman)  Field settings: Fax (31)\n"
            "    Allow editing: No -> Yes\n"
            "    Drop-down list: 2 entries -> 3 entries (+ Blue)\n"
            "    Note: r5\n"
            "2024-01-12 09:00:00Z  ann (ACT! user \\x1B[2J Zo\u00eb \\u202E\U0001F600)  Field settings: "
            "Phone 2 (280)\n",
            "");
        row("the damaged line said", "--history", 0,
            "    Note: r1\n5 changes of 5 in the change log of Contacts.\n1 damaged line of the log "
            "skipped.\n",
            "");
        row("the global rights", "--history --field global", 0,
            "2024-01-11 09:00:00Z  bob (ACT! user Ed Bell)  Global rights\n"
            "    Ann Archer {ID-0001}: None -> Full\n    Note: r2\n"
            "1 change of 5 in the change log of Contacts.\n",
            "");
        row("filters", "--history --user Dana --since 2024-01-11 --until 2024-01-12", 0,
            "1 change of 5 in the change log of Contacts.\n", "");
        row("a login", "--history --login bob", 0, "2 changes of 5", "");
        row("as CSV", "--history --field 28 --csv %1/h.csv", 0,
            "1 change of 5 in the change log of Contacts written to", "");
        row("no such date", "--history --since yesterday", 2, "", "'yesterday' is no date");
        row("a filter without --history", "--user Dana", 2, "", "--since, --until, --field, --user, --login");
        row("with --check", "--history --check", 2, "", "--history goes without --report and --check.");
        row("an empty CSV name", "--history --csv=", 2, "", "The file name after '--csv' is empty.");
        row("CSV to a missing folder", "--history --csv %1/no/h.csv", 2, "",
            "The history could not be written");
    }

    void command() {
        auto [args, exit, out, box] =
            test::fetch<QString, int, QString, QString>("args", "exit", "out", "box");
        test::TestServices t;
        t.actState.databasePath = "/act/Contacts.dbf";
        t.actState.slots = {{28, "Phone", 3}};
        t.actState.addUsers(3);
        t.settings.values = {{"UsersPath", m_dir.filePath("Users.dat")}, {"ListPath", m_dir.path()}};
        QBuffer device; // as the console: UTF-8 made as it is printed
        QVERIFY(device.open(QIODevice::WriteOnly));
        QTextStream stream(&device);
        const int status = report::commandLineMain(QStringList{"quillmark"} +
                                                       QString(args).replace("%1", m_dir.path()).split(' '),
                                                   t.messageBox, t.settings, t.app, t.act, stream);
        stream.flush();
        const QString printed = QString::fromUtf8(device.data());
        QCOMPARE(status, exit);
        QVERIFY2(printed.contains(out), qPrintable(printed));
        QVERIFY(box.isEmpty() ? t.messageBox.shown.empty() : t.messageBox.shown.at(0).text.startsWith(box));
        if (args.contains("h.csv") && exit == 0) {
            QCOMPARE(test::readBytes(m_dir.filePath("h.csv")),
                     B("\xEF\xBB\xBFWhen (UTC),Login,ACT! user,Database,Change,Field ID,Field,Changes\r\n"
                       "2024-01-10T09:00:00.000Z,ann,\"'=Chris Huffman\",Contacts,Field settings,28,Phone,\""
                       "Dana O'Neil {ID-0003}: Full -> None\r\nChen Wei {ID-0002}: None -> Initialize\r\n"
                       "Settings file made\r\nOnly from Drop-down: No -> Yes\r\n"
                       "Drop-down list: 0 entries -> 2 entries (+ Red, Green)\r\nNote: r1\"\r\n"));
        }
    }

    // The view, as an administrator uses it: it opens newest first, the boxes filter, a click shows
    // the whole change, the export writes what is shown.
    void view() {
        test::TestServices t;
        report::HistoryView view(t.services, {m_dir.filePath("Users.dat"), m_dir.path()}, "Contacts", {});
        view.resize(900, 500);
        QVERIFY(!view.loaded());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.loaded());
        auto* shown = view.findChild<QLabel*>("lblHistoryShown");
        QCOMPARE(shown->text(), "5 of 5 changes");
        QVERIFY(view.findChild<QLabel*>("lblHistoryLog")->text().endsWith("; 1 damaged line skipped"));
        const auto notes = [&] { return notesOf(view.history(), view.model().rows()); };
        QCOMPARE(notes(), (QStringList{"r6", "r5", "r3", "r2", "r1"}));
        auto* table = view.findChild<QTableView*>("lvwHistory");
        QCOMPARE(table->model()->index(0, 0).data().toString(), "2024-01-15 09:00:00");

        QTest::keyClicks(view.findChild<QLineEdit*>("txtHistoryUser"), "dana");
        QCOMPARE(shown->text(), "2 of 5 changes");
        QTest::keyClicks(view.findChild<QLineEdit*>("txtHistoryLogin"), "ann");
        view.findChild<QDateEdit*>("dtpHistoryFrom")->setDate(QDate(2024, 1, 11));
        QCOMPARE(notes(), QStringList{"r3"});
        view.findChild<QDateEdit*>("dtpHistoryFrom")->setDate(QDate(2000, 1, 1)); // "any"
        view.findChild<QDateEdit*>("dtpHistoryTo")->setDate(QDate(2024, 1, 10));
        QCOMPARE(notes(), QStringList{"r1"});
        QCOMPARE(view.findChild<QDateEdit*>("dtpHistoryFrom")->text(), "any");

        // A click on the row, where it is drawn, shows all of the change.
        test::clickCell(table, 0, 4);
        const QString detail = view.findChild<QPlainTextEdit*>("txtHistoryDetail")->toPlainText();
        QVERIFY2(
            detail.startsWith("2024-01-10 09:00:00 (2024-01-10 09:00:00Z)  ann (ACT! user =Chris Huffman)\n"
                              "Field settings: Phone (28)\n    Dana O'Neil {ID-0003}: Full -> None\n"),
            qPrintable(detail));
        QVERIFY(detail.contains("    Key 28F: \"{ID-0001}{ID-0003}\" -> \"{ID-0001}\"\n"
                                "    Key 28I: absent -> \"{ID-0002}\"\n"));

        t.dialogs.saveAnswers = {m_dir.filePath("v.csv")};
        test::click(view.findChild<QPushButton*>("cmdHistoryExport"));
        QCOMPARE(t.dialogs.saveRequests.value(0),
                 QDir::toNativeSeparators(QDir::home().filePath("Contacts history.csv")) +
                     "|CSV file (*.csv)|*.csv");
        QCOMPARE(test::readBytes(m_dir.filePath("v.csv")).count("\r\n2024-"), 1);
        QVERIFY(view.findChild<QLabel*>("lblHistoryExported")->text().startsWith("Exported 1 changes to "));
        QVERIFY(t.messageBox.shown.empty());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestHistory)
#include "tst_history.moc"
