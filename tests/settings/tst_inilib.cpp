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

#include <functional>

using namespace qm;
using test::readBytes;
using test::writeBytes;
using namespace qm::IniLib;

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
    void writeCreatesFileButNoFolder();
    void unwritableFilesStayAsTheyWere();
    void longValueWrittenInFullReadCut();
    void fileExists_data();
    void fileExists();
    void cp1252RoundTrip();
    void youngFileRewrittenInPlaceIsReRead();
    void settledFileChangedAnyWayIsReRead();

private:
    QTemporaryDir m_dir;
};

void TestIniLib::read_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const QByteArray s = "[Sales]\r\n";
    QTest::newRow("plain") << s + "GlobalF=A1C3\r\n"
                           << "Sales"
                           << "GlobalF"
                           << "A1C3";
    QTest::newRow("letter case of names") << QByteArray("[sALES]\r\nglobalf=x\r\n") << "Sales"
                                          << "GLOBALF"
                                          << "x";
    QTest::newRow("blanks around names and values")
        << QByteArray("  [ Sales ]  \r\n \t GlobalF \t=  A1 B2 \t\r\n") << "Sales"
        << "GlobalF"
        << "A1 B2";
    QTest::newRow("blanks around asked names") << s + "GlobalF=x\r\n"
                                               << " Sales\t"
                                               << " GlobalF "
                                               << "x";
    QTest::newRow("double quotes") << s + "k=\"  a b  \"\r\n"
                                   << "Sales"
                                   << "k"
                                   << "  a b  ";
    QTest::newRow("single quotes") << s + "k='x'\r\n"
                                   << "Sales"
                                   << "k"
                                   << "x";
    QTest::newRow("quotes after blanks") << s + "k=  \"x\"  \r\n"
                                         << "Sales"
                                         << "k"
                                         << "x";
    QTest::newRow("mismatched quotes") << s + "k=\"x'\r\n"
                                       << "Sales"
                                       << "k"
                                       << "\"x'";
    QTest::newRow("one quote alone") << s + "k=\"\r\n"
                                     << "Sales"
                                     << "k"
                                     << "\"";
    QTest::newRow("only one pair removed") << s + "k=\"\"x\"\"\r\n"
                                           << "Sales"
                                           << "k"
                                           << "\"x\"";
    QTest::newRow("LF line ends") << QByteArray("[T]\na=1\n[Sales]\nk=v\n") << "Sales"
                                  << "k"
                                  << "v";
    QTest::newRow("CR line ends") << QByteArray("[T]\ra=1\r[Sales]\rk=v\r") << "Sales"
                                  << "k"
                                  << "v";
    QTest::newRow("LF CR is two line ends") << QByteArray("[Sales]\n\rk=v") << "Sales"
                                            << "k"
                                            << "v";
    QTest::newRow("no line end at the end") << s + "k=v"
                                            << "Sales"
                                            << "k"
                                            << "v";
    QTest::newRow("first section wins") << QByteArray("[S]\r\na=1\r\n[s]\r\na=2\r\nb=3\r\n") << "S"
                                        << "a"
                                        << "1";
    QTest::newRow("later duplicate section unseen")
        << QByteArray("[S]\r\na=1\r\n[T]\r\n[S]\r\nb=3\r\n") << "S"
        << "b"
        << "";
    QTest::newRow("first key wins") << s + "k=1\r\nK=2\r\n"
                                    << "Sales"
                                    << "k"
                                    << "1";
    QTest::newRow("key of another section") << QByteArray("[T]\r\nk=1\r\n[Sales]\r\n") << "Sales"
                                            << "k"
                                            << "";
    QTest::newRow("key before any section") << QByteArray("k=1\r\n[Sales]\r\nj=2\r\n") << "Sales"
                                            << "k"
                                            << "";
    QTest::newRow("comment lines") << QByteArray("; k=5\r\n[Sales]\r\n;k=9\r\n# k=8\r\nk=1\r\n") << "Sales"
                                   << "k"
                                   << "1";
    QTest::newRow("semicolon in value kept") << s + "k=a ; b\r\n"
                                             << "Sales"
                                             << "k"
                                             << "a ; b";
    QTest::newRow("empty value") << s + "k=\r\n"
                                 << "Sales"
                                 << "k"
                                 << "";
    QTest::newRow("key without equals") << s + "k\r\n"
                                        << "Sales"
                                        << "k"
                                        << "";
    QTest::newRow("equals in value") << s + "k=a=b\r\n"
                                     << "Sales"
                                     << "k"
                                     << "a=b";
    QTest::newRow("text after the bracket") << QByteArray("[Sales] ; note\r\nk=v\r\n") << "Sales"
                                            << "k"
                                            << "v";
    QTest::newRow("last bracket closes") << QByteArray("[a]b]\r\nk=v\r\n") << "a]b"
                                         << "k"
                                         << "v";
    QTest::newRow("unclosed bracket is a key line") << QByteArray("[Sales]\r\n[Other\r\nk=v\r\n") << "Sales"
                                                    << "k"
                                                    << "v";
    QTest::newRow("blank lines and spacing")
        << QByteArray("\r\n\r\n  \r\n[Sales]\r\n\r\n\t\r\n  k = v\r\n\r\n") << "Sales"
        << "k"
        << "v";
    QTest::newRow("126 characters whole") << s + "k=" + QByteArray(126, 'x') << "Sales"
                                          << "k" << QString(126, QLatin1Char('x'));
    QTest::newRow("127 characters cut") << s + "k=" + QByteArray(125, 'x') + "yz"
                                        << "Sales"
                                        << "k" << QString(125, QLatin1Char('x')) + "y";
    QTest::newRow("quoted long value cut after unquoting") << s + "k=\"" + QByteArray(130, 'q') + "\""
                                                           << "Sales"
                                                           << "k" << QString(126, QLatin1Char('q'));
    QTest::newRow("Windows-1252 names fold") << QByteArray("[M\xFCller]\r\nk=\xE9\x80\r\n")
                                             << QString::fromUtf8("MÜLLER") << "K" << QString::fromUtf8("é€");
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
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("remove");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("value replaced in place, all else kept")
        << QByteArray("; top\r\n[A]\r\nx = old  \r\n\r\n[Sales]\r\n  Key = old ; c \n other=1\r\n") << false
        << "sales"
        << "KEY"
        << "new" << QByteArray("; top\r\n[A]\r\nx = old  \r\n\r\n[Sales]\r\n  Key = new\n other=1\r\n");
    QTest::newRow("key without equals gets one") << QByteArray("[S]\r\nk  \r\n") << false << "S"
                                                 << "k"
                                                 << "v" << QByteArray("[S]\r\nk=v\r\n");
    QTest::newRow("CR-only line ends kept") << QByteArray("[S]\ra=1\rb=2\r") << false << "S"
                                            << "a"
                                            << "9" << QByteArray("[S]\ra=9\rb=2\r");
    QTest::newRow("first of duplicate keys") << QByteArray("[S]\r\nk=1\r\nk=2\r\n") << false << "S"
                                             << "k"
                                             << "3" << QByteArray("[S]\r\nk=3\r\nk=2\r\n");
    QTest::newRow("new key after last line, before blank lines")
        << QByteArray("[S]\r\na=1\r\n\r\n[T]\r\nb=2\r\n") << false << "S"
        << "c"
        << "3" << QByteArray("[S]\r\na=1\r\nc=3\r\n\r\n[T]\r\nb=2\r\n");
    QTest::newRow("new key in empty section") << QByteArray("[S]\r\n\r\n[T]") << false << "S"
                                              << "c"
                                              << "3" << QByteArray("[S]\r\nc=3\r\n\r\n[T]");
    QTest::newRow("new key, section at end without line end") << QByteArray("[S]\r\na=1") << false << "S"
                                                              << "c"
                                                              << "3" << QByteArray("[S]\r\na=1\r\nc=3\r\n");
    QTest::newRow("new key under a section line ending the file")
        << QByteArray("[T]\r\n[S]") << false << "S"
        << "c"
        << "3" << QByteArray("[T]\r\n[S]\r\nc=3\r\n");
    QTest::newRow("new key after lone CR") << QByteArray("[S]\ra=1\r[T]\r") << false << "S"
                                           << "c"
                                           << "3" << QByteArray("[S]\ra=1\rc=3\r\n[T]\r");
    QTest::newRow("new key goes to the first duplicate section")
        << QByteArray("[S]\r\na=1\r\n[S]\r\nc=9\r\n") << false << "S"
        << "c"
        << "3" << QByteArray("[S]\r\na=1\r\nc=3\r\n[S]\r\nc=9\r\n");
    QTest::newRow("new section appended") << QByteArray("[T]\r\nb=2\r\n\r\n") << false << " S "
                                          << " c "
                                          << "3" << QByteArray("[T]\r\nb=2\r\n\r\n[S]\r\nc=3\r\n");
    QTest::newRow("new section after last line without line end")
        << QByteArray("[T]\nb=2") << false << "S"
        << "c"
        << "3" << QByteArray("[T]\nb=2\r\n[S]\r\nc=3\r\n");
    QTest::newRow("new section after a section line ending the file")
        << QByteArray("[T]") << false << "S"
        << "c"
        << "3" << QByteArray("[T]\r\n[S]\r\nc=3\r\n");
    QTest::newRow("new section in empty file") << QByteArray() << false << "S"
                                               << "c"
                                               << "3" << QByteArray("[S]\r\nc=3\r\n");
    QTest::newRow("letter case in the file kept")
        << QByteArray("[sales]\r\nGLOBALF=x\r\n") << false << "Sales"
        << "GlobalF"
        << "y" << QByteArray("[sales]\r\nGLOBALF=y\r\n");
    QTest::newRow("Windows-1252 value, unmappable as ?")
        << QByteArray("[S]\r\n") << false << "S"
        << "k" << QString::fromUtf8("€é Ω") << QByteArray("[S]\r\nk=\x80\xE9 ?\r\n");
    QTest::newRow("remove") << QByteArray("[S]\r\na=1\r\nb=2\r\n") << true << "S"
                            << "a"
                            << "" << QByteArray("[S]\r\nb=2\r\n");
    QTest::newRow("remove last line without line end") << QByteArray("[S]\r\na=1\r\nb=2") << true << "S"
                                                       << "b"
                                                       << "" << QByteArray("[S]\r\na=1\r\n");
    QTest::newRow("remove ignores letter case and blanks")
        << QByteArray("[S]\r\n  GLOBALF = x \r\n; c\r\n") << true << "s"
        << "globalf"
        << "" << QByteArray("[S]\r\n; c\r\n");
    QTest::newRow("remove only the first duplicate") << QByteArray("[S]\nk=1\nk=2\n") << true << "S"
                                                     << "k"
                                                     << "" << QByteArray("[S]\nk=2\n");
    QTest::newRow("remove joins a lone CR with an LF") << QByteArray("[S]\rk\n\nb=1\r\n") << true << "S"
                                                       << "k"
                                                       << "" << QByteArray("[S]\r\nb=1\r\n");
    QTest::newRow("remove missing key") << QByteArray("[S]\r\na=1") << true << "S"
                                        << "b"
                                        << "" << QByteArray("[S]\r\na=1");
    QTest::newRow("remove from missing section") << QByteArray("[T]\r\nb=1\r\n") << true << "S"
                                                 << "b"
                                                 << "" << QByteArray("[T]\r\nb=1\r\n");
    QTest::newRow("remove key of later duplicate section")
        << QByteArray("[S]\r\n[S]\r\nb=1\r\n") << true << "S"
        << "b"
        << "" << QByteArray("[S]\r\n[S]\r\nb=1\r\n");
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

