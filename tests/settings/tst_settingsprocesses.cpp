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
        QCOMPARE(leftBeside(m_dir.path()), QStringList());
    }

    // Run it beside a busy loop on each core (yes > /dev/null): writers that are merely slow must
    // never make another give up.
    void writersOfDisjointKeysLoseNothing_data() {
        columns<int>("writers");
        row("4 writers", 4);
        row("8 writers", 8);
    }

    void writersOfDisjointKeysLoseNothing() {
        auto [writers] = fetch<int>("writers");
        constexpr int count = 100; // writes each, and a removal after every fourth
        const QString ini = m_dir.filePath(QString("Shared%1.dat").arg(writers));
        QVERIFY(writeBytes(ini, churnIni('x', 1 << 20)));
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
        QCOMPARE(leftBeside(m_dir.path()), QStringList());
    }

    // A writer that takes the lock again the moment it has let go of it, for ever, never keeps
    // out another that waits: the waiting one is woken when the lock is let go, and has it.
    void busyWriterNeverKeepsOthersOut() {
        QVERIFY(QDir(m_dir.path()).mkpath("hog")); // the hog is killed in the middle of a write
        const QString ini = m_dir.filePath("hog/Hog.dat");
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
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestSettingsProcesses)
#include "tst_settingsprocesses.moc"
