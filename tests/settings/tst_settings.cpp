// The settings files: keys of hand-written and tool-written INI files, the authorized-users
// file's ID lists and rights, and the per-field settings file.

#include "TestFiles.h"
#include "settings/AuthorizedUsers.h"
#include "settings/Cp1252.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniDocument.h"
#include "settings/IniFileCache.h"
#include "settings/IniLib.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <numeric>

using namespace qm;
using namespace qm::IniLib;
using namespace qm::test;
using B = QByteArray;
namespace au = qm::AuthorizedUsers;
namespace fsf = qm::FieldSettingsFile;

namespace {

// Rewrites the file in place (same inode, same size) and puts its old modification time back.
void rewriteInPlaceKeepingTime(const QString& path, const QByteArray& bytes) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    f.write(bytes);
    f.close();
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

// Records every call of a read, in order.
struct RecordingSink : fsf::Sink {
    QStringList calls;
    void clearListText() override { calls << "clear"; }
    void setOnlyFromDropdown(int s) override { calls << QString("only=%1").arg(s); }
    void setAllowEditing(int s) override { calls << QString("edit=%1").arg(s); }
    void setListText(const QString& t) override { calls << "list=" + t; }
};

const B kHead = "OnlyFromDropdown=1\r\nAllowEditing=0\r\n";

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { IniFileCache::instance().clear(); }
    void read_data() {
        columns<QByteArray, QString, QString, QString>("file", "section", "key", "expected");
        const auto k = [](const char* name, const B& file, const QString& expected) {
            row(name, file, "Sales", "k", expected);
        };
        const B s = "[Sales]\r\n";
        row("case and blanks of asked names", B("[sALES]\r\nglobalf=x\r\n"), " Sales\t", " GLOBALF ", "x");
        k("blank lines, spacing, text after the bracket",
          B("\r\n  \r\n  [ Sales ] ; note\r\n\r\n\t\r\n \t k \t=  a b \t\r\n\r\n"), "a b");
        k("double quotes after blanks", s + "k=  \"  a b  \"  \r\n", "  a b  ");
        k("single quotes", s + "k='x'\r\n", "x");
        k("mismatched quotes", s + "k=\"x'\r\n", "\"x'");
        k("one quote alone", s + "k=\"\r\n", "\"");
        k("only one pair removed", s + "k=\"\"x\"\"\r\n", "\"x\"");
        k("LF line ends, none at the end", B("[T]\na=1\n[Sales]\nk=v"), "v");
        k("CR line ends, LF CR is two", B("[T]\ra=1\r[Sales]\n\rk=v\r"), "v");
        const B dup = "[S]\r\na=1\r\n[T]\r\n[s]\r\na=2\r\nb=3\r\n";
        row("first of duplicate sections wins", dup, "S", "a", "1");
        row("later duplicate section unseen", dup, "S", "b", "");
        k("first of duplicate keys wins", s + "k=1\r\nK=2\r\n", "1");
        k("key outside the section", B("k=1\r\n[Sales]\r\nj=2\r\n[T]\r\nk=1\r\n"), "");
        k("comments, semicolon in value", B("; k=5\r\n[Sales]\r\n;k=9\r\n# k=8\r\nk=a ; b\r\n"), "a ; b");
        k("empty value is missing", s + "k=\r\n", "");
        k("key without equals", s + "k\r\n", "");
        k("equals in value", s + "k=a=b\r\n", "a=b");
        row("last bracket closes", B("[a]b]\r\nk=v\r\n"), "a]b", "k", "v");
        k("unclosed bracket is a key line", B("[Sales]\r\n[Other\r\nk=v\r\n"), "v");
        k("126 characters whole", s + "k=" + B(126, 'x'), QString(126, 'x'));
        k("127 characters cut", s + "k=" + B(125, 'x') + "yz", QString(125, 'x') + "y");
        k("quoted long value cut after unquoting", s + "k=\"" + B(130, 'q') + "\"", QString(126, 'q'));
        row("Windows-1252 names fold", B("[M\xFCller]\r\nk=\xE9\x80\r\n"), "MÜLLER", "K", "é€");
    }