void TestIniLib::writeCreatesFileButNoFolder() {
    const QString path = m_dir.filePath(QStringLiteral("created.dat"));
    DeleteKey("S", "k", path);
    QVERIFY(!QFile::exists(path));
    WriteKeyValue("Sales", "28F", "B2", path);
    QCOMPARE(readBytes(path), QByteArray("[Sales]\r\n28F=B2\r\n"));
    const QString inMissing = m_dir.filePath(QStringLiteral("missing/Users.dat"));
    WriteKeyValue("Sales", "28F", "B2", inMissing);
    QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("missing"))));
    QCOMPARE(GetKeyValue("Sales", "28F", inMissing), QString());
}

void TestIniLib::unwritableFilesStayAsTheyWere() {
    const QString path = m_dir.filePath(QStringLiteral("readonly.dat"));
    QVERIFY(writeBytes(path, "[S]\r\nk=1\r\n"));
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    WriteKeyValue("S", "k", "2", path);
    WriteKeyValue("S", "j", "2", path);
    DeleteKey("S", "k", path);
    QCOMPARE(readBytes(path), QByteArray("[S]\r\nk=1\r\n"));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    if (::geteuid() == 0) {
        QSKIP("folder permissions do not bind root");
    }
    // A writable file in a folder that may not be written to cannot be replaced whole.
    QDir(m_dir.path()).mkdir("locked");
    const QString inLocked = m_dir.filePath(QStringLiteral("locked/Users.dat"));
    QVERIFY(writeBytes(inLocked, "[S]\r\nk=1\r\n"));
    QFile::setPermissions(m_dir.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    WriteKeyValue("S", "k", "2", inLocked);
    QFile::setPermissions(m_dir.filePath("locked"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(readBytes(inLocked), QByteArray("[S]\r\nk=1\r\n"));
    QCOMPARE(QDir(m_dir.filePath("locked")).entryList(QDir::Files), QStringList{"Users.dat"});
}

void TestIniLib::longValueWrittenInFullReadCut() {
    const QString path = m_dir.filePath(QStringLiteral("long.dat"));
    QFile::remove(path);
    const QString ids = QString(200, QLatin1Char('A'));
    WriteKeyValue("Sales", "GlobalF", ids, path);
    QCOMPARE(readBytes(path), "[Sales]\r\nGlobalF=" + ids.toLatin1() + "\r\n");
    QCOMPARE(GetKeyValue("Sales", "GlobalF", path), ids.left(126));
}

void TestIniLib::fileExists_data() {
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("exists");
    QTest::newRow("file") << "there.dat" << true;
    QTest::newRow("folder") << "sub" << true;
    QTest::newRow("folder with separator") << "sub/" << true;
    QTest::newRow("missing file") << "absent.dat" << false;
    QTest::newRow("in missing folder") << "nowhere/there.dat" << false;
}

void TestIniLib::fileExists() {
    QFETCH(QString, relative);
    QFETCH(bool, exists);
    QVERIFY(writeBytes(m_dir.filePath("there.dat"), "x"));
    QDir(m_dir.path()).mkpath("sub");
    QCOMPARE(FileExists(m_dir.filePath(relative)), exists);
    QVERIFY(!FileExists(QString()));
}

void TestIniLib::cp1252RoundTrip() {
    QByteArray all;
    for (int b = 0; b < 256; ++b) {
        all.append(char(b));
    }
    const QString text = cp1252::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(cp1252::encode(text), all);
    QCOMPARE(text.at(0x80), QChar(0x20AC));
    QCOMPARE(text.at(0x9F), QChar(0x0178));
    QCOMPARE(cp1252::encode(QString::fromUtf8("a😀bΩ")), QByteArray("a?b?"));
}

void TestIniLib::youngFileRewrittenInPlaceIsReRead() {
    // Same inode, same size, usually the same timestamp tick: only the content tells.
    const QString path = m_dir.filePath(QStringLiteral("young.dat"));
    QVERIFY(writeBytes(path, "[S]\r\nk=a\r\n"));
    const qint64 parsesBefore = IniFileCache::instance().parses();
    for (int i = 0; i < 50; ++i) {
        const QByteArray v(1, char('a' + i % 26));
        rewriteInPlaceKeepingTime(path, "[S]\r\nk=" + v + "\r\n");
        QCOMPARE(GetKeyValue("S", "k", path), QString::fromLatin1(v));
        QCOMPARE(GetKeyValue("S", "k", path), QString::fromLatin1(v)); // unchanged: no new parse
    }
    QCOMPARE(IniFileCache::instance().parses() - parsesBefore, 50);
}

void TestIniLib::settledFileChangedAnyWayIsReRead() {
    struct Change {
        const char* name;
        std::function<void(const QString&)> apply;
    };
    const std::vector<Change> changes = {
        {"in place, same size, old time",
         [](const QString& p) { rewriteInPlaceKeepingTime(p, "[S]\r\nk=b\r\n"); }},
        {"replaced by rename",
         [](const QString& p) {
             QVERIFY(writeBytes(p + ".tmp", "[S]\r\nk=b\r\n"));
             QFile::remove(p);
             QFile::rename(p + ".tmp", p);
         }},
        {"truncated and written", [](const QString& p) { writeBytes(p, "[S]\r\nk=b\r\n"); }},
        {"written through IniLib", [](const QString& p) { WriteKeyValue("S", "k", "b", p); }},
    };
    QStringList paths;
    for (const auto& c : changes) {
        paths << m_dir.filePath(QString::fromLatin1(c.name));
        QVERIFY(writeBytes(paths.back(), "[S]\r\nk=a\r\n"));
    }
    QThread::msleep(IniFileCache::kSettleNs / 1'000'000 + 200);
    for (const auto& p : paths) {
        QCOMPARE(GetKeyValue("S", "k", p), QString("a"));
    }
    const qint64 reads = IniFileCache::instance().contentReads();
    for (const auto& p : paths) {
        QCOMPARE(GetKeyValue("S", "k", p), QString("a"));
    }
    QCOMPARE(IniFileCache::instance().contentReads(), reads); // settled: known by its identity alone
    for (std::size_t i = 0; i < changes.size(); ++i) {
        changes[i].apply(paths[qsizetype(i)]);
        QVERIFY2(GetKeyValue("S", "k", paths[qsizetype(i)]) == "b", changes[i].name);
    }
}

QTEST_GUILESS_MAIN(TestIniLib)
#include "tst_inilib.moc"
