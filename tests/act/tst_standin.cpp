// The ACT! stand-in as Quillmark meets it: the real act-standin program driven as a person drives
// it, and the backend's answers and events.

#include "TestPlatform.h"
#include "act/modAdmin.h"
#include "act/standin/StandinBackend.h"
#include "act/standin/StandinDatabase.h"
#include "app/modPopulateACTLists.h"
#include "platform/PlatformGui.h"

#include <QComboBox>
#include <QSet>

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sqlite3.h>

using namespace qm;
using namespace qm::test;

namespace {

struct Run {
    int exitCode = -1;
    QString err;
    QString out;
};

// SQL that makes both tables, plain (no keys, no constraints), and fills `fields` with `rows`.
QByteArray plainTables(const QByteArray& rows) {
    return "CREATE TABLE fields (slot INTEGER, id INTEGER, label TEXT, entry_rule INTEGER);"
           "CREATE TABLE users (position INTEGER, name TEXT, security INTEGER, access TEXT, unique_id TEXT);"
           "INSERT INTO users VALUES (1, 'A', 5, '', '{A}');" +
           (rows.isEmpty() ? QByteArray() : "INSERT INTO fields VALUES " + rows + ";");
}

bool runSql(const QString& path, const QByteArray& sql) {
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

} // namespace

class TestStandin : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<act::ObjectFactory> m_act;
    test::FakeMessageBox m_box;

