// The change log of the editor's writes: Save and Close through the real window leave one record
// each, of what landed; a record that cannot be written is said once and never stops the write; a
// restore brings back the exact bytes of the keys and the file of a change, and is recorded.

#include "ChangeRecords.h"
#include "EditorWindow.h"
#include "StalledWriter.h"
#include "editor/Restore.h"
#include "settings/ChangeLog.h"
#include "settings/IniDocument.h"
#include "settings/IniLib.h"

#include <QCheckBox>
#include <QDir>

using namespace qm;
using changelog::Kind;
using changelog::Right;
using test::EditorWindow;
using B = QByteArray;

namespace {

// "key:before>after" for each key, "-" for an absent key.
QString keys(const changelog::Record& r) {
    QStringList out;
    for (const changelog::KeyChange& k : r.keys)
        out << k.key + ":" + (k.before ? QString::fromLatin1(*k.before) : "-") + ">" +
                   (k.after ? QString::fromLatin1(*k.after) : "-");
    return out.join(',');
}

// The field's file as the Save of restoreMergesLaterChanges makes it.
const B kFileAfter = "OnlyFromDropdown=0\r\nAllowEditing=1\r\n";

// Fax with rights of its own: user 1 Initialize, users 2 and 3 Full.
const B kFaxRights = "[Contacts]\r\nGlobalF={ID-0001}\r\n31F={ID-0002}{ID-0003}\r\n31I={ID-0001}\r\n";

editor::RestoreTarget target(const EditorWindow& w) {
    return {w.usersPath(),
            "Contacts",
            w.dir.path(),
            {{"User 1", "{ID-0001}"}, {"User 2", "{ID-0002}"}, {"User 3", "{ID-0003}"}},
            {}};
}

} // namespace