    void read() {
        auto [file, section, key, expected] = test::fetch<QByteArray, QString, QString, QString>();
        const QString path = m_dir.filePath(QStringLiteral("read.dat"));
        QVERIFY(writeBytes(path, file));
        for (int i = 0; i < 6; ++i) // a file read often is read through an index of its keys
            QCOMPARE(GetKeyValue(section, key, path), expected);
    }

    void edit_data() {
        columns<B, bool, QString, QString, QString, B>("before", "remove", "section", "key", "value",
                                                       "after");
        const auto w = [](const char* name, const B& before, const QString& key, const QString& value,
                          const B& after) { row(name, before, false, "S", key, value, after); };
        const auto c3 = [](const char* name, const B& before, const B& after) {
            row(name, before, false, "S", "c", "3", after);
        };
        const auto r = [](const char* name, const B& before, const QString& key, const B& after) {
            row(name, before, true, "S", key, "", after);
        };
        row("value replaced in place, letter case and all else kept",
            B("; top\r\n[A]\r\nx = old  \r\n\r\n[Sales]\r\n  Key = old ; c \n other=1\r\n"), false, "sales",
            "KEY", "new", B("; top\r\n[A]\r\nx = old  \r\n\r\n[Sales]\r\n  Key = new\n other=1\r\n"));
        w("key without equals gets one", B("[S]\r\nk  \r\n"), "k", "v", B("[S]\r\nk=v\r\n"));
        w("CR-only line ends kept", B("[S]\ra=1\rb=2\r"), "a", "9", B("[S]\ra=9\rb=2\r"));
        w("first of duplicate keys", B("[S]\r\nk=1\r\nk=2\r\n"), "k", "3", B("[S]\r\nk=3\r\nk=2\r\n"));
        c3("new key after last line, before blank lines", B("[S]\r\na=1\r\n\r\n[T]\r\nb=2\r\n"),
           B("[S]\r\na=1\r\nc=3\r\n\r\n[T]\r\nb=2\r\n"));
        c3("new key, section at end without line end", B("[S]\r\na=1"), B("[S]\r\na=1\r\nc=3\r\n"));
        c3("new key under a section line ending the file", B("[T]\r\n[S]"), B("[T]\r\n[S]\r\nc=3\r\n"));
        c3("new key after lone CR", B("[S]\ra=1\r[T]\r"), B("[S]\ra=1\rc=3\r\n[T]\r"));
        c3("new key goes to the first duplicate section", B("[S]\r\na=1\r\n[S]\r\nc=9\r\n"),
           B("[S]\r\na=1\r\nc=3\r\n[S]\r\nc=9\r\n"));
        row("new section appended", B("[T]\r\nb=2\r\n\r\n"), false, " S ", " c ", "3",
            B("[T]\r\nb=2\r\n\r\n[S]\r\nc=3\r\n"));
        c3("new section after last line without line end", B("[T]\nb=2"), B("[T]\nb=2\r\n[S]\r\nc=3\r\n"));
        c3("new section in empty file", B(), B("[S]\r\nc=3\r\n"));
        w("Windows-1252, unmappable as ?", B("[S]\r\n"), "k", "€é Ω", B("[S]\r\nk=\x80\xE9 ?\r\n"));
        w("long value written in full", B("[S]\r\n"), "k", QString(200, 'A'),
          "[S]\r\nk=" + B(200, 'A') + "\r\n");
        row("remove ignores letter case and blanks", B("[S]\r\na=1\r\n  GLOBALF = x \r\n; c\r\n"), true, "s",
            "globalf", "", B("[S]\r\na=1\r\n; c\r\n"));
        r("remove last line without line end", B("[S]\r\na=1\r\nb=2"), "b", B("[S]\r\na=1\r\n"));
        r("remove only the first duplicate", B("[S]\nk=1\nk=2\n"), "k", B("[S]\nk=2\n"));
        r("remove joins a lone CR with an LF", B("[S]\rk\n\nb=1\r\n"), "k", B("[S]\r\nb=1\r\n"));
        r("remove missing key", B("[S]\r\na=1"), "b", B("[S]\r\na=1"));
        r("remove in later duplicate section", B("[S]\r\n[S]\r\nb=1\r\n"), "b", B("[S]\r\n[S]\r\nb=1\r\n"));
    }

