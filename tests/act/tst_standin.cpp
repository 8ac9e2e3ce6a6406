// The ACT! stand-in as Quillmark meets it: the real act-standin program driven as a person drives
// it, and the backend's answers and events.

#include "FakeAct.h"
#include "TestPlatform.h"
#include "act/modAdmin.h"
#include "act/standin/StandinBackend.h"
#include "platform/PlatformGui.h"
#include "platform/VbError.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <functional>

using namespace qm;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

// The error number a call raises; 0 when it raises none.
int errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

class TestStandin : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void operations_data();
    void operations();
    void events_data();
    void events();
    void noEventAfterOperation2();
    void handlerMayDeleteTheControl();
    void command150AndShellRestart();
    void demoDatabaseAnswers();
    void changesSeenByNextAnswer_data();
    void changesSeenByNextAnswer();
    void closedDatabaseRefusesCalls();
    void badInput_data();
    void badInput();
    void auxiliaryCommands();
    void largeDatabase();
    void malformedDatabase_data();
    void malformedDatabase();
    void corruptSession();
    void concurrentWritersLoseNothing();

private:
    // Runs act-standin with `args` (one string, split at blanks) in this test's home.
    Run standin(const QStringList& args);
    Run standin(const QString& args) { return standin(args.split(QLatin1Char(' '), Qt::SkipEmptyParts)); }
    void runAll(const QStringList& commands);
    std::unique_ptr<act::ObjectFactory> factory() { return act::standin::makeFactory(m_home->path()); }
    QString demo() const { return m_home->filePath("Demo.dbf"); }

    std::unique_ptr<QTemporaryDir> m_home;
};

void TestStandin::init() {
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    // act-standin started by the shell inherits it, as the program started by a person would.
    qputenv(act::standin::kHomeVariable, QFile::encodeName(m_home->path()));
}