class TestChanges : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { editor::forgetLogProblemTold(); }

    // Save and Close leave one record each, of what landed: after a merge, of what this write wrote,
    // read under the writers' lock, also when another administrator wrote again while the conflicts
    // were shown; Close that changed nothing, none.
    void recordsWhatLanded_data() {
        // picks ("follow": Fax follows the global rights; "f<row>:<right>" in Fax's list, then Save;
        // "g<row>:<right>" in the global list, then Close); the users file as another administrator
        // left it once the window had read it, and while the conflicts were shown (none: unchanged);
        // the record's users ("no record": none), keys and note
        test::columns<QStringList, B, B, QString, QString, QString>("picks", "elsewhere", "during", "users",
                                                                    "keys", "note");
        using test::row;
        using L = QStringList;
        const QString kept = "Kept from another administrator's changes: ";
        row("Use Global Settings: the field's keys removed", L{"follow"}, B(), B(),
            "User 1:Initialize>Full,User 2:Full>None,User 3:Full>None",
            "31F:{ID-0002}{ID-0003}>-,31I:{ID-0001}>-", "");
        row("a right changed", L{"f2:None"}, B(), B(), "User 3:Full>None", "31F:{ID-0002}{ID-0003}>{ID-0002}",
            "");
        row("a right set and set back: the file only", L{"f2:None", "f2:Full"}, B(), B(), "", "", "");
        row("merged with another administrator's change", L{"f2:None"},
            B("[Contacts]\r\nGlobalF={ID-0001}\r\n31F={ID-0002}{ID-0003}\r\n"), B(), "User 3:Full>None",
            "31F:{ID-0002}{ID-0003}>{ID-0002}", kept + "User 1 (None).");
        row("Close, nothing changed", L{}, B(), B(), "no record", "", "");
        row("Close, a global right taken", L{"g0:None"}, B(), B(), "User 1:Full>None", "GlobalF:{ID-0001}>-",
            "");
        row("Close, a conflict kept, another change while it was shown", L{"g0:None"},
            B("[Contacts]\r\nGlobalI={ID-0001}\r\n"),
            B("[Contacts]\r\nGlobalF={ID-0003}\r\nGlobalI={ID-0001}\r\n"), "User 1:Initialize>None",
            "GlobalI:{ID-0001}>-", kept + "User 3 (Full).");
    }

    void recordsWhatLanded() {
        auto [picks, elsewhere, during, who, what, note] =
            test::fetch<QStringList, B, B, QString, QString, QString>();
        EditorWindow w(kFaxRights);
        const bool save = !picks.isEmpty() && !picks.front().startsWith('g');
        if (save)
            w.select("Fax");
        if (!elsewhere.isNull())
            QVERIFY(test::writeBytes(w.usersPath(), elsewhere));
        for (const QString& p : picks) {
            if (p == "follow")
                w.c().optUsers[0]->click();
            else
                w.give(p.startsWith('g') ? w.c().lvwUsers : w.c().lvwSpecialUsers,
                       p.mid(1).section(':', 0, 0).toInt(), p.section(':', 1));
        }
        w.t.conflicts.answers = {"mine"};
        w.t.conflicts.whileShown = [&, during = during] { QVERIFY(test::writeBytes(w.usersPath(), during)); };
        w.t.actState.currentUserName = "User 3"; // another ACT! user than at the start-up
        if (save) {
            w.c().chkEdit->click();
            w.c().cmdSave->click();
        } else {
            w.c().cmdClose->click();
        }
        QCOMPARE(w.t.messageBox.boxes(),
                 save || note.isEmpty()
                     ? QStringList()
                     : QStringList{"The global rights were saved. " + note + "|0|Quillmark"});
        QCOMPARE(w.t.conflicts.shown.size(), during.isNull() ? 0 : 1);
        const std::vector<changelog::Record> log = test::logRecords(w.usersPath());
        QCOMPARE(log.size(), who == "no record" ? 0u : 1u);
        if (log.empty())
            return;
        const changelog::Record& r = log.front();
        QCOMPARE(r.kind, save ? Kind::Field : Kind::GlobalRights);
        QCOMPARE(r.database, "Contacts");
        QCOMPARE(r.fieldId + "|" + r.fieldLabel, save ? "31|Fax" : "|");
        QCOMPARE(r.login, changelog::thisWriter().login);
        QCOMPARE(r.actUser, "User 3"); // the one logged in when the change was written
        QVERIFY(qAbs(r.whenMs - QDateTime::currentMSecsSinceEpoch()) < 60000);
        QCOMPARE(test::userChanges(r), who);
        QCOMPARE(keys(r), what);
        QCOMPARE(r.note, note);
        QCOMPARE(r.fileChanged, save);
        QVERIFY(!r.fileBefore);
        QCOMPARE(r.fileAfter, save ? test::readBytes(w.fieldPath(31)) : changelog::Bytes());
    }

    // The log cannot be written: the save lands all the same, and it is said once per run.
    void aRecordThatCannotBeWrittenIsSaidOnce() {
        EditorWindow w("[Contacts]\r\nGlobalF={ID-0001}\r\n");
        QVERIFY(test::writeBytes(changelog::logFolder(w.usersPath()), "not a folder"));
        for (int i = 0; i < 2; ++i) {
            w.select(i ? "Phone" : "Fax");
            w.give(w.c().lvwSpecialUsers, 1, "Full");
            w.c().cmdSave->click();
        }
        QCOMPARE(test::readBytes(w.usersPath()),
                 "[Contacts]\r\nGlobalF={ID-0001}\r\n31F={ID-0001}{ID-0002}\r\n"
                 "28F={ID-0001}{ID-0002}\r\n");
        QCOMPARE(w.t.messageBox.shown.size(), 1u);
        QVERIFY2(w.t.messageBox.boxes().constFirst().startsWith(
                     "The change was saved, but it could not be recorded in the change log: "),
                 qPrintable(w.t.messageBox.boxes().constFirst()));
        QVERIFY(!w.c().cmdSave->isEnabled());
    }

    // A restore writes back the exact bytes the keys and the field's file held before the change
    // (bytes past 0x7F, quotes, more than a read returns), keeps the keys changed since by others,
    // and is recorded.
    void restoreBringsBackTheExactBytes() {
        const B longList = "{ID-0002}" + B(130, 'x') + "\x81\xA0\xFF";
        const B before =
            "[Other]\r\n31F=keep\r\n[Contacts]\r\nGlobalF={ID-0001}\r\n31F=\"{ID-0003}\"\r\n31I=" + longList +
            "\r\n40F={ID-0001}\r\n";
        const B fileBefore = "OnlyFromDropdown=2\r\nAllowEditing=1\r\n Red\xE9\r\n\r\nGreen  \r\n";
        EditorWindow w(before);
        QVERIFY(test::writeBytes(w.fieldPath(31), fileBefore));
        w.select("Fax");
        w.c().optUsers[0]->click(); // Use Global Settings: both keys go
        w.c().rtfData->setPlainText("Blue");
        w.c().cmdSave->click();
        const B fileAfter = test::readBytes(w.fieldPath(31));
        QVERIFY(test::readBytes(w.usersPath()) != before);
        // Another administrator changes another key meanwhile.
        QVERIFY(test::writeBytes(w.usersPath(), test::readBytes(w.usersPath()) + "40I={ID-0002}\r\n"));
        std::vector<changelog::Record> log = test::logRecords(w.usersPath());
        QCOMPARE(log.size(), 1u);

        const editor::RestoreOutcome restored =
            editor::restoreBefore(log.front(), target(w), w.t.conflicts, nullptr);
        QCOMPARE(int(restored.result), int(editor::RestoreResult::Restored));
        QVERIFY(restored.logged.ok());
        QCOMPARE(test::readBytes(w.fieldPath(31)), fileBefore);
        const IniDocument was(before);
        const IniDocument now(test::readBytes(w.usersPath()));
        for (const char* key : {"31F", "31I", "GlobalF", "40F"})
            QCOMPARE(now.value(u"Contacts", QString::fromLatin1(key)),
                     was.value(u"Contacts", QString::fromLatin1(key)));
        QCOMPARE(now.value(u"Contacts", u"40I"), "{ID-0002}");
        QCOMPARE(now.value(u"Other", u"31F"), "keep");

        log = test::logRecords(w.usersPath());
        QCOMPARE(log.size(), 2u);
        const changelog::Record& r = log.back();
        QCOMPARE(r.kind, Kind::Restore);
        QVERIFY(r.note.startsWith("Restored to before the change of "));
        QCOMPARE(r.fileBefore, fileAfter);
        QCOMPARE(r.fileAfter, fileBefore);
        QCOMPARE(test::userChanges(r), "User 1:Full>None,User 2:None>Initialize,User 3:None>Full");

        // The restore undone in turn brings back the state after the change.
        QCOMPARE(int(editor::restoreBefore(r, target(w), w.t.conflicts, nullptr).result),
                 int(editor::RestoreResult::Restored));
        QCOMPARE(test::readBytes(w.fieldPath(31)), fileAfter);
        QCOMPARE(IniDocument(test::readBytes(w.usersPath())).value(u"Contacts", u"31I"), "");
    }

    // A restore after later changes goes through the writers' path as a Save does: what others
    // changed since is kept per user and per setting, what both changed is asked (going back
    // writes nothing), and the file the change made is removed only under the writers' locks.
    void restoreMergesLaterChanges_data() {
        // what another administrator did after the change ("31I=<value>" or "31I=-" in the users
        // file, "list=<entries>" in the field's file, "hold" the field's file); the conflicts'
        // answer; the field's keys (after GlobalF) and its file after the restore; the restore's
        // result and what it kept of the others' changes
        test::columns<QString, QString, B, B, int, QString>("since", "answer", "keys", "file", "result",
                                                            "kept");
        const int restored = int(editor::RestoreResult::Restored);
        const B before = "31F={ID-0002}{ID-0003}\r\n31I={ID-0001}\r\n";
        test::row("unchanged since: the exact bytes, the file the change made removed", "", "", before,
                  B("-"), restored, "");
        test::row("another key of the field changed since: the change's keys restored, the other kept",
                  "31I=-", "", B("31F={ID-0002}{ID-0003}\r\n"), B("-"), restored, "");
        test::row("another user's right changed since in the same key: kept", "31F={ID-0001}{ID-0002}", "",
                  B("31F={ID-0001}{ID-0002}{ID-0003}\r\n"), B("-"), restored, "User 1 (Full)");
        const QString everyone = "31F=-|31I={ID-0001}{ID-0002}{ID-0003}";
        test::row("the same user's right changed since: going back writes nothing", everyone, "back",
                  B("31I={ID-0001}{ID-0002}{ID-0003}\r\n"), kFileAfter, int(editor::RestoreResult::WentBack),
                  "");
        test::row("the same user's right changed since: the restored right kept", everyone, "mine",
                  B("31I={ID-0001}{ID-0002}\r\n31F={ID-0003}\r\n"), B("-"), restored, "User 2 (Initialize)");
        test::row("the file's list changed since: kept, its flag restored", "list=Red", "", before,
                  B("OnlyFromDropdown=0\r\nAllowEditing=0\r\nRed\r\n"), restored, "Drop-down list");
        test::row("the file held by another writer: not removed, said", "hold", "",
                  B("31F={ID-0002}\r\n31I={ID-0001}\r\n"), kFileAfter, int(editor::RestoreResult::Failed),
                  "");
    }

    void restoreMergesLaterChanges() {
        auto [since, answer, usersAfter, file, result, kept] =
            test::fetch<QString, QString, B, B, int, QString>();
        EditorWindow w(kFaxRights);
        w.select("Fax");
        w.give(w.c().lvwSpecialUsers, 2, "None");
        w.c().chkEdit->click();
        w.c().cmdSave->click();
        QCOMPARE(test::readBytes(w.fieldPath(31)), kFileAfter);
        const changelog::Record change = test::logRecords(w.usersPath()).at(0);
        test::StalledWriter stalled;
        if (since == "hold") {
            QVERIFY(stalled.start(w.fieldPath(31)));
            fileWriteTuning().lockWaitMs = 300;
        } else if (since.startsWith("list=")) {
            QVERIFY(test::writeBytes(w.fieldPath(31), kFileAfter + since.mid(5).toLatin1() + "\r\n"));
        } else if (!since.isEmpty()) {
            std::vector<IniLib::KeyChange> changes;
            for (const QString& change : since.split('|')) {
                const QString value = change.section('=', 1);
                changes.push_back(
                    {change.section('=', 0, 0), value == "-" ? std::nullopt : std::optional(value)});
            }
            QVERIFY(IniLib::ChangeKeys("Contacts", changes, w.usersPath()).landed());
        }
        w.t.conflicts.answers = {answer};
        const editor::RestoreOutcome out = editor::restoreBefore(change, target(w), w.t.conflicts, nullptr);
        fileWriteTuning().lockWaitMs = FileWriteTuning().lockWaitMs;
        QCOMPARE(int(out.result), result);
        QCOMPARE(out.fromElsewhere.join(", "), kept);
        QCOMPARE(test::readBytes(w.usersPath()), "[Contacts]\r\nGlobalF={ID-0001}\r\n" + usersAfter);
        QCOMPARE(test::readBytes(w.fieldPath(31)), file == "-" ? B("<missing>") : file);
        if (result == int(editor::RestoreResult::Failed))
            QVERIFY2(out.detail.contains(w.fieldPath(31)), qPrintable(out.detail));
        // Recorded when it wrote, as it landed.
        QCOMPARE(out.wrote, result == int(editor::RestoreResult::Restored));
        QCOMPARE(test::logRecords(w.usersPath()).size(), out.wrote ? 2u : 1u);
    }

    void restoreRefusesAnotherDatabaseAndTheLocations() {
        EditorWindow w("[Contacts]\r\n");
        changelog::Record locations = test::fieldRecord(0), otherDatabase = test::fieldRecord(0);
        locations.kind = Kind::Locations;
        otherDatabase.database = "Sales";
        for (const changelog::Record& r : {locations, otherDatabase})
            QCOMPARE(int(editor::restoreBefore(r, target(w), w.t.conflicts, nullptr).result),
                     int(editor::RestoreResult::Refused));
        QCOMPARE(test::readBytes(w.usersPath()), "[Contacts]\r\n");
    }

    void locationsRecordedInBothLogs() {
        QTemporaryDir dir;
        const QString a = dir.filePath("a.dat"), b = dir.filePath("b.dat");
        QVERIFY(editor::recordLocations("Contacts", {}, a, dir.path(), b, dir.path()).ok());
        for (const QString& users : {a, b}) {
            const std::vector<changelog::Record> log = test::logRecords(users);
            QCOMPARE(log.size(), 1u);
            QCOMPARE(log.front().kind, Kind::Locations);
            QCOMPARE(keys(log.front()), "UsersPath:" + a + ">" + b);
        }
        QVERIFY(editor::recordLocations("Contacts", {}, b, dir.path(), b, dir.path()).ok()); // no change
        QCOMPARE(test::logRecords(b).size(), 1u);
    }
};

QTEST_MAIN(TestChanges)
#include "tst_changes.moc"
