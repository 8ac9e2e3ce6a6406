// The settings locations: defaults, the "Settings File Location" dialog and its browse buttons,
// and the main window reloading its copies when the dialog closes.

#include "TestServices.h"
#include "app/Form1.h"
#include "settings/Locations.h"
#include "settings/frmLocations.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace qm;

class TestLocations : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pathParts_data() {
        QTest::addColumn<QString>("path"); // in the "\" form; the "/" form swaps the two characters
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("name");
        QTest::newRow("full path") << "C:\\Data\\Users.dat"
                                   << "C:\\Data"
                                   << "Users.dat";
        QTest::newRow("bare name") << "Users.dat"
                                   << ""
                                   << "Users.dat";
        QTest::newRow("final separator") << "C:\\Data\\"
                                         << "C:\\Data"
                                         << "";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("the other separator is a character") << "C:\\a/b\\c/d.dat"
                                                            << "C:\\a/b"
                                                            << "c/d.dat";
    }

    void pathParts() {
        QFETCH(QString, path);
        QFETCH(QString, dir);
        QFETCH(QString, name);
        test::TestServices t;
        frmLocations dialog(t.services, nullptr);
        QCOMPARE(dialog.GetDir(path, '\\') + "|" + dialog.GetName(path, '\\'), dir + "|" + name);
        const QString posix = test::swapSeparators(path);
        QCOMPARE(dialog.GetDir(posix, '/') + "|" + dialog.GetName(posix, '/'),
                 test::swapSeparators(dir + "|" + name));
        QVERIFY(t.messageBox.shown.empty());
    }

    void defaults() {
        test::FakeAppInfo app;
        app.folder = "C:\\Program Files\\Quillmark";
        QCOMPARE(Locations::defaultUsersPath(app, '\\'), "C:\\Program Files\\Quillmark\\Settings\\Users.dat");
        QCOMPARE(Locations::defaultListPath(app, '\\'), "C:\\Program Files\\Quillmark\\Settings");
    }

    void okStoresCancelDoesNot_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("storedList"); // null: none stored
        QTest::addColumn<QStringList>("writes");
        QTest::addColumn<QString>("after"); // the main window's UsersPath|ListPath
        QTest::newRow("OK") << "cmdClose" << QString() << QStringList{"ListPath", "UsersPath"}
                            << "/new/U.dat|/new";
        QTest::newRow("Cancel, empty stored") << "cmdCancel"
                                              << "" << QStringList{} << " /old/U.dat|";
        QTest::newRow("Escape") << "escape" << QString() << QStringList{}
                                << " /old/U.dat|/opt/quillmark/Settings";
    }

    void okStoresCancelDoesNot() {
        QFETCH(QString, button);
        QFETCH(QString, storedList);
        QFETCH(QStringList, writes);
        QFETCH(QString, after);
        test::TestServices t;
        t.settings.values = {{"UsersPath", " /old/U.dat"}}; // shown as stored, blanks included
        if (!storedList.isNull())
            t.settings.values["ListPath"] = storedList;
        Form1 form(t.services);
        QString shown;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<frmLocations*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            shown = dialog->txtUsersFile->text() + "|" + dialog->txtFolder->text();
            dialog->txtUsersFile->setText("/new/U.dat");
            dialog->txtFolder->setText("/new");
            if (button == "escape")
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                dialog->findChild<QPushButton*>(button)->click();
        });
        form.mnuLocation_Click();
        QCOMPARE(shown, " /old/U.dat|" + (storedList.isNull() ? "/opt/quillmark/Settings" : storedList));
        QCOMPARE(t.settings.writes, writes);
        QCOMPARE(form.UsersPath + "|" + form.ListPath, after); // reloaded after the dialog closed
    }

    void browse_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("answer"); // empty: cancelled
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("request"); // owner, and the file dialog's initial folder, name and filter
        const auto row = [](const char* name, const char* button, const char* current, const QString& answer,
                            const char* result, const char* request) {
            QTest::newRow(name) << QString(button) << QString(current) << answer << QString(result)
                                << QString(request);
        };
        row("file chosen", "cmdBrowse", "/srv/q/Users.dat", "/srv/o/A.dat", "/srv/o/A.dat",
            "frmLocations /srv/q|Users.dat|Data file (*.dat)|*.dat");
        row("file cancelled, bare name", "cmdBrowse", "Users.dat", "", "Users.dat",
            "frmLocations |Users.dat|Data file (*.dat)|*.dat");
        row("folder chosen, cut at NUL", "cmdBrowseFolder", "/old", QString("/srv/a") + QChar(0) + "junk",
            "/srv/a",
            "Form1"); // the browser belongs to the main window
        row("folder cancelled", "cmdBrowseFolder", "/old", "", "/old", "Form1");
    }

    void browse() {
        QFETCH(QString, button);
        QFETCH(QString, current);
        QFETCH(QString, answer);
        QFETCH(QString, result);
        QFETCH(QString, request);
        test::TestServices t;
        QWidget mainWindow;
        mainWindow.setObjectName("Form1");
        frmLocations dialog(t.services, &mainWindow);
        const bool file = button == "cmdBrowse";
        QLineEdit* text = file ? dialog.txtUsersFile : dialog.txtFolder;
        text->setText(current);
        (file ? t.dialogs.fileAnswers : t.dialogs.folderAnswers)
            .push_back(answer.isEmpty() ? std::nullopt : std::optional(answer));
        dialog.findChild<QPushButton*>(button)->click();
        QCOMPARE(text->text(), result);
        QVERIFY(t.messageBox.shown.empty() && t.settings.writes.isEmpty());
        QString asked = t.dialogs.ownerNames.join(",");
        for (const test::OpenFileRequest& r : t.dialogs.fileRequests)
            asked += " " + r.initialFolder + "|" + r.initialName + "|" + r.filter;
        QCOMPARE(asked, request);
    }
};

QTEST_MAIN(TestLocations)
#include "tst_locations.moc"