Run TestStandin::standin(const QStringList& args) {
    QProcess p;
    p.setWorkingDirectory(m_home->path());
    p.start(QStringLiteral(ACT_STANDIN_PATH), args);
    Run r;
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit) {
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void TestStandin::runAll(const QStringList& commands) {
    for (const QString& c : commands) {
        const Run r = standin(c);
        QVERIFY2(r.exitCode == 0, qPrintable(c + ": " + r.err));
    }
}

void TestStandin::operations_data() {
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("operation1");
    QTest::addColumn<bool>("operation3");
    QTest::addColumn<int>("createError");
    QTest::newRow("never started") << QStringList{} << 0 << false << 429;
    QTest::newRow("quit") << QStringList{"start", "quit"} << 0 << false << 429;
    QTest::newRow("no database open") << QStringList{"start", "close"} << 0 << false << 0;
    QTest::newRow("unregistered") << QStringList{"start", "unregister"} << 0 << true << 429;
    QTest::newRow("unregistered, not running") << QStringList{"unregister"} << 0 << false << 429;
    QTest::newRow("database open") << QStringList{"start"} << 1 << false << 0;
    QTest::newRow("registered again") << QStringList{"unregister", "start", "register"} << 1 << false << 0;
}

void TestStandin::operations() {
    QFETCH(QStringList, commands);
    QFETCH(int, operation1);
    QFETCH(bool, operation3);
    QFETCH(int, createError);
    runAll(commands);
    auto f = factory();
    auto event = f->CreateEventControl();
    QCOMPARE(event->Operation1(0), operation1);
    QCOMPARE(event->Operation3(), operation3);
    QCOMPARE(errorOf([&] { f->CreateObject(act::kProgIdApp); }), createError);
    QCOMPARE(errorOf([&] { f->CreateObject(act::kProgIdAuxCmds); }), createError);
    event->Operation2();
}

void TestStandin::events_data() {
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("databaseClose");
    QTest::addColumn<int>("userWantsToClose");
    QTest::newRow("close") << QStringList{"close"} << 1 << 0;
    QTest::newRow("quit") << QStringList{"quit"} << 0 << 1;
    QTest::newRow("another database opened")
        << QStringList{"create-demo Other.dbf", "open Other.dbf"} << 1 << 0;
    QTest::newRow("quit and start again") << QStringList{"quit", "start"} << 0 << 1;
    QTest::newRow("user and field change") << QStringList{"user 1", "field 8"} << 0 << 0;
    QTest::newRow("aux listed") << QStringList{"aux", "status"} << 0 << 0;
}

void TestStandin::events() {
    QFETCH(QStringList, commands);
    QFETCH(int, databaseClose);
    QFETCH(int, userWantsToClose);
    runAll({"start"});
    auto event = factory()->CreateEventControl();
    QSignalSpy closed(event.get(), &act::ActEvent::OnDatabaseClose);
    QSignalSpy quit(event.get(), &act::ActEvent::OnActUserWantsToClose);
    QCOMPARE(event->Operation1(0), 1);
    runAll(commands);
    if (databaseClose + userWantsToClose > 0) {
        QVERIFY((databaseClose ? closed : quit).wait(5000));
    }
    QTest::qWait(600); // a second event would arrive within two polls
    QCOMPARE(closed.count(), databaseClose);
    QCOMPARE(quit.count(), userWantsToClose);
}

void TestStandin::noEventAfterOperation2() {
    runAll({"start"});
    auto event = factory()->CreateEventControl();
    QSignalSpy closed(event.get(), &act::ActEvent::OnDatabaseClose);
    QSignalSpy quit(event.get(), &act::ActEvent::OnActUserWantsToClose);
    QCOMPARE(event->Operation1(0), 1);
    event->Operation2();
    runAll({"close", "quit"});
    QVERIFY(!closed.wait(800));
    QCOMPARE(quit.count(), 0);
}

void TestStandin::command150AndShellRestart() {
    runAll({"start"});
    auto f = factory();
    auto app = act::createAs<act::ActApp>(*f, act::kProgIdApp);
    auto database = act::createAs<act::ActDatabase>(*f, act::kProgIdDatabase);
    database->OpenEx(QString());
    auto users = database->Users();
    const QString path = app->GetOpenDBName();
    QCOMPARE(path, QDir::toNativeSeparators(demo()));
    app->Command(150);
    QCOMPARE(standin("status --quiet").exitCode, 1);
    // Objects of the ACT! that shut down answer no more, even once ACT! runs again.
    QCOMPARE(errorOf([&] { app->GetOpenDBName(); }), 462);
    QCOMPARE(errorOf([&] { users->Count(); }), 462);
    QCOMPARE(errorOf([&] { act::createAs<act::ActApp>(*f, act::kProgIdApp); }), 429);

    DesktopShell shell(QStringLiteral(ACT_STANDIN_PATH));
    shell.open(path, m_home->path(), 5, nullptr);
    QTRY_COMPARE_WITH_TIMEOUT(standin("status --quiet").exitCode, 0, 10000);
    QCOMPARE(errorOf([&] { app->GetOpenDBName(); }), 462);
    auto again = act::createAs<act::ActApp>(*f, act::kProgIdApp);
    QCOMPARE(again->GetOpenDBName(), path);
}

void TestStandin::demoDatabaseAnswers() {
    runAll({"start"});
    auto f = factory();
    test::FakeMessageBox box;
    ActObjects o;
    modAdmin::Create_Database(o, *f, box);
    QVERIFY(box.shown.empty());
    QCOMPARE(modAdmin::Get_Generic_Name(o, box), QStringLiteral("Demo"));
    QVERIFY(box.shown.empty());

    // The slot walk the field chooser makes.
    QStringList listed;
    int seen = 0;
    int slot = 0;
    const int count = o.objFields->Count();
    QCOMPARE(count, 32);
    for (; seen < count; ++slot) {
        const int id = o.objFields->ID(static_cast<std::int16_t>(slot));
        if (id != -1) {
            ++seen;
            if (o.objFields->EntryRule(QString::number(id)) == 3) {
                listed << QString::number(id) + "=" + o.objFields->Label(static_cast<std::int16_t>(slot));
            }
        }
    }
    QCOMPARE(listed,
             QStringList({"210=Account Number", "215=Credit Limit", "220=Region", "231=Customer Since",
                          "237=", "8=Region", "240=Sales Rep", "245=Contract Type", "250=Tax ID",
                          "253=Discount %", "21=Territory", "260=Account Manager"}));
    QCOMPARE(errorOf([&] { o.objFields->ID(static_cast<std::int16_t>(slot)); }), 9);
    QCOMPARE(errorOf([&] { o.objFields->Label(-1); }), 9);
    QCOMPARE(errorOf([&] { o.objFields->EntryRule("9999"); }), 5);
    QCOMPARE(errorOf([&] { o.objFields->EntryRule("Region"); }), 5);
    QCOMPARE(o.objFields->EntryRule("8"), 3); // the ID, not the slot: slot 8 holds field 210

    QCOMPARE(o.objUsers->CurrentUserSecurity(), 5);
    QCOMPARE(o.objContactView->CurrentFieldID(), 210);
    const int users = o.objUsers->Count();
    QVERIFY(users >= 8);
    QStringList ids;
    QSet<QString> securities;
    for (int p = 1; p <= users; ++p) {
        QVERIFY(!o.objUsers->Name(static_cast<std::int16_t>(p)).isEmpty());
        securities << o.objUsers->Security(static_cast<std::int16_t>(p));
        ids << o.objUsers->UniqueID(QString::number(p));
    }
    QVERIFY(securities.contains("5") && securities.size() > 1);
    // Rights are stored as unique IDs written one after the other: each must be found only at
    // its own place.
    const QString joined = ids.join(QString()) + ids.first();
    for (const QString& id : ids) {
        QCOMPARE(joined.count(id), id == ids.first() ? 2 : 1);
    }
    QCOMPARE(errorOf([&] { o.objUsers->UniqueID(QString::number(users + 1)); }), 9);
    QCOMPARE(errorOf([&] { o.objUsers->UniqueID("first"); }), 13);
    QCOMPARE(errorOf([&] { o.objUsers->Name(0); }), 9);
}

void TestStandin::changesSeenByNextAnswer_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("security");
    QTest::addColumn<int>("fieldId");
    QTest::newRow("user by position") << "user 5" << 2 << 210;
    QTest::newRow("user by name") << "user Chen Wei" << 4 << 210;
    QTest::newRow("field by ID") << "field 8" << 5 << 8;
    QTest::newRow("field by label") << "field Territory" << 5 << 21;
    QTest::newRow("field by label, any case") << "field tax id" << 5 << 250;
}