    void edit() {
        auto [before, remove, section, key, value, after] =
            test::fetch<QByteArray, bool, QString, QString, QString, QByteArray>();
        const QString path = m_dir.filePath(QStringLiteral("edit.dat"));
        QVERIFY(writeBytes(path, before));
        for (int i = 0; i < 6; ++i) // a cached copy, indexed, must not stand in for the file
            GetKeyValue(section, key, path);
        if (remove) {
            DeleteKey(section, key, path);
        } else {
            WriteKeyValue(section, key, value, path);
            QCOMPARE(GetKeyValue(section, key, path),
                     value.left(126).replace(QChar(0x3A9), QLatin1Char('?')));
        }
        QCOMPARE(readBytes(path), after);
        QCOMPARE(leftBeside(m_dir.path()), QStringList());
        // The index carried over by an edit is the index of the edited bytes.
        const IniDocument doc(before);
        const auto edited =
            remove ? doc.withoutKey(section, key) : doc.withValue(section, key, cp1252::encode(value));
        QVERIFY(edited.value_or(doc) == IniDocument(after));
    }

    void filesAndFolders() {
        const QString path = m_dir.filePath(QStringLiteral("created.dat"));
        DeleteKey("S", "k", path);
        QVERIFY(!FileExists(path));
        WriteKeyValue("Sales", "28F", "B2", path);
        QCOMPARE(readBytes(path), B("[Sales]\r\n28F=B2\r\n"));
        QVERIFY(FileExists(path) && FileExists(m_dir.path()) && FileExists(m_dir.path() + '/'));
        WriteKeyValue("Sales", "28F", "B2", m_dir.filePath(QStringLiteral("missing/Users.dat")));
        QVERIFY(!FileExists(m_dir.filePath(QStringLiteral("missing"))) && !FileExists(QString()));

        QFile::setPermissions(path, QFileDevice::ReadOwner);
        WriteKeyValue("Sales", "28F", "C3", path);
        WriteKeyValue("Sales", "j", "2", path);
        DeleteKey("Sales", "28F", path);
        QCOMPARE(readBytes(path), B("[Sales]\r\n28F=B2\r\n"));
    }

    void cp1252RoundTrip() {
        QByteArray block(32, '\0'); // where Windows-1252 differs from Latin-1, its five holes included
        std::iota(block.begin(), block.end(), '\x80');
        QCOMPARE(cp1252::decode(block).front() + cp1252::decode(block).back(), QString::fromUtf8("€Ÿ"));
        QCOMPARE(cp1252::encode(cp1252::decode(block)), block);
        QCOMPARE(cp1252::encode(QString::fromUtf8("a😀bΩ")), QByteArray("a?b?"));
    }

