// The authorized-users file's ID lists and rights, and the per-field settings file.

#include "TestFiles.h"
#include "platform/VbError.h"
#include "settings/AuthorizedUsers.h"
#include "settings/FieldSettingsFile.h"
#include "settings/IniLib.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace qm;
using namespace qm::test;
using B = QByteArray;
namespace au = qm::AuthorizedUsers;
namespace fsf = qm::FieldSettingsFile;

namespace {

// Records every call of a read, in order.
struct RecordingSink : fsf::Sink {
    QStringList calls;
    void clearListText() override { calls << "clear"; }
    void setOnlyFromDropdown(int s) override { calls << QString("only=%1").arg(s); }
    void setAllowEditing(int s) override { calls << QString("edit=%1").arg(s); }
    void setListText(const QString& t) override { calls << "list=" + t; }
};

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

const B kHead = "OnlyFromDropdown=1\r\nAllowEditing=0\r\n";

} // namespace

class TestSettingsFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void userRight_data();
    void userRight();
    void ownSettings_data();
    void ownSettings();
    void idListsKeepOrderAndRefuseBadCodes();
    void scopeWrittenAndReadBack();
    void fileName_data();
    void fileName();
    void writer_data();
    void writer();
    void reader_data();
    void reader();
    void missingFileClearsFlags();
    void writeFailuresKeepOldFile_data();
    void writeFailuresKeepOldFile();
    void removeBeforeSave_data();
    void removeBeforeSave();

private:
    QTemporaryDir m_dir;
};

void TestSettingsFiles::userRight_data() {
    columns<QString, QString, QString, QString>("id", "full", "init", "right");
    row("in neither", "D4", "A1C3 ", "B2 ", "2");
    row("in both reads full", "B2", "B2 ", "B2 ", "0");
    row("inside another ID", "1C", "A1C3 ", " ", "0");
    row("across a junction", "1C", " ", "A1C3 ", "1");
    row("letter case counts", "a1", "A1 ", "A1 ", "2");
    row("empty ID found in any list", "", " ", " ", "0");
    row("empty ID, empty lists", "", "", "", "2");
}

void TestSettingsFiles::userRight() {
    QFETCH(QString, id);
    QFETCH(QString, full);
    QFETCH(QString, init);
    QFETCH(QString, right);
    QCOMPARE(au::Get_User_Right(id, full, init), right);
}

void TestSettingsFiles::ownSettings_data() {
    columns<QByteArray, bool>("file", "own");
    row("full only", B("[Sales]\r\n28F=A1\r\n"), true);
    row("initialize only", B("[Sales]\r\n28I=B2\r\n"), true);
    row("blanks only", B("[Sales]\r\n28F=\"  \"\r\n28I=\" \"\r\n"), false);
    row("other keys, field or database",
        B("[Sales]\r\nGlobalF=A1\r\n281F=A1\r\n28=A1\r\n[Sales2]\r\n28F=A1\r\n"), false);
}

void TestSettingsFiles::ownSettings() {
    QFETCH(QByteArray, file);
    QFETCH(bool, own);
    const QString path = m_dir.filePath("own.dat");
    QVERIFY(writeBytes(path, file));
    const auto lists = au::readScope("Sales", "28", path);
    QVERIFY(lists.full.endsWith(' ') && lists.initialize.endsWith(' '));
    QCOMPARE(au::hasOwnSettings(lists), own);
}

void TestSettingsFiles::idListsKeepOrderAndRefuseBadCodes() {
    const auto lists = au::buildIdLists({{"A1", 0}, {"B2", 1}, {"C3", 0}, {"D4", 2}, {"E5", 1}});
    QCOMPARE(lists.full, QString("A1C3"));
    QCOMPARE(lists.initialize, QString("B2E5"));
    QCOMPARE(lists.none, QString("D4"));
    QCOMPARE(errorOf([] { au::buildIdLists({{"A1", 0}, {"B2", 3}}); }), 9);
    QCOMPARE(errorOf([] { au::buildIdLists({{"A1", -1}}); }), 9);
}

