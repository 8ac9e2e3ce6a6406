// What a settings file is stays as it was when it is written: links, hard links, owner, group and
// mode; names and paths as long as the system allows; a folder this login may not write. And a
// full disk fails a write at once, leaving the file as it was.

#include "TestFiles.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniFileCache.h"
#include "settings/IniLib.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <climits>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qm;
using namespace qm::test;
using B = QByteArray;

namespace {

constexpr uid_t kNobody = 65534;

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
