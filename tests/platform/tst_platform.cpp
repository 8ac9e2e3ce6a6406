// The common error report, the Visual Basic conversions, and the message-box double.

#include "TestPlatform.h"
#include "platform/ErrorReport.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"
#include "platform/VbRuntime.h"

#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace qm;

class TestPlatform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void errorReport_data();
    void errorReport();
    void errorTrapReportsAndEnds();
    void conversions_data();
    void conversions();
    void singleToText_data();
    void singleToText();
    void messageBoxDoubleRecords();
    void displayTextAndFilter();
    void instanceGuard();
    void crashedCopyDoesNotBlock();
};

void TestPlatform::errorReport_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("module");
    QTest::addColumn<bool>("isSub");
    QTest::addColumn<QString>("proc");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("expected");
    const QString tail =
        QStringLiteral("\r\rPlease contact ") + kSupportAddress + QStringLiteral(" with this error message.");
    QTest::newRow("type mismatch in Form_Load")
        << 13 << "Form1" << true << "Form_Load" << 16
        << QStringLiteral("Error 13: 'Type mismatch'\rin Form1: Sub Form_Load - Line # 16") + tail;
    QTest::newRow("invalid call in a function")
        << 5 << "modAdmin" << false << "Get_Generic_Name" << 0
        << QStringLiteral("Error 5: 'Invalid procedure call or argument'\rin modAdmin: Function "
                          "Get_Generic_Name - Line # 0") +
               tail;
    QTest::newRow("cannot create object")
        << 429 << "modAdmin" << true << "Create_Database" << 1
        << QStringLiteral("Error 429: 'ActiveX component can't create object'\rin modAdmin: Sub "
                          "Create_Database - Line # 1") +
               tail;
}

void TestPlatform::errorReport() {
    QFETCH(int, number);
    QFETCH(QString, module);
    QFETCH(bool, isSub);
    QFETCH(QString, proc);
    QFETCH(int, line);
    QFETCH(QString, expected);
    const QByteArray m = module.toLatin1();
    const QByteArray p = proc.toLatin1();
    test::FakeMessageBox box;
    showErrorReport(box, VbError(number, vbErrorDescription(number)),
                    {m.constData(), isSub ? ProcKind::Sub : ProcKind::Function, p.constData()}, line);
    QCOMPARE(box.shown.size(), std::size_t(1));
    QCOMPARE(box.last().text, expected);
    QCOMPARE(box.last().style, 0);
    QCOMPARE(box.last().title, QStringLiteral("Quillmark error"));
}

void TestPlatform::errorTrapReportsAndEnds() {
    test::FakeMessageBox box;
    ErrorTrap trap(box, {"Form1", ProcKind::Sub, "cmdSave_Click"});
    int reached = 0;
    const bool ok = trap.run([&] {
        trap.line = 2;
        reached = 1;
        vb::CInt(QStringLiteral("abc"));
        reached = 2;
    });
    QVERIFY(!ok);
    QCOMPARE(reached, 1);
    QVERIFY(box.last().text.startsWith(
        QStringLiteral("Error 13: 'Type mismatch'\rin Form1: Sub cmdSave_Click - Line # 2\r")));

    test::FakeMessageBox quiet;
    ErrorTrap fine(quiet, {"Form1", ProcKind::Sub, "x"});
    QVERIFY(fine.run([] {}));
    QVERIFY(quiet.shown.empty());
}

