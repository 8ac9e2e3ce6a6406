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
        const QString dir = folder("killed");
        const QString ini = dir + "/Users.dat", field = dir + "/Sales28.dat", probe = dir + "/Probe.dat";
        QVERIFY(writeBytes(ini, churnIni('-', size)));
        FieldSettingsFile::write(field, 1, 0, churnList('-', size / 4));
        const qsizetype fieldHead = QByteArray("OnlyFromDropdown=1\r\nAllowEditing=0\r\n").size();
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator rng(seed);
        QSet<char> versions;
        int leftovers = 0;
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
            leftovers += int(leftBeside(dir).size());
            // The locks of a killed writer died with it: a write into its folder goes through at once
            // (one that waited for them would give up, Busy).
            QVERIFY2(IniLib::WriteKeyValueResult("Probe", "round", QString::number(round), probe).landed(),
                     "a killed writer held the others up");
        }
        QVERIFY2(versions.size() > 5, "the writer hardly wrote: nothing was tested");
        QVERIFY2(leftovers > 0, "no kill fell inside a write");
        QVERIFY(IniLib::WriteKeyValueResult("Other", "k", "after", ini).landed());
        QCOMPARE(IniLib::GetKeyValue("Other", "k", ini), QString("after"));
        // What killed writers left beside the files goes once it is clearly nobody's any more.
        for (const QString& name : leftBeside(dir)) {
            const struct timespec old[2] = {{::time(nullptr) - 3600, 0}, {::time(nullptr) - 3600, 0}};
            ::utimensat(AT_FDCWD, QFile::encodeName(dir + '/' + name).constData(), old, 0);
        }
        QProcess writer;
        writer.start(SETTINGS_WRITER, {"keys", ini, "K", "1"});
        QVERIFY(writer.waitForFinished(10'000) && writer.exitCode() == 0);
        QCOMPARE(leftBeside(dir), QStringList());
    }

    void leftoverLockFilesHoldNothingUp() {
        // Lock files of an earlier version: a folder, and an empty one from a killed writer.
        const QString ini = folder("leftover") + "/Locked.dat";
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
        const QString dir = folder("stalled");
        const QString ini = dir + "/Stalled.dat", field = dir + "/Stalled28.dat";
        QVERIFY(writeBytes(ini, "[Sales]\r\nold=1\r\n"));
        FieldSettingsFile::write(field, 1, 0, "old");
        fileWriteTuning().lockWaitMs = 300;
        for (const bool killed : {false, true}) {
            QProcess stalled;
            stalled.start(SETTINGS_WRITER, {"stall", ini, "H", killed ? "killed" : "held"});
            QVERIFY(stalled.waitForReadyRead(10'000) && stalled.readLine() == "holding\n");
            // However long it holds the file, the others wait their bound, then give up, say so
            // and change nothing.
            const QByteArray before = readBytes(ini);
            QElapsedTimer waited;
            waited.start();
            QCOMPARE(int(IniLib::WriteKeyValueResult("Sales", "T", "1", ini).result),
                     int(ReplaceResult::Busy));
            QCOMPARE(readBytes(ini), before);
            QVERIFY(waited.elapsed() >= 300 && waited.elapsed() < 3000);
            // The lock covers the folder: a file beside it waits too.
            QCOMPARE(int(FieldSettingsFile::write(field, 0, 0, "new").result), int(ReplaceResult::Busy));
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
        QCOMPARE(leftBeside(dir), QStringList());
    }

    // Run it beside a busy loop on each core (yes > /dev/null): writers that are merely slow must
    // never make another give up.
    void writersOfDisjointKeysLoseNothing_data() {
        // count: writes each, and a removal after every fourth
        columns<int, int, int>("writers", "count", "size");
        row("4 writers, 1 MB", 4, 100, 1 << 20);
        row("8 writers, 256 KB", 8, 50, 1 << 18);
    }

    void writersOfDisjointKeysLoseNothing() {
        auto [writers, count, size] = fetch<int, int, int>();
        const QString dir = folder(QString("writers%1").arg(writers));
        const QString ini = dir + "/Shared.dat";
        QVERIFY(writeBytes(ini, churnIni('x', size)));
        std::vector<std::unique_ptr<QProcess>> running;
        for (int w = 0; w < writers; ++w) {
            running.push_back(std::make_unique<QProcess>());
            running.back()->start(SETTINGS_WRITER,
                                  {"keys", ini, QString(QChar('A' + w)), QString::number(count)});
        }
        QStringList failed; // every change a writer was told did not land
        for (auto& p : running) {
            QVERIFY(p->waitForFinished(240'000));
            failed += QString::fromLatin1(p->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
            if (p->exitStatus() != QProcess::NormalExit || p->exitCode() != 0)
                failed << QString("a writer ended with %1").arg(p->exitCode());
        }
        QCOMPARE(failed, QStringList());
        // Every change reported done is in the file: the keys written, and not the keys removed.
        QStringList wrong;
        for (int w = 0; w < writers; ++w) {
            for (int i = 0; i < count; ++i) {
                const QString key = QString(QChar('A' + w)) + QString::number(i);
                const bool removed = i % 4 == 1 && i + 2 < count;
                if (IniLib::GetKeyValue("Sales", key, ini) !=
                    (removed ? QString() : "v" + QString::number(i)))
                    wrong << key;
            }
        }
        QCOMPARE(wrong, QStringList());
        QCOMPARE(IniLib::GetKeyValue("Data", "Fill", ini), QString(100, QLatin1Char('x')));
        QCOMPARE(leftBeside(dir), QStringList());
    }

    // A writer that takes the lock again the moment it has let go of it, for ever, never keeps
    // out another that waits: the waiting one is woken when the lock is let go, and has it.
    void busyWriterNeverKeepsOthersOut() {
        const QString ini = folder("hog") + "/Hog.dat"; // the hog is killed in the middle of a write
        QVERIFY(writeBytes(ini, "[Sales]\r\n"));
        QProcess hog;
        hog.start(SETTINGS_WRITER, {"keys", ini, "H", "100000"});
        QVERIFY(hog.waitForStarted());
        QThread::msleep(200);
        fileWriteTuning().lockWaitMs = 1000;
        QStringList busy;
        QElapsedTimer took;
        took.start();
        for (int i = 0; i < 40; ++i) {
            const WriteResult r = IniLib::WriteKeyValueResult("Sales", "W" + QString::number(i), "w", ini);
            if (!r.landed())
                busy << QString("write %1: %2").arg(i).arg(int(r.result));
        }
        fileWriteTuning().lockWaitMs = FileWriteTuning().lockWaitMs;
        const qint64 ms = took.elapsed();
        hog.kill();
        hog.waitForFinished();
        qInfo("40 writes beside a writer that never stops: %lld ms", ms);
        QCOMPARE(busy, QStringList());
        QVERIFY(hog.readAllStandardOutput().isEmpty());
    }

private:
    // A folder of the test's own, so that what one test leaves does not fail another.
    QString folder(const QString& name) {
        QDir(m_dir.path()).mkpath(name);
        return m_dir.filePath(name);
    }

    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestSettingsProcesses)
#include "tst_settingsprocesses.moc"
