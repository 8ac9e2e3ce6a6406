// What a settings file is stays as it was when it is written: links, hard links, owner, group and
// mode; names and paths as long as the system allows; a folder this login may not write. A full
// disk fails a write at once, leaving the file as it was. And in a folder other logins may write,
// what they plant there (links, hard links, FIFOs, huge files), even after the name was looked
// at, is neither read nor written.

#include "OtherLogin.h"
#include "TestFiles.h"
#include "settings/AtomicFile.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniFileCache.h"
#include "settings/IniLib.h"
#include "settings/LockWait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace qm;
using namespace qm::test;
using B = QByteArray;

namespace {

struct stat statOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

// Runs `call` as this login, or when `bound` as a login that file permissions bind: this one, or
// nobody when this one is root.
template <typename Call> void asLogin(bool bound, Call call) {
    const bool root = bound && ::geteuid() == 0;
    if (root && (::setegid(kNobody) != 0 || ::seteuid(kNobody) != 0))
        QFAIL("cannot act as nobody");
    call();
    if (root && (::seteuid(0) != 0 || ::setegid(0) != 0))
        qFatal("cannot act as root again");
}

bool symlinkTo(const QString& target, const QString& link) {
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

} // namespace

class TestSettingsFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_case = 0;

private Q_SLOTS:
    void initTestCase() {
        ::chmod(QFile::encodeName(m_dir.path()).constData(), 0711); // another login may pass through
    }
    void init() { IniFileCache::instance().clear(); }

    void writtenFileKeepsWhatItIs_data() {
        columns<QString>("kind");
        for (const char* kind :
             {"link to a link", "relative link into another folder", "link to a missing file", "hard link",
              "name of 251 bytes", "name of 255 bytes", "path at the length limit", "mode",
              "another login's file", "folder this login may not write"})
            row(kind, QString(kind));
    }

