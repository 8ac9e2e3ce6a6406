// The editor on a large stand-in ACT! database (5,000 users), each figure as a ratio to a baseline
// measured in the same run, the two interleaved round by round:
//
// - a field switch (selecting the next of 100 protected fields: its settings file, its rights into
//   lvwSpecialUsers) against refilling a bare list view with the same 5,000 rows; target at most 2;
// - Close writing the global rights of 5,000 users (Write_Users) against one bare WriteKeyValue of
//   each of the same two keys with the same values; target at most 3.
//
//     bench_editor [--rounds N]     (exit 1 when a ratio misses its target)

#include "../BenchRounds.h"
#include "../BenchServices.h"
#include "act/standin/StandinBackend.h"
#include "app/Form1.h"
#include "editor/Editor.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"
#include "settings/IniLib.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using namespace qm::bench;

constexpr int kSwitches = 100;
constexpr int kRefills = 20;
constexpr int kWrites = 20;

struct Figure {
    std::vector<double> a, b, ratios;
    void add(double x, double y) {
        a.push_back(x);
        b.push_back(y);
        ratios.push_back(x / y);
    }
    double ratio() const { return spreadOf(ratios).median; }
    void print(const char* what, const char* baseline, double target) const {
        std::printf("%s %8.3f ms   %s %8.3f ms\n", what, spreadOf(a).median, baseline, spreadOf(b).median);
        std::printf("  ratio %s; target at most %.2f\n", spreadText(spreadOf(ratios)).c_str(), target);
    }
};

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

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int rounds = roundsOf(args);

    QTemporaryDir temp;
    const QString home = temp.filePath(QStringLiteral("act"));
    const QString database = temp.filePath(QStringLiteral("Large.dbf"));
    if (!startLarge(home, database)) {
        return 2;
    }
    const QString usersA = temp.filePath(QStringLiteral("Users.dat"));
    const QString usersB = temp.filePath(QStringLiteral("Bare.dat"));

    PrintingMessageBox box(qm::vbNo);
    MemorySettings settings;
    settings.values = {{QStringLiteral("UsersPath"), usersA},
                       {QStringLiteral("ListPath"), temp.path()},
                       {QStringLiteral("Expanded"), QStringLiteral("True")}};
    qm::DesktopShell shell{QString(), {}};
    AloneGuard instance;
    qm::QtAppInfo app;
    qm::ProcessTerminator terminator;
    qm::QtFileDialogs dialogs;
    const auto act = qm::act::standin::makeFactory(home);
    qm::Services services{box, settings, shell, instance, app, terminator, dialogs, *act};
    qm::Form1 form(services);
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
    QFile::copy(usersA, usersB);

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
    QTreeWidgetItem* first = c.lvwUsers->topLevelItem(0);
    Figure switches, closes;
    int field = 0;
    QString bareNone;
    for (int r = 0; r < rounds; ++r) {
        const double switchMs = msOf([&] {
                                    for (int i = 0; i < kSwitches; ++i, field = (field + 1) % kSwitches) {
                                        c.cboFields->setCurrentIndex(field);
                                        editor.cboFields_Click();
                                        QCoreApplication::processEvents();
                                    }
                                }) /
                                kSwitches;
        const double refillMs = msOf([&] {
                                    for (int i = 0; i < kRefills; ++i) {
                                        refill();
                                    }
                                }) /
                                kRefills;
        switches.add(switchMs, refillMs);

        // Each write changes the file: the first user's right goes back and forth.
        double writeMs = 0;
        double bareMs = 0;
        for (int i = 0; i < kWrites; ++i) {
            first->setData(0, qm::kListTagRole, (r * kWrites + i) % 2 == 0 ? 0 : 2);
            writeMs += msOf([&] { editor.Write_Users(*c.lvwUsers, QStringLiteral("Global")); });
            QString full, init; // the values Write_Users has just written
            for (int u = 0; u < users; ++u) {
                const int code = c.lvwUsers->topLevelItem(u)->data(0, qm::kListTagRole).toInt();
                (code == 0 ? full : code == 1 ? init : bareNone) += ids[u];
            }
            bareMs += msOf([&] {
                qm::IniLib::WriteKeyValue(QStringLiteral("Large"), QStringLiteral("GlobalF"), full, usersB);
                qm::IniLib::WriteKeyValue(QStringLiteral("Large"), QStringLiteral("GlobalI"), init, usersB);
            });
            bareNone.clear();
        }
        closes.add(writeMs / kWrites, bareMs / kWrites);
    }
    form.hide();
    if (box.count > 0) {
        return 2;
    }

    std::printf("Editor on the large stand-in database: %d users, %d protected fields; median of %d rounds\n",
                users, c.cboFields->count(), rounds);
    switches.print("one field switch", "bare list view refilled with the same rows", 2.0);
    closes.print("Close writing the global rights", "bare WriteKeyValue of both keys", 3.0);
    return switches.ratio() <= 2.0 && closes.ratio() <= 3.0 ? 0 : 1;
}