void TestPlatform::conversions_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("error"); // 0: no error
    QTest::newRow("int plain") << "CInt"
                               << "42" << 42.0 << 0;
    QTest::newRow("int blanks") << "CInt"
                                << "  -7 " << -7.0 << 0;
    QTest::newRow("int half to even down") << "CInt"
                                           << "2.5" << 2.0 << 0;
    QTest::newRow("int half to even up") << "CInt"
                                         << "3.5" << 4.0 << 0;
    QTest::newRow("int max") << "CInt"
                             << "32767" << 32767.0 << 0;
    QTest::newRow("int overflow") << "CInt"
                                  << "32768" << 0.0 << 6;
    QTest::newRow("int min") << "CInt"
                             << "-32768" << -32768.0 << 0;
    QTest::newRow("int hex") << "CInt"
                             << "&H1F" << 31.0 << 0;
    QTest::newRow("int empty") << "CInt"
                               << "" << 0.0 << 13;
    QTest::newRow("int word") << "CInt"
                              << "twelve" << 0.0 << 13;
    QTest::newRow("lng overflow") << "CLng"
                                  << "2147483648" << 0.0 << 6;
    QTest::newRow("lng big") << "CLng"
                             << "2147483647" << 2147483647.0 << 0;
    QTest::newRow("sng") << "CSng"
                         << "1234.5" << 1234.5 << 0;
    QTest::newRow("sng exp") << "CSng"
                             << "1E3" << 1000.0 << 0;
    QTest::newRow("sng word") << "CSng"
                              << "top" << 0.0 << 13;
    QTest::newRow("sng overflow") << "CSng"
                                  << "1e39" << 0.0 << 6;
    QTest::newRow("bool True") << "CBool"
                               << "True" << 1.0 << 0;
    QTest::newRow("bool false any case") << "CBool"
                                         << "fALSE" << 0.0 << 0;
    QTest::newRow("bool zero") << "CBool"
                               << "0" << 0.0 << 0;
    QTest::newRow("bool number") << "CBool"
                                 << "-1" << 1.0 << 0;
    QTest::newRow("bool word") << "CBool"
                               << "Yes" << 0.0 << 13;
}

void TestPlatform::conversions() {
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(double, expected);
    QFETCH(int, error);
    double got = 0;
    int raised = 0;
    try {
        if (kind == QLatin1String("CInt")) {
            got = vb::CInt(text);
        } else if (kind == QLatin1String("CLng")) {
            got = vb::CLng(text);
        } else if (kind == QLatin1String("CSng")) {
            got = vb::CSng(text);
        } else {
            got = vb::CBool(text) ? 1 : 0;
        }
    } catch (const VbError& e) {
        raised = e.number();
    }
    QCOMPARE(raised, error);
    if (!error) {
        QCOMPARE(got, expected);
    }
}

void TestPlatform::singleToText_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 1800.0f << "1800";
    QTest::newRow("fraction") << 1237.5f << "1237.5";
    QTest::newRow("negative") << -45.0f << "-45";
    QTest::newRow("zero") << 0.0f << "0";
    QTest::newRow("seven digits") << 1234567.0f << "1234567";
}

void TestPlatform::singleToText() {
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(vb::CStr(value), text);
    QCOMPARE(vb::CSng(text), value); // what is written reads back the same
}

void TestPlatform::messageBoxDoubleRecords() {
    test::FakeMessageBox box;
    box.answerNext(vbNo);
    QCOMPARE(box.show(QStringLiteral("Save?"), vbYesNo, QString()), int(vbNo));
    QCOMPARE(box.show(QStringLiteral("Line one\rLine two"), vbCritical, QString()), int(vbOK));
    QCOMPARE(box.show(QStringLiteral("Careful"), vbExclamation, QStringLiteral("Own title")), int(vbOK));
    QCOMPARE(box.show(QStringLiteral("Again?"), vbYesNo, QString()), int(vbYes)); // default button
    QCOMPARE(box.shown.size(), std::size_t(4));
    QCOMPARE(box.shown[0].title, QStringLiteral("Quillmark"));
    QCOMPARE(box.shown[1].text, QStringLiteral("Line one\rLine two"));
    QCOMPARE(box.shown[1].style, 16);
    QCOMPARE(box.shown[2].title, QStringLiteral("Own title"));
    QCOMPARE(box.shown[2].style, 48);
}

void TestPlatform::displayTextAndFilter() {
    QCOMPARE(displayText(QStringLiteral("a\rb\r\nc")), QStringLiteral("a\nb\nc"));
    QCOMPARE(qtFilter(QStringLiteral("Data file (*.dat)|*.dat")),
             QStringLiteral("Data file (*.dat) (*.dat)"));
}

void TestPlatform::instanceGuard() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/quillmark.lock"));
    {
        LockFileInstanceGuard first(path);
        QVERIFY(!first.anotherCopyRuns());
        LockFileInstanceGuard second(path);
        QVERIFY(second.anotherCopyRuns());
        QVERIFY(first.anotherCopyRuns() == false); // asking again does not change the answer
    }
    // The first copy ended: the next start runs.
    LockFileInstanceGuard third(path);
    QVERIFY(!third.anotherCopyRuns());
}

void TestPlatform::crashedCopyDoesNotBlock() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quillmark.lock"));
    // What a copy that was killed leaves behind: a lock naming a process that no longer runs.
    QFile stale(path);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("999999\nquillmark\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    LockFileInstanceGuard next(path);
    QVERIFY(!next.anotherCopyRuns());
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
