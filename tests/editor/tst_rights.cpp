// The rights logic without widgets: a user's effective right on a field, and a rights list
// collected for writing.

#include "FakeAct.h"
#include "TestPlatform.h"
#include "editor/Rights.h"

#include <QTemporaryDir>

using namespace qm;
using rights::Right;

namespace {

// A rights list in memory: keys "U1".. and codes (-1: none given).
class MemoryList : public rights::RightsList {
public:
    explicit MemoryList(std::vector<int> codes)
        : m_codes(std::move(codes)) {}
    QString name() const override { return "lvwUsers"; }
    int count() const override { return int(m_codes.size()); }
    QString key(int i) const override { return QString("U%1").arg(i + 1); }
    QString rightsText(int) const override { return {}; }
    int code(int i) const override {
        if (m_codes.at(std::size_t(i)) < 0)
            raise(VbErr::TypeMismatch);
        return m_codes.at(std::size_t(i));
    }
    void setRightsText(int, const QString&) override {}
    void setCode(int i, int code) override { m_codes.at(std::size_t(i)) = code; }

private:
    std::vector<int> m_codes;
};

} // namespace

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
        row("own rights win", global + "28F=B2\r\n", "28", "B2", 0, true);
        row("own rights: absent is None", global + "28F=B2\r\n", "28", "A1", 2, true);
        row("in both lists reads Full", global + "28F=B2\r\n28I=B2\r\n", "28", "B2", 0, true);
        row("keys of blanks follow the global", global + "28F=  \r\n28I= \r\n", "28", "C3", 0, false);
        row("another field's keys do not count", global + "281F=B2\r\n", "28", "B2", 1, false);
        row("another database's section does not count", "[Other]\r\n28F=A1\r\n" + global, "28", "A1", 0, false);
        row("beyond the 126 characters read", global + "28F=" + QByteArray(126, 'x') + "A1\r\n", "28", "A1", 2,
            true);
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

    void collect_data() {
        // codes per user (-1: none given); failing: a member of ACT! that fails; lists: F|I, or the error
        test::columns<std::vector<int>, QString, QString>("codes", "failing", "lists");
        test::row("in the list's order", std::vector<int>{1, 0, 2, 0}, "", "{ID-0002}{ID-0004}|{ID-0001}");
        test::row("a code outside 0 to 2", std::vector<int>{0, 3}, "", "error 9");
        test::row("an item without a code", std::vector<int>{0, -1}, "", "error 13");
        test::row("a failing unique ID", std::vector<int>{0}, "UniqueID", "error 440");
    }

    void collect() {
        auto [codes, failing, lists] = test::fetch<std::vector<int>, QString, QString>("codes", "failing", "lists");
        test::FakeActState state;
        state.addUsers(4);
        state.failing = {failing};
        test::FakeActFactory factory(state);
        auto users = act::createAs<act::ActDatabase>(factory, act::kProgIdDatabase)->Users();
        QString got;
        const int error = test::errorOf([&] {
            const rights::IdLists l = rights::collectIdLists(MemoryList(codes), *users);
            got = l.full + "|" + l.initialize;
        });
        QCOMPARE(error ? QString("error %1").arg(error) : got, lists);
    }
};

Q_DECLARE_METATYPE(std::vector<int>)
QTEST_MAIN(TestRights)
#include "tst_rights.moc"
