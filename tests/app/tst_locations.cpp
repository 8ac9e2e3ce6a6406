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
    void pathParts_data();
    void pathParts();
    void dialogShowsStoredOrDefault();
    void okStoresCancelDoesNot_data();
    void okStoresCancelDoesNot();
    void browseForUsersFile_data();
    void browseForUsersFile();
    void browseForFolder_data();
    void browseForFolder();
};

void TestLocations::pathParts_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("name");
    const QChar bs('\\'), fs('/');
    QTest::newRow("full path") << "C:\\Data\\Users.dat" << bs << "C:\\Data"
                               << "Users.dat";
    QTest::newRow("bare name") << "Users.dat" << bs << ""
                               << "Users.dat";
    QTest::newRow("final separator") << "C:\\Data\\" << bs << "C:\\Data"
                                     << "";
    QTest::newRow("empty") << "" << bs << ""
                           << "";
    QTest::newRow("slash is a character on Windows") << "C:\\a/b\\c/d.dat" << bs << "C:\\a/b"
                                                     << "c/d.dat";
    QTest::newRow("POSIX path") << "/home/ann/Users.dat" << fs << "/home/ann"
                                << "Users.dat";
    QTest::newRow("POSIX root") << "/Users.dat" << fs << ""
                                << "Users.dat";
    QTest::newRow("backslash is a character on POSIX") << "/srv/a\\b.dat" << fs << "/srv"
                                                       << "a\\b.dat";
}

void TestLocations::pathParts() {
    QFETCH(QString, path);
    QFETCH(QChar, separator);
    QFETCH(QString, dir);
    QFETCH(QString, name);
    test::TestServices t;
    frmLocations dialog(t.services, nullptr);
    QCOMPARE(dialog.GetDir(path, separator), dir);
    QCOMPARE(dialog.GetName(path, separator), name);
    QVERIFY(t.messageBox.shown.empty());
}

void TestLocations::dialogShowsStoredOrDefault() {
    test::TestServices t;
    {
        frmLocations dialog(t.services, nullptr);
        QCOMPARE(dialog.windowTitle(), "Settings File Location");
        QCOMPARE(dialog.txtUsersFile->text(), "/opt/quillmark/Settings/Users.dat");
        QCOMPARE(dialog.txtFolder->text(), "/opt/quillmark/Settings");
        QCOMPARE(dialog.size(), QSize(415, 201));
        QCOMPARE(dialog.cmdClose->text(), "&OK");
        QVERIFY(dialog.cmdClose->isDefault());
    }
    t.app.folder = "C:\\Program Files\\Quillmark";
    QCOMPARE(Locations::defaultUsersPath(t.app, '\\'), "C:\\Program Files\\Quillmark\\Settings\\Users.dat");
    QCOMPARE(Locations::defaultListPath(t.app, '\\'), "C:\\Program Files\\Quillmark\\Settings");
    t.settings.values = {{"UsersPath", " x.dat "}, {"ListPath", ""}}; // stored as typed, empty included
    frmLocations dialog(t.services, nullptr);
    QCOMPARE(dialog.txtUsersFile->text(), " x.dat ");
    QCOMPARE(dialog.txtFolder->text(), "");
}

void TestLocations::okStoresCancelDoesNot_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QString>("usersPath");
    QTest::newRow("OK") << "cmdClose" << QStringList{"ListPath", "UsersPath"} << "/new/U.dat";
    QTest::newRow("Cancel") << "cmdCancel" << QStringList{} << "/old/U.dat";
    QTest::newRow("Escape") << "escape" << QStringList{} << "/old/U.dat";
}

void TestLocations::okStoresCancelDoesNot() {
    QFETCH(QString, button);
    QFETCH(QStringList, writes);
    QFETCH(QString, usersPath);
    test::TestServices t;
    t.settings.values = {{"UsersPath", "/old/U.dat"}};
    Form1 form(t.services);
    form.Get_Locations();
    QCOMPARE(form.ListPath, "/opt/quillmark/Settings");
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<frmLocations*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        seen = true;
        dialog->txtUsersFile->setText("/new/U.dat");
        dialog->txtFolder->setText("/new");
        if (button == "escape")
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->findChild<QPushButton*>(button)->click();
    });
    form.mnuLocation_Click();
    QVERIFY(seen);
    QCOMPARE(t.settings.writes, writes);
    QCOMPARE(form.UsersPath, usersPath); // reloaded after the dialog closed
    QCOMPARE(form.ListPath, writes.isEmpty() ? "/opt/quillmark/Settings" : "/new");
}

void TestLocations::browseForUsersFile_data() {
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("answer"); // empty: cancelled
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("result");
    QTest::newRow("chosen") << "/srv/q/Users.dat"
                            << "/srv/other/A.dat"
                            << "/srv/q"
                            << "Users.dat"
                            << "/srv/other/A.dat";
    QTest::newRow("cancelled") << "/srv/q/Users.dat"
                               << ""
                               << "/srv/q"
                               << "Users.dat"
                               << "/srv/q/Users.dat";
    QTest::newRow("bare name") << "Users.dat"
                               << ""
                               << ""
                               << "Users.dat"
                               << "Users.dat";
}

void TestLocations::browseForUsersFile() {
    QFETCH(QString, current);
    QFETCH(QString, answer);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, result);
    test::TestServices t;
    frmLocations dialog(t.services, nullptr);
    dialog.txtUsersFile->setText(current);
    t.dialogs.fileAnswers.push_back(answer.isEmpty() ? std::nullopt : std::optional<QString>(answer));
    dialog.cmdBrowse->click();
    QCOMPARE(t.dialogs.fileRequests.size(), std::size_t(1));
    QCOMPARE(t.dialogs.fileRequests[0].initialFolder, folder);
    QCOMPARE(t.dialogs.fileRequests[0].initialName, name);
    QCOMPARE(t.dialogs.fileRequests[0].filter, "Data file (*.dat)|*.dat");
    QCOMPARE(dialog.txtUsersFile->text(), result);
    QVERIFY(t.messageBox.shown.empty());
    QVERIFY(t.settings.writes.isEmpty());
}

void TestLocations::browseForFolder_data() {
    QTest::addColumn<QString>("answer"); // empty: cancelled
    QTest::addColumn<QString>("result");
    QTest::newRow("chosen") << "/srv/fields"
                            << "/srv/fields";
    QTest::newRow("cancelled") << ""
                               << "/old";
    QTest::newRow("cut at NUL") << QString("/srv/a") + QChar(0) + "junk"
                                << "/srv/a";
}

void TestLocations::browseForFolder() {
    QFETCH(QString, answer);
    QFETCH(QString, result);
    test::TestServices t;
    QWidget mainWindow;
    mainWindow.setObjectName("Form1");
    frmLocations dialog(t.services, &mainWindow);
    dialog.txtFolder->setText("/old");
    t.dialogs.folderAnswers.push_back(answer.isEmpty() ? std::nullopt : std::optional<QString>(answer));
    dialog.cmdBrowseFolder->click();
    QCOMPARE(t.dialogs.folderRequests, 1);
    QCOMPARE(t.dialogs.ownerNames, QStringList{"Form1"}); // the browser belongs to the main window
    QCOMPARE(dialog.txtFolder->text(), result);
    QVERIFY(t.messageBox.shown.empty());
}

QTEST_MAIN(TestLocations)
#include "tst_locations.moc"
