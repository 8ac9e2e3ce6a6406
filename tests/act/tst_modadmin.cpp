// The ACT! objects kept at start-up and the database's generic name.

#include "FakeAct.h"
#include "TestPlatform.h"
#include "act/modAdmin.h"

using namespace qm;

namespace {

// Create_Database's calls, one a step, in order.
const QStringList kSteps = QString("CreateObject(ACTOLE.APPOBJECT);OpenFile();Views();Create(1, CV);"
                                   "CreateObject(ACTOLE.DATABASE);OpenEx();Contact();Fields();Users()")
                               .split(';');

} // namespace

class TestModAdmin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void genericName_data() {
        // path in the "\\" form; forms: "both" also runs the "/" form, with the two characters
        // swapped in the path and in what it gives; "\\" or "/" runs only that form
        test::columns<QString, QString, QString, bool>("forms", "path", "expected", "reported");
        using test::row;
        row("full path", "both", "C:\\ACT\\Database\\Contacts.dbf", "Contacts", false);
        row("first dot cuts", "both", "D:\\Data\\My.Contacts.dbf", "My", false);
        row("no folder", "both", "Contacts.dbf", "Contacts", false);
        row("leading dot", "both", "C:\\ACT\\.hidden.dbf", "", false);
        row("no dot, but in a folder", "both", "C:\\ACT.6\\Contacts", "", true);
        row("dots in a folder too", "both", "C:\\ACT.6\\Contacts.dbf", "Contacts", false);
        row("empty path", "both", "", "", true);
        // Windows takes "/" for a separator too: a generic name never names a folder there.
        row("Windows cuts at / too", "\\", "C:\\a\\b/c.d/Contacts.dbf", "Contacts", false);
        row("POSIX: \\ is a character", "/", "/a/b\\c.d\\Contacts.dbf", "b\\c", false);
        // A CR or LF would end the section line and write another database's section.
        row("LF in the name", "both", "C:\\ACT\\Sales\n[Other]\nGlobalF=.dbf", "", true);
        row("CR LF in the name", "both", "C:\\ACT\\Sales\r\n[Other].dbf", "", true);
        row("a tab in the name", "both", "C:\\ACT\\Sa\tles.dbf", "", true);
        row("an escape in the name", "both", "C:\\ACT\\Sales\x1b[2J.dbf", "", true);
        row("a control character after the dot only", "both", "C:\\ACT\\Sales.d\nbf", "Sales", false);
        row("a control character in a folder only", "both", "C:\\AC\nT\\Sales.dbf", "Sales", false);
    }

    void genericName() {
        auto [forms, path, expected, reported] = test::fetch<QString, QString, QString, bool>();
        for (const QChar separator : {QChar('\\'), QChar('/')}) {
            const bool posix = separator == '/';
            if (forms != "both" && forms != QString(separator))
                continue;
            const bool swap = posix && forms == "both";
            test::FakeActState state;
            state.databasePath = swap ? test::swapSeparators(path) : path;
            test::FakeActFactory factory(state);
            test::FakeMessageBox box;
            ActObjects objects;
            modAdmin::Create_Database(objects, factory, box);
            QCOMPARE(modAdmin::Get_Generic_Name(objects, box, separator),
                     swap ? test::swapSeparators(expected) : expected);
            QCOMPARE(box.boxes().join("").section('\r', 0, 1),
                     reported ? "Error 5: 'Invalid procedure call or argument'\r"
                                "in modAdmin: Function Get_Generic_Name - Line # 2"
                              : "");
        }
    }

    void createDatabase_data() {
        // step: the reported line; objects of this step and later stay unset
        test::columns<QString, int, int>("failing", "step", "error");
        for (int step = 1; step <= kSteps.size(); ++step) {
            const QString member = kSteps[step - 1].section('(', 0, 0);
            const bool create = member == "CreateObject";
            const QString failing = create ? kSteps[step - 1].section('(', 1).chopped(1) : member;
            QTest::addRow("%s fails", qPrintable(failing)) << failing << step << (create ? 429 : 440);
        }
        QTest::newRow("nothing fails") << "" << 10 << 0;
    }

    void createDatabase() {
        auto [failing, step, error] = test::fetch<QString, int, int>();
        test::FakeActState state;
        state.failing.insert(failing);
        test::FakeActFactory factory(state);
        test::FakeMessageBox box;
        ActObjects o;
        modAdmin::Create_Database(o, factory, box);
        QCOMPARE(state.calls, kSteps.mid(0, step)); // the failing call is the last
        QCOMPARE(box.boxes().join("").section('\r', 0, 1),
                 error ? QString("Error %1: '%2'\rin modAdmin: Sub Create_Database - Line # %3")
                             .arg(error)
                             .arg(vbErrorDescription(error))
                             .arg(step)
                       : "");
        // Each object is set by its step (steps 2 and 6 set none): those before the failing one.
        const QList<bool> set = {bool(o.objApp),      bool(o.objViews),   bool(o.objContactView),
                                 bool(o.objDatabase), bool(o.objContact), bool(o.objFields),
                                 bool(o.objUsers)};
        QCOMPARE(set, QList<bool>({1 < step, 3 < step, 4 < step, 5 < step, 7 < step, 8 < step, 9 < step}));
    }
};

QTEST_GUILESS_MAIN(TestModAdmin)
#include "tst_modadmin.moc"