void TestStandin::changesSeenByNextAnswer() {
    QFETCH(QString, command);
    QFETCH(int, security);
    QFETCH(int, fieldId);
    runAll({"start"});
    auto f = factory();
    test::FakeMessageBox box;
    ActObjects o;
    modAdmin::Create_Database(o, *f, box);
    QCOMPARE(o.objUsers->CurrentUserSecurity(), 5);
    const int space = command.indexOf(' ');
    QCOMPARE(standin(QStringList{command.left(space), command.mid(space + 1)}).exitCode, 0);
    QCOMPARE(o.objUsers->CurrentUserSecurity(), security);
    QCOMPARE(o.objContactView->CurrentFieldID(), fieldId);
}

void TestStandin::closedDatabaseRefusesCalls() {
    runAll({"start"});
    auto f = factory();
    test::FakeMessageBox box;
    ActObjects o;
    modAdmin::Create_Database(o, *f, box);
    QCOMPARE(o.objUsers->Count(), 9);
    runAll({"close"});
    QTest::qWait(5); // past the collections' few milliseconds of trust
    QCOMPARE(errorOf([&] { o.objUsers->Count(); }), 440);
    QCOMPARE(errorOf([&] { o.objFields->Count(); }), 440);
    QCOMPARE(errorOf([&] { o.objContactView->CurrentFieldID(); }), 440);
    QCOMPARE(o.objApp->GetOpenDBName(), QString());
    // The same database opened again is another opening: the old collections stay closed.
    runAll({"open Demo.dbf"});
    QTest::qWait(5);
    QCOMPARE(errorOf([&] { o.objUsers->Count(); }), 440);
    ActObjects fresh;
    modAdmin::Create_Database(fresh, *f, box);
    QVERIFY(box.shown.empty());
    QCOMPARE(fresh.objUsers->Count(), 9);
}

void TestStandin::badInput_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QStringList none;
    QTest::newRow("missing database") << QStringList{"start", "missing.dbf"} << "no such database file";
    QTest::newRow("corrupt database")
        << QStringList{"start", "corrupt.dbf"} << "not a stand-in ACT! database";
    QTest::newRow("sqlite without tables") << QStringList{"open", "empty.dbf"} << "no such table";
    QTest::newRow("unknown field") << QStringList{"field", "Shoe Size"} << "no field labelled";
    QTest::newRow("unknown field ID") << QStringList{"field", "9999"} << "no field with ID 9999";
    QTest::newRow("empty slot ID") << QStringList{"field", "-1"} << "no field with ID -1";
    QTest::newRow("ambiguous label") << QStringList{"field", "Region"} << "several fields";
    QTest::newRow("unknown user") << QStringList{"user", "Nobody"} << "no user called";
    QTest::newRow("user beyond the last") << QStringList{"user", "10"} << "no user at position 10";
    QTest::newRow("unknown command") << QStringList{"restart"} << "unknown command";
    QTest::newRow("no command") << none << "no command";
    QTest::newRow("extra argument") << QStringList{"close", "now"} << "unexpected argument";
    QTest::newRow("bad status option") << QStringList{"status", "--loud"} << "unexpected argument";
    QTest::newRow("missing argument") << QStringList{"open"} << "missing argument";
    QTest::newRow("bad count") << QStringList{"create-large", "big.dbf", "--users", "many"}
                               << "--users needs";
    QTest::newRow("count too large") << QStringList{"create-large", "big.dbf", "--users", "40000"}
                                     << "--users needs";
    QTest::newRow("no overwrite") << QStringList{"create-demo", "Demo.dbf"} << "exists already";
    QTest::newRow("missing folder") << QStringList{"create-demo", "no/such/A.dbf"} << "folder does not exist";
}

