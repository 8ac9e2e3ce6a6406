// The editor on a large stand-in ACT! database (5,000 users), each figure as a ratio to a baseline
// measured in the same run, the contenders taking turns round by round (see BenchRounds.h):
//
// - a field switch (selecting the next of 100 protected fields: its settings file, its rights into
//   lvwSpecialUsers) against refilling a bare list view with the same 5,000 rows; target at most 2;
// - Close writing the global rights of 5,000 users (Write_Users) against one bare WriteKeyValue of
//   each of the same two keys with the same values; target at most 3;
// - the same Close, which reads the file again under the writers' lock to keep what another
//   administrator wrote, against the Close that wrote its lists without a look (the rights
//   collected, checked against the cut and written in one write), when nobody else wrote: target
//   at most 1.1.
// A Close also appends the record of its change to the change log, flushed to the disk as the
// settings are, with the ACT! user it asks ACT! for, so both baselines make and append the same
// record to a log of their own: what is measured against them is the Close's own work, not the
// second durable write every change now makes.
//
// Each editor figure is taken twice: with the stand-in answering at once, and with every automation
// call delayed (ACT_STANDIN_CALL_DELAY_US), as the real ACT! answers from another process. Both
// are judged by the target, and the automation calls each one made are counted.
//
//     bench_editor [--rounds N] [--call-delay-us N]   (default 50 us; exit 1 when a ratio misses)

#include "../BenchRounds.h"
#include "../BenchServices.h"
#include "act/standin/StandinBackend.h"
#include "app/Form1.h"
#include "editor/Editor.h"
#include "editor/Rights.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"
#include "settings/ChangeLog.h"
#include "settings/IniLib.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace qm::bench;

constexpr int kSwitches = 100;
constexpr int kRefills = 20;
constexpr int kWrites = 20;

// An editor contender: its figure in each round, and the automation calls of its last round.
struct EditorRun {
    Contender contender;
    std::int64_t calls = 0;
};

// Runs `work` at `delayUs` per automation call and counts its calls; gives its time in ms.
double delayed(int delayUs, std::int64_t& calls, const std::function<double()>& work) {
    setCallDelay(delayUs);
    const std::int64_t before = qm::act::standin::automationCalls();
    const double ms = work();
    calls = qm::act::standin::automationCalls() - before;
    setCallDelay(0);
    return ms;
}

// Prints the editor's figure at each delay against the baseline; true when each meets `target`.
bool judge(const char* what, const std::vector<std::pair<int, EditorRun*>>& runs, const Contender& baseline,
           const char* baselineName, double target, int perRound) {
    bool met = true;
    const Spread b = spreadOf(baseline.figures);
    std::printf("%s (each of %d per round), against %s: %.3f ms (%.3f..%.3f)\n", what, perRound, baselineName,
                b.median, b.low, b.high);
    for (const auto& [delayUs, run] : runs) {
        const Spread a = spreadOf(run->contender.figures);
        const Spread ratio = ratioOf(run->contender, baseline);
        std::printf("  at %3d us per call: %9.3f ms (%.3f..%.3f), %lld automation calls; ratio %s, target at "
                    "most %.2f\n",
                    delayUs, a.median, a.low, a.high, static_cast<long long>(run->calls / perRound),
                    spreadText(ratio).c_str(), target);
        met = met && ratio.median <= target;
    }
    return met;
}

// Global rights for every other user, own rights for every other field, a settings file for every
// third field: the field switches take every road of the load.
void writeSettings(const QString& folder, const QString& usersPath, const QComboBox& fields,
                   const QStringList& ids) {
    QByteArray full, init;
    for (int i = 0; i < ids.size(); ++i) {
        (i % 2 ? full : init) += ids[i].toLatin1();
    }
    QByteArray users = "[Large]\r\nGlobalF=" + full + "\r\nGlobalI=" + init + "\r\n";
    for (int f = 0; f < kSwitches; ++f) {
        const QByteArray id = QByteArray::number(fields.itemData(f).toInt());
        if (f % 2) {
            users += id + "F=" + ids[f].toLatin1() + ids[f + 7].toLatin1() + "\r\n" + id +
                     "I=" + ids[f + 3].toLatin1() + "\r\n";
        }
        if (f % 3 == 0) {
            QFile file(folder + QStringLiteral("/Large") + QString::fromLatin1(id) + QStringLiteral(".dat"));
            if (file.open(QIODevice::WriteOnly)) {
                file.write("OnlyFromDropdown=1\r\nAllowEditing=1\r\nRed\r\nGreen\r\nBlue\r\n");
            }
        }
    }
    QFile file(usersPath);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(users);
    }
}

