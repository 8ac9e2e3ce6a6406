// The fake ACT! automation server's demo database (standin/com/FakeDemo.h, what the tool sees under
// Wine) against the ACT! stand-in's demo database (standin/demo.sql, what it sees on Linux):
// scripts/windows.sh compares the files both write, which holds only while the two agree.

#include "act/standin/StandinDatabase.h"

#include "../../standin/com/FakeDemo.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace qm::act::standin;
namespace demo = fakeact::demo;

class TestFakeDemo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sameDatabase() {
        QFile script(QStringLiteral(QM_DEMO_SQL));
        QVERIFY(script.open(QIODevice::ReadOnly));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Demo.dbf"));
        writeDatabaseFromScript(path, QString::fromUtf8(script.readAll()));
        const DatabaseContents db = readDatabase(path);

        QCOMPARE(db.slots.size(), std::size(demo::kSlots));
        for (std::size_t i = 0; i < db.slots.size(); ++i) {
            const FieldSlot& s = db.slots[i];
            const demo::DemoSlot& f = demo::kSlots[i];
            const QString where = QStringLiteral("slot %1").arg(i);
            QVERIFY2(s.id == f.id, qPrintable(where));
            QVERIFY2(s.label == QString::fromWCharArray(f.label), qPrintable(where));
            QVERIFY2(s.entryRule == f.entryRule, qPrintable(where));
        }
        QCOMPARE(db.users.size(), std::size(demo::kUsers));
        for (std::size_t i = 0; i < db.users.size(); ++i) {
            const UserRecord& u = db.users[i];
            const demo::DemoUser& f = demo::kUsers[i];
            const QString where = QStringLiteral("user %1").arg(i + 1);
            QVERIFY2(u.name == QString::fromWCharArray(f.name), qPrintable(where));
            QVERIFY2(u.security == f.security, qPrintable(where));
            QVERIFY2(u.access == QString::fromWCharArray(f.access), qPrintable(where));
            QVERIFY2(u.uniqueId == QString::fromWCharArray(f.uniqueId), qPrintable(where));
        }
        // Where a start of ACT! on it puts the current user.
        QCOMPARE(demo::kCurrentUser, db.administratorPosition());
        QCOMPARE(demo::kCurrentField, db.firstProtectedField());
    }
};

QTEST_GUILESS_MAIN(TestFakeDemo)
#include "tst_fakedemo.moc"