    void cacheNeverServesStaleContent() {
        // A young file rewritten in place keeps its inode, size and usually its timestamp tick: only
        // the content tells. An unchanged one is not parsed again.
        const QString young = m_dir.filePath(QStringLiteral("young.dat"));
        QVERIFY(writeBytes(young, "[S]\r\nk=-\r\n"));
        const qint64 parses = IniFileCache::instance().parses();
        for (char c = 'a'; c <= 'z'; ++c) {
            rewriteInPlaceKeepingTime(young, B("[S]\r\nk=") + c + "\r\n");
            QCOMPARE(GetKeyValue("S", "k", young), QString(QLatin1Char(c)));
            QCOMPARE(GetKeyValue("S", "k", young), QString(QLatin1Char(c)));
        }
        QCOMPARE(IniFileCache::instance().parses() - parses, 26);

        // Settled files are known by their identity alone, and any change of one is seen.
        QStringList paths;
        for (int i = 0; i < 4; ++i) {
            paths << m_dir.filePath(QString("settled%1.dat").arg(i));
            QVERIFY(writeBytes(paths.back(), "[S]\r\nk=a\r\n"));
        }
        QThread::msleep(IniFileCache::kSettleNs / 1'000'000 + 200);
        const auto readAll = [&](const char* value) {
            for (const QString& p : paths)
                QVERIFY2(GetKeyValue("S", "k", p) == value, qPrintable(p));
        };
        readAll("a");
        const qint64 reads = IniFileCache::instance().contentReads();
        readAll("a");
        QCOMPARE(IniFileCache::instance().contentReads(), reads);
        const B b = "[S]\r\nk=b\r\n";
        rewriteInPlaceKeepingTime(paths[0], b); // same size, old modification time
        QVERIFY(writeBytes(paths[1] + ".tmp", b) && QFile::remove(paths[1]) &&
                QFile::rename(paths[1] + ".tmp", paths[1]));
        QVERIFY(writeBytes(paths[2], b));
        WriteKeyValue("S", "k", "b", paths[3]);
        readAll("b");
    }

    void userRight_data() {
        columns<QString, QString, QString, QString>("id", "full", "init", "right");
        row("in neither", "D4", "A1C3 ", "B2 ", "2");
        row("in both reads full", "B2", "B2 ", "B2 ", "0");
        row("inside another ID", "1C", "A1C3 ", " ", "0");
        row("across a junction", "1C", " ", "A1C3 ", "1");
        row("letter case counts", "a1", "A1 ", "A1 ", "2");
        row("empty ID found in any list", "", " ", " ", "0");
        row("empty ID, empty lists", "", "", "", "2");
    }

    void userRight() {
        auto [id, full, init, right] = test::fetch<QString, QString, QString, QString>();
        QCOMPARE(au::Get_User_Right(id, full, init), right);
    }

    void scopeWrittenAndReadBack() {
        const QString path = m_dir.filePath("Users.dat");
        const B other = "; kept\r\n[Other]\r\n28F=Z9\r\n\r\n[Sales]\r\n281F=Z9\r\n";
        QVERIFY(writeBytes(path, other + "Global=old\r\n28=old\r\n28I=old\r\n"));
        au::writeScope("Sales", au::kGlobalScope, au::buildIdLists({{"A1", 0}, {"B2", 1}, {"C3", 0}}), path);
        au::writeScope("Sales", "28", au::buildIdLists({{"A1", 2}, {"B2", 0}, {"C3", 2}}), path);
        QCOMPARE(readBytes(path), other + "GlobalF=A1C3\r\nGlobalI=B2\r\n28F=B2\r\n");
        const auto global = au::readScope("Sales", au::kGlobalScope, path);
        QCOMPARE(global.full + '|' + global.initialize, QString("A1C3 |B2 "));
        QVERIFY(au::hasOwnSettings(au::readScope("Sales", "28", path)));

        // Every user None: neither key is left and the field follows the global settings again.
        au::writeScope("Sales", "28", au::buildIdLists({{"A1", 2}, {"B2", 2}}), path);
        QVERIFY(!au::hasOwnSettings(au::readScope("Sales", "28", path)));
        au::writeScope("Sales", "7", au::buildIdLists({{"A1", 1}}), path);
        QVERIFY(au::hasOwnSettings(au::readScope("Sales", "7", path)));
        au::removeFieldRights("Sales", "7", path);
        QCOMPARE(readBytes(path), other + "GlobalF=A1C3\r\nGlobalI=B2\r\n");
        QVERIFY(!au::hasOwnSettings({"  ", " "}));
        QCOMPARE(au::buildIdLists({{"A1", 2}, {"B2", 0}, {"C3", 2}}).none, QString("A1C3"));
        QCOMPARE(errorOf([] { au::buildIdLists({{"A1", 0}, {"B2", 3}}); }), 9); // no such right
        QCOMPARE(errorOf([] { au::buildIdLists({{"A1", -1}}); }), 9);
    }

