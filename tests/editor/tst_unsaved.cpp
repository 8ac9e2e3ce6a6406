// Nothing the administrator changes is lost without a word, at the window: a Save or Close whose
// write does not land says so once, naming the file and why, and the window stays open with the
// administrator's lists and the files as they were; a file that exists but cannot be read is said
// at once and never written over unless the administrator changed it and agrees.

#include "EditorWindow.h"
#include "OtherLogin.h"
#include "StalledWriter.h"
#include "settings/AtomicFile.h"
#include "settings/IniLib.h"

#include <QProcess>

#include <sys/stat.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace qm;
using namespace qm::test;
using B = QByteArray;

namespace {

// Another program's lock on a file, as one that is writing it holds: readers of the tool wait for it.
class HeldFile {
public:
    explicit HeldFile(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC)) {
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        held = m_fd >= 0 && ::fcntl(m_fd, F_OFD_SETLK, &lock) == 0;
    }
    ~HeldFile() { ::close(m_fd); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool held = false;

private:
    int m_fd;
};

// The window's state that a write that did not land must leave alone.
QString windowState(const EditorWindow& w) {
    return EditorWindow::rights(w.c().lvwUsers) + '|' + EditorWindow::rights(w.c().lvwSpecialUsers) + '|' +
           w.state() + '|' + w.c().rtfData->toPlainText() + '|' + (w.form->isVisible() ? "open" : "closed");
}

QString notSaved(const QString& what, const QString& why) {
    return what + " were not saved: " + why + ".\rYour changes are still in the window.|48|Quillmark";
}

} // namespace

