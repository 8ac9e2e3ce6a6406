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
    void browse_data();
    void browse();
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
    QTest::newRow("slash is a character on Windows") << "C:\\a/b\\c/d.dat" << bs << "C:\\a/b"
                                                     << "c/d.dat";
    QTest::newRow("POSIX path") << "/home/ann/Users.dat" << fs << "/home/ann"
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
        QCOMPARE(dialog.txtUsersFile->text(), "/opt/quillmark/Settings/Users.dat");
        QCOMPARE(dialog.txtFolder->text(), "/opt/quillmark/Settings");
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

void TestLocations::browse_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("answer"); // empty: cancelled
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("request"); // initial folder | initial name, for the file dialog
    QTest::newRow("file chosen") << "cmdBrowse"
                                 << "/srv/q/Users.dat"
                                 << "/srv/o/A.dat"
                                 << "/srv/o/A.dat"
                                 << "/srv/q|Users.dat";
    QTest::newRow("file cancelled") << "cmdBrowse"
                                    << "/srv/q/Users.dat"
                                    << ""
                                    << "/srv/q/Users.dat"
                                    << "/srv/q|Users.dat";
    QTest::newRow("bare file name") << "cmdBrowse"
                                    << "Users.dat"
                                    << ""
                                    << "Users.dat"
                                    << "|Users.dat";
    QTest::newRow("folder chosen") << "cmdBrowseFolder"
                                   << "/old"
                                   << "/srv/f"
                                   << "/srv/f"
                                   << "";
    QTest::newRow("folder cancelled") << "cmdBrowseFolder"
                                      << "/old"
                                      << ""
                                      << "/old"
                                      << "";
    QTest::newRow("folder cut at NUL") << "cmdBrowseFolder"
                                       << "/old" << QString("/srv/a") + QChar(0) + "junk"
                                       << "/srv/a"
                                       << "";
}

void TestLocations::browse() {
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
    const auto scripted = answer.isEmpty() ? std::nullopt : std::optional<QString>(answer);
    (file ? t.dialogs.fileAnswers : t.dialogs.folderAnswers).push_back(scripted);
    dialog.findChild<QPushButton*>(button)->click();
    QCOMPARE(text->text(), result);
    QVERIFY(t.messageBox.shown.empty() && t.settings.writes.isEmpty());
    if (file) {
        QCOMPARE(t.dialogs.fileRequests.size(), std::size_t(1));
        const test::OpenFileRequest& r = t.dialogs.fileRequests[0];
        QCOMPARE(r.initialFolder + "|" + r.initialName, request);
        QCOMPARE(r.filter, "Data file (*.dat)|*.dat");
    } else {
        QCOMPARE(t.dialogs.ownerNames, QStringList{"Form1"}); // the browser belongs to the main window
    }
}

QTEST_MAIN(TestLocations)
#include "tst_locations.moc"