    void fileName_data() {
        columns<QString, QString, QString, QString>("folder", "generic", "fieldId", "expected");
        row("backslash", "C:\\Tools\\Settings", "Sales", "28", "C:\\Tools\\Settings\\Sales28.dat");
        row("separator added even after one", "C:\\S\\", "Sales", "28", "C:\\S\\\\Sales28.dat");
        row("ID follows name directly", "/s", "Sales2", "8", "/s/Sales28.dat");
        row("negative ID", "/s", "Sales", "-5", "/s/Sales-5.dat");
        row("empty folder", "", "Sales", "28", "/Sales28.dat");
    }

    void fileName() {
        auto [folder, generic, fieldId, expected] = test::fetch<QString, QString, QString, QString>();
        const QChar separator = expected.at(folder.size());
        QCOMPARE(fsf::fileName(folder, generic, fieldId, separator), expected);
        QCOMPARE(fsf::fileName(folder, generic, fieldId.toInt(), separator), expected);
    }

    void writer_data() {
        columns<int, int, QString, QByteArray>("only", "edit", "list", "expected");
        row("empty list", 1, 0, "", kHead);
        row("empty pieces skipped", 1, 0, "Red\nGreen\n\nBlue\n", B(kHead + "Red\r\nGreen\r\nBlue\r\n"));
        row("only spaces trimmed", 1, 0, " Red \n\tTab\t\nCR\r\n   \n",
            B(kHead + "Red\r\n\tTab\t\r\nCR\r\r\n\r\n"));
        row("greyed state as is", 2, 1, "x", B("OnlyFromDropdown=2\r\nAllowEditing=1\r\nx\r\n"));
        row("Windows-1252", 1, 0, "Café € Ω", B(kHead + "Caf\xE9 \x80 ?\r\n"));
    }

    void writer() {
        auto [only, edit, list, expected] = test::fetch<int, int, QString, QByteArray>();
        const QString path = m_dir.filePath("Sales28.dat");
        fsf::write(path, only, edit, list);
        QCOMPARE(readBytes(path), expected);
    }

    void reader_data() {
        columns<QByteArray, QStringList, int>("file", "calls", "error");
        const auto r = [](const char* name, const B& file, const QStringList& calls, int error = 0) {
            row(name, file, calls, error);
        };
        const auto f = [](const char* only, const char* edit) -> B {
            return "OnlyFromDropdown=" + B(only) + "\r\nAllowEditing=" + edit + "\r\n";
        };
        r("first entry as read, later trimmed of spaces only",
          f("0", "1") + "  Red\r\n  Green  \r\n\tB\t\r\n   \r\n\r\nBlue",
          {"clear", "only=0", "edit=1", "list=  Red\nGreen\n\tB\t\nBlue"});
        r("CR alone ends a line", B("OnlyFromDropdown=1\rAllowEditing=1\rA\rB"),
          {"clear", "only=1", "edit=1", "list=A\nB"});
        r("lone LF stays in the line", f("1", "0") + "A\nB\r\n\nC\r\n",
          {"clear", "only=1", "edit=0", "list=A\nB\n\nC"});
        r("prefixes in exact case at the first character",
          B("onlyfromdropdown=1\r\n AllowEditing=1\r\nx\r\n"), {"clear", "list=x"});
        r("flag lines never list entries", B("Red\r\nGreen\r\nBlue\r\n"), {"clear", "list=Blue"});
        r("every prefix removed", f("OnlyFromDropdown=2", " 1 "), {"clear", "only=2", "edit=1"});
        r("Windows-1252", f("0", "0") + "Caf\xE9 \x80\r\n", {"clear", "only=0", "edit=0", "list=Café €"});
        r("missing file clears the flags", B(), {"clear", "only=0", "edit=0"});
        r("one line", B("OnlyFromDropdown=1\r\n"), {"clear", "only=1"}, 62);
        r("empty file", B(""), {"clear"}, 62);
        r("UTF-8 byte-order mark", "\xEF\xBB\xBF" + f("1", "1"), {"clear", "edit=1"});
        r("LF file is one line", B("OnlyFromDropdown=1\nAllowEditing=0\nRed\n"), {"clear"}, 13);
        r("flag not a number", f("1", "yes") + "Red\r\n", {"clear", "only=1"}, 13);
        r("state -1", f("0", "-1") + "Red\r\n", {"clear", "only=0"}, 380);
        r("beyond 16 bits", f("70000", "0"), {"clear"}, 6);
    }

