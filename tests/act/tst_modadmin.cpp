// The ACT! objects kept at start-up and the database's generic name.

#include "FakeAct.h"
#include "TestPlatform.h"
#include "act/modAdmin.h"

#include <QTest>

using namespace qm;

class TestModAdmin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void genericName_data();
    void genericName();
    void createDatabase_data();
    void createDatabase();
};

void TestModAdmin::genericName_data() {
    QTest::addColumn<QString>("path"); // in the "\" form; the "/" form swaps the two characters
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("reported");
    QTest::newRow("full path") << "C:\\ACT\\Database\\Contacts.dbf"
                               << "Contacts" << false;
    QTest::newRow("first dot cuts") << "D:\\Data\\My.Contacts.dbf"
                                    << "My" << false;
    QTest::newRow("no folder") << "Contacts.dbf"
                               << "Contacts" << false;
    QTest::newRow("leading dot") << "C:\\ACT\\.hidden.dbf"
                                 << "" << false;
    QTest::newRow("dot only in a folder") << "C:\\ACT.6\\Contacts"
                                          << "" << true;
    QTest::newRow("empty path") << ""
                                << "" << true;
    QTest::newRow("the other separator is a character") << "C:\\a\\b/c.d/Contacts.dbf"
                                                        << "b/c" << false;
}

void TestModAdmin::genericName() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QFETCH(bool, reported);
    for (const QChar separator : {QChar('\\'), QChar('/')}) {
        const auto form = [&](QString s) {
            return separator == '\\' ? s : s.replace('\\', '\x01').replace('/', '\\').replace('\x01', '/');
        };
        test::FakeActState state;
        state.databasePath = form(path);
        test::FakeActFactory factory(state);
        test::FakeMessageBox box;
        ActObjects objects;
        modAdmin::Create_Database(objects, factory, box);
        QCOMPARE(modAdmin::Get_Generic_Name(objects, box, separator), form(expected));
        QCOMPARE(box.boxes().join("").section('\r', 0, 1),
                 reported ? "Error 5: 'Invalid procedure call or argument'\r"
                            "in modAdmin: Function Get_Generic_Name - Line # 2"
                          : "");
    }
}

void TestModAdmin::createDatabase_data() {
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("step"); // the reported line: objects of this step and later stay unset
    QTest::addColumn<int>("error");
    const QStringList steps = {"ACTOLE.APPOBJECT", "OpenFile", "Views",  "Create", "ACTOLE.DATABASE",
                               "OpenEx",           "Contact",  "Fields", "Users"};
    for (int step = 1; step <= steps.size(); ++step) {
        const QString& failing = steps[step - 1];
        QTest::addRow("%s fails", qPrintable(failing))
            << failing << step << (failing.contains('.') ? 429 : 440);
    }
    QTest::newRow("nothing fails") << "" << 10 << 0;
}

void TestModAdmin::createDatabase() {
    QFETCH(QString, failing);
    QFETCH(int, step);
    QFETCH(int, error);
    test::FakeActState state;
    state.failing.insert(failing);
    test::FakeActFactory factory(state);
    test::FakeMessageBox box;
    ActObjects o;
    modAdmin::Create_Database(o, factory, box);
    // One call a step, in order; the failing one is the last.
    const QStringList calls = {"CreateObject(ACTOLE.APPOBJECT)",
                               "OpenFile()",
                               "Views()",
                               "Create(1, CV)",
                               "CreateObject(ACTOLE.DATABASE)",
                               "OpenEx()",
                               "Contact()",
                               "Fields()",
                               "Users()"};
    QCOMPARE(state.calls, calls.mid(0, step));
    QCOMPARE(box.boxes().join("").section('\r', 0, 1),
             error ? QString("Error %1: '%2'\rin modAdmin: Sub Create_Database - Line # %3")
                         .arg(error)
                         .arg(vbErrorDescription(error))
                         .arg(step)
                   : "");
    // Which object each step sets; steps 2 and 6 set none.
    const bool set[] = {bool(o.objApp),     bool(o.objViews),  bool(o.objContactView), bool(o.objDatabase),
                        bool(o.objContact), bool(o.objFields), bool(o.objUsers)};
    const int setBy[] = {1, 3, 4, 5, 7, 8, 9};
    for (int i = 0; i < 7; ++i) {
        QVERIFY2(set[i] == (setBy[i] < step), qPrintable(QString("object %1").arg(i)));
    }
}

QTEST_GUILESS_MAIN(TestModAdmin)
#include "tst_modadmin.moc"
