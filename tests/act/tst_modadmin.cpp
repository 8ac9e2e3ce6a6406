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
    void createDatabaseKeepsAllObjects();
    void createDatabaseStepFails_data();
    void createDatabaseStepFails();
    void genericNameWithoutApp();
};

void TestModAdmin::genericName_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("reported");
    const QString bs = QStringLiteral("\\");
    const QString fs = QStringLiteral("/");
    QTest::newRow("backslash path") << "C:\\ACT\\Database\\Contacts.dbf" << bs << "Contacts" << false;
    QTest::newRow("first dot cuts") << "D:\\Data\\My.Contacts.dbf" << bs << "My" << false;
    QTest::newRow("no folder") << "Contacts.dbf" << bs << "Contacts" << false;
    QTest::newRow("leading dot") << "C:\\ACT\\.hidden.dbf" << bs << "" << false;
    QTest::newRow("no dot") << "C:\\ACT\\Contacts" << bs << "" << true;
    QTest::newRow("empty path") << "" << bs << "" << true;
    QTest::newRow("dot only in folder") << "C:\\ACT.6\\Contacts" << bs << "" << true;
    QTest::newRow("slash is a character on Windows") << "C:\\a\\b/c.d/Contacts.dbf" << bs << "b/c" << false;
    QTest::newRow("slash path") << "/home/ann/ACT/Contacts.dbf" << fs << "Contacts" << false;
    QTest::newRow("slash first dot") << "/data/My.Contacts.dbf" << fs << "My" << false;
    QTest::newRow("backslash is a character on POSIX") << "/data/a\\b.dbf" << fs << "a\\b" << false;
    QTest::newRow("slash no dot") << "/data/Contacts" << fs << "" << true;
    QTest::newRow("case kept") << "/data/SALES.dbf" << fs << "SALES" << false;
}

void TestModAdmin::genericName() {
    QFETCH(QString, path);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QFETCH(bool, reported);
    test::FakeActState state;
    state.databasePath = path;
    test::FakeActFactory factory(state);
    test::FakeMessageBox box;
    ActObjects objects;
    modAdmin::Create_Database(objects, factory, box);
    QVERIFY(box.shown.empty());
    QCOMPARE(modAdmin::Get_Generic_Name(objects, box, separator.at(0)), expected);
    QCOMPARE(box.shown.size(), std::size_t(reported ? 1 : 0));
    if (reported) {
        QCOMPARE(box.last().text.section(QLatin1Char('\r'), 0, 1),
                 QStringLiteral("Error 5: 'Invalid procedure call or argument'\r"
                                "in modAdmin: Function Get_Generic_Name - Line # 2"));
        QCOMPARE(box.last().title, QStringLiteral("Quillmark error"));
    }
}

void TestModAdmin::createDatabaseKeepsAllObjects() {
    test::FakeActState state;
    test::FakeActFactory factory(state);
    test::FakeMessageBox box;
    ActObjects o;
    modAdmin::Create_Database(o, factory, box);
    QVERIFY(box.shown.empty());
    QVERIFY(o.objApp && o.objViews && o.objContactView && o.objDatabase && o.objContact && o.objFields &&
            o.objUsers);
    QCOMPARE(state.calls,
             QStringList({"CreateObject(ACTOLE.APPOBJECT)", "OpenFile()", "Views()", "Create(1, CV)",
                          "CreateObject(ACTOLE.DATABASE)", "OpenEx()", "Contact()", "Fields()", "Users()"}));
}

void TestModAdmin::createDatabaseStepFails_data() {
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("step"); // the reported line: objects of this step and later stay unset
    QTest::addColumn<int>("error");
    QTest::newRow("app object") << "ACTOLE.APPOBJECT" << 1 << 429;
    QTest::newRow("OpenFile") << "OpenFile" << 2 << 440;
    QTest::newRow("Views") << "Views" << 3 << 440;
    QTest::newRow("Create") << "Create" << 4 << 440;
    QTest::newRow("database object") << "ACTOLE.DATABASE" << 5 << 429;
    QTest::newRow("OpenEx") << "OpenEx" << 6 << 440;
    QTest::newRow("Contact") << "Contact" << 7 << 440;
    QTest::newRow("Fields") << "Fields" << 8 << 440;
    QTest::newRow("Users") << "Users" << 9 << 440;
}

void TestModAdmin::createDatabaseStepFails() {
    QFETCH(QString, failing);
    QFETCH(int, step);
    QFETCH(int, error);
    test::FakeActState state;
    state.failing.insert(failing);
    test::FakeActFactory factory(state);
    test::FakeMessageBox box;
    ActObjects o;
    modAdmin::Create_Database(o, factory, box);

    QCOMPARE(box.shown.size(), std::size_t(1));
    const QString head = QStringLiteral("Error %1: '%2'\rin modAdmin: Sub Create_Database - Line # %3\r")
                             .arg(error)
                             .arg(vbErrorDescription(error))
                             .arg(step);
    QVERIFY2(box.last().text.startsWith(head), qPrintable(box.last().text));

    // Which object each step sets; steps 2 and 6 set none.
    const bool set[] = {bool(o.objApp),     bool(o.objViews),  bool(o.objContactView), bool(o.objDatabase),
                        bool(o.objContact), bool(o.objFields), bool(o.objUsers)};
    const int setBy[] = {1, 3, 4, 5, 7, 8, 9};
    for (int i = 0; i < 7; ++i) {
        QVERIFY2(set[i] == (setBy[i] < step), qPrintable(QStringLiteral("object %1").arg(i)));
    }
}

void TestModAdmin::genericNameWithoutApp() {
    test::FakeMessageBox box;
    ActObjects none;
    QCOMPARE(modAdmin::Get_Generic_Name(none, box), QString());
    QVERIFY(box.last().text.startsWith(QStringLiteral("Error 91: 'Object variable or With block variable not "
                                                      "set'\rin modAdmin: Function Get_Generic_Name")));
}

QTEST_GUILESS_MAIN(TestModAdmin)
#include "tst_modadmin.moc"
