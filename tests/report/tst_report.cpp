// The effective-rights report and the settings check on crafted settings files, the report's CSV,
// and the report against what the editor shows.

#include "../editor/EditorWindow.h"
#include "OtherLogin.h"
#include "report/ReportCsv.h"
#include "report/SettingsCheck.h"

#include <QDir>

#include <sys/stat.h>

using namespace qm;
using B = QByteArray;

namespace {

// Database "Db": users Ann, Bob, Cy, ... with the given unique IDs; protected fields Phone (28)
// and one without a label (31); field 5 not protected.
report::ActData actData(const QStringList& ids) {
    static const QStringList names{"Ann", "Bob", "Cy",  "Dan", "Eve", "Fay",
                                   "Gil", "Hal", "Ivy", "Jo",  "Kim", "Lee"};
    report::ActData act{"Db", {{"Phone", 28}, {"", 31}}, {5}, {}};
    for (int i = 0; i < ids.size(); ++i)
        act.users.push_back({names.value(i, QString("U%1").arg(i + 1)), ids[i]});
    return act;
}

// Bytes as a file that is no text holds them: every byte value below `n`, in a scrambled order.
B noiseBytes(int n = 256) {
    B bytes;
    for (int i = 0; i < n; ++i)
        bytes += char((i * 97 + 13) % n);
    return bytes;
}

B utf16(const char* text) {
    const QString s = QString::fromLatin1(text);
    return B("\xFF\xFE") + B(reinterpret_cast<const char*>(s.utf16()), s.size() * 2);
}

QStringList twelveIds() {
    QStringList ids;
    for (int i = 1; i <= 12; ++i)
        ids << QString("{USR-%1-A}").arg(i, 4, 10, QChar('0')); // 12 characters each
    return ids;
}

} // namespace

class TestReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void hazards_data() {
        // users: the users file (a folder when "folder"; "no folder": the settings folder and the
        // users file's are missing, "no users folder": only the users file's); fields: "28:bytes"
        // field settings files; hazards: "kind|user|field|key" (%1 the test's folder); says: a part
        // of the first hazard's explanation
        test::columns<QStringList, B, QStringList, QStringList, QString>("ids", "users", "fields", "hazards",
                                                                         "says");
        using test::row;
        const QStringList abc{"{A}", "{B}", "{C}"};
        const B db = "[Db]\r\n";
        row("clean", abc, db + "GlobalF={A}{C}\r\nGlobalI={B}\r\n28F={B}\r\n31I={A}\r\n",
            QStringList{"28:OnlyFromDropdown=1\r\nAllowEditing=0\r\nRed\r\n"}, QStringList{}, "");
        row("no users file", abc, B(), QStringList{}, QStringList{}, "");
        row("an ID inside another", QStringList{"{A}", "{B}", "B"}, db + "28F={B}\r\n", QStringList{},
            QStringList{"ID inside another ID|Cy B||", "Found in a list unnamed|Cy B|Phone (28)|28F"},
            "Cy's unique ID lies inside Bob's ({B})");
        row("an ID across two", QStringList{"{A}", "{B}", "A}{"}, db + "GlobalF={A}{B}\r\n", QStringList{},
            QStringList{"Found in a list unnamed|Cy A}{||GlobalF"},
            "Cy is found across the IDs of Ann and Bob");
        row("an empty ID", QStringList{"{A}", ""}, db, QStringList{},
            QStringList{"ID inside another ID|Bob ||"}, "reads as holding Full on every field");
        row("the same ID twice", QStringList{"{A}", "{A}"}, db, QStringList{},
            QStringList{"ID inside another ID|Ann {A}||"}, "Ann has the same unique ID as Bob");
        row("a list longer than a read returns", twelveIds(),
            db + "31I=" + twelveIds().join("").toLatin1() + "\r\n", QStringList{},
            QStringList{"List cut at 126|Kim {USR-0011-A}|(31)|31I",
                        "List cut at 126|Lee {USR-0012-A}|(31)|31I"},
            "31I is 144 characters long");
        row("a user in both lists", abc, db + "28F={A}\r\n28I={B}{A}\r\n", QStringList{},
            QStringList{"In both lists|Ann {A}|Phone (28)|28F, 28I"}, "");
        row("keys of fields no longer protected or gone", abc, db + "5F={A}\r\n99I={A}\r\n028F={A}\r\n",
            QStringList{},
            QStringList{"Field no longer protected||(5)|5F", "Field no longer exists||(99)|99I"},
            "if it is protected again");
        row("an ID of no user", abc, db + "GlobalI={A}{OLD}{B}\r\n", QStringList{},
            QStringList{"Unknown user ID|{OLD}||GlobalI"}, "");
        row("keys left by an unfinished save", abc, db + "Global=\r\n28\r\n", QStringList{},
            QStringList{"Left by a save|||Global", "Left by a save||Phone (28)|28"}, "");
        row("an unreadable users file", abc, B("folder"), QStringList{},
            QStringList{"Unreadable file|||Users.dat"}, "every user reads as holding None");
        row("an unreadable field file", abc, db, QStringList{"31:OnlyFromDropdown=1\r\n"},
            QStringList{"Unreadable file||(31)|Db31.dat"}, "Error 62: 'Input past end of file'");
        // What another login may put into a shared folder: read at once, refused, and listed.
        row("a FIFO in a field file's place", abc, db, QStringList{"31:<fifo>"},
            QStringList{"Unreadable file||(31)|Db31.dat"}, "Db31.dat is not a regular file");
        row("a field file far too large", abc, db, QStringList{"31:<huge>"},
            QStringList{"Unreadable file||(31)|Db31.dat"}, "bytes, too large for a settings file");
        row("a users file far too large", abc, B("<huge>"), QStringList{},
            QStringList{"Unreadable file|||Users.dat"}, "bytes, too large for a settings file");
        row("another login's link in the users file's place", abc, B("<link>"), QStringList{},
            QStringList{"Name not followed|||Users.dat"}, "Users.dat is a link made by nobody");
        row("byte-order marks", abc, "\xEF\xBB\xBF" + db + "GlobalF={A}\r\n",
            QStringList{"28:\xEF\xBB\xBFOnlyFromDropdown=1\r\nAllowEditing=1\r\n"},
            QStringList{"Byte-order mark|||[Db]", "Byte-order mark||Phone (28)|Db28.dat"},
            "every user reads as holding None");
        row("a section and a key twice", abc, db + "GlobalF={A}\r\nglobalf={B}\r\n[db]\r\n28F={A}\r\n",
            QStringList{}, QStringList{"Appears twice|||[db]", "Appears twice|||globalf"},
            "at line 4, is never read");
        // What a check that said "No hazard found." missed.
        row("a users file of random bytes", abc, noiseBytes(), QStringList{},
            QStringList{"Not a text file|||Users.dat"}, "The file holds bytes that are not text");
        row("a users file saved as Unicode", abc, utf16("[Db]\r\nGlobalF={A}\r\n"), QStringList{},
            QStringList{"Not a text file|||Users.dat"}, "(0x00 at byte 4)");
        row("no section for this database", abc, B("[Other]\r\nGlobalF={A}\r\n"), QStringList{},
            QStringList{"No section for this database|||[Db]"}, "Users.dat has no [Db] section");
        row("a field file of random bytes", abc, db,
            QStringList{"28:" + QString::fromLatin1(noiseBytes(128))},
            QStringList{"Not a text file||Phone (28)|Db28.dat"}, "a Save stores them again");
        row("a field file with a NUL in an entry", abc, db,
            QStringList{QString::fromLatin1("28:OnlyFromDropdown=1\r\nAllowEditing=0\r\nR") + QChar(0) +
                        "ed\r\n"},
            QStringList{"Not a text file||Phone (28)|Db28.dat"}, "(0x00 at byte 38)");
        row("the settings folder missing", abc, B("no folder"), QStringList{},
            QStringList{"Settings folder missing|||%1/gone"},
            "Save stops with \"Error 76: 'Path not found'\"");
        row("the users file's folder missing", abc, B("no users folder"), QStringList{},
            QStringList{"Settings folder missing|||%1/gone"}, "no right can be stored");
    }

    void hazards() {
        auto [ids, users, fields, hazards, says] =
            test::fetch<QStringList, B, QStringList, QStringList, QString>();
        QTemporaryDir dir;
        const bool gone = users == "no folder" || users == "no users folder";
        const QString usersPath = dir.filePath(gone ? "gone/Users.dat" : "Users.dat");
        const QString listPath = users == "no folder" ? dir.filePath("gone") : dir.path();
        // Planted: "<fifo>", "<huge>" (sparse, 64 MB), "<link>" (another login's, to a file outside).
        const auto plant = [&](const QString& path, const QByteArray& what) {
            if (what == "<fifo>")
                return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0;
            if (what == "<huge>")
                return test::writeBytes(path, "[Db]\r\n") && QFile::resize(path, qint64(64) << 20);
            if (what == "<link>") // in a folder anyone may write
                return ::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0 &&
                       test::writeBytes(dir.filePath("outside.dat"), "[Db]\r\nGlobalF={A}\r\n") &&
                       test::asOtherLogin([&] { return QFile::link(dir.filePath("outside.dat"), path); });
            return what == "folder" ? QDir().mkdir(path) : what.isNull() || test::writeBytes(path, what);
        };
        if (users == "<link>" && !test::canPlayOtherLogin())
            QSKIP("only root may start a process as another login");
        if (!gone)
            QVERIFY(plant(usersPath, users));
        for (const QString& f : fields)
            QVERIFY(plant(dir.filePath("Db" + f.section(':', 0, 0) + ".dat"), f.section(':', 1).toUtf8()));
        const report::ActData act = actData(ids);
        const test::FifoUnblocker unblock(dir.path(), 2000);
        const auto r = report::buildReport(act, {usersPath, listPath});
        const auto found = report::checkSettings(*r, act.unprotected);
        QVERIFY2(!unblock.unblocked(), "a read waited on a FIFO");
        QStringList shown;
        for (const report::Hazard& h : *found)
            shown << QStringList{report::kindText(h.kind), h.user, h.field,
                                 QString(h.key).replace(dir.path(), "%1")}
                         .join('|');
        std::sort(shown.begin(), shown.end());
        std::sort(hazards.begin(), hazards.end());
        QCOMPARE(shown, hazards);
        if (!says.isEmpty())
            QVERIFY2(found->front().explanation.contains(says), qPrintable(found->front().explanation));
    }

    // Text cells as OWASP's advice on CSV injection neutralises what a spreadsheet would take for a
    // formula (quoting as RFC 4180 asks: see csv()); number cells stay numbers.
    void csvCells_data() {
        test::columns<QString, B>("text", "cell");
        using test::row;
        row("plain", "Ann Archer", B("Ann Archer"));
        row("empty", "", B(""));
        row("=", "=HYPERLINK(\"http://x\",\"y\")", B("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""));
        row("+", "+1+cmd|' /C calc'!A0", B("\"'+1+cmd|' /C calc'!A0\""));
        row("-", "-2+3", B("\"'-2+3\""));
        row("@", "@SUM(1;2)", B("\"'@SUM(1;2)\""));
        row("a tab", "\t=1", B("\"'\t=1\""));
        row("a CR", "\r=1", B("\"'\r=1\""));
        row("a negative number as text", "-5", B("\"'-5\""));
        row("= not first", "a=b", B("a=b"));
        row("a blank first", " =1", B(" =1"));
    }

    void csvCells() {
        auto [text, cell] = test::fetch<QString, B>();
        QCOMPARE(report::csvText(text), cell);
        QCOMPARE(report::csvNumber(-5), B("-5"));
        QCOMPARE(report::csvNumber(210), B("210"));
    }

    // RFC 4180 with a byte-order mark: names with commas, quotes and line breaks quoted, quotes
    // doubled, CR LF line ends; flags as the editor reads them, "?" for an unreadable file.
    void csv() {
        QTemporaryDir dir;
        QVERIFY(test::writeBytes(dir.filePath("Users.dat"), "[Db]\r\nGlobalF=2\r\n31I=1\r\n"));
        QVERIFY(test::writeBytes(dir.filePath("Db28.dat"),
                                 "OnlyFromDropdown=2\r\nAllowEditing=1\r\nA\r\n\r\nB\r\n"));
        QVERIFY(test::writeBytes(dir.filePath("Db31.dat"), "OnlyFromDropdown=x\r\n"));
        report::ActData act = actData({"1", "2", "3"});
        act.fields[0].label = "Phone, \"home\"";
        act.fields[1] = {"=1+1", -31}; // a label a spreadsheet would compute, and a negative ID
        act.users[0].name = "Smith, Jo";
        act.users[1].name = "@Say \"hi\"";
        act.users[2].name = "Two\nlines";
        QVERIFY(QFile::rename(dir.filePath("Db31.dat"), dir.filePath("Db-31.dat")));
        QVERIFY(test::writeBytes(dir.filePath("Users.dat"), "[Db]\r\nGlobalF=2\r\n-31I=1\r\n"));
        const auto r = report::buildReport(act, {dir.filePath("Users.dat"), dir.path()});
        const QString path = dir.filePath("r.csv");
        QString error;
        QVERIFY(report::writeCsv(*r, path, error));
        QCOMPARE(test::readBytes(path),
                 B("\xEF\xBB\xBF"
                   "Field,Field ID,Rights from,Allow editing,Only from Drop-down,Drop-down entries,"
                   "\"Smith, Jo 1\",\"'@Say \"\"hi\"\" 2\",\"Two\nlines 3\"\r\n"
                   "\"Phone, \"\"home\"\"\",28,Global,Yes,Greyed,2,None,Full,None\r\n"
                   "\"'=1+1\",-31,Own,?,?,?,Initialize,None,None\r\n"));
        // A stopped export leaves the file as it was.
        QVERIFY(!report::writeCsv(*r, path, {1}, {2}, error, [](qint64, qint64) { return false; }));
        QVERIFY(error.isEmpty() && test::readBytes(path).endsWith("None,None\r\n"));
        QVERIFY(!report::writeCsv(*r, dir.filePath("none/r.csv"), error) && !error.isEmpty());
    }

    // The CSV at a name that is a link: followed when this login or root made every link of the
    // chain, refused when another login made one (in a shared folder it may lead to any file of
    // this login's); the links stay links.
    void csvLinks_data() {
        // chain: who made each link from the report's name "r.csv" on, the last
        // leading to "target.csv"; refused: the link named in the refusal
        test::columns<QString, bool, QString>("chain", "targetExists", "refused");
        using test::row;
        row("own link followed, stays a link", "own", true, "");
        row("own link to a missing file: made", "own", false, "");
        row("own chain of two", "own,own", true, "");
        row("another login's link to a file: refused, target unchanged", "other", true, "r.csv");
        row("another login's link to a missing file: nothing made", "other", false, "r.csv");
        row("another login's link further down the chain", "own,other", true, "hop1");
    }

    void csvLinks() {
        auto [chain, targetExists, refused] = test::fetch<QString, bool, QString>();
        if (chain.contains("other") && !test::canPlayOtherLogin())
            QSKIP("only root can make a link of another login");
        QTemporaryDir dir;
        const QString target = dir.filePath("target.csv");
        if (targetExists)
            QVERIFY(test::writeBytes(target, "private\n"));
        const QStringList hops = chain.split(',');
        QStringList names{"r.csv"};
        for (int i = 1; i < hops.size(); ++i)
            names << QString("hop%1").arg(i);
        for (int i = 0; i < hops.size(); ++i)
            QVERIFY(test::makeLink(i + 1 < names.size() ? dir.filePath(names[i + 1]) : target,
                                   dir.filePath(names[i]), hops[i] == "other"));
        const auto r = report::buildReport(actData({"1"}), {dir.filePath("Users.dat"), dir.path()});
        QString error;
        const bool written = report::writeCsv(*r, dir.filePath("r.csv"), error);
        QCOMPARE(written, refused.isEmpty());
        if (refused.isEmpty()) {
            QVERIFY(test::readBytes(target).startsWith("\xEF\xBB\xBF"));
        } else {
            QCOMPARE(error, QDir::toNativeSeparators(dir.filePath(refused)) +
                                " is a link made by nobody (another login), which is not followed");
            QCOMPARE(test::readBytes(target), targetExists ? B("private\n") : B("<missing>"));
        }
        for (int i = 0; i < hops.size(); ++i)
            QVERIFY(QFileInfo(dir.filePath(names[i])).isSymLink());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System).size(),
                 hops.size() + (targetExists || refused.isEmpty() ? 1 : 0)); // nothing left beside
    }

    // The report shows every field as the editor shows it when the field is selected.
    void agreesWithTheEditor() {
        test::EditorWindow w("[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}{ID-0001}\r\n"
                             "31F={ID-0003}\r\n31I={ID-0003}{ID-0002}\r\n40I=  \r\n40F= \r\n28=x\r\n");
        report::ActData act;
        QVERIFY(report::readActData(w.form->objects, w.form->GenericName, w.t.messageBox, act));
        const auto r = report::buildReport(act, {w.form->UsersPath, w.form->ListPath});
        QCOMPARE(int(r->fields.size()), w.c().cboFields->count());
        for (int f = 0; f < int(r->fields.size()); ++f) {
            w.select(w.c().cboFields->itemText(f));
            QStringList rights;
            for (int u = 0; u < int(r->users.size()); ++u)
                rights << rights::rightName(r->right(f, u));
            QCOMPARE(rights.join(','), test::WindowDriver::rights(w.c().lvwSpecialUsers));
            QCOMPARE(r->fields[std::size_t(f)].ownSettings, w.c().optUsers[1]->isChecked());
        }
        QVERIFY(w.t.messageBox.shown.empty());
    }
};

QTEST_MAIN(TestReport)
#include "tst_report.moc"