void TestStandin::badInput() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    runAll({"start"});
    QFile corrupt(m_home->filePath("corrupt.dbf"));
    QVERIFY(corrupt.open(QIODevice::WriteOnly));
    corrupt.write(QByteArray(4096, 'x'));
    corrupt.close();
    QFile empty(m_home->filePath("empty.dbf")); // SQLite takes an empty file for a database without tables
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile session(m_home->filePath("session.json"));
    QVERIFY(session.open(QIODevice::ReadOnly));
    const QByteArray before = session.readAll();
    session.close();
    const QStringList filesBefore = QDir(m_home->path()).entryList(QDir::Files);

    const Run r = standin(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.endsWith('\n') && r.err.count('\n') == 1, qPrintable(r.err));
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(session.open(QIODevice::ReadOnly));
    QCOMPARE(session.readAll(), before);
    QCOMPARE(QDir(m_home->path()).entryList(QDir::Files), filesBefore);
}

void TestStandin::auxiliaryCommands() {
    runAll({"start"});
    auto f = factory();
    auto aux = act::createAs<act::ActAuxCmds>(*f, act::kProgIdAuxCmds);
    const QString name = "Quillmark";
    QCOMPARE(aux->AuxCommandExists(name), 0);
    QCOMPARE(aux->AddAuxCommandToToolbar(1, name), 1); // not registered yet
    QCOMPARE(aux->AddAuxCommand(name, "/opt/q/quillmark", "", "&Quillmark", "Protected fields",
                                "/opt/q/q.ico", "/opt/q/q32.ico", 0),
             0);
    QCOMPARE(aux->AuxCommandExists(name), 1);
    QCOMPARE(aux->AddAuxCommandToToolbar(1, name), 0);
    QCOMPARE(aux->AddAuxCommandToToolbar(3, name), 0);
    QCOMPARE(aux->AddAuxCommandToToolsMenu(4, name), 0);
    QCOMPARE(aux->AddAuxCommandToToolbar(7, name), 1);
    QCOMPARE(aux->RemoveAuxCommandFromToolbar(1, name), 0);
    QCOMPARE(aux->AuxCommandExistsInToolbar(1, name), 0);
    QCOMPARE(aux->AuxCommandExistsInToolbar(3, name), 1);
    QCOMPARE(aux->AuxCommandExistsInToolsMenu(3, name), 0);
    QCOMPARE(aux->AuxCommandExistsInToolsMenu(4, name), 1);

    // Installed commands outlive a restart of ACT!.
    runAll({"quit", "start"});
    const Run r = standin("aux");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("Command \"Quillmark\"\n"
                                   "  command line: \"/opt/q/quillmark\"\n"
                                   "  folder: \"\"\n"
                                   "  menu text: \"&Quillmark\"\n"
                                   "  tool tip: \"Protected fields\"\n"
                                   "  icon: \"/opt/q/q.ico\"\n"
                                   "  icon 32: \"/opt/q/q32.ico\"\n"
                                   "  kind: 0\n"
                                   "  toolbar: 3 Groups\n"
                                   "  tools menu: 4 Task List\n"));
    QCOMPARE(errorOf([&] { aux->AuxCommandExists(name); }), 462);
}

void TestStandin::largeDatabase() {
    const Run large = standin("create-large Large.dbf");
    QCOMPARE(large.exitCode, 0);
    QVERIFY(large.out.contains("(5000 users, 30000 slots)"));
    runAll({"start Large.dbf"});
    QVERIFY(standin("status").out.contains("Fields: 25715 in 30000 slots; users: 5000\n"));
    runAll({"create-large big.dbf --users 3 --slots 15"});
    runAll({"start big.dbf", "user 2"});
    auto f = factory();
    test::FakeMessageBox box;
    ActObjects o;
    modAdmin::Create_Database(o, *f, box);
    QCOMPARE(modAdmin::Get_Generic_Name(o, box), QStringLiteral("big"));
    QCOMPARE(o.objUsers->Count(), 3);
    QCOMPARE(o.objFields->Count(), 13); // slots 6 and 13 are empty
    QCOMPARE(o.objFields->ID(6), -1);
    QCOMPARE(o.objFields->ID(14), 15);
    QCOMPARE(errorOf([&] { o.objFields->ID(15); }), 9);
    QVERIFY(o.objUsers->CurrentUserSecurity() != 5);
}

