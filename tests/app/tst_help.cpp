// The Help menu and the About window, the executable's version resource, and what the build puts
// beside the executable: the two icon files drawn from the window icon's image, and the manual.

#include "Dialogs.h"
#include "TestServices.h"
#include "Version.h"
#include "act/standin/StandinBackend.h"
#include "app/AppIcon.h"
#include "app/Form1.h"
#include "app/frmAbout.h"
#include "platform/ClickLabel.h"
#include "platform/PlatformCore.h"
#include "platform/PlatformGui.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

using namespace qm;

namespace {

// This test program carries a version resource of its own, which the running program's version
// must come from. The records of the test rows are made at run time, so that this one is the
// only record in the program's file.
extern const char testVersionResource[];
[[gnu::used]] const char testVersionResource[] = "QMVERSIONINFO:7.8.9;";

// Takes the addresses the desktop would be asked to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    QStringList urls;
public Q_SLOTS:
    void openUrl(const QUrl& url) { urls << url.toString(); }
};

} // namespace

class TestHelp : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The Help menu's items through the real shell: a missing manual opens nothing, and the tool
    // shows nothing.
    void helpItems_data() {
        // document: what the shell is asked to open (%1: the program's folder); opened: what the
        // desktop is asked to open ("" nothing)
        test::columns<QString, bool, QString, QString>("item", "manualThere", "document", "opened");
        const QString manual = "%1/QLM_User_Manual.pdf",
                      online = "http://www.quillmark.app/tutorials/qlm_online.htm";
        test::row("manual present", "mnuManual", true, manual, "file://" + manual);
        test::row("manual absent", "mnuManual", false, manual, QString());
        test::row("online help", "mnuOnline", false, online, online);
    }

    void helpItems() {
        auto [item, manualThere, document, opened] = test::fetch<QString, bool, QString, QString>();
        QTemporaryDir folder;
        if (manualThere)
            QVERIFY(test::writeBytes(folder.filePath("QLM_User_Manual.pdf"), "%PDF-1.4\n"));
        UrlRecorder desktop;
        QDesktopServices::setUrlHandler("file", &desktop, "openUrl");
        QDesktopServices::setUrlHandler("http", &desktop, "openUrl");
        test::TestServices t;
        t.app.folder = folder.path();
        DesktopShell desktopShell(folder.filePath("act-standin"), act::standin::isDatabaseFile);
        test::RecordingShell shell(&desktopShell);
        Services services{t.messageBox, t.settings, shell, t.instance, t.app,
                          t.terminator, t.dialogs,  t.act, t.wait};
        Form1 form(services);
        form.findChild<QAction*>(item)->trigger();
        QDesktopServices::unsetUrlHandler("file");
        QDesktopServices::unsetUrlHandler("http");
        QCOMPARE(shell.requests,
                 QStringList{document.replace("%1", folder.path()) + "|" + folder.path() + "|Form1|5"});
        QCOMPARE(desktop.urls,
                 opened.isEmpty() ? QStringList{} : QStringList{opened.replace("%1", folder.path())});
        QVERIFY(t.messageBox.shown.empty());
    }

    void about_data() {
        test::columns<int, int, int, int, QString>("major", "minor", "revision", "key", "line");
        test::row("Enter", 1, 0, 4, int(Qt::Key_Return), "Version 1.0.4");
        test::row("Escape", 2, 10, 65535, int(Qt::Key_Escape), "Version 2.10.65535");
    }

    void about() {
        auto [major, minor, revision, key, line] = test::fetch<int, int, int, int, QString>();
        test::TestServices t;
        t.app.ver = {major, minor, revision};
        Form1 form(t.services);
        form.show();
        QStringList seen;
        test::WhenOpen<frmAbout> opened([&](frmAbout* about) {
            QVERIFY(about->parentWidget() == &form);
            QCOMPARE(about->windowTitle(), "About Quillmark");
            QCOMPARE(about->lblTitle->text() + "|" + about->Label11->text(), "QUILLMARK|More at");
            QCOMPARE(about->lblVersion->text(), line);
            for (QLabel* l : {about->lblTitle, about->lblVersion, about->Label11, (QLabel*)about->lblLink})
                QVERIFY2(l->sizeHint().width() <= l->width(), qPrintable(l->text()));
            QCOMPARE(about->lblLink->text(), "www.quillmark.app");
            QTest::mouseClick(about->lblLink, Qt::LeftButton, {}, QPoint(5, 5));
            seen << (about->isVisible() ? "open after the link" : "closed by the link");
            QTest::keyClick(about->lblVersion, Qt::Key(key));
            seen << (about->isVisible() ? "open" : "closed");
        });
        form.findChild<QAction*>("mnuAbout")->trigger();
        QVERIFY(opened.opened());
        QCOMPARE(seen, QStringList({"open after the link", "closed"}));
        QCOMPARE(t.shell.requests, QStringList{"http://www.quillmark.app/|/opt/quillmark|frmAbout|5"});
        QVERIFY(t.messageBox.shown.empty());
    }

    void versionResource_data() {
        // bytes null: no such file; "<V>": a record's start
        test::columns<QByteArray, QString>("bytes", "version");
        const char program[] = "\x7f"
                               "ELF\0\0<V>2.10.7;\0x";
        test::row("record among other bytes", QByteArray(program, sizeof program - 1), "2.10.7");
        test::row("marker without its colon", QByteArray("QMVERSIONINFO 1.2.3;"), "0.0.0");
        test::row("part beyond 16 bits, then a good record", QByteArray("<V>1.0.65536;<V>1.0.65535;"),
                  "1.0.65535");
        test::row("unfinished record", QByteArray("<V>1.2."), "0.0.0");
        test::row("no such file", QByteArray(), "0.0.0");
    }

    void versionResource() {
        auto [bytes, version] = test::fetch<QByteArray, QString>();
        QTemporaryDir folder;
        const QString path = folder.filePath("program");
        if (!bytes.isNull())
            QVERIFY(test::writeBytes(
                path, QByteArray(bytes).replace("<V>", QByteArray("QMVERSION").append("INFO:"))));
        const VersionInfo v = readVersionResource(path);
        QCOMPARE(QString("%1.%2.%3").arg(v.major).arg(v.minor).arg(v.revision), version);
    }

    void runningProgramVersion() {
        const VersionInfo v = QtAppInfo().version();
        QCOMPARE(QList<int>({v.major, v.minor, v.revision}), QList<int>({7, 8, 9}));
    }

    // The executable the build made carries the project's version.
    void builtExecutableVersion() {
        const VersionInfo v = readVersionResource(QM_BIN_DIR "/quillmark");
        QCOMPARE(QList<int>({v.major, v.minor, v.revision}),
                 QList<int>({build::kVersionMajor, build::kVersionMinor, build::kVersionPatch}));
    }

    // Started without a display, the tool says so in one line, and that the options need none,
    // instead of the toolkit's abort.
    void withoutADisplay() {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        tool.setProcessEnvironment(env);
        tool.start(QM_BIN_DIR "/quillmark", QStringList());
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 1);
        QCOMPARE(QString::fromLocal8Bit(tool.readAllStandardError()),
                 "quillmark: the window needs a display, and none could be opened; --report and --check work "
                 "without one (see quillmark --help).\n");
    }

    void iconFiles_data() {
        test::columns<QString, int>("file", "size");
        test::row("small", "quillmark.ico", 16);
        test::row("large", "quillmark32.ico", 32);
    }

    // Both icon files are the window icon's image at their size.
    void iconFiles() {
        auto [file, size] = test::fetch<QString, int>();
        const QImage shipped(QM_BIN_DIR "/" + file, "ico");
        QCOMPARE(shipped.size(), QSize(size, size));
        QCOMPARE(shipped.convertToFormat(QImage::Format_ARGB32), renderSvgIcon(kAppIconSvg, size));
        QVERIFY(appIcon().availableSizes().contains(QSize(size, size)));
    }

    // The default settings folder is there before the first Save, as an installer leaves it.
    void settingsFolderBesideTheProgram() {
#ifdef QM_SETTINGS_PER_USER
        QSKIP("built for the login's data folder");
#endif
        QVERIFY(QFileInfo(QM_BIN_DIR "/Settings").isDir());
    }

    void manual() {
#ifndef QM_MANUAL_BUILT
        QSKIP("configured without the manual");
#endif
        const QByteArray pdf = test::readBytes(QM_BIN_DIR "/QLM_User_Manual.pdf");
        QVERIFY(pdf.startsWith("%PDF-"));
        QVERIFY(pdf.count("/Subtype /Image") >= 7); // the cover's icon and a screenshot of every window
        QVERIFY(pdf.contains("/Title (Quillmark User Manual)"));
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
