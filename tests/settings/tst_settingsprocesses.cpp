// Writers in processes of their own: killed in the middle of a write, or two at the same moment.

#include "TestFiles.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniLib.h"

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
        int locksLeft = 0;
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
            locksLeft += QFile::exists(ini + ".lock") + QFile::exists(field + ".lock");
        }
        QVERIFY2(versions.size() > 5, "the writer hardly wrote: nothing was tested");
        QVERIFY2(locksLeft > 0, "no kill fell inside a locked write");
        QVERIFY2(total.elapsed() < 60'000, "stale locks held the writers up");
        // The lock the last killed writer may have left does not hold up the next write.
        QElapsedTimer one;
        one.start();
        IniLib::WriteKeyValue("Other", "k", "after", ini);
        QVERIFY(one.elapsed() < 1000);
        QCOMPARE(IniLib::GetKeyValue("Other", "k", ini), QString("after"));
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
