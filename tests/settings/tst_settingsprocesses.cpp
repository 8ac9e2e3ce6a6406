// Writers in processes of their own: killed in the middle of a write, stalled while they hold the
// file, or two at the same moment.

#include "TestFiles.h"
#include "settings/AtomicFile.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniLib.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

using namespace qm;
using namespace qm::test;

class TestSettingsProcesses : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedWriterLeavesOldOrNewContent() {
        constexpr int size = 1 << 20;
        const QString ini = m_dir.filePath("Users.dat"), field = m_dir.filePath("Sales28.dat");
        QVERIFY(writeBytes(ini, churnIni('-', size)));
        FieldSettingsFile::write(field, 1, 0, churnList('-', size / 4));
        const qsizetype fieldHead = QByteArray("OnlyFromDropdown=1\r\nAllowEditing=0\r\n").size();
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator rng(seed);
        QSet<char> versions;
        int leftovers = 0;
        QElapsedTimer total;
        total.start();
        for (int round = 0; round < 50; ++round) {
            QProcess writer;
            writer.start(SETTINGS_WRITER, {"churn", ini, field, QString::number(size)});
            QVERIFY(writer.waitForReadyRead(10'000));
            QThread::msleep(rng.bounded(0, 3 * writer.readLine().mid(6).trimmed().toInt() + 3));
            writer.kill();
            QVERIFY(writer.waitForFinished(5000));
            // Each file is exactly one version (one letter) of the writer's, never a broken one.
            const QByteArray iniNow = readBytes(ini), fieldNow = readBytes(field);
            const char c = iniNow.size() > 30 ? iniNow.at(iniNow.indexOf("Fill=") + 5) : '?';
            const char d = fieldNow.size() > fieldHead ? fieldNow.at(fieldHead) : '?';
            QVERIFY2(iniNow == churnIni(c, size),
                     qPrintable(QString("round %1: users file broken").arg(round)));
            QVERIFY2(fieldNow == FieldSettingsFile::content(1, 0, churnList(QLatin1Char(d), size / 4)),
                     qPrintable(QString("round %1: field file broken").arg(round)));
            versions << c << d;
            leftovers += int(leftBeside(m_dir.path()).size());
        }
        QVERIFY2(versions.size() > 5, "the writer hardly wrote: nothing was tested");
        QVERIFY2(leftovers > 0, "no kill fell inside a write");
        QVERIFY2(total.elapsed() < 60'000, "killed writers held the others up");
        // The locks of a killed writer died with it: the next write goes through at once.
        QElapsedTimer one;
        one.start();
        IniLib::WriteKeyValue("Other", "k", "after", ini);
        QVERIFY(one.elapsed() < 1000);
        QCOMPARE(IniLib::GetKeyValue("Other", "k", ini), QString("after"));
        // What killed writers left beside the files goes once it is clearly nobody's any more.
        for (const QString& name : leftBeside(m_dir.path())) {
            const struct timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(m_dir.filePath(name)).constData(), old, 0);
        }
        QProcess writer;
        writer.start(SETTINGS_WRITER, {"keys", ini, "K", "1"});
        QVERIFY(writer.waitForFinished(10'000) && writer.exitCode() == 0);
        QCOMPARE(leftBeside(m_dir.path()), QStringList());
    }

    void leftoverLockFilesHoldNothingUp() {
        // Lock files of an earlier version: a folder, and an empty one from a killed writer.
        const QString ini = m_dir.filePath("Locked.dat");
        QVERIFY(QDir().mkdir(ini + ".lock") && writeBytes(ini + ".lock.lock", ""));
        QProcess writer;
        writer.start(SETTINGS_WRITER, {"keys", ini, "A", "3"});
        const bool finished = writer.waitForFinished(20'000);
        if (!finished)
            writer.kill();
        QVERIFY2(finished, "a write waited for ever");
        QCOMPARE(IniLib::GetKeyValue("Sales", "A2", ini), "v2");
    }

    void stalledWriterHoldsOthersOffButLosesNothing() {
        const QString ini = m_dir.filePath("Stalled.dat"), field = m_dir.filePath("Stalled28.dat");
        QVERIFY(writeBytes(ini, "[Sales]\r\nold=1\r\n"));
        FieldSettingsFile::write(field, 1, 0, "old");
        fileWriteTuning().lockWaitMs = 300;
        for (const bool killed : {false, true}) {
            QProcess stalled;
            stalled.start(SETTINGS_WRITER, {"stall", ini, "H", killed ? "killed" : "held"});
            QVERIFY(stalled.waitForReadyRead(10'000) && stalled.readLine() == "holding\n");
            // However long it holds the file, the others' writes fail as on a read-only file,
            // and change nothing.
            const QByteArray before = readBytes(ini);
            QElapsedTimer waited;
            waited.start();
            IniLib::WriteKeyValue("Sales", "T", "1", ini);
            QCOMPARE(readBytes(ini), before);
            QVERIFY(waited.elapsed() < 3000);
            // The lock covers the folder: a file beside it waits too, and fails as read-only.
            QCOMPARE(errorOf([&] { FieldSettingsFile::write(field, 0, 0, "new"); }), 75);
            QCOMPARE(readBytes(field), FieldSettingsFile::content(1, 0, "old"));
            if (killed) {
                stalled.kill(); // its locks end with it, and its change with them
            } else {
                stalled.write("go\n"); // it wakes up and writes what it read first
                stalled.closeWriteChannel();
            }
            QVERIFY(stalled.waitForFinished(10'000));
            QCOMPARE(stalled.exitStatus() == QProcess::NormalExit && stalled.exitCode() == 0, !killed);
            IniLib::WriteKeyValue("Sales", "T", killed ? "2" : "1", ini);
        }
        fileWriteTuning().lockWaitMs = FileWriteTuning().lockWaitMs;
        QCOMPARE(readBytes(ini), "[Sales]\r\nold=1\r\nH=held\r\nT=2\r\n");
        QCOMPARE(leftBeside(m_dir.path()), QStringList());
    }

    void writersOfDisjointKeysLoseNothing() {
        constexpr int count = 150;
        const QString ini = m_dir.filePath("Shared.dat");
        QVERIFY(writeBytes(ini, churnIni('x', 200'000)));
        QProcess a, b;
        a.start(SETTINGS_WRITER, {"keys", ini, "A", QString::number(count)});
        b.start(SETTINGS_WRITER, {"keys", ini, "B", QString::number(count)});
        QVERIFY(a.waitForFinished(60'000) && b.waitForFinished(60'000));
        QCOMPARE(a.exitCode() + b.exitCode(), 0);
        QStringList missing;
        for (int i = 0; i < 2 * count; ++i) {
            const QString key = QString(i < count ? "A%1" : "B%1").arg(i % count);
            if (IniLib::GetKeyValue("Sales", key, ini) != "v" + QString::number(i % count))
                missing << key;
        }
        QCOMPARE(missing, QStringList());
        QCOMPARE(IniLib::GetKeyValue("Data", "Fill", ini), QString(100, QLatin1Char('x')));
        QVERIFY(!QFile::exists(ini + ".new"));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestSettingsProcesses)
#include "tst_settingsprocesses.moc"