class TestUnsaved : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        fileWriteTuning() = FileWriteTuning();
        fileWriteTuning().readWaitMs = 300;
    }
    void cleanup() { fileWriteTuning() = FileWriteTuning(); }

    void notLanded_data() {
        // edit: "global" (user 2 made Full in the global list, then Close), "pick" (user 1 made
        // Full on Fax), "follow" (Fax made to follow the global rights), "list" (Fax's list
        // edited), each then saved; cause: what stands in the way of the write; <dir>: the folder
        test::columns<QString, QString, QString>("edit", "cause", "message");
        using test::row;
        const QString global = "The global rights", rights = "The rights on the 'Fax' field",
                      settings = "The settings of the 'Fax' field";
        row("Close, read-only users file", "global", "read-only users",
            notSaved(global, "<dir>/Users.dat is read-only"));
        row("Close, missing folder", "global", "missing folder",
            notSaved(global, "the folder <dir>/gone does not exist"));
        row("Close, full disk", "global", "full disk",
            notSaved(global, "there is no room for <dir>/Users.dat on its disk"));
        row("Close, wait cancelled", "global", "cancelled",
            notSaved(global, "the wait for <dir>/Users.dat was cancelled"));
        row("Close, another login's link", "global", "foreign link",
            notSaved(global, "<dir>/Users.dat is a link made by nobody"));
        row("Save of a field's rights, read-only users file", "pick", "read-only users",
            notSaved(rights, "<dir>/Users.dat is read-only"));
        row("Save of a field's rights, full disk", "pick", "full disk",
            notSaved(rights, "there is no room for <dir>/Users.dat on its disk"));
        row("Save following the global rights, read-only users file", "follow", "read-only users",
            notSaved(rights, "<dir>/Users.dat is read-only"));
        row("Save, read-only field file", "list", "read-only field",
            notSaved(settings, "<dir>/Contacts31.dat is read-only"));
        row("Save of a field's rights, another login's link", "pick", "foreign link",
            notSaved(rights, "<dir>/Users.dat is a link made by nobody"));
        row("Save, another login's link to the field file", "list", "foreign link field",
            notSaved(settings, "<dir>/Contacts31.dat is a link made by nobody"));
        row("Save, a FIFO in place of the field file", "list", "fifo field",
            notSaved(settings, "<dir>/Contacts31.dat is not a regular file"));
        row("Save, wait cancelled", "list", "cancelled",
            notSaved(settings, "the wait for <dir>/Contacts31.dat was cancelled"));
    }

    void notLanded() {
        auto [edit, cause, message] = test::fetch<QString, QString, QString>("edit", "cause", "message");
        if (cause.startsWith("foreign link") && ::geteuid() != 0)
            QSKIP("only root may start a process as another login");
        EditorWindow w(kRights);
        QVERIFY(test::writeBytes(w.fieldPath(31), kFax));
        const QString users = w.usersPath();
        if (cause == "missing folder")
            w.form->UsersPath = w.dir.filePath("gone/Users.dat");
        w.select("Fax");
        if (edit == "global") {
            w.give(w.c().lvwUsers, 1, "Full");
        } else if (edit == "pick") {
            w.give(w.c().lvwSpecialUsers, 0, "Full");
        } else if (edit == "follow") {
            click(w.c().optUsers[0]);
        } else {
            w.c().rtfData->setPlainText("Red\nGreen");
        }
        QAbstractButton* button = edit == "global" ? w.c().cmdClose : w.c().cmdSave;
        w.form->editor().hideChooser(); // as Save does first
        const QString before = windowState(w);
        const B usersBefore = test::readBytes(users), faxBefore = test::readBytes(w.fieldPath(31));

        // The write does not land.
        test::StalledWriter stalled;
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        if (cause == "read-only users")
            QFile::setPermissions(users, QFile::ReadOwner);
        if (cause == "read-only field")
            QFile::setPermissions(w.fieldPath(31), QFile::ReadOwner);
        if (cause == "cancelled") {
            QVERIFY(stalled.start(users)); // it holds the folder too
            w.t.wait.cancelAfter = 2;
        }
        // In the file's place once the window read it: a link to a file outside that holds the
        // same, made by another login, or a FIFO (which the write must not wait on).
        const QString planted = cause.endsWith("field") ? w.fieldPath(31) : users;
        const B plantedBefore = cause.endsWith("field") ? faxBefore : usersBefore;
        const QString outside = w.dir.filePath("outside.dat");
        if (cause.startsWith("foreign link")) {
            QVERIFY(test::writeBytes(outside, plantedBefore) && QFile::remove(planted));
            QCOMPARE(::chmod(QFile::encodeName(w.dir.path()).constData(), 0777), 0);
            QVERIFY(test::asOtherLogin([&] { return QFile::link(outside, planted); }));
        }
        if (cause == "fifo field") {
            QVERIFY(QFile::remove(planted));
            QCOMPARE(::mkfifo(QFile::encodeName(planted).constData(), 0666), 0);
        }
        if (cause == "full disk") { // room for the field's file, not for the users file
            const struct rlimit full = {rlim_t(faxBefore.size() + 8), limit.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &full);
        }
        const test::FifoUnblocker unblock(w.dir.path(), 2000);
        click(button);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, oldSignal);
        QVERIFY2(!unblock.unblocked(), "a read waited on the FIFO");
        QCOMPARE(w.t.messageBox.boxes(), QStringList{QString(message).replace("<dir>", w.dir.path())});
        QCOMPARE(windowState(w), before); // open, Save enabled, the lists and the list as they were
        QCOMPARE(test::readBytes(users), usersBefore);
        if (cause.startsWith("foreign link"))
            QCOMPARE(test::readBytes(outside), plantedBefore);
        else if (cause == "fifo field")
            QVERIFY(QFileInfo(planted).isFile() == false && QFileInfo::exists(planted)); // no read of it
        else if (edit == "global" || cause.endsWith("field") || cause == "cancelled")
            QCOMPARE(test::readBytes(w.fieldPath(31)), faxBefore);
        QCOMPARE(w.t.wait.open, 0);

        // Once the cause is gone, the same press saves.
        QFile::setPermissions(users, QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(w.fieldPath(31), QFile::ReadOwner | QFile::WriteOwner);
        w.form->UsersPath = users;
        if (cause.startsWith("foreign link") || cause == "fifo field")
            QVERIFY(QFile::remove(planted) && test::writeBytes(planted, plantedBefore));
        stalled.process.kill();
        stalled.process.waitForFinished();
        w.t.messageBox.clear();
        click(button);
        QCOMPARE(w.t.messageBox.boxes(), QStringList());
        QVERIFY(edit == "global" ? !w.form->isVisible() : !w.c().cmdSave->isEnabled());
        QVERIFY(test::readBytes(edit == "list" ? w.fieldPath(31) : users) !=
                (edit == "list" ? faxBefore : usersBefore));
    }

    // A writer stopped while it holds the users file keeps Close waiting for the bound, no longer;
    // the window then says so and keeps the change, and Close after the writer has gone on saves.
    void stoppedWriter() {
        EditorWindow w(kRights);
        w.give(w.c().lvwUsers, 1, "Full");
        test::StalledWriter stalled;
        QVERIFY(stalled.start(w.usersPath()));
        QCOMPARE(::kill(pid_t(stalled.process.processId()), SIGSTOP), 0);
        fileWriteTuning().lockWaitMs = 1000;
        const QString before = windowState(w);
        QElapsedTimer took;
        took.start();
        click(w.c().cmdClose);
        const qint64 ms = took.elapsed();
        QVERIFY2(ms >= 1000 && ms < 4000, qPrintable(QString::number(ms)));
        QCOMPARE(w.t.messageBox.boxes(),
                 QStringList{notSaved("The global rights", "another program kept " + w.usersPath() +
                                                               " busy for more than 1 second")});
        QCOMPARE(w.t.wait.files, QStringList{w.usersPath()}); // the wait was shown, and is over
        QCOMPARE(w.t.wait.open, 0);
        QCOMPARE(windowState(w), before);
        QCOMPARE(test::readBytes(w.usersPath()), kRights);

        ::kill(pid_t(stalled.process.processId()), SIGCONT);
        stalled.process.write("go\n"); // it writes what it read, and lets go
        QVERIFY(stalled.process.waitForFinished(10'000) && stalled.process.exitCode() == 0);
        w.t.messageBox.clear();
        click(w.c().cmdClose);
        QCOMPARE(w.t.messageBox.boxes(), QStringList());
        QVERIFY(!w.form->isVisible());
        QCOMPARE(test::readBytes(w.usersPath()),
                 B("[Contacts]\r\nGlobalF={ID-0001}{ID-0002}\r\n31F={ID-0003}\r\n[Sales]\r\nH=held\r\n"));
    }

    // The users file that Close makes in a folder its group may write can be written by the group's
    // other administrators, whatever the umask of the first; it has the folder's group.
    void secondAdministratorOfTheGroup() {
        EditorWindow w;
        const QByteArray folder = QFile::encodeName(w.dir.path());
        const gid_t group = test::canPlayOtherLogin() ? gid_t(12345) : ::getegid();
        QCOMPARE(::chown(folder.constData(), uid_t(-1), group), 0);
        QCOMPARE(::chmod(folder.constData(), 02775), 0);
        w.give(w.c().lvwUsers, 1, "Full");
        const mode_t oldMask = ::umask(022);
        click(w.c().cmdClose);
        ::umask(oldMask);
        QCOMPARE(w.t.messageBox.boxes(), QStringList());
        QVERIFY(!w.form->isVisible());
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(w.usersPath()).constData(), &st), 0);
        QCOMPARE(QString::number(st.st_mode & 0777, 8), "664");
        QCOMPARE(st.st_gid, group);
        if (!test::canPlayOtherLogin())
            QSKIP("only root can play the group's other administrator");
        const QString users = w.usersPath();
        QVERIFY(test::asOtherLogin(group, [&] {
            return IniLib::WriteKeyValueResult("Contacts", "GlobalI", "{ID-0003}", users).landed();
        }));
        QCOMPARE(test::readBytes(users), B("[Contacts]\r\nGlobalF={ID-0002}\r\nGlobalI={ID-0003}\r\n"));
    }

    void unreadableUsersFile_data() {
        // cause: "locked" (another program holds it), "folder" (a folder in its place); answer to
        // the question before Close writes (0: none asked)
        test::columns<QString, bool, int, bool, B>("cause", "changed", "answer", "closed", "after");
        using test::row;
        const B written = "[Contacts]\r\nGlobalF={ID-0002}\r\n31F={ID-0003}\r\n";
        row("locked, unchanged: Close keeps the file", "locked", false, 0, true, kRights);
        row("locked, changed, No: nothing written", "locked", true, int(vbNo), false, kRights);
        row("locked, changed, Yes: written", "locked", true, int(vbYes), true, written);
        row("a folder, unchanged: Close keeps it", "folder", false, 0, true, B("<missing>"));
    }

    void unreadableUsersFile() {
        auto [cause, changed, answer, closed, after] = test::fetch<QString, bool, int, bool, B>();
        std::unique_ptr<HeldFile> held;
        EditorWindow w(cause == "locked" ? kRights : B(), nullptr, 3, [&](EditorWindow& e) {
            if (cause == "locked")
                held = std::make_unique<HeldFile>(e.usersPath());
            else
                QDir().mkdir(e.usersPath());
        });
        QVERIFY(cause != "locked" || held->held);
        const QString why =
            cause == "locked"
                ? QString("another program kept " + w.usersPath() + " locked for more than 0.3 seconds")
                : QString(w.usersPath() + " is a folder");
        QCOMPARE(w.t.messageBox.boxes(),
                 QStringList{"The global rights cannot be read: " + why +
                             ".\rWhat the window shows is not what the file holds: Close writes it only when "
                             "you change it, and asks first.|48|Quillmark"});
        QCOMPARE(EditorWindow::rights(w.c().lvwUsers), "None,None,None");
        w.t.messageBox.clear();
        w.select("Phone"); // the same file: not said again
        QCOMPARE(w.t.messageBox.boxes(), QStringList());
        if (changed) {
            w.give(w.c().lvwUsers, 1, "Full");
            w.t.messageBox.answerNext(answer);
        }
        click(w.c().cmdClose);
        QCOMPARE(w.t.messageBox.boxes(),
                 answer ? QStringList{"The global rights could not be read when they were shown: " + why +
                                      ".\rWriting them replaces what the file holds with what the window "
                                      "shows.\r\rDo you want to write them all the same?|52|Quillmark"}
                        : QStringList());
        QCOMPARE(!w.form->isVisible(), closed);
        QCOMPARE(test::readBytes(w.usersPath()), after);
    }

    // A field's file, or its rights, that cannot be read when the field is selected: said, and
    // Save writes it only when the administrator changed it.
    void unreadableField() {
        EditorWindow w(kRights, nullptr, 3, withFaxFile);
        auto fieldHeld = std::make_unique<HeldFile>(w.fieldPath(31));
        auto usersHeld = std::make_unique<HeldFile>(w.usersPath());
        w.select("Fax");
        const QString held = "another program kept %1 locked for more than 0.3 seconds";
        QCOMPARE(w.t.messageBox.boxes(),
                 QStringList({"The settings of the 'Fax' field cannot be read: " + held.arg(w.fieldPath(31)) +
                                  ".\rWhat the window shows is not what the file holds: Save writes it only "
                                  "when you change it, and asks first.|48|Quillmark",
                              "The rights on the 'Fax' field cannot be read: " + held.arg(w.usersPath()) +
                                  ".\rWhat the window shows is not what the file holds: Save writes it only "
                                  "when you change it, and asks first.|48|Quillmark"}));
        QCOMPARE(w.state(), "0"); // shown as following the global rights, which it may not
        // A change of the list alone writes the field's file (after the question), never its rights.
        w.t.messageBox.clear();
        fieldHeld.reset();
        w.c().rtfData->setPlainText("Blue");
        click(w.c().cmdSave);
        QCOMPARE(w.t.messageBox.boxes().size(), 1); // the question; answered Yes
        QVERIFY(w.t.messageBox.boxes().constFirst().startsWith(
            "The settings of the 'Fax' field could not be read"));
        QCOMPARE(test::readBytes(w.fieldPath(31)), B("OnlyFromDropdown=0\r\nAllowEditing=0\r\nBlue\r\n"));
        QCOMPARE(test::readBytes(w.usersPath()), kRights); // 31F kept
        QVERIFY(!w.c().cmdSave->isEnabled());
    }
};

QTEST_MAIN(TestUnsaved)
#include "tst_unsaved.moc"
