// Two administrators, each with the tool in a process of its own on one running ACT! stand-in and the
// same settings files, playing what went wrong before: a Close that changed nothing undid another's
// global change, and a field's Save undid another's Save of the same field.

#include "ChangeRecords.h"
#include "TestPlatform.h"
#include "act/standin/StandinBackend.h"

#include <QProcess>
#include <QTemporaryDir>

using namespace qm;
using B = QByteArray;

namespace {

// One administrator's tool (tool_admin), driven line by line.
class Admin {
public:
    Admin(const QString& users, const QString& folder) {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(TOOL_ADMIN_PATH, {users, folder});
        ready = next() == "ready";
    }
    ~Admin() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.write("quit\n");
            if (!m_process.waitForFinished(10000))
                m_process.kill();
        }
        m_process.waitForFinished(5000);
    }
    // The command's answer, without its "ok ".
    QString operator()(const QString& command) {
        send(command);
        return answer();
    }
    // The same in two halves, so that two tools work at once.
    void send(const QString& command) { m_process.write((command + '\n').toUtf8()); }
    QString answer() {
        const QString line = next();
        return line.startsWith("ok ") ? line.mid(3) : "<" + line + ">";
    }
    bool ready = false;

private:
    QString next() {
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(60000))
                return "<no answer>";
        return QString::fromUtf8(m_process.readLine()).chopped(1);
    }
    QProcess m_process;
};

} // namespace

class TestTwoProcesses : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString path(const QString& name) const { return m_dir->filePath(name); }

private Q_SLOTS:
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv(act::standin::kHomeVariable, QFile::encodeName(path("act")));
        QProcess standin;
        standin.start(ACT_STANDIN_PATH, {"start"});
        QVERIFY(standin.waitForFinished(20000) && standin.exitCode() == 0);
    }

    // A and B open the same field; A gives Chen Wei "Initialize" and saves; B gives Emil Novak
    // "Full" and saves: both changes are in the file, and B is told of A's. Both save at the same
    // moment: each Save leaves one whole record in the change log, of its own change. Then B makes
    // Dana O'Neil "None" globally and closes; A, who changed nothing globally, closes: Dana stays
    // "None".
    void eachKeepsTheOthersChanges() {
        QVERIFY(
            test::writeBytes(path("Users.dat"),
                             "[Demo]\r\nGlobalF={USR-0002-C7D1}{USR-0004-E08F}\r\n210F={USR-0001-5E2A}\r\n"));
        Admin a(path("Users.dat"), m_dir->path());
        Admin b(path("Users.dat"), m_dir->path());
        QVERIFY(a.ready && b.ready);
        QCOMPARE(a("field Account Number"), "Full,None,None,None,None,None,None,None,None");
        QCOMPARE(b("field Account Number"), "Full,None,None,None,None,None,None,None,None");
        QCOMPARE(a("pick 2 Initialize"), "Full,None,Initialize,None,None,None,None,None,None");
        QCOMPARE(a("save"), "open||");
        QCOMPARE(b("pick 4 Full"), "Full,None,None,None,Full,None,None,None,None");
        const QString told = "Kept from another administrator's changes: Chen Wei (Initialize).";
        QCOMPARE(b("save"), "open|" + told + "|");
        B users = test::readBytes(path("Users.dat"));
        QVERIFY2(users.contains("210I={USR-0003-19B4}\r\n"), users.constData());
        QVERIFY2(users.contains("210F={USR-0001-5E2A}{USR-0005-"), users.constData());
        QCOMPARE(a("pick 1 Full"), "Full,Full,Initialize,None,None,None,None,None,None");
        QCOMPARE(b("pick 3 Initialize"), "Full,None,Initialize,Initialize,Full,None,None,None,None");
        a.send("save");
        b.send("save");
        QVERIFY(a.answer().startsWith("open|") && b.answer().startsWith("open|"));
        QCOMPARE(changelog::readLog(path("Users.dat")).skipped, 0);
        QStringList changed;
        for (const changelog::Record& r : test::logRecords(path("Users.dat")))
            changed << test::userChanges(r);
        changed.sort();
        QCOMPARE(changed, (QStringList{"Bruno Castillo:None>Full", "Chen Wei:None>Initialize",
                                       "Dana O'Neil:None>Initialize", "Emil Novak:None>Full"}));
        QCOMPARE(b("global 3 None"), "None,Full,None,None,None,None,None,None,None");
        QVERIFY(b("close").startsWith("closed|"));
        users = test::readBytes(path("Users.dat"));
        QVERIFY2(users.startsWith("[Demo]\r\nGlobalF={USR-0002-C7D1}\r\n"), users.constData());
        QVERIFY(a("close").startsWith("closed|"));
        QCOMPARE(test::readBytes(path("Users.dat")), users);
    }
};

QTEST_GUILESS_MAIN(TestTwoProcesses)
#include "tst_twoprocesses.moc"
