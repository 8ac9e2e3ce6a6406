// A user's effective right on a field, read from the authorized-users file as the editor reads it.

#include "TestPlatform.h"
#include "editor/Rights.h"

#include <QTemporaryDir>

using namespace qm;

class TestRights : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void effectiveRight_data() {
        // file: the authorized-users file (null: none); right: 0 Full, 1 Initialize, 2 None
        test::columns<QByteArray, QString, QString, int, bool>("file", "field", "id", "right", "own");
        using test::row;
        const QByteArray global = "[Sales]\r\nGlobalF=A1C3\r\nGlobalI=B2\r\n";
        row("no file: None, global", QByteArray(), "28", "A1", 2, false);
        row("global Initialize", global, "28", "B2", 1, false);
        row("own rights: absent from them is None", global + "28F=B2\r\n", "28", "A1", 2, true);
        row("keys of blanks follow the global", global + "28F=  \r\n28I= \r\n", "28", "C3", 0, false);
        row("another field's keys do not count", global + "281F=B2\r\n", "28", "B2", 1, false);
        row("another database's section does not count", "[Other]\r\n28F=A1\r\n" + global, "28", "A1", 0,
            false);
        row("beyond the 126 characters read", global + "28F=" + QByteArray(126, 'x') + "A1\r\n", "28", "A1",
            2, true);
    }

    void effectiveRight() {
        auto [file, field, id, right, own] =
            test::fetch<QByteArray, QString, QString, int, bool>("file", "field", "id", "right", "own");
        QTemporaryDir dir;
        const QString path = dir.filePath("Users.dat");
        if (!file.isNull())
            QVERIFY(test::writeBytes(path, file));
        const rights::EffectiveRight r = rights::effectiveRight(rights::RightsFile(path, "Sales"), field, id);
        QCOMPARE(int(r.right), right);
        QCOMPARE(r.ownSettings, own);
    }
};

QTEST_MAIN(TestRights)
#include "tst_rights.moc"
