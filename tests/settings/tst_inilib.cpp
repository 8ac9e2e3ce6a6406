// Reading, writing and removing keys of hand-written and tool-written INI files.

#include "TestFiles.h"
#include "settings/Cp1252.h"
#include "settings/IniDocument.h"
#include "settings/IniFileCache.h"
#include "settings/IniLib.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <numeric>

using namespace qm;
using namespace qm::IniLib;
using namespace qm::test;
using B = QByteArray;

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

} // namespace

class TestIniLib : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { IniFileCache::instance().clear(); }
    void read_data();
    void read();
    void edit_data();
    void edit();
    void filesAndFolders();
    void cp1252RoundTrip();
    void cacheNeverServesStaleContent();

private:
    QTemporaryDir m_dir;
};

void TestIniLib::read_data() {
    columns<QByteArray, QString, QString, QString>("file", "section", "key", "expected");
    const auto k = [](const char* name, const B& file, const QString& expected) {
        row(name, file, "Sales", "k", expected);
    };
    const B s = "[Sales]\r\n";
    row("letter case, blanks around asked names", B("[sALES]\r\nglobalf=x\r\n"), " Sales\t", " GLOBALF ",
        "x");
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
    k("comment lines, semicolon in value", B("; k=5\r\n[Sales]\r\n;k=9\r\n# k=8\r\nk=a ; b\r\n"), "a ; b");
    k("empty value is missing", s + "k=\r\n", "");
    k("key without equals", s + "k\r\n", "");
    k("equals in value", s + "k=a=b\r\n", "a=b");
    row("last bracket closes", B("[a]b]\r\nk=v\r\n"), "a]b", "k", "v");
    k("unclosed bracket is a key line", B("[Sales]\r\n[Other\r\nk=v\r\n"), "v");
    k("126 characters whole", s + "k=" + B(126, 'x'), QString(126, QLatin1Char('x')));
    k("127 characters cut", s + "k=" + B(125, 'x') + "yz", QString(125, QLatin1Char('x')) + "y");
    k("quoted long value cut after unquoting", s + "k=\"" + B(130, 'q') + "\"",
      QString(126, QLatin1Char('q')));
    row("Windows-1252 names fold", B("[M\xFCller]\r\nk=\xE9\x80\r\n"), QString::fromUtf8("MÜLLER"), "K",
        QString::fromUtf8("é€"));
}

void TestIniLib::read() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const QString path = m_dir.filePath(QStringLiteral("read.dat"));
    QVERIFY(writeBytes(path, file));
    QCOMPARE(GetKeyValue(section, key, path), expected);
}