void TestSettingsFiles::scopeWrittenAndReadBack() {
    const QString path = m_dir.filePath("Users.dat");
    QVERIFY(writeBytes(
        path, "; kept\r\n[Other]\r\nGlobalF=Z9\r\n\r\n[Sales]\r\nGlobal=old\r\n28=old\r\n28I=old\r\n"));
    au::writeScope("Sales", au::kGlobalScope, au::buildIdLists({{"A1", 0}, {"B2", 1}, {"C3", 0}}), path);
    au::writeScope("Sales", "28", au::buildIdLists({{"A1", 2}, {"B2", 0}, {"C3", 2}}), path);
    QCOMPARE(readBytes(path), B("; kept\r\n[Other]\r\nGlobalF=Z9\r\n\r\n[Sales]\r\nGlobalF=A1C3\r\n"
                                "GlobalI=B2\r\n28F=B2\r\n"));
    const auto global = au::readScope("Sales", au::kGlobalScope, path);
    QCOMPARE(au::Get_User_Right("C3", global.full, global.initialize), QString("0"));
    QCOMPARE(au::Get_User_Right("B2", global.full, global.initialize), QString("1"));

    // Every user None: neither key is left and the field follows the global settings again.
    au::writeScope("Sales", "28", au::buildIdLists({{"A1", 2}, {"B2", 2}}), path);
    QVERIFY(!au::hasOwnSettings(au::readScope("Sales", "28", path)));
    au::writeScope("Sales", "7", au::buildIdLists({{"A1", 1}}), path);
    au::removeFieldRights("Sales", "7", path);
    QCOMPARE(readBytes(path),
             B("; kept\r\n[Other]\r\nGlobalF=Z9\r\n\r\n[Sales]\r\nGlobalF=A1C3\r\nGlobalI=B2\r\n"));
}

void TestSettingsFiles::fileName_data() {
    columns<QString, QString, QString, QString, QString>("folder", "generic", "fieldId", "separator",
                                                         "expected");
    row("backslash", "C:\\Tools\\Settings", "Sales", "28", "\\", "C:\\Tools\\Settings\\Sales28.dat");
    row("separator added even after one", "C:\\S\\", "Sales", "28", "\\", "C:\\S\\\\Sales28.dat");
    row("ID follows name directly", "/s", "Sales2", "8", "/", "/s/Sales28.dat");
    row("negative ID", "/s", "Sales", "-5", "/", "/s/Sales-5.dat");
    row("empty folder", "", "Sales", "28", "/", "/Sales28.dat");
}

void TestSettingsFiles::fileName() {
    QFETCH(QString, folder);
    QFETCH(QString, generic);
    QFETCH(QString, fieldId);
    QFETCH(QString, separator);
    QFETCH(QString, expected);
    QCOMPARE(fsf::fileName(folder, generic, fieldId, separator.at(0)), expected);
    QCOMPARE(fsf::fileName(folder, generic, fieldId.toInt(), separator.at(0)), expected);
}

void TestSettingsFiles::writer_data() {
    columns<int, int, QString, QByteArray>("only", "edit", "list", "expected");
    row("empty list", 1, 0, "", kHead);
    row("empty pieces skipped", 1, 0, "Red\nGreen\n\nBlue\n", kHead + "Red\r\nGreen\r\nBlue\r\n");
    row("only spaces trimmed", 1, 0, " Red \n\tTab\t\nCR\r\n   \n", kHead + "Red\r\n\tTab\t\r\nCR\r\r\n\r\n");
    row("greyed state as is", 2, 1, "x", B("OnlyFromDropdown=2\r\nAllowEditing=1\r\nx\r\n"));
    row("Windows-1252", 1, 0, QString::fromUtf8("Café €5 Ω"),
        kHead + "Caf\xE9 \x80"
                "5 ?\r\n");
}

void TestSettingsFiles::writer() {
    QFETCH(int, only);
    QFETCH(int, edit);
    QFETCH(QString, list);
    QFETCH(QByteArray, expected);
    const QString path = m_dir.filePath("Sales28.dat");
    fsf::write(path, only, edit, list);
    QCOMPARE(readBytes(path), expected);
    fsf::FieldSettings back;
    fsf::read(path, back);
    QCOMPARE(back.onlyFromDropdown, only);
    QCOMPARE(back.allowEditing, edit);
}

void TestSettingsFiles::reader_data() {
    columns<QByteArray, QStringList, int>("file", "calls", "error");
    const auto r = [](const char* name, const B& file, const QStringList& calls, int error = 0) {
        row(name, file, calls, error);
    };
    r("first entry as read, later trimmed of spaces only",
      B("OnlyFromDropdown=0\r\nAllowEditing=1\r\n  Red\r\n  Green  \r\n\tB\t\r\n   \r\n\r\nBlue"),
      {"clear", "only=0", "edit=1", "list=  Red\nGreen\n\tB\t\nBlue"});
    r("CR alone ends a line", B("OnlyFromDropdown=1\rAllowEditing=1\rA\rB"),
      {"clear", "only=1", "edit=1", "list=A\nB"});
    r("lone LF stays in the line", B("OnlyFromDropdown=1\r\nAllowEditing=0\r\nA\nB\r\n\nC\r\n"),
      {"clear", "only=1", "edit=0", "list=A\nB\n\nC"});
    r("prefixes in exact case at the first character", B("onlyfromdropdown=1\r\n AllowEditing=1\r\nx\r\n"),
      {"clear", "list=x"});
    r("flag lines never list entries", B("Red\r\nGreen\r\nBlue\r\n"), {"clear", "list=Blue"});
    r("every prefix removed", B("OnlyFromDropdown=OnlyFromDropdown=2\r\nAllowEditing= 1 \r\n"),
      {"clear", "only=2", "edit=1"});
    r("Windows-1252", B("OnlyFromDropdown=0\r\nAllowEditing=0\r\nCaf\xE9 \x80\r\n"),
      {"clear", "only=0", "edit=0", QString::fromUtf8("list=Café €")});
    r("empty file", B(), {"clear"}, 62);
    r("one line", B("OnlyFromDropdown=1\r\n"), {"clear", "only=1"}, 62);
    r("LF file is one line", B("OnlyFromDropdown=1\nAllowEditing=0\nRed\n"), {"clear"}, 13);
    r("flag not a number", B("OnlyFromDropdown=1\r\nAllowEditing=yes\r\nRed\r\n"), {"clear", "only=1"}, 13);
    r("empty flag", B("OnlyFromDropdown=\r\nAllowEditing=0\r\n"), {"clear"}, 13);
    r("state 3", B("OnlyFromDropdown=3\r\nAllowEditing=0\r\n"), {"clear"}, 380);
    r("state -1", B("OnlyFromDropdown=0\r\nAllowEditing=-1\r\nRed\r\n"), {"clear", "only=0"}, 380);
    r("beyond 16 bits", B("OnlyFromDropdown=70000\r\nAllowEditing=0\r\n"), {"clear"}, 6);
}

