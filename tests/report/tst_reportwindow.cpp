// The "Rights Report" window over the main window: filters, sorting, the hazards, and the export of
// what is shown through the save dialog.

#include "../editor/EditorWindow.h"
#include "ChangeRecords.h"
#include "Dialogs.h"
#include "OtherLogin.h"
#include "report/HistoryModel.h"
#include "report/frmReport.h"
#include "settings/ChangeLog.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTableView>

using namespace qm;
using B = QByteArray;

class TestReportWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The report shows the rights as the files hold them now: Refresh reads them again, also what
    // another administrator saved while the window was open, and keeps the filters.
    void refresh() {
        test::EditorWindow w("[Contacts]\r\nGlobalF={ID-0001}\r\n");
        const report::ReportContext context{w.services, w.form->objects, w.form->GenericName,
                                            w.form->UsersPath, w.form->ListPath};
        report::frmReport window(w.services, report::gatherReport(context, w.form, {}), w.form,
                                 [&](QWidget* owner) { return report::gatherReport(context, owner, {}); });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<QLineEdit*>("txtFieldFilter")->setText("Phone");
        const auto cell = [&] {
            const QAbstractItemModel* grid = window.findChild<QTableView*>("lvwRights")->model();
            return grid->rowCount() == 1
                       ? grid->index(0, report::RightsModel::kFixedColumns).data().toString()
                       : QString("rows: %1").arg(grid->rowCount());
        };
        QCOMPARE(cell(), "Full");
        QVERIFY(test::writeBytes(w.usersPath(), "[Contacts]\r\nGlobalI={ID-0001}\r\n31F={ID-0001}\r\n"));
        QCOMPARE(cell(), "Full"); // as read when the window opened
        auto* refresh = window.findChild<QPushButton*>("cmdRefresh");
        QVERIFY(refresh->isVisible());
        QTest::mouseClick(window.windowHandle(), Qt::LeftButton, {},
                          refresh->mapTo(&window, refresh->rect().center()));
        QCOMPARE(cell(), "Initialize");
        QCOMPARE(window.findChild<QLabel*>("lblShown")->text(), "1 of 3 fields, 3 of 3 users");
    }

    void window() {
        test::EditorWindow w(
            "[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0003}\r\n31F={ID-0002}\r\n99I={ID-0001}\r\n");
        QVERIFY(test::writeBytes(w.fieldPath(31), "OnlyFromDropdown=1\r\nAllowEditing=0\r\nRed\r\n"));
        const QString unicode = "OnlyFromDropdown=1\r\nAllowEditing=1\r\n"; // saved as Unicode
        QVERIFY(test::writeBytes(w.fieldPath(28),
                                 "\xFF\xFE" +
                                     B(reinterpret_cast<const char*>(unicode.utf16()), unicode.size() * 2)));
        const report::ReportContext context{w.services, w.form->objects, w.form->GenericName,
                                            w.form->UsersPath, w.form->ListPath};
        report::frmReport window(w.services, report::gatherReport(context, w.form, {}), w.form);
        const auto* shown = window.findChild<QLabel*>("lblShown");
        QCOMPARE(shown->text(), "3 of 3 fields, 3 of 3 users");
        QCOMPARE(window.findChild<QLabel*>("lblCheck")->text().left(21), "Settings check: 2 haz");
        auto* hazards = window.findChild<QTableView*>("lvwHazards");
        QCOMPARE(hazards->model()->index(1, 0).data().toString(), "Not a text file");
        QCOMPARE(hazards->model()->index(1, 3).data().toString(), "Contacts28.dat");

        // Double-clicking a hazard shows its field; the filters go by label, ID, name or unique ID.
        Q_EMIT hazards->doubleClicked(hazards->model()->index(0, 0));
        QCOMPARE(window.findChild<QLineEdit*>("txtFieldFilter")->text(), "(99)");
        QCOMPARE(shown->text(), "0 of 3 fields, 3 of 3 users");
        window.findChild<QLineEdit*>("txtFieldFilter")->setText("a"); // Fax, Status
        window.findChild<QLineEdit*>("txtUserFilter")->setText("user 1 {");
        QCOMPARE(shown->text(), "2 of 3 fields, 1 of 3 users");
        auto* grid = window.findChild<QTableView*>("lvwRights");
        grid->sortByColumn(1, Qt::DescendingOrder); // by field ID
        QCOMPARE(window.rights().shownRows(), (std::vector<int>{2, 1}));

        // The export writes what is shown, in the order shown.
        w.t.dialogs.saveAnswers = {std::nullopt, w.dir.filePath("r.csv"), w.dir.filePath("gone/r.csv")};
        auto* exportButton = window.findChild<QPushButton*>("cmdExport");
        exportButton->click(); // cancelled
        QVERIFY(!QFile::exists(w.dir.filePath("r.csv")));
        QCOMPARE(w.t.dialogs.saveRequests.at(0),
                 QDir::toNativeSeparators(QDir::home().filePath("Contacts rights.csv")) +
                     "|CSV file (*.csv)|*.csv");
        exportButton->click();
        QCOMPARE(test::readBytes(w.dir.filePath("r.csv")),
                 B("\xEF\xBB\xBF"
                   "Field,Field ID,Rights from,Allow editing,Only from Drop-down,Drop-down entries,User 1 "
                   "{ID-0001}\r\n"
                   "Status,40,Global,No,No,0,Full\r\nFax,31,Own,No,Yes,1,None\r\n"));
        QVERIFY(w.t.messageBox.shown.empty());
        // The line beside the button says where it wrote.
        QCOMPARE(window.findChild<QLabel*>("lblExported")->text(),
                 "Exported 2 fields and 1 user to " + QDir::toNativeSeparators(w.dir.filePath("r.csv")));
        exportButton->click();
        QCOMPARE(w.t.messageBox.shown.size(), 1u);
        QVERIFY(w.t.messageBox.shown[0].text.startsWith("The report could not be written to "));

        // A link that another login planted where the administrator exports is not followed.
        if (!test::canPlayOtherLogin())
            QSKIP("only root can make a link of another login");
        const QString link = w.dir.filePath("planted.csv");
        QVERIFY(test::writeBytes(w.dir.filePath("mine"), "private\n"));
        QVERIFY(test::makeLink(w.dir.filePath("mine"), link, true));
        w.t.dialogs.saveAnswers = {link};
        exportButton->click();
        QCOMPARE(
            w.t.messageBox.boxes().mid(1),
            QStringList{"The report could not be written to " + link + ": " + link +
                        " is a link made by nobody (another login), which is not followed|48|Quillmark"});
        QCOMPARE(test::readBytes(w.dir.filePath("mine")), B("private\n"));
    }

    // A restore on the History page, by clicks (only once a change is selected, only after Yes to the
    // question): the restore is shown at the top of the history; back in the main window, the global
    // list shows the restored rights; one that the administrator changed and has not written yet
    // keeps the change, which Close merges with the restore as with another administrator's change.
    void restoreShownInTheMainWindow_data() {
        test::columns<bool, QString, B>("edited", "shown", "closed");
        test::row("nothing unsaved: the restored rights shown", false, "None,None,None", B("[Contacts]\r\n"));
        test::row("an unsaved change kept, merged at Close", true, "Full,None,Initialize",
                  B("[Contacts]\r\nGlobalI={ID-0003}\r\n"));
    }

    void restoreShownInTheMainWindow() {
        auto [edited, shown, closed] = test::fetch<bool, QString, B>("edited", "shown", "closed");
        const B before = "[Contacts]\r\nGlobalF={ID-0001}\r\n";
        test::EditorWindow w(before);
        // User 1 made "Full" a minute ago.
        const qint64 minuteAgo = QDateTime::currentMSecsSinceEpoch() - 60'000;
        QVERIFY(changelog::append(w.usersPath(), test::globalRecord(minuteAgo, "ann")).ok());
        if (edited)
            w.give(w.c().lvwUsers, 2, "Initialize");
        test::WhenOpen<report::frmReport> opened([&](report::frmReport* window) {
            auto* tabs = window->findChild<QTabBar*>();
            test::click(tabs, tabs->tabRect(1).center());
            auto* table = window->findChild<QTableView*>("lvwHistory");
            auto* restore = window->findChild<QPushButton*>("cmdHistoryRestore");
            QVERIFY(!restore->isEnabled());
            test::clickCell(table, 0, 1);
            w.t.messageBox.answerNext(vbNo);
            test::click(restore);
            QCOMPARE(test::readBytes(w.usersPath()), before);
            test::click(restore); // Yes
            QVERIFY(w.t.messageBox.boxes().value(1).startsWith(
                "Restore Global rights to what it was before the change of "));
            QCOMPARE(table->model()->rowCount(), 2);
            QCOMPARE(table->model()->index(0, report::HistoryModel::Change).data().toString(), "Restore");
            QCOMPARE(table->model()->index(0, report::HistoryModel::ActUser).data().toString(), "User 1");
            window->reject();
        });
        w.form->mnuReport_Click();
        QVERIFY(opened.opened());
        QCOMPARE(test::WindowDriver::rights(w.c().lvwUsers), shown);
        w.c().cmdClose->click();
        QCOMPARE(test::readBytes(w.usersPath()), closed);
    }

    // Opened from the Options menu, the report shows the users the start-up read, names and unique
    // IDs, without asking ACT! for them again.
    void usersFromTheStartUp() {
        test::EditorWindow w("[Contacts]\r\nGlobalF={ID-0002}\r\n", nullptr, 40);
        w.t.actState.calls.clear();
        QStringList shown;
        test::WhenOpen<report::frmReport> opened([&](report::frmReport* window) {
            for (const report::User& u : window->data().report.users)
                shown << u.name + " " + u.uniqueId;
            window->reject();
        });
        w.form->mnuReport_Click();
        QVERIFY(opened.opened());
        QCOMPARE(shown.size(), 40);
        QCOMPARE(shown.at(39), "User 40 {ID-0040}");
        QCOMPARE(w.t.actState.calls.filter(QRegularExpression("^(Count|Name|UniqueID)\\(")),
                 QStringList{"Count()"});
    }
};

QTEST_MAIN(TestReportWindow)
#include "tst_reportwindow.moc"