    void reader() {
        auto [file, calls, error] = test::fetch<QByteArray, QStringList, int>();
        const QString path = m_dir.filePath("read28.dat");
        QVERIFY(file.isNull() || writeBytes(path, file)); // null: no file
        RecordingSink sink;
        QCOMPARE(errorOf([&] { fsf::read(path, sink); }), error);
        QCOMPARE(sink.calls, calls);
        QCOMPARE(QFile::remove(path), !file.isNull()); // closed again, even after an error
    }

    void writeFailuresKeepOldFile_data() {
        // error: the run-time error raised before anything is written (0: none); result: the write's
        columns<QString, int, int, int>("name", "lineFeeds", "error", "result");
        const int refused = -1;
        row("32,766 LFs written in full", "f.dat", 32766, 0, int(ReplaceResult::Replaced));
        row("32,767 LFs refused", "f.dat", 32767, 6, refused);
        row("read-only file", "ro.dat", 1, 0, int(ReplaceResult::ReadOnly));
        row("read-only file, Allow editing off, empty list", "ro.dat", 0, 0, int(ReplaceResult::ReadOnly));
        row("missing folder", "absent/f.dat", 1, 0, int(ReplaceResult::FolderMissing));
        row("a folder", "dir.dat", 1, 0, int(ReplaceResult::NotAFile));
    }

    void writeFailuresKeepOldFile() {
        auto [name, lineFeeds, error, result] = test::fetch<QString, int, int, int>();
        const QString path = m_dir.filePath(name);
        const B old = "OnlyFromDropdown=0\r\nAllowEditing=1\r\nold\r\n";
        QDir(m_dir.path()).mkdir("dir.dat");
        if (!name.contains('/') && name != "dir.dat") {
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            QVERIFY(writeBytes(path, old));
        }
        if (name == "ro.dat")
            QFile::setPermissions(path, QFileDevice::ReadOwner);
        int written = -1;
        QCOMPARE(
            errorOf([&] { written = int(fsf::save(path, 1, 0, QString("7\n").repeated(lineFeeds)).result); }),
            error);
        QCOMPARE(written, result);
        QCOMPARE(readBytes(path), result == int(ReplaceResult::Replaced)
                                      ? kHead + B("7\r\n").repeated(lineFeeds)
                                  : QFileInfo(path).isFile() ? old
                                                             : B("<missing>"));
        QCOMPARE(leftBeside(m_dir.path()), QStringList());
        RecordingSink sink; // nor can a folder be read, and it is not taken for a missing file
        const std::optional<ReadProblem> problem = fsf::read(m_dir.filePath("dir.dat"), sink);
        QVERIFY(problem && problem->status == FileContent::IsFolder);
        QCOMPARE(sink.calls, QStringList({"clear", "only=0", "edit=0"}));
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