void TestIniLib::edit_data() {
    columns<QByteArray, bool, QString, QString, QString, QByteArray>("before", "remove", "section", "key",
                                                                     "value", "after");
    const auto w = [](const char* name, const B& before, const QString& key, const QString& value,
                      const B& after) { row(name, before, false, "S", key, value, after); };
    const auto r = [](const char* name, const B& before, const QString& key, const B& after) {
        row(name, before, true, "S", key, "", after);
    };
    row("value replaced in place, letter case and all else kept",
        B("; top\r\n[A]\r\nx = old  \r\n\r\n[Sales]\r\n  Key = old ; c \n other=1\r\n"), false, "sales",
        "KEY", "new", B("; top\r\n[A]\r\nx = old  \r\n\r\n[Sales]\r\n  Key = new\n other=1\r\n"));
    w("key without equals gets one", B("[S]\r\nk  \r\n"), "k", "v", B("[S]\r\nk=v\r\n"));
    w("CR-only line ends kept", B("[S]\ra=1\rb=2\r"), "a", "9", B("[S]\ra=9\rb=2\r"));
    w("first of duplicate keys", B("[S]\r\nk=1\r\nk=2\r\n"), "k", "3", B("[S]\r\nk=3\r\nk=2\r\n"));
    w("new key after last line, before blank lines", B("[S]\r\na=1\r\n\r\n[T]\r\nb=2\r\n"), "c", "3",
      B("[S]\r\na=1\r\nc=3\r\n\r\n[T]\r\nb=2\r\n"));
    w("new key in empty section", B("[S]\r\n\r\n[T]"), "c", "3", B("[S]\r\nc=3\r\n\r\n[T]"));
    w("new key, section at end without line end", B("[S]\r\na=1"), "c", "3", B("[S]\r\na=1\r\nc=3\r\n"));
    w("new key under a section line ending the file", B("[T]\r\n[S]"), "c", "3", B("[T]\r\n[S]\r\nc=3\r\n"));
    w("new key after lone CR", B("[S]\ra=1\r[T]\r"), "c", "3", B("[S]\ra=1\rc=3\r\n[T]\r"));
    w("new key goes to the first duplicate section", B("[S]\r\na=1\r\n[S]\r\nc=9\r\n"), "c", "3",
      B("[S]\r\na=1\r\nc=3\r\n[S]\r\nc=9\r\n"));
    row("new section appended", B("[T]\r\nb=2\r\n\r\n"), false, " S ", " c ", "3",
        B("[T]\r\nb=2\r\n\r\n[S]\r\nc=3\r\n"));
    w("new section after last line without line end", B("[T]\nb=2"), "c", "3",
      B("[T]\nb=2\r\n[S]\r\nc=3\r\n"));
    w("new section in empty file", B(), "c", "3", B("[S]\r\nc=3\r\n"));
    w("Windows-1252 value, unmappable as ?", B("[S]\r\n"), "k", QString::fromUtf8("€é Ω"),
      B("[S]\r\nk=\x80\xE9 ?\r\n"));
    w("long value written in full", B("[S]\r\n"), "k", QString(200, QLatin1Char('A')),
      "[S]\r\nk=" + B(200, 'A') + "\r\n");
    row("remove ignores letter case and blanks", B("[S]\r\na=1\r\n  GLOBALF = x \r\n; c\r\n"), true, "s",
        "globalf", "", B("[S]\r\na=1\r\n; c\r\n"));
    r("remove last line without line end", B("[S]\r\na=1\r\nb=2"), "b", B("[S]\r\na=1\r\n"));
    r("remove only the first duplicate", B("[S]\nk=1\nk=2\n"), "k", B("[S]\nk=2\n"));
    r("remove joins a lone CR with an LF", B("[S]\rk\n\nb=1\r\n"), "k", B("[S]\r\nb=1\r\n"));
    r("remove missing key", B("[S]\r\na=1"), "b", B("[S]\r\na=1"));
    r("remove from missing section", B("[T]\r\nb=1\r\n"), "b", B("[T]\r\nb=1\r\n"));
    r("remove key of later duplicate section", B("[S]\r\n[S]\r\nb=1\r\n"), "b", B("[S]\r\n[S]\r\nb=1\r\n"));
}

void TestIniLib::edit() {
    QFETCH(QByteArray, before);
    QFETCH(bool, remove);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    const QString path = m_dir.filePath(QStringLiteral("edit.dat"));
    QVERIFY(writeBytes(path, before));
    GetKeyValue(section, key, path); // a cached copy must not stand in for the file
    if (remove) {
        DeleteKey(section, key, path);
    } else {
        WriteKeyValue(section, key, value, path);
        QCOMPARE(GetKeyValue(section, key, path), value.left(126).replace(QChar(0x3A9), QLatin1Char('?')));
    }
    QCOMPARE(readBytes(path), after);
    QVERIFY(!QFile::exists(path + ".new"));
    // The index carried over by an edit is the index of the edited bytes.
    const IniDocument doc(before);
    const auto edited =
        remove ? doc.withoutKey(section, key) : doc.withValue(section, key, cp1252::encode(value));
    QVERIFY(edited.value_or(doc) == IniDocument(after));
}

void TestIniLib::filesAndFolders() {
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
    if (::geteuid() == 0) {
        QSKIP("folder permissions do not bind root");
    }
    // A writable file in a folder that may not be written to cannot be replaced whole.
    const QString locked = m_dir.filePath("locked"), inLocked = locked + "/Users.dat";
    QVERIFY(QDir().mkdir(locked) && writeBytes(inLocked, "[S]\r\nk=1\r\n"));
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    WriteKeyValue("S", "k", "2", inLocked);
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(QDir(locked).entryList(QDir::Files), QStringList{"Users.dat"});
    QCOMPARE(readBytes(inLocked), B("[S]\r\nk=1\r\n"));
}

void TestIniLib::cp1252RoundTrip() {
    QByteArray all(256, '\0');
    std::iota(all.begin(), all.end(), '\0');
    const QString text = cp1252::decode(all);
    QCOMPARE(cp1252::encode(text), all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(text.at(0x80), QChar(0x20AC));
    QCOMPARE(text.at(0x9F), QChar(0x0178));
    QCOMPARE(cp1252::encode(QString::fromUtf8("a😀bΩ")), QByteArray("a?b?"));
}

void TestIniLib::cacheNeverServesStaleContent() {
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
        for (const QString& p : paths) {
            QVERIFY2(GetKeyValue("S", "k", p) == value, qPrintable(p));
        }
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

QTEST_GUILESS_MAIN(TestIniLib)
#include "tst_inilib.moc"
