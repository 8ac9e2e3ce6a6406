// The settings locations: defaults, the "Settings File Location" dialog and its browse buttons,
// the main window reloading its copies when the dialog closes; the real question box.

#include "Dialogs.h"
#include "Pointer.h"
#include "TestServices.h"
#include "app/Form1.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"
#include "settings/Locations.h"
#include "settings/frmLocations.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

using namespace qm;

class TestLocations : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pathParts_data() {
        // in the "\" form; the "/" form swaps the two characters
        test::columns<QString, QString, QString>("path", "dir", "name");
        test::row("full path", "C:\\Data\\Users.dat", "C:\\Data", "Users.dat");
        test::row("bare name", "Users.dat", "", "Users.dat");
        test::row("final separator", "C:\\Data\\", "C:\\Data", "");
        test::row("empty", "", "", "");
        test::row("the other separator is a character", "C:\\a/b\\c/d.dat", "C:\\a/b", "c/d.dat");
    }

    void pathParts() {
        auto [path, dir, name] = test::fetch<QString, QString, QString>();
        test::TestServices t;
        frmLocations dialog(t.services, nullptr);
        QCOMPARE(dialog.GetDir(path, '\\') + "|" + dialog.GetName(path, '\\'), dir + "|" + name);
        const QString posix = test::swapSeparators(path);
        QCOMPARE(dialog.GetDir(posix, '/') + "|" + dialog.GetName(posix, '/'),
                 test::swapSeparators(dir + "|" + name));
        QVERIFY(t.messageBox.shown.empty());
    }

    void defaultUsersPath() {
        test::FakeAppInfo app;
        app.folder = "C:\\Program Files\\Quillmark";
        QCOMPARE(Locations::defaultUsersPath(app, '\\'), "C:\\Program Files\\Quillmark\\Settings\\Users.dat");
    }

    // An installed program's folder is read-only: its defaults lie in the login's data folder.
    void defaultsOfAnInstalledProgram() {
        qputenv("XDG_DATA_HOME", "/home/admin/.local/share");
        QCOMPARE(Locations::defaultUsersPath(QtAppInfo(QtAppInfo::SettingsHome::PerUser)),
                 "/home/admin/.local/share/Quillmark/Settings/Users.dat");
        QCOMPARE(Locations::defaultListPath(QtAppInfo(QtAppInfo::SettingsHome::ProgramFolder)),
                 QCoreApplication::applicationDirPath() + "/Settings");
    }

    void okStoresCancelDoesNot_data() {
        // storedList null: none stored; after: the main window's UsersPath|ListPath
        test::columns<QString, QString, QStringList, QString>("button", "storedList", "writes", "after");
        test::row("OK", "cmdClose", QString(), QStringList{"ListPath", "UsersPath"}, "/new/U.dat|/new");
        test::row("Cancel, empty stored", "cmdCancel", "", QStringList{}, " /old/U.dat|");
        test::row("Escape", "escape", QString(), QStringList{}, " /old/U.dat|/opt/quillmark/Settings");
    }

    void okStoresCancelDoesNot() {
        auto [button, storedList, writes, after] = test::fetch<QString, QString, QStringList, QString>();
        test::TestServices t;
        t.settings.values = {{"UsersPath", " /old/U.dat"}}; // shown as stored, blanks included
        if (!storedList.isNull())
            t.settings.values["ListPath"] = storedList;
        Form1 form(t.services);
        QString shown;
        test::WhenOpen<frmLocations> opened([&](frmLocations* dialog) {
            shown = dialog->txtUsersFile->text() + "|" + dialog->txtFolder->text();
            dialog->txtUsersFile->setText("/new/U.dat");
            dialog->txtFolder->setText("/new");
            if (button == "escape")
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                dialog->findChild<QPushButton*>(button)->click();
        });
        form.mnuLocation_Click();
        QVERIFY(opened.opened());
        QCOMPARE(shown, " /old/U.dat|" + (storedList.isNull() ? "/opt/quillmark/Settings" : storedList));
        QCOMPARE(t.settings.writes, writes);
        QCOMPARE(form.UsersPath + "|" + form.ListPath, after); // reloaded after the dialog closed
    }

    void browse_data() {
        // answer empty: cancelled; request: owner, and the file dialog's initial folder, name and filter
        test::columns<QString, QString, QString, QString, QString>("button", "current", "answer", "result",
                                                                   "request");
        using test::row;
        row("file chosen", "cmdBrowse", "/srv/q/Users.dat", "/srv/o/A.dat", "/srv/o/A.dat",
            "frmLocations /srv/q|Users.dat|Data file (*.dat)|*.dat");
        row("file cancelled, bare name", "cmdBrowse", "Users.dat", "", "Users.dat",
            "frmLocations |Users.dat|Data file (*.dat)|*.dat");
        row("folder chosen, cut at NUL", "cmdBrowseFolder", "/old", QString("/srv/a") + QChar(0) + "junk",
            "/srv/a", "Form1"); // the browser belongs to the main window
        row("folder cancelled", "cmdBrowseFolder", "/old", "", "/old", "Form1");
    }

    void browse() {
        auto [button, current, answer, result, request] =
            test::fetch<QString, QString, QString, QString, QString>();
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
        QCOMPARE((t.dialogs.ownerNames + t.dialogs.fileRequests).join(' '), request);
    }

    void opensOnTheFirstBrowse() {
        test::TestServices t;
        frmLocations dialog(t.services, nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), dialog.cmdBrowse);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // browses, does not confirm
        QCOMPARE(t.dialogs.fileRequests.size(), 1);
        QVERIFY(dialog.isVisible() && t.settings.writes.isEmpty());
    }

    // The real question box: its default button is Yes, so Enter answers Yes.
    void questionsDefaultToYes_data() {
        test::columns<int>("style");
        test::row("Yes and No", int(vbYesNo));
        test::row("Yes and No, exclamation", int(vbYesNo + vbExclamation));
    }

    void questionsDefaultToYes() {
        auto [style] = test::fetch<int>();
        QString defaultButton;
        test::WhenOpen<QMessageBox> opened([&](QMessageBox* box) {
            defaultButton = box->defaultButton() ? box->defaultButton()->text() : "";
            test::key(box, Qt::Key_Return);
        });
        const int answer = QtMessageBox().show("Go on?", style, "");
        QVERIFY(opened.opened());
        QCOMPARE(defaultButton.remove('&'), "Yes");
        QCOMPARE(answer, int(vbYes));
    }

    // The real file dialog: its file type as the filter describes it, and a users file that does
    // not exist yet may be named.
    void fileDialogNamesANewFile() {
        QTemporaryDir dir;
        QString typeShown;
        test::WhenOpen<QFileDialog> opened([&](QFileDialog* d) {
            typeShown = d->findChild<QComboBox*>("fileTypeCombo")->currentText();
            d->selectFile("New.dat");
            // A refusal would come as a box over the dialog.
            const test::WhenOpen<QMessageBox> refusal([](QMessageBox*) {});
            static_cast<QDialog*>(d)->accept(); // as the Open button does
        });
        const auto chosen =
            QtFileDialogs().openFile(nullptr, dir.path(), "Users.dat", frmLocations::kDataFileFilter);
        QVERIFY(opened.opened());
        QCOMPARE(typeShown, "Data file (*.dat)");
        QCOMPARE(chosen.value_or("<refused>"), QDir::toNativeSeparators(dir.filePath("New.dat")));
    }
};

QTEST_MAIN(TestLocations)
#include "tst_locations.moc"