    // Runs act-standin with `args` in this test's home.
    Run standin(const QStringList& args) {
        QProcess p;
        p.setWorkingDirectory(m_home->path());
        p.start(ACT_STANDIN_PATH, args);
        if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit) {
            return {};
        }
        return {p.exitCode(), p.readAllStandardError(), p.readAllStandardOutput()};
    }

    // Runs each command (split at blanks); each must succeed.
    void runAll(const QStringList& commands) {
        for (const QString& c : commands) {
            const Run r = standin(c.split(' '));
            QVERIFY2(r.exitCode == 0, qPrintable(c + ": " + r.err));
        }
    }

    // The ACT! objects of the stand-in after `commands`, as the tool creates them at start-up.
    ActObjects objectsAfter(const QStringList& commands) {
        runAll(commands);
        ActObjects o;
        modAdmin::Create_Database(o, *m_act, m_box);
        return o;
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        QVERIFY(m_home->isValid());
        // act-standin started by the shell inherits it, as the program started by a person would.
        qputenv(act::standin::kHomeVariable, QFile::encodeName(m_home->path()));
        m_act = act::standin::makeFactory(m_home->path());
        m_box.clear();
    }

    void operations_data() {
        columns<QStringList, int, bool, int>("commands", "operation1", "operation3", "createError");
        row("never started", QStringList{}, 0, false, 429);
        row("quit", QStringList{"start", "quit"}, 0, false, 429);
        row("no database open", QStringList{"start", "close"}, 0, false, 0);
        row("unregistered", QStringList{"start", "unregister"}, 0, true, 429);
        row("database open, registered again", QStringList{"unregister", "start", "register"}, 1, false, 0);
    }

    void operations() {
        auto [commands, operation1, operation3, createError] = test::fetch<QStringList, int, bool, int>();
        runAll(commands);
        auto event = m_act->CreateEventControl();
        QCOMPARE(event->Operation1(0), operation1);
        QCOMPARE(event->Operation3(), operation3);
        QCOMPARE(errorOf([&] { m_act->CreateObject(act::kProgIdApp); }), createError);
        QCOMPARE(errorOf([&] { m_act->CreateObject(act::kProgIdAuxCmds); }), createError);
        event->Operation2();
    }

    void events_data() {
        // detached: Operation2 before the commands
        columns<bool, QStringList, int, int>("detached", "commands", "databaseClose", "userWantsToClose");
        row("close", false, QStringList{"close"}, 1, 0);
        row("quit and start again", false, QStringList{"quit", "start"}, 0, 1);
        row("another database opened", false, QStringList{"create-demo Other.dbf", "open Other.dbf"}, 1, 0);
        row("user and field change", false, QStringList{"user 1", "field 8"}, 0, 0);
        row("after Operation2", true, QStringList{"close", "quit"}, 0, 0);
    }

    void events() {
        auto [detached, commands, databaseClose, userWantsToClose] =
            test::fetch<bool, QStringList, int, int>();
        runAll({"start"});
        auto event = m_act->CreateEventControl();
        QSignalSpy closed(event.get(), &act::ActEvent::OnDatabaseClose);
        QSignalSpy quit(event.get(), &act::ActEvent::OnActUserWantsToClose);
        QCOMPARE(event->Operation1(0), 1);
        if (detached)
            event->Operation2();
        runAll(commands);
        if (databaseClose + userWantsToClose > 0)
            QVERIFY((databaseClose ? closed : quit).wait(5000));
        QTest::qWait(800); // a second event would arrive within two polls
        QCOMPARE(closed.count(), databaseClose);
        QCOMPARE(quit.count(), userWantsToClose);
    }

    void handlerMayDeleteTheControl() {
        runAll({"start"});
        std::unique_ptr<act::ActEvent> event = m_act->CreateEventControl();
        connect(event.get(), &act::ActEvent::OnDatabaseClose, this, [&] {
            event->Operation2();
            event.reset(); // the window goes away, and its control with it
        });
        QCOMPARE(event->Operation1(0), 1);
        runAll({"close"});
        QTRY_VERIFY_WITH_TIMEOUT(!event, 5000);
        QTest::qWait(300);
    }

    // Each automation call counts once (and so waits the call delay once): a start-up's count is
    // what an ACT! in another process would be asked.
    void everyCallCountsOnce() {
        const auto calls = [] { return act::standin::automationCalls(); };
        std::int64_t before = calls();
        const ActObjects o = objectsAfter({"start"});
        QCOMPARE(calls() - before, 9); // two objects created, seven members
        const auto aux = act::createAs<act::ActAuxCmds>(*m_act, act::kProgIdAuxCmds);
        const auto event = m_act->CreateEventControl();
        const QString me = "Quillmark";
        const std::vector<std::pair<const char*, std::function<void()>>> members{
            {"CurrentFieldID", [&] { o.objContactView->CurrentFieldID(); }},
            {"GetOpenDBName", [&] { o.objApp->GetOpenDBName(); }},
            {"Fields.Count", [&] { o.objFields->Count(); }},
            {"ID", [&] { o.objFields->ID(0); }},
            {"Label", [&] { o.objFields->Label(0); }},
            {"EntryRule", [&] { o.objFields->EntryRule("8"); }},
            {"CurrentUserSecurity", [&] { o.objUsers->CurrentUserSecurity(); }},
            {"CurrentUserName", [&] { o.objUsers->CurrentUserName(); }},
            {"Users.Count", [&] { o.objUsers->Count(); }},
            {"Name", [&] { o.objUsers->Name(1); }},
            {"Security", [&] { o.objUsers->Security(1); }},
            {"Access", [&] { o.objUsers->Access(1); }},
            {"UniqueID", [&] { o.objUsers->UniqueID("1"); }},
            {"AuxCommandExists", [&] { aux->AuxCommandExists(me); }},
            {"AddAuxCommand",
             [&] { aux->AddAuxCommand(me, "q.EXE", "/", me, "tip", "q.ico", "q32.ico", 1); }},
            {"AddAuxCommandToToolbar", [&] { aux->AddAuxCommandToToolbar(1, me); }},
            {"AuxCommandExistsInToolbar", [&] { aux->AuxCommandExistsInToolbar(1, me); }},
            {"RemoveAuxCommandFromToolbar", [&] { aux->RemoveAuxCommandFromToolbar(1, me); }},
            {"AddAuxCommandToToolsMenu", [&] { aux->AddAuxCommandToToolsMenu(1, me); }},
            {"AuxCommandExistsInToolsMenu", [&] { aux->AuxCommandExistsInToolsMenu(1, me); }},
            {"RemoveAuxCommandFromToolsMenu", [&] { aux->RemoveAuxCommandFromToolsMenu(1, me); }},
            {"Operation1", [&] { event->Operation1(0); }},
            {"Operation3", [&] { event->Operation3(); }},
            {"Operation2", [&] { event->Operation2(); }},
        };
        for (const auto& [name, call] : members) {
            before = calls();
            call();
            QVERIFY2(calls() - before == 1, name);
        }
    }

    void command150AndShellRestart() {
        // The shell knows an ACT! database by its content, whatever its name.
        const ActObjects o = objectsAfter({"create-demo Sales.pad", "start Sales.pad"});
        const QString path = o.objApp->GetOpenDBName();
        QCOMPARE(path, QDir::toNativeSeparators(m_home->filePath("Sales.pad")));
        o.objApp->Command(150);
        QCOMPARE(standin({"status", "--quiet"}).exitCode, 1);
        // Objects of the ACT! that shut down answer no more, even once ACT! runs again.
        QCOMPARE(errorOf([&] { o.objUsers->Count(); }), 462);
        QCOMPARE(errorOf([&] { m_act->CreateObject(act::kProgIdApp); }), 429);
        DesktopShell(ACT_STANDIN_PATH, act::standin::isDatabaseFile).open(path, m_home->path(), 5, nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(standin({"status", "--quiet"}).exitCode, 0, 10000);
        QCOMPARE(errorOf([&] { o.objApp->GetOpenDBName(); }), 462);
        QCOMPARE(act::createAs<act::ActApp>(*m_act, act::kProgIdApp)->GetOpenDBName(), path);
        // A person sees ACT! started again on the same database.
        const QStringList status = standin({"status"}).out.split('\n');
        QVERIFY2(status.contains("ACT!: running (started 2 times)"), qPrintable(status.join('\n')));
        QVERIFY(status.contains("Database: " + path));
    }

    // ACT!'s side of the integration: the seven calls and the registration, answered from the
    // session, kept over a restart of ACT!, and listed by `act-standin aux`.
    void auxiliaryCommands() {
        runAll({"start"});
        auto aux = act::createAs<act::ActAuxCmds>(*m_act, act::kProgIdAuxCmds);
        QStringList answers;
        auto ask = [&](const char* what, std::int32_t answer) {
            answers << QString("%1=%2").arg(what).arg(answer);
        };
        ask("place unregistered", aux->AddAuxCommandToToolbar(1, "QLM"));
        ask("exists", aux->AuxCommandExists("QLM"));
        ask("register nameless", aux->AddAuxCommand(" ", "", "", "", "", "", "", 1));
        ask("register", aux->AddAuxCommand("QLM", "/opt/q/QLM.EXE", "/opt/q", "QLM", "click to launch QLM",
                                           "/opt/q/QLM.ico", "/opt/q/QLM32.ico", 1));
        ask("exists", aux->AuxCommandExists("QLM"));
        ask("toolbar 1", aux->AddAuxCommandToToolbar(1, "QLM"));
        ask("toolbar 1 again", aux->AddAuxCommandToToolbar(1, "QLM"));
        ask("toolbar 7", aux->AddAuxCommandToToolbar(7, "QLM"));
        ask("menu 3", aux->AddAuxCommandToToolsMenu(3, "QLM"));
        ask("menu 5", aux->AddAuxCommandToToolsMenu(5, "QLM"));
        ask("remove menu 5", aux->RemoveAuxCommandFromToolsMenu(5, "QLM"));
        ask("remove toolbar 2", aux->RemoveAuxCommandFromToolbar(2, "QLM"));
        ask("in toolbar 1", aux->AuxCommandExistsInToolbar(1, "QLM"));
        ask("in menu 1", aux->AuxCommandExistsInToolsMenu(1, "QLM"));
        ask("in menu 5", aux->AuxCommandExistsInToolsMenu(5, "QLM"));
        QCOMPARE(answers.join(", "),
                 "place unregistered=1, exists=0, register nameless=1, register=0, exists=1, "
                 "toolbar 1=0, toolbar 1 again=0, toolbar 7=1, menu 3=0, menu 5=0, "
                 "remove menu 5=0, remove toolbar 2=0, in toolbar 1=1, in menu 1=0, in menu 5=0");
        // ACT! keeps its commands when it shuts down and starts again.
        runAll({"quit", "start"});
        QCOMPARE(errorOf([&] { aux->AuxCommandExists("QLM"); }), 462);
        aux = act::createAs<act::ActAuxCmds>(*m_act, act::kProgIdAuxCmds);
        QCOMPARE(aux->AuxCommandExistsInToolsMenu(3, "QLM"), 1);
        const Run listed = standin({"aux"});
        QCOMPARE(listed.exitCode, 0);
        QCOMPARE(listed.out, "Command \"QLM\"\n"
                             "  command line: \"/opt/q/QLM.EXE\"\n"
                             "  folder: \"/opt/q\"\n"
                             "  menu text: \"QLM\"\n"
                             "  tool tip: \"click to launch QLM\"\n"
                             "  icon: \"/opt/q/QLM.ico\"\n"
                             "  icon 32: \"/opt/q/QLM32.ico\"\n"
                             "  kind: 1\n"
                             "  toolbar: 1 Contacts\n"
                             "  tools menu: 3 Groups\n");
    }

    void demoAnswersAndLiveChanges() {
        const ActObjects o = objectsAfter({"start"});
        QCOMPARE(o.objFields->Count(), 32);
        QCOMPARE(o.objFields->EntryRule("8"), 3); // the ID, not the slot: slot 8 holds field 210
        // Rights are stored as unique IDs written one after the other: each must be found only at
        // its own place.
        QStringList ids;
        for (int p = 1; p <= 9; ++p)
            ids << o.objUsers->UniqueID(QString::number(p));
        const QString joined = ids.join("") + ids.first();
        for (const QString& id : ids)
            QCOMPARE(joined.count(id), id == ids.first() ? 2 : 1);
        QCOMPARE(errorOf([&] { o.objFields->EntryRule("Region"); }), 5);
        QCOMPARE(errorOf([&] { o.objUsers->UniqueID("first"); }), 13);
        // Each change (user by position or name, field by ID or label in any case) and what the
        // same objects answer next: security, field ID and the user's name.
        QStringList answers;
        for (const QString command : {"", "user|5", "user|Chen Wei", "field|8", "field|tax id"}) {
            if (!command.isEmpty())
                QCOMPARE(standin(command.split('|')).exitCode, 0);
            answers << QString("%1 %2 %3")
                           .arg(o.objUsers->CurrentUserSecurity())
                           .arg(o.objContactView->CurrentFieldID())
                           .arg(o.objUsers->CurrentUserName());
        }
        QCOMPARE(answers.join(", "), "5 210 Bruno Castillo, 2 210 Emil Novak, 4 210 Chen Wei, 4 8 Chen Wei, "
                                     "4 250 Chen Wei");
        // Closed with its database, and the same database opened again is another opening: the old
        // collections stay closed.
        const ActObjects fresh = objectsAfter({"close", "open Demo.dbf"});
        QTest::qWait(5); // past the collections' few milliseconds of trust
        QCOMPARE(errorOf([&] { o.objUsers->Count(); }), 440);
        QCOMPARE(errorOf([&] { o.objFields->Count(); }), 440);
        QCOMPARE(fresh.objUsers->Count(), 9);
        QVERIFY(m_box.shown.empty());
    }

    void badInput_data() {
        columns<QString, QString, QByteArray>("args", "message",
                                              "bad"); // Bad.dbf: SQL that makes it, or its bytes
        row("missing database", "start missing.dbf", "no such database file", QByteArray());
        row("corrupt database", "start Bad.dbf", "not a stand-in ACT! database", QByteArray(4096, 'x'));
        row("gap in user positions", "open Bad.dbf", "without gaps",
            plainTables("") + "INSERT INTO users VALUES (3, 'B', 1, '', '{B}');");
        row("two rows for one slot", "open Bad.dbf", "slot 1 has two rows",
            plainTables("(0, 5, 'A', 3), (1, 6, 'B', 0), (1, 7, 'C', 3)"));
        row("NULL ID", "open Bad.dbf", "slot 0 holds an ID or entry rule that is not a whole number",
            plainTables("(0, NULL, 'A', 3)"));
        row("text ID", "open Bad.dbf", "slot 0 holds an ID or entry rule that is not a whole number",
            plainTables("(0, 'x5', 'A', 3)"));
        row("NULL label", "open Bad.dbf", "slot 0 holds a label that is not text",
            plainTables("(0, 5, NULL, 3)"));
        row("ambiguous label", "field Region", "several fields", QByteArray());
        row("unknown command", "restart", "unknown command", QByteArray());
        row("help takes no argument", "help junk", "unexpected argument \"junk\"", QByteArray());
        row("option given twice", "create-large Big.dbf --users 5 --users 6", "--users is given twice",
            QByteArray());
        row("name too long", "create-demo " + QString(256, 'n'),
            QString(20, 'n') + ": cannot create the file (", QByteArray());
    }

    void badInput() {
        auto [args, message, bad] = test::fetch<QString, QString, QByteArray>();
        runAll({"start"});
        const QString badPath = m_home->filePath("Bad.dbf");
        if (bad.startsWith("CREATE")) {
            QVERIFY(runSql(badPath, bad));
        } else if (!bad.isNull()) {
            QVERIFY(writeBytes(badPath, bad));
        }
        const QByteArray session = readBytes(m_home->filePath("session.json"));
        const QStringList files = QDir(m_home->path()).entryList(QDir::Files);
        const Run r = standin(args.split(' '));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.endsWith('\n') && r.err.count('\n') == 1 && r.err.contains(message),
                 qPrintable(r.err));
        QCOMPARE(readBytes(m_home->filePath("session.json")), session);
        QCOMPARE(QDir(m_home->path()).entryList(QDir::Files), files);
    }

    void corruptSession() {
        const QString path = m_home->filePath("session.json");
        QVERIFY(writeBytes(path, "{\"running\": tru"));
        QCOMPARE(m_act->CreateEventControl()->Operation1(0), 0);
        QCOMPARE(errorOf([&] { m_act->CreateObject(act::kProgIdApp); }), 429);
        const Run r = standin({"start"});
        QVERIFY2(r.exitCode == 2 && r.err.contains("not a session file"), qPrintable(r.err));
        QCOMPARE(readBytes(path), "{\"running\": tru");
        QVERIFY(!QFile::exists(m_home->filePath("Demo.dbf"))); // a refused start makes nothing
    }

    void startsAtOnceOnAFreshHome() {
        for (int round = 0; round < 4; ++round) {
            QTemporaryDir home;
            std::vector<std::unique_ptr<QProcess>> starts;
            for (int i = 0; i < 3; ++i) {
                starts.push_back(std::make_unique<QProcess>());
                auto env = QProcessEnvironment::systemEnvironment();
                env.insert(act::standin::kHomeVariable, home.filePath("home"));
                starts.back()->setProcessEnvironment(env);
                starts.back()->start(ACT_STANDIN_PATH, {"start"});
            }
            for (auto& p : starts) {
                QVERIFY(p->waitForFinished(20000));
                QVERIFY2(p->exitCode() == 0, p->readAllStandardError().constData());
            }
        }
        // A home that is no folder is reported as such.
        QVERIFY(writeBytes(m_home->filePath("file"), ""));
        qputenv(act::standin::kHomeVariable, QFile::encodeName(m_home->filePath("file")));
        const Run r = standin({"start"});
        QVERIFY2(r.exitCode == 2 && r.err.contains("file: cannot create the folder"), qPrintable(r.err));
    }

    void longNamesAndEmptyFieldsTable() {
        const QString longest = QString(251, 'd') + ".dbf";
        runAll({"create-demo " + longest, "start " + longest});
        QVERIFY(runSql(m_home->filePath("NoFields.dbf"), plainTables("")));
        const ActObjects o = objectsAfter({"open NoFields.dbf"});
        QCOMPARE(o.objFields->Count(), 0);
        QCOMPARE(o.objFields->ID(0), -1); // slot 0 is there, and empty
        QComboBox fields;
        modPopulateACTLists::Populate_cboFields(fields, o.objFields, m_box);
        QCOMPARE(fields.count(), 0);
        QVERIFY(m_box.shown.empty());
    }

    void largeDatabaseIsVariedAndReproducible() {
        runAll({"create-large A.dbf --users 60 --slots 600", "create-large B.dbf --users 60 --slots 600",
                "create-large C.dbf --users 60 --slots 600 --seed 2"});
        using act::standin::readDatabase;
        const auto a = readDatabase(m_home->filePath("A.dbf")), b = readDatabase(m_home->filePath("B.dbf"));
        const auto c = readDatabase(m_home->filePath("C.dbf"));
        QStringList seen;
        QSet<QString> labels;
        QSet<int> rules, slotPlusOne;
        int gaps = 0, emptyRows = 0;
        for (std::size_t i = 0; i < a.slots.size(); ++i) {
            const auto& f = a.slots[i];
            QCOMPARE(f.id, b.slots[i].id); // the same seed, the same database
            QCOMPARE(f.label, b.slots[i].label);
            if (f.id == -1) {
                (f.inTable ? emptyRows : gaps) += 1;
                continue;
            }
            if (f.label.isEmpty())
                seen << "empty label";
            if (labels.contains(f.label))
                seen << "repeated label";
            if (f.label.toLatin1() != f.label.toUtf8())
                seen << "not ASCII";
            labels << f.label;
            rules << f.entryRule;
            slotPlusOne << int(f.id == int(i) + 1);
        }
        seen.removeDuplicates();
        seen.sort();
        QCOMPARE(seen, QStringList({"empty label", "not ASCII", "repeated label"}));
        QCOMPARE(rules, QSet<int>({0, 1, 2, 3, 4}));
        QVERIFY(gaps > 0 && emptyRows > 0 && slotPlusOne.contains(0));
        int administrators = 0;
        for (const auto& u : a.users)
            administrators += u.security == 5;
        QVERIFY(administrators > 1 && a.users.front().security != 5);
        int same = 0;
        for (std::size_t i = 0; i < a.slots.size(); ++i)
            same += a.slots[i].id == c.slots[i].id;
        QVERIFY(same < 100); // another seed, another database
    }

    void concurrentWritersLoseNothing() {
        runAll({"start"});
        auto aux = act::createAs<act::ActAuxCmds>(*m_act, act::kProgIdAuxCmds);
        std::vector<std::unique_ptr<QProcess>> people;
        for (int i = 0; i < 10; ++i) {
            people.push_back(std::make_unique<QProcess>());
            people.back()->setWorkingDirectory(m_home->path());
            people.back()->start(ACT_STANDIN_PATH, {"user", QString::number(1 + i % 9)});
        }
        for (int i = 0; i < 20; ++i)
            QCOMPARE(aux->AddAuxCommand(QString("C%1").arg(i), "", "", "", "", "", "", 0), 0);
        for (auto& p : people)
            QVERIFY(p->waitForFinished(20000) && p->exitCode() == 0);
        for (int i = 0; i < 20; ++i)
            QCOMPARE(aux->AuxCommandExists(QString("C%1").arg(i)), 1);
    }
};

QTEST_MAIN(TestStandin)
#include "tst_standin.moc"