void TestSettingsFiles::reader() {
    QFETCH(QByteArray, file);
    QFETCH(QStringList, calls);
    QFETCH(int, error);
    const QString path = m_dir.filePath("read28.dat");
    QVERIFY(writeBytes(path, file));
    RecordingSink sink;
    QCOMPARE(errorOf([&] { fsf::read(path, sink); }), error);
    QCOMPARE(sink.calls, calls);
    QVERIFY(QFile::remove(path)); // closed again, even after an error
}

void TestSettingsFiles::missingFileClearsFlags() {
    RecordingSink sink;
    fsf::read(m_dir.filePath("none.dat"), sink);
    QCOMPARE(sink.calls, (QStringList{"clear", "only=0", "edit=0"}));
    QDir(m_dir.path()).mkdir("folder.dat");
    QCOMPARE(errorOf([&] { fsf::read(m_dir.filePath("folder.dat"), sink); }), 75);
}

void TestSettingsFiles::writeFailuresKeepOldFile_data() {
    columns<QString, int, int>("name", "lineFeeds", "error");
    row("32,766 LFs written in full", "f.dat", 32766, 0);
    row("32,767 LFs refused", "f.dat", 32767, 6);
    row("read-only file", "ro.dat", 1, 75);
    row("missing folder", "absent/f.dat", 1, 76);
    row("a folder", "dir.dat", 1, 75);
}

void TestSettingsFiles::writeFailuresKeepOldFile() {
    QFETCH(QString, name);
    QFETCH(int, lineFeeds);
    QFETCH(int, error);
    const QString path = m_dir.filePath(name);
    const B old = "OnlyFromDropdown=0\r\nAllowEditing=1\r\nold\r\n";
    QDir(m_dir.path()).mkdir("dir.dat");
    if (!name.contains('/') && name != "dir.dat") {
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QVERIFY(writeBytes(path, old));
    }
    if (name == "ro.dat") {
        QFile::setPermissions(path, QFileDevice::ReadOwner);
    }
    QCOMPARE(errorOf([&] { fsf::save(path, 1, 0, QString("7\n").repeated(lineFeeds)); }), error);
    QCOMPARE(readBytes(path), error == 0                 ? kHead + B("7\r\n").repeated(lineFeeds)
                              : QFileInfo(path).isFile() ? old
                                                         : B("<missing>"));
    QCOMPARE(QDir(m_dir.path()).entryList({"*.new*", "*.lock"}, QDir::Files), QStringList());
}

void TestSettingsFiles::removeBeforeSave_data() {
    columns<int, QString, bool>("edit", "list", "removed");
    row("unchecked, empty", 0, "", true);
    row("unchecked, spaces", 0, "   ", true);
    row("unchecked, tab", 0, "\t", false);
    row("unchecked, LF", 0, "\n", false);
    row("checked, empty", 1, "", false);
    row("greyed, empty", 2, "", false);
}

void TestSettingsFiles::removeBeforeSave() {
    QFETCH(int, edit);
    QFETCH(QString, list);
    QFETCH(bool, removed);
    const QString path = m_dir.filePath("rm.dat");
    QVERIFY(writeBytes(path, "OnlyFromDropdown=1\r\nAllowEditing=1\r\nx\r\n"));
    QCOMPARE(fsf::removeBeforeSave(path, edit, list), removed);
    QCOMPARE(QFile::exists(path), !removed);
    fsf::save(path, 1, edit, list); // the file exists after every save
    QVERIFY(readBytes(path).startsWith("OnlyFromDropdown=1\r\nAllowEditing="));
}

QTEST_GUILESS_MAIN(TestSettingsFiles)
#include "tst_settingsfiles.moc"