// A rights list view as the rights logic sees it.
class TreeList : public qm::rights::RightsList {
public:
    explicit TreeList(QTreeWidget& list)
        : m_list(list) {}
    QString name() const override { return m_list.objectName(); }
    int count() const override { return m_list.topLevelItemCount(); }
    QString uniqueId(int item) const override { return data(item, qm::kListIdRole).toString(); }
    QString rightsText(int item) const override { return m_list.topLevelItem(item)->text(1); }
    int code(int item) const override { return data(item, qm::kListTagRole).toInt(); }
    void setRightsText(int item, const QString& text) override {
        m_list.topLevelItem(item)->setText(1, text);
    }
    void setCode(int item, int code) override {
        m_list.topLevelItem(item)->setData(0, qm::kListTagRole, code);
    }

private:
    QVariant data(int item, int role) const { return m_list.topLevelItem(item)->data(0, role); }
    QTreeWidget& m_list;
};

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int rounds = roundsOf(args);
    const int delayUs = callDelayOf(args);
    setCallDelay(0);

    QTemporaryDir temp;
    const QString home = temp.filePath(QStringLiteral("act"));
    const QString database = temp.filePath(QStringLiteral("Large.dbf"));
    if (!startLarge(home, database)) {
        return 2;
    }
    const QString usersA = temp.filePath(QStringLiteral("Users.dat"));
    const QString usersB = temp.filePath(QStringLiteral("Bare.dat"));

    StandinServices bench(home,
                          {{QStringLiteral("UsersPath"), usersA},
                           {QStringLiteral("ListPath"), temp.path()},
                           {QStringLiteral("Expanded"), QStringLiteral("True")}},
                          qm::vbNo);
    qm::Form1 form(bench.services);
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();
    const qm::Form1Controls& c = form.controls();
    const int users = c.lvwUsers->topLevelItemCount();
    if (c.cboFields->count() < kSwitches || users < 1000) {
        std::fprintf(stderr, "the large database has too few fields or users\n");
        return 2;
    }
    QStringList ids;
    for (int i = 1; i <= users; ++i) {
        ids << form.objects.objUsers->UniqueID(QString::number(i));
    }
    writeSettings(temp.path(), usersA, *c.cboFields, ids);
    // The global rights as the window loaded them (none): each Close finds the file as it left it.
    qm::IniLib::DeleteKey(QStringLiteral("Large"), QStringLiteral("GlobalF"), usersA);
    qm::IniLib::DeleteKey(QStringLiteral("Large"), QStringLiteral("GlobalI"), usersA);
    QFile::copy(usersA, usersB);
    const QString usersC = temp.filePath(QStringLiteral("Blind.dat"));
    QFile::copy(usersA, usersC);

    QTreeWidget bare;
    bare.setColumnCount(2);
    bare.resize(c.lvwUsers->size());
    bare.show();
    const auto refill = [&] {
        bare.clear();
        QList<QTreeWidgetItem*> items;
        items.reserve(users);
        for (int i = 0; i < users; ++i) {
            items << new QTreeWidgetItem(
                QStringList{c.lvwUsers->topLevelItem(i)->text(0), QStringLiteral("None")});
        }
        bare.addTopLevelItems(items);
        QCoreApplication::processEvents();
    };

    qm::editor::Editor& editor = form.editor();
    int field = 0;
    const auto switches = [&] {
        return msOf([&] {
                   for (int i = 0; i < kSwitches; ++i, field = (field + 1) % kSwitches) {
                       c.cboFields->setCurrentIndex(field);
                       editor.cboFields_Click();
                       QCoreApplication::processEvents();
                   }
               }) /
               kSwitches;
    };

    // Each write changes the file: the first user's right goes back and forth between Full and
    // None. The bare write writes the values Write_Users writes then.
    QTreeWidgetItem* first = c.lvwUsers->topLevelItem(0);
    std::array<std::pair<QString, QString>, 2> values; // GlobalF and GlobalI, first user Full or None
    for (const int firstCode : {0, 2}) {
        auto& [full, init] = values[firstCode == 0 ? 0 : 1];
        for (int u = 0; u < users; ++u) {
            const int code =
                u == 0 ? firstCode : c.lvwUsers->topLevelItem(u)->data(0, qm::kListTagRole).toInt();
            if (code == 0) {
                full += ids[u];
            } else if (code == 1) {
                init += ids[u];
            }
        }
    }
    int writes = 0;
    const auto closes = [&] {
        double ms = 0;
        for (int i = 0; i < kWrites; ++i, ++writes) {
            first->setData(0, qm::kListTagRole, writes % 2 == 0 ? 0 : 2);
            ms += msOf([&] { editor.Write_Users(*c.lvwUsers, QStringLiteral("Global")); });
        }
        return ms / kWrites;
    };
    // The record a Close of the first user's right makes, for the baselines' logs.
    qm::changelog::Record record;
    record.login = qm::changelog::thisWriter().login;
    record.database = QStringLiteral("Large");
    record.kind = qm::changelog::Kind::GlobalRights;
    record.users = {
        {first->text(0), ids[0], qm::AuthorizedUsers::Right::Full, qm::AuthorizedUsers::Right::None}};
    record.keys = {{QStringLiteral("GlobalF"), values[0].first.toLatin1(), values[1].first.toLatin1()}};
    const auto appendRecord = [&](const QString& usersPath) {
        record.whenMs = QDateTime::currentMSecsSinceEpoch();
        record.actUser = form.objects.objUsers->CurrentUserName(); // as the Close asks ACT!
        qm::changelog::append(usersPath, record);
    };
    int bareCount = 0;
    const auto bareWrite = [&] {
        double ms = 0;
        for (int i = 0; i < kWrites; ++i, ++bareCount) {
            const auto& [full, init] = values[bareCount % 2];
            ms += msOf([&] {
                qm::IniLib::WriteKeyValue(QStringLiteral("Large"), QStringLiteral("GlobalF"), full, usersB);
                qm::IniLib::WriteKeyValue(QStringLiteral("Large"), QStringLiteral("GlobalI"), init, usersB);
                appendRecord(usersB);
            });
        }
        return ms / kWrites;
    };

    // The Close that wrote its lists without a look at the file, on a file of its own.
    const qm::rights::RightsFile blindFile(usersC, QStringLiteral("Large"));
    int blindCount = 0;
    const auto blindCloses = [&] {
        double ms = 0;
        for (int i = 0; i < kWrites; ++i, ++blindCount) {
            first->setData(0, qm::kListTagRole, blindCount % 2 == 0 ? 0 : 2);
            ms += msOf([&] {
                const auto userRights = qm::rights::collectUserRights(TreeList(*c.lvwUsers));
                const qm::rights::IdLists lists = qm::AuthorizedUsers::buildIdLists(userRights);
                if (qm::rights::cutOnRead(userRights, lists).empty()) {
                    blindFile.write(QStringLiteral("Global"), lists, QStringLiteral("Global"));
                }
                appendRecord(usersC);
            });
        }
        first->setData(0, qm::kListTagRole, writes % 2 == 0 ? 0 : 2);
        return ms / kWrites;
    };

    EditorRun switchAtOnce, switchDelayed, closeAtOnce, closeDelayed, blindAtOnce, blindDelayed;
    blindAtOnce.contender = {"blind close", [&] { return delayed(0, blindAtOnce.calls, blindCloses); }, {}};
    blindDelayed.contender = {
        "blind close, delayed", [&] { return delayed(delayUs, blindDelayed.calls, blindCloses); }, {}};
    switchAtOnce.contender = {"switch", [&] { return delayed(0, switchAtOnce.calls, switches); }, {}};
    switchDelayed.contender = {
        "switch, delayed", [&] { return delayed(delayUs, switchDelayed.calls, switches); }, {}};
    Contender refills{"refill",
                      [&] {
                          return msOf([&] {
                                     for (int i = 0; i < kRefills; ++i) {
                                         refill();
                                     }
                                 }) /
                                 kRefills;
                      },
                      {}};
    closeAtOnce.contender = {"close", [&] { return delayed(0, closeAtOnce.calls, closes); }, {}};
    closeDelayed.contender = {
        "close, delayed", [&] { return delayed(delayUs, closeDelayed.calls, closes); }, {}};
    Contender bareWrites{"bare write", bareWrite, {}};
    runRounds({&switchAtOnce.contender, &switchDelayed.contender, &refills, &closeAtOnce.contender,
               &closeDelayed.contender, &bareWrites, &blindAtOnce.contender, &blindDelayed.contender},
              rounds);
    form.hide();
    if (bench.box.count > 0) {
        return 2;
    }

    std::printf("Editor on the large stand-in database: %d users, %d protected fields; %d rounds (medians; "
                "lowest..highest round)\n",
                users, c.cboFields->count(), rounds);
    const bool switchMet = judge("one field switch", {{0, &switchAtOnce}, {delayUs, &switchDelayed}}, refills,
                                 "a bare list view refilled with the same rows", 2.0, kSwitches);
    const bool closeMet =
        judge("Close writing the global rights", {{0, &closeAtOnce}, {delayUs, &closeDelayed}}, bareWrites,
              "a bare WriteKeyValue of both keys", 3.0, kWrites);
    const bool mergeMet =
        judge("Close, nobody else wrote", {{0, &closeAtOnce}}, blindAtOnce.contender,
              "the Close writing without a look", 1.1, kWrites) &&
        judge("Close, nobody else wrote", {{delayUs, &closeDelayed}}, blindDelayed.contender,
              "the Close writing without a look (calls delayed)", 1.1, kWrites);
    const auto bytesOf = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    if (bytesOf(usersA) != bytesOf(usersC)) {
        std::fprintf(stderr, "the two Closes wrote different files\n");
        return 2;
    }
    return switchMet && closeMet && mergeMet ? 0 : 1;
}