    // Through the INI writer, then the per-field save (Allow editing off, empty list).
    void writtenFileKeepsWhatItIs() {
        auto [kind] = fetch<QString>();
        const QString folder = m_dir.filePath(QString::number(++m_case));
        QVERIFY(QDir().mkpath(folder + "/shared"));
        QString path = folder + "/Users.dat";
        QString real = folder + "/shared/Real.dat";
        QStringList links; // each must still be a link afterwards
        QString other;     // another name of the same file
        if (kind.startsWith("link") || kind.startsWith("relative")) {
            const QString middle = folder + "/Middle.dat";
            QVERIFY(QFile::link(kind.startsWith("relative") ? "shared/Real.dat" : real, middle));
            QVERIFY(QFile::link(kind == "link to a link" ? middle : "Middle.dat", path));
            links = {path, middle};
        } else if (kind.startsWith("name")) {
            path = real = folder + '/' + QString(kind.mid(8, 3).toInt() - 4, 'n') + ".dat";
        } else if (kind == "path at the length limit") {
            QString deep = folder;
            while (deep.size() < PATH_MAX - 300)
                deep += '/' + QString(200, 'd');
            QVERIFY(QDir().mkpath(deep));
            path = real = deep + '/' + QString(PATH_MAX - 2 - deep.size(), 'p');
        } else if (kind != "hard link") {
            path = real;
        }
        const B old = "[Other]\r\nx=1\r\n";
        QVERIFY(kind == "link to a missing file" || writeBytes(real, old));
        if (kind == "hard link") {
            other = real;
            real = path;
            QCOMPARE(::link(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
        }
        if (kind == "mode") {
            QCOMPARE(::chmod(QFile::encodeName(real).constData(), 0640), 0);
        } else if (kind == "another login's file") {
            if (::geteuid() != 0)
                QSKIP("only root may give a file to another login");
            QCOMPARE(::chown(QFile::encodeName(real).constData(), kNobody, kNobody), 0);
            QCOMPARE(::chmod(QFile::encodeName(real).constData(), 0664), 0);
        } else if (kind == "folder this login may not write") {
            QCOMPARE(::chmod(QFile::encodeName(real).constData(), 0666), 0);
            QCOMPARE(::chmod(QFile::encodeName(folder + "/shared").constData(), 0555), 0);
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
        }
        const struct stat before = statOf(real);
        asLogin(kind == "folder this login may not write", [&] {
            IniLib::WriteKeyValue("Sales", "k", "v", path);
            QCOMPARE(IniLib::GetKeyValue("Sales", "k", path), "v");
            QCOMPARE(readBytes(real), (kind == "link to a missing file" ? B() : old) + "[Sales]\r\nk=v\r\n");
            FieldSettingsFile::save(path, 1, 0, "");
        });
        QCOMPARE(readBytes(real), FieldSettingsFile::content(1, 0, ""));
        for (const QString& link : links)
            QVERIFY2(QFileInfo(link).isSymLink(), qPrintable(link));
        const struct stat after = statOf(real);
        if (kind != "link to a missing file") {
            QCOMPARE(QString::number(after.st_mode, 8), QString::number(before.st_mode, 8));
            QCOMPARE(QList<uint>({after.st_uid, after.st_gid}), QList<uint>({before.st_uid, before.st_gid}));
        }
        if (!other.isEmpty())
            QCOMPARE(statOf(other).st_ino, after.st_ino);
        ::chmod(QFile::encodeName(folder + "/shared").constData(), 0755);
        QCOMPARE(leftBeside(QFileInfo(real).path()), QStringList());
    }

    // A new file in a folder its group may write can be changed by the group's other
    // administrators: it is group-writable and has the folder's group, whatever the umask.
    void newFileSharedWithFolderGroup_data() {
        columns<uint, uint>("folderMode", "fileMode");
        row("folder its group may write", 0775u, 0664u);
        row("the same with the set-group-ID bit", 02775u, 0664u);
        row("folder only its owner may write", 0755u, 0644u);
    }

    void newFileSharedWithFolderGroup() {
        auto [folderMode, fileMode] = fetch<uint, uint>();
        const QString folder = m_dir.filePath(QString::number(++m_case));
        QVERIFY(QDir().mkpath(folder));
        const QByteArray native = QFile::encodeName(folder);
        // Another group than this login's, where this login may give one (root).
        const gid_t group = ::geteuid() == 0 ? gid_t(12345) : ::getegid();
        QCOMPARE(::chown(native.constData(), uid_t(-1), group), 0);
        QCOMPARE(::chmod(native.constData(), folderMode), 0);
        const mode_t oldMask = ::umask(022);
        const QString users = folder + "/Users.dat", field = folder + "/Sales28.dat";
        const bool written = IniLib::WriteKeyValueResult("Sales", "k", "v", users).landed() &&
                             FieldSettingsFile::write(field, 1, 0, "").landed();
        ::umask(oldMask);
        QVERIFY(written);
        for (const QString& path : {users, field}) {
            const struct stat st = statOf(path);
            QCOMPARE(QString::number(st.st_mode & 07777, 8), QString::number(fileMode, 8));
            QCOMPARE(st.st_gid, (fileMode & 020) || (folderMode & 02000) ? group : ::getegid());
        }
    }

    // The reader and the writer on a name in a folder that other logins may write. Another login
    // is played by a process of its own (fork, setresuid to nobody), which only root may start.
    void sharedFolderNames_data() {
        // outcome: "followed", or the status a read gives ("refused", "not a file")
        columns<QString, QString>("kind", "outcome");
        for (const char* kind :
             {"own link followed, stays a link", "hard link in a shared folder", "FIFO, refused at once"})
            row(kind, QString(kind),
                QString(kind[0] == 'o'   ? "followed"
                        : kind[0] == 'h' ? "refused"
                                         : "not a file"));
        for (const char* kind :
             {"another login's link to a file outside", "another login's link to a missing file",
              "another login's link among the folders", "another login's link after one of ours"})
            row(kind, QString(kind), QString("refused"));
    }

    void sharedFolderNames() {
        auto [kind, outcome] = fetch<QString, QString>("kind", "outcome");
        const bool otherLogin = kind.startsWith("another");
        if (otherLogin && ::geteuid() != 0)
            QSKIP("only root may start a process as another login");
        const QString base = m_dir.filePath(QString::number(++m_case));
        const QString shared = base + "/shared", home = base + "/home";
        QVERIFY(QDir().mkpath(shared) && QDir().mkpath(home));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 0777), 0); // anyone may make names here
        const QString secret = home + "/Private.dat", missing = home + "/authorized_keys";
        const B secretBytes = "[Secret]\r\nkey=private\r\n";
        QVERIFY(writeBytes(secret, secretBytes));
        QString path = shared + "/Users.dat", link = path;
        if (kind.startsWith("own link")) {
            QVERIFY(symlinkTo(secret, path));
        } else if (kind.startsWith("hard link")) {
            QCOMPARE(::link(QFile::encodeName(secret).constData(), QFile::encodeName(path).constData()), 0);
        } else if (kind.startsWith("FIFO")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0666), 0);
        } else if (kind.endsWith("among the folders")) {
            link = shared + "/sub";
            path = link + "/Private.dat";
            QVERIFY(asOtherLogin([&] { return symlinkTo(home, link); }));
        } else if (kind.endsWith("after one of ours")) {
            link = shared + "/Theirs.dat";
            QVERIFY(symlinkTo("Theirs.dat", path));
            QVERIFY(asOtherLogin([&] { return symlinkTo(secret, link); }));
        } else {
            QVERIFY(asOtherLogin(
                [&] { return symlinkTo(kind.endsWith("missing file") ? missing : secret, path); }));
        }

        const FifoUnblocker unblock(shared, 1000); // a read that waits on the FIFO fails, not hangs
        QElapsedTimer took;
        took.start();
        const IniLib::Loaded read = IniLib::Load(path);
        FieldSettingsFile::FieldSettings field;
        const std::optional<ReadProblem> fieldRead = FieldSettingsFile::read(path, field);
        const WriteResult written = IniLib::WriteKeyValueResult("Sales", "GlobalF", "{ID}", path);
        const WriteResult fieldWritten = FieldSettingsFile::write(path, 1, 0, "x");
        QVERIFY2(took.elapsed() < 1000, "a name was waited on");
        if (outcome == "followed") {
            QCOMPARE(int(read.status), int(FileContent::Ok));
            QVERIFY(!fieldRead && written.landed() && fieldWritten.landed());
            QVERIFY(QFileInfo(path).isSymLink());
            QCOMPARE(readBytes(secret), FieldSettingsFile::content(1, 0, "x"));
            return;
        }
        const auto status = outcome == "refused" ? FileContent::Refused : FileContent::NotAFile;
        QCOMPARE(int(read.status), int(status));
        QVERIFY(fieldRead && fieldRead->status == status);
        const auto result = outcome == "refused" ? ReplaceResult::Refused : ReplaceResult::NotAFile;
        QCOMPARE(QList<int>({int(written.result), int(fieldWritten.result)}), QList<int>(2, int(result)));
        if (otherLogin) {
            const QString why = link + " is a link made by nobody";
            QCOMPARE(written.detail, why);
            QCOMPARE(read.detail, why);
            QVERIFY(QFileInfo(link).isSymLink());
        }
        QCOMPARE(readBytes(secret), secretBytes);
        QVERIFY(!QFile::exists(missing));
        QCOMPARE(leftBeside(shared) + leftBeside(home), QStringList());
    }

    // Another login swaps its link in for the file after the name was looked at: what is opened
    // must be what the name names then, so the link's target is never read, and a write that waited
    // for the file meanwhile is refused.
    void linkSwappedIn_data() {
        columns<bool>("write");
        row("reads while the name turns into the link and back", false);
        row("a write that waited for the file meanwhile", true);
    }

    void linkSwappedIn() {
        auto [write] = fetch<bool>("write");
        if (!canPlayOtherLogin())
            QSKIP("only root may give a link to another login");
        const QString base = m_dir.filePath(QString::number(++m_case)), shared = base + "/shared";
        QVERIFY(QDir().mkpath(shared));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 0777), 0);
        const QString secret = base + "/Private.dat", path = shared + "/Users.dat", spare = shared + "/x";
        const B secretBytes = "[Secret]\r\nkey=private\r\n", ours = "[Sales]\r\nk=v\r\n";
        QVERIFY(writeBytes(secret, secretBytes) && writeBytes(path, ours) && makeLink(secret, spare, true));
        // The file and the link trade names in one step.
        const auto swap = [&] {
            return ::renameat2(AT_FDCWD, QFile::encodeName(path).constData(), AT_FDCWD,
                               QFile::encodeName(spare).constData(), RENAME_EXCHANGE) == 0;
        };
        if (!swap())
            QSKIP("this file system cannot exchange two names");
        QVERIFY(swap());
        if (!write) {
            std::atomic<bool> stop = false;
            std::thread flipper([&] {
                while (!stop) {
                    swap();
                    std::this_thread::sleep_for(std::chrono::microseconds(20));
                }
            });
            QSet<B> read;
            QElapsedTimer took;
            took.start();
            while (took.elapsed() < 300 || (!read.contains(ours) && took.elapsed() < 5000))
                read << readFile(path, FieldSettingsFile::kMaxFileBytes).bytes;
            stop = true;
            flipper.join();
            QVERIFY(!read.contains(secretBytes));
            QVERIFY(read.contains(ours));
            return;
        }
        // Held, as a writer on another machine holds it, until the write waits for it: then the
        // link takes the file's name and the file is let go.
        const int holder = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QCOMPARE(::flock(holder, LOCK_EX), 0);
        struct SwapWhenWaiting : LockWaitHook {
            std::function<void()> act;
            void waitingStarted(const QString&) override { act(); }
            bool cancelAsked() override { return false; }
            void waitingEnded() override {}
        } hook;
        hook.act = [&] {
            QVERIFY(swap());
            ::close(holder);
        };
        LockWaitHook* const previous = setLockWaitHook(&hook);
        const WriteResult written = IniLib::WriteKeyValueResult("Sales", "k", "w", path);
        setLockWaitHook(previous);
        QCOMPARE(int(written.result), int(ReplaceResult::Refused));
        QCOMPARE(written.detail, path + " is a link made by nobody");
        QVERIFY(QFileInfo(path).isSymLink());
        QCOMPARE(readBytes(secret), secretBytes);
        QCOMPARE(readBytes(spare), ours);
    }

    // Far larger than a settings file of its kind can be: refused from its size, never read.
    void tooLargeRefusedFromItsSize_data() {
        columns<QString, qint64>("file", "size");
        row("users file of 1 GB, sparse", QString("Users.dat"), qint64(1) << 30);
        row("users file just over 16 MB", QString("Users.dat"), (qint64(16) << 20) + 1);
        row("field file just over 4 MB", QString("Sales28.dat"), (qint64(4) << 20) + 1);
    }

    void tooLargeRefusedFromItsSize() {
        auto [name, size] = fetch<QString, qint64>("file", "size");
        const QString path = m_dir.filePath(QString::number(++m_case) + name);
        QVERIFY(writeBytes(path, "[Sales]\r\nk=v\r\n"));
        QVERIFY(QFile::resize(path, size));
        const bool users = name == "Users.dat";
        std::optional<ReadProblem> problem;
        WriteResult written;
        if (users) {
            const IniLib::Loaded read = IniLib::Load(path);
            problem = ReadProblem{path, read.status, read.detail, read.size};
            written = IniLib::WriteKeyValueResult("Sales", "k", "w", path);
        } else {
            FieldSettingsFile::FieldSettings field;
            problem = FieldSettingsFile::read(path, field);
            written = FieldSettingsFile::write(path, 1, 0, "");
        }
        QVERIFY(problem && problem->status == FileContent::TooLarge);
        QCOMPARE(problem->size, size);
        QCOMPARE(problemText(*problem), path + " is " + QLocale(QLocale::English).toString(size) +
                                            " bytes, too large for a settings file");
        QCOMPARE(int(written.result), int(ReplaceResult::TooLarge));
        QCOMPARE(QFileInfo(path).size(), size);
    }

    void fullDiskFailsAtOnce() {
        const QString plain = m_dir.filePath("Full.dat"), linked = m_dir.filePath("FullLinked.dat");
        const B old = "[Sales]\r\nk=old\r\n";
        QVERIFY(writeBytes(plain, old) && writeBytes(linked, old));
        QCOMPARE(::link(QFile::encodeName(linked).constData(), QFile::encodeName(linked + "2").constData()),
                 0);
        // No file may grow past what it holds now: as a full disk, for this process.
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const struct rlimit full = {rlim_t(old.size()), limit.rlim_max};
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        QElapsedTimer took;
        took.start();
        ::setrlimit(RLIMIT_FSIZE, &full);
        QList<int> results;
        for (const QString& path : {plain, linked}) {
            results << int(IniLib::WriteKeyValueResult("Sales", "k", QString(100, 'x'), path).result)
                    << int(FieldSettingsFile::write(path, 1, 0, QString(100, 'x')).result);
        }
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, oldSignal);
        QVERIFY2(took.elapsed() < 2000, "a full disk made the writes wait");
        QCOMPARE(results, QList<int>(4, int(ReplaceResult::DiskFull)));
        QCOMPARE(readBytes(plain), old);
        QCOMPARE(readBytes(linked), old);
        QCOMPARE(leftBeside(m_dir.path()), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSettingsFiles)
#include "tst_settingsfiles.moc"
