// A user's effective right on a field, read from the authorized-users file as the editor reads it.

#include "TestPlatform.h"
#include "editor/Rights.h"

#include <QTemporaryDir>

#include <random>

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
        row("in both lists of the field: Full", global + "28F=C3A1\r\n28I=A1\r\n", "28", "A1", 0, true);
    }

    void effectiveRight() {
        auto [file, field, id, right, own] = test::fetch<QByteArray, QString, QString, int, bool>();
        QTemporaryDir dir;
        const QString path = dir.filePath("Users.dat");
        if (!file.isNull())
            QVERIFY(test::writeBytes(path, file));
        const rights::EffectiveRight r = rights::effectiveRight(rights::RightsFile(path, "Sales"), field, id);
        QCOMPARE(int(r.right), right);
        QCOMPARE(r.ownSettings, own);
    }

    // The report's one-pass rights give what the editor's search gives each user, also where IDs
    // lie inside one another or across two IDs, are empty or appear twice: short IDs of three
    // letters make all of these common.
    void userIndexRandom() {
        std::mt19937 random(7);
        const auto text = [&](int max) {
            QString t;
            for (int n = int(random() % std::uint32_t(max + 1)); n > 0; --n)
                t += QChar('a' + int(random() % 3));
            return t;
        };
        for (int round = 0; round < 300; ++round) {
            QStringList ids;
            for (int n = 1 + int(random() % 8); n > 0; --n)
                ids << text(3);
            const rights::ScopeLists lists{text(12), text(12)};
            const std::vector<std::uint8_t> all = rights::UserIndex(ids).rightsOf(lists);
            for (int u = 0; u < ids.size(); ++u)
                QCOMPARE(int(all[std::size_t(u)]), int(rights::rightOf(lists, ids[u])));
        }
    }
};

QTEST_MAIN(TestRights)
#include "tst_rights.moc"
