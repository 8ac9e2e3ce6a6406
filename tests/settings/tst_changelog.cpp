// The change log: a record reads back exactly as written, whatever it holds; a line that does not
// read back whole is skipped, never fatal; appends land whole, also from many processes at once,
// and never through what another login planted; reading refuses what settings reads refuse.

#include "ChangeRecords.h"
#include "TestPlatform.h"
#include "settings/ChangeLog.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(qm::changelog::Record)

using namespace qm;
using namespace qm::changelog;
using B = QByteArray;

namespace {

QStringList notes(const std::vector<Record>& records) {
    QStringList out;
    for (const Record& r : records)
        out << r.note;
    return out;
}

QStringList notes(const LogRead& log) {
    QStringList out;
    for (const LogLine& line : log.lines)
        out << decode(line.line)->note;
    return out;
}

bool isRoot() {
    return ::geteuid() == 0;
}

} // namespace

class TestChangeLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data() {
        QTest::addColumn<Record>("record");
        Record awkward = test::fieldRecord(1'714'554'753'123, "DOMAIN\\ann", "Jürgen → 5 € | 100%: done\r\n");
        awkward.actUser = "tab\there: colon | pipe % per cent";
        awkward.fieldLabel = "Ph:one|\x01\x7f";
        awkward.users.push_back({"Zoë:|%\n", "", Right::Initialize, Right::Full});
        awkward.keys = {{"28F", B("\x80\xff\t\r\n=-:|%\x00", 10), B("")}, {"28I", B("-"), std::nullopt}};
        awkward.fileBefore = B("OnlyFromDropdown=0\r\nAllowEditing=0\r\n  caf\xe9\r\n");
        awkward.fileAfter = std::nullopt;
        Record locations;
        locations.whenMs = 0;
        locations.kind = Kind::Locations;
        locations.keys = {{"UsersPath", B("/srv/a/Users.dat"), B("C:\\Settings\\Users.dat")}};
        Record other = test::globalRecord(253'402'300'799'999); // 9999-12-31T23:59:59.999Z
        other.kind = Kind::Other;
        other.kindWord = "merge-of-a-later-version";
        QTest::newRow("every separator and escape inside") << awkward;
        QTest::newRow("the global rights, no file") << test::globalRecord(-86'400'001);
        QTest::newRow("the settings locations") << locations;
        QTest::newRow("a kind of a later version") << other;
        QTest::newRow("empty") << Record{};
    }

    void roundTrip() {
        QFETCH(Record, record);
        const B line = encode(record);
        QVERIFY(line.endsWith('\n') && line.count('\n') == 1 && !line.contains('\r'));
        QCOMPARE(QString::fromUtf8(line).toUtf8(), line); // always valid UTF-8
        const std::optional<Record> back = decode(line);
        QVERIFY(back);
        QVERIFY(*back == record);
        QCOMPARE(encode(*back), line);
    }

    void times() {
        for (const auto& [ms, text] : {std::pair<qint64, B>{0, "1970-01-01T00:00:00.000Z"},
                                       {951'782'400'001, "2000-02-29T00:00:00.001Z"},
                                       {-1, "1969-12-31T23:59:59.999Z"}}) {
            QCOMPARE(utcText(ms), text);
            QCOMPARE(parseUtcText(text), std::optional<qint64>(ms));
        }
        for (const char* bad :
             {"2024-13-01T00:00:00.000Z", "2024-05-01 00:00:00.000Z", "2024-05-01T00:00:00Z"})
            QVERIFY(!parseUtcText(bad));
    }

    // What a log file may hold besides whole records: the records around it are read, it is counted.
    // A line cut anywhere is skipped, also where the rest would still parse as a shorter record.
    void damagedLines_data() {
        test::columns<B, QStringList, qint64>("bytes", "read", "skipped");
        const B a = encode(test::fieldRecord(1000, "ann", "a"));
        const B b = encode(test::fieldRecord(2000, "ann", "b"));
        B flipped = a;
        flipped[flipped.indexOf("Dana") + 1] = 'e'; // one byte changed, the line still parses
        B crlf = a;
        crlf.insert(crlf.size() - 1, '\r');
        test::row("a line of garbage", a + "garbage, not a record\n" + b, QStringList{"a", "b"}, qint64(1));
        test::row("binary garbage", a + B("\x00\xff\x01QM1\t\t\t", 9) + "\n" + b, QStringList{"a", "b"},
                  qint64(1));
        test::row("one byte changed", flipped + b, QStringList{"b"}, qint64(1));
        test::row("another version", B(a).replace(0, 3, "QM2") + b, QStringList{"b"}, qint64(1));
        test::row("CR LF line ends and blank lines", crlf + "\n\r\n" + b, QStringList{"a", "b"}, qint64(0));
        test::row("nothing", B(), QStringList{}, qint64(0));
        for (int cut = 1; cut < b.size(); ++cut) {
            QTest::addRow("a truncated last line, cut at %d", cut)
                << a + b.left(cut) << QStringList{"a"} << qint64(1);
            // A torn line closed by the next append; whole when only its line end was missing.
            const bool whole = cut == b.size() - 1;
            QTest::addRow("a torn line, cut at %d, then a record", cut)
                << a + b.left(cut) + "\n" + a << (whole ? QStringList{"a", "b", "a"} : QStringList{"a", "a"})
                << qint64(whole ? 0 : 1);
        }
    }

    void damagedLines() {
        auto [bytes, read, skipped] = test::fetch<B, QStringList, qint64>("bytes", "read", "skipped");
        std::vector<Record> records;
        qint64 skippedNow = 0;
        readRecords(bytes, records, skippedNow);
        QCOMPARE(notes(records), read);
        QCOMPARE(skippedNow, skipped);
    }

    // One file per writer, named after it (what a path cannot hold made "_"); the log is all of them in
    // time order. A record torn by a crash stays alone on its line: the next one is read whole.
    void appendAndRead() {
        QTemporaryDir dir;
        const QString users = dir.filePath("Users.dat");
        QVERIFY(append(users, test::fieldRecord(3000, "ann", "ann 2"), {"ann", "pc1"}).ok());
        QVERIFY(append(users, test::globalRecord(2000), {"DOMAIN\\bob", "pc 2/x"}).ok());
        const AppendOutcome first = append(users, test::fieldRecord(1000, "ann", "ann 1"), {"ann", "pc1"});
        QVERIFY(first.ok());
        QCOMPARE(first.path, dir.filePath("Users.dat.log/ann@pc1.log"));
        QCOMPARE(QDir(dir.filePath("Users.dat.log")).entryList(QDir::Files),
                 (QStringList{"ann@pc1.log", "DOMAIN_bob@pc_2_x.log"}));
        QVERIFY(test::writeBytes(first.path,
                                 test::readBytes(first.path) + encode(test::fieldRecord(4000)).left(50)));
        QVERIFY(append(users, test::fieldRecord(5000, "ann", "ann 3"), {"ann", "pc1"}).ok());
        const LogRead log = readLog(users);
        QCOMPARE(notes(log), (QStringList{"ann 1", "", "ann 2", "ann 3"}));
        QCOMPARE(decode(log.lines[1].line)->login, "bob");
        QCOMPARE(log.files, 2);
        QCOMPARE(log.skipped, 1);
        QCOMPARE(log.problems, QStringList());
        QCOMPARE(readLog(dir.filePath("Other.dat")).lines.size(), 0u); // no folder: no records
        QVERIFY(test::writeBytes(dir.filePath("Third.dat.log"), encode(test::globalRecord(6000))));
        QCOMPARE(readLog(dir.filePath("Third.dat")).problems.size(), 1); // a file, not a folder: said
    }

    void appendRefused_data() {
        // what: what lies at the writer's file name (or how the folder is); result: the append's
        test::columns<QString, int>("what", "result");
        test::row("no folder of the users file", "no folder", int(AppendResult::NoFolder));
        test::row("no users file set", "no users file", int(AppendResult::NoFolder));
        test::row("a link to a file outside", "link", int(AppendResult::NotOurs));
        test::row("a FIFO", "fifo", int(AppendResult::NotOurs));
        test::row("a folder", "folder", int(AppendResult::NotOurs));
        test::row("a second name of a file", "hard link", int(AppendResult::NotOurs));
        test::row("a file where the log folder goes", "file for folder", int(AppendResult::NotOurs));
        test::row("another login's file", "foreign", int(AppendResult::NotOurs));
        test::row("a read-only log folder", "read-only", int(AppendResult::ReadOnly));
    }

    void appendRefused() {
        auto [what, result] = test::fetch<QString, int>("what", "result");
        QTemporaryDir dir;
        const QString folder = dir.filePath("Users.dat.log");
        const QString mine = folder + "/ann@pc1.log";
        const QString outside = dir.filePath("outside.txt");
        QVERIFY(test::writeBytes(outside, "the administrator's own file\n"));
        QString users = dir.filePath("Users.dat");
        if (what != "file for folder")
            QVERIFY(QDir().mkdir(folder));
        if (what == "no folder")
            users = dir.filePath("gone/Users.dat");
        else if (what == "no users file")
            users.clear();
        else if (what == "link")
            QVERIFY(QFile::link(outside, mine));
        else if (what == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(mine).constData(), 0666), 0);
        else if (what == "folder")
            QVERIFY(QDir().mkdir(mine));
        else if (what == "hard link")
            QCOMPARE(::link(QFile::encodeName(outside).constData(), QFile::encodeName(mine).constData()), 0);
        else if (what == "file for folder")
            QVERIFY(test::writeBytes(folder, "x"));
        else if (what == "foreign") {
            if (!isRoot())
                QSKIP("needs root, to give the file to another login");
            QVERIFY(test::writeBytes(mine, ""));
            QCOMPARE(::chown(QFile::encodeName(mine).constData(), 65534, 65534), 0);
        } else if (what == "read-only") {
            if (isRoot())
                QSKIP("root writes any folder");
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        QElapsedTimer took;
        took.start();
        const AppendOutcome outcome = append(users, test::fieldRecord(1000), {"ann", "pc1"});
        QCOMPARE(int(outcome.result), result);
        QVERIFY(took.elapsed() < 1000); // a FIFO is never waited on
        QCOMPARE(test::readBytes(outside), B("the administrator's own file\n"));
        QVERIFY(!QFile::exists(dir.filePath("gone")));
        QVERIFY(appendProblemText(outcome).startsWith("The change was saved, but it could not be recorded"));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // Administrators who share the settings folder can each add their file to the log folder.
    void logFolderOfASharedFolder() {
        QTemporaryDir dir;
        const mode_t mask = ::umask(022);
        for (const bool shared : {true, false}) {
            const QString settings = dir.filePath(shared ? "shared" : "own");
            QVERIFY(QDir().mkdir(settings));
            QCOMPARE(::chmod(QFile::encodeName(settings).constData(), shared ? 02775 : 0755), 0);
            QVERIFY(append(settings + "/Users.dat", test::fieldRecord(1000), {"ann", "pc1"}).ok());
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(settings + "/Users.dat.log").constData(), &st), 0);
            QCOMPARE(int(st.st_mode & 07777), shared ? 02775 : 0755);
        }
        ::umask(mask);
    }

    // The log folder is as open to other logins as the settings: what they plant is not read.
    void readRefusals() {
        QTemporaryDir dir;
        const QString users = dir.filePath("Users.dat");
        const QString folder = users + ".log";
        QVERIFY(append(users, test::fieldRecord(1000, "ann", "mine"), {"ann", "pc1"}).ok());
        QVERIFY(
            test::writeBytes(dir.filePath("elsewhere.log"), encode(test::fieldRecord(2000, "x", "linked"))));
        QVERIFY(QFile::link(dir.filePath("elsewhere.log"), folder + "/own-link.log"));
        QVERIFY(test::writeBytes(folder + "/notes.txt", encode(test::fieldRecord(3000, "x", "not a log"))));
        QCOMPARE(::mkfifo(QFile::encodeName(folder + "/fifo.log").constData(), 0666), 0);
        QFile big(folder + "/big.log");
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(kMaxLogFileBytes + 1)); // sparse
        big.close();
        QStringList expectedProblems{"big.log is 256 MB, larger than a file of the log can be",
                                     "fifo.log is not a regular file"};
        if (isRoot()) {
            QVERIFY(QFile::link(dir.filePath("elsewhere.log"), folder + "/foreign-link.log"));
            QCOMPARE(::lchown(QFile::encodeName(folder + "/foreign-link.log").constData(), 65534, 65534), 0);
            expectedProblems << "foreign-link.log is a link made by nobody";
        }
        QElapsedTimer took;
        took.start();
        const LogRead log = readLog(users);
        QVERIFY(took.elapsed() < 2000);
        QCOMPARE(notes(log), (QStringList{"mine", "linked"}));
        QStringList problems;
        for (const QString& p : log.problems)
            problems << p.mid(folder.size() + 1);
        QCOMPARE(problems, expectedProblems);
    }

    // Two processes that append at the same moment: two whole records, also when they are far
    // larger than what the system writes in one piece.
    void twoProcessesAtOnce() { appendFromProcesses({"ann", "ann"}, 100, 256 * 1024); }

    // Many at once, into one file and into files of their own: none lost, none broken.
    void manyProcessesLoseNone() {
        appendFromProcesses({"ann", "ann", "ann", "ann", "ann", "ann", "bob", "carl"}, 200, 2 * 1024);
    }

