// Writers in processes of their own: killed in the middle of a write, or two at the same moment.

#include "TestFiles.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniLib.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace qm;
using test::readBytes;

class TestSettingsProcesses : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void killedWriterLeavesOldOrNewContent();
    void writersOfDisjointKeysLoseNothing();

private:
    QTemporaryDir m_dir;
};

void TestSettingsProcesses::killedWriterLeavesOldOrNewContent() {
    constexpr int size = 1 << 20;
    const QString ini = m_dir.filePath("Users.dat");
    const QString field = m_dir.filePath("Sales28.dat");
    QVERIFY(test::writeBytes(ini, test::churnIni('-', size)));
    FieldSettingsFile::write(field, 1, 0, test::churnList('-', size / 4));
    const QByteArray fieldHead = "OnlyFromDropdown=1\r\nAllowEditing=0\r\n";

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
        const int cycleMs = writer.readLine().mid(6).trimmed().toInt();
        QThread::msleep(rng.bounded(0, 3 * cycleMs + 3));
        writer.kill();
        QVERIFY(writer.waitForFinished(5000));

        const QByteArray iniNow = readBytes(ini);
        const char c = iniNow.size() > 30 ? iniNow.at(iniNow.indexOf("Fill=") + 5) : '?';
        QVERIFY2(iniNow == test::churnIni(c, size),
                 qPrintable(QString("round %1: users file broken").arg(round)));
        const QByteArray fieldNow = readBytes(field);
        const char d = fieldNow.size() > fieldHead.size() ? fieldNow.at(fieldHead.size()) : '?';
        QVERIFY2(fieldNow == FieldSettingsFile::content(1, 0, test::churnList(QLatin1Char(d), size / 4)),
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

void TestSettingsProcesses::writersOfDisjointKeysLoseNothing() {
    constexpr int count = 150;
    const QString ini = m_dir.filePath("Shared.dat");
    QVERIFY(test::writeBytes(ini, test::churnIni('x', 200'000)));
    const QStringList prefixes = {"A", "B"};
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const QString& prefix : prefixes) {
        writers.push_back(std::make_unique<QProcess>());
        writers.back()->start(SETTINGS_WRITER, {"keys", ini, prefix, QString::number(count)});
    }
    for (auto& w : writers) {
        QVERIFY(w->waitForFinished(60'000));
        QCOMPARE(w->exitCode(), 0);
    }
    int missing = 0;
    for (const QString& prefix : prefixes) {
        for (int i = 0; i < count; ++i) {
            missing +=
                IniLib::GetKeyValue("Sales", prefix + QString::number(i), ini) != "v" + QString::number(i);
        }
    }
    QCOMPARE(missing, 0);
    QCOMPARE(IniLib::GetKeyValue("Data", "Fill", ini), QString(100, QLatin1Char(0x78)));
    QVERIFY(!QFile::exists(ini + ".new"));
}

QTEST_GUILESS_MAIN(TestSettingsProcesses)
#include "tst_settingsprocesses.moc"