void TestStandin::handlerMayDeleteTheControl() {
    runAll({"start"});
    std::unique_ptr<act::ActEvent> event = factory()->CreateEventControl();
    bool closed = false;
    connect(event.get(), &act::ActEvent::OnDatabaseClose, this, [&] {
        closed = true;
        event->Operation2();
        event.reset(); // the window goes away, and its control with it
    });
    QCOMPARE(event->Operation1(0), 1);
    runAll({"close"});
    QTRY_VERIFY_WITH_TIMEOUT(closed, 5000);
    QTest::qWait(300);
}

void TestStandin::malformedDatabase_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");
    const QString fields = "CREATE TABLE fields (slot INTEGER, id INTEGER, label TEXT, entry_rule INTEGER);";
    const QString users = "CREATE TABLE users (position INTEGER, name TEXT, security INTEGER, access TEXT, "
                          "unique_id TEXT);";
    QTest::newRow("no users table") << fields << "no such table: users";
    QTest::newRow("gap in user positions")
        << fields + users + "INSERT INTO users VALUES (1, 'A', 5, '', '{A}'), (3, 'B', 1, '', '{B}');"
        << "without gaps";
    QTest::newRow("users from 0") << fields + users + "INSERT INTO users VALUES (0, 'A', 5, '', '{A}');"
                                  << "without gaps";
    QTest::newRow("one field ID twice")
        << fields + users + "INSERT INTO fields VALUES (0, 7, 'A', 3), (4, 7, 'B', 0);"
        << "field ID 7 is in slots 0 and 4";
    QTest::newRow("negative slot") << fields + users + "INSERT INTO fields VALUES (-1, 7, 'A', 3);"
                                   << "slot -1 is out of range";
    QTest::newRow("ID beyond 32 bits")
        << fields + users + "INSERT INTO fields VALUES (0, 4294967296, 'A', 3);"
        << "out of range";
}

void TestStandin::malformedDatabase() {
    QFETCH(QString, sql);
    QFETCH(QString, message);
    const QByteArray path = QFile::encodeName(m_home->filePath("Bad.dbf"));
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(path.constData(), &db), SQLITE_OK);
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    QCOMPARE(rc, SQLITE_OK);
    const Run r = standin("start Bad.dbf");
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message) && r.err.count('\n') == 1, qPrintable(r.err));
    QCOMPARE(standin("status --quiet").exitCode, 1);
}

void TestStandin::corruptSession() {
    QFile session(m_home->filePath("session.json"));
    QVERIFY(session.open(QIODevice::WriteOnly));
    session.write("{\"running\": tru");
    session.close();
    auto f = factory();
    auto event = f->CreateEventControl();
    QCOMPARE(event->Operation1(0), 0);
    QCOMPARE(errorOf([&] { f->CreateObject(act::kProgIdApp); }), 429);
    for (const char* command : {"status", "start", "close"}) {
        const Run r = standin(command);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains("not a session file"), qPrintable(r.err));
    }
    QVERIFY(session.open(QIODevice::ReadOnly));
    QCOMPARE(session.readAll(), QByteArray("{\"running\": tru"));
}

void TestStandin::concurrentWritersLoseNothing() {
    runAll({"start"});
    auto aux = act::createAs<act::ActAuxCmds>(*factory(), act::kProgIdAuxCmds);
    std::vector<std::unique_ptr<QProcess>> people;
    for (int i = 0; i < 10; ++i) {
        people.push_back(std::make_unique<QProcess>());
        people.back()->setWorkingDirectory(m_home->path());
        people.back()->start(QStringLiteral(ACT_STANDIN_PATH), {"user", QString::number(1 + i % 9)});
    }
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(aux->AddAuxCommand(QStringLiteral("C%1").arg(i), "", "", "", "", "", "", 0), 0);
    }
    for (auto& p : people) {
        QVERIFY(p->waitForFinished(20000));
        QCOMPARE(p->exitCode(), 0);
    }
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(aux->AuxCommandExists(QStringLiteral("C%1").arg(i)), 1);
    }
}

QTEST_MAIN(TestStandin)
#include "tst_standin.moc"