private:
    void appendFromProcesses(const QStringList& logins, int count, int size) {
        QTemporaryDir dir;
        const QString users = dir.filePath("Users.dat");
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const QString& login : logins) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->start(CHANGELOG_WRITER,
                                  {users, login, QString::number(count), QString::number(size)});
        }
        for (auto& w : writers)
            QVERIFY(w->waitForReadyRead(20'000) && w->readLine() == "ready\n");
        for (auto& w : writers) // all together: each told now, not when it is waited for
            QVERIFY(w->write("go\n") == 3 && w->waitForBytesWritten(5000));
        for (auto& w : writers) {
            QVERIFY(w->waitForFinished(120'000));
            QCOMPARE(w->exitCode(), 0);
        }
        const LogRead log = readLog(users);
        QCOMPARE(log.skipped, 0);
        QCOMPARE(qsizetype(log.lines.size()), logins.size() * count);
        QSet<QString> seen;
        for (const LogLine& line : log.lines) {
            QVERIFY(line.line.size() > size);
            seen << decode(line.line)->note;
        }
        QCOMPARE(qsizetype(seen.size()), QSet<QString>(logins.begin(), logins.end()).size() * count);
    }
};

QTEST_GUILESS_MAIN(TestChangeLog)
#include "tst_changelog.moc"
