// Two administrators at once: what a Save or a Close writes, from the rights as loaded (base), as
// the window has them (mine) and as the file holds them now (theirs).
//
// Users Ann, Bo, Cy and Di have the IDs {A}, {B}, {C}, {D} unless a row gives others. Rights are
// one letter per user (F Full, I Initialize, N None); lists are "F list|I list".

#include "TestPlatform.h"
#include "editor/Merge.h"

using namespace qm;

namespace {

merge::ScopeValues values(const QString& lists) {
    const QStringList parts = lists.split('|');
    return {parts.value(0), parts.value(1)};
}

std::vector<int> codes(const QString& letters) {
    std::vector<int> c;
    for (const QChar l : letters)
        c.push_back(l == 'F' ? 0 : l == 'I' ? 1 : 2);
    return c;
}

merge::UserRights users(const QString& ids, const QString& mine) {
    merge::UserRights u;
    u.ids = ids.isEmpty() ? QStringList{"{A}", "{B}", "{C}", "{D}"} : ids.split(',');
    const QStringList names{"Ann", "Bo", "Cy", "Di", "Ed"};
    for (int i = 0; i < u.ids.size(); ++i)
        u.names << names.value(i, QString("User%1").arg(i));
    u.codes = codes(mine);
    return u;
}

// The rights a load showed: those the base lists give each user.
std::vector<int> shown(const merge::UserRights& u, const merge::ScopeValues& base) {
    std::vector<int> c;
    const rights::ScopeLists read{base.full.left(126) + " ", base.initialize.left(126) + " "};
    for (const QString& id : u.ids)
        c.push_back(int(rights::rightOf(read, id)));
    return c;
}

// "Cy=mine,Di=theirs" or "all=mine": the administrator's choices for the conflicts of a first merge.
merge::Choices choose(const QString& script, const std::vector<merge::Conflict>& conflicts) {
    merge::Choices choices;
    for (const QString& item : script.split(',', Qt::SkipEmptyParts)) {
        const QString who = item.section('=', 0, 0);
        for (const merge::Conflict& c : conflicts)
            if (who == "all" || who == c.what)
                choices.insert(c.key, item.section('=', 1) == "mine");
    }
    return choices;
}

QString conflictsText(const std::vector<merge::Conflict>& conflicts) {
    QStringList t;
    for (const merge::Conflict& c : conflicts)
        t << c.what + ":" + c.theirs + ">" + c.mine;
    return t.join(';');
}

QString written(merge::Write write, const rights::IdLists& lists) {
    switch (write) {
    case merge::Write::Lists:
        return lists.full + "|" + lists.initialize;
    case merge::Write::Remove:
        return "remove";
    case merge::Write::Nothing:
        break;
    }
    return "nothing";
}

const QString kLong = "{USR-0000-0000-0000-0000-0001}"; // 30 characters: a fifth one lies past the cut

} // namespace

class TestMerge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rights_data() {
        // written: "F|I" or "nothing"; conflicts: "who:theirs>mine" of the merge before any choice
        test::columns<QString, QString, QString, QString, QString, QString, QString, QString>(
            "ids", "base", "mine", "theirs", "choices", "written", "conflicts", "elsewhere");
        using test::row;
        row("file as loaded: written as always", "", "{A}|{B}", "FIIN", "{A}|{B}", "", "{A}|{B}{C}", "", "");
        row("file as loaded, key order kept", "", "{C}{A}|", "FNFN", "{C}{A}|", "", "{A}{C}|", "", "");
        row("nothing changed here, file changed: nothing written", "", "{A}|{B}", "FINN", "{A}{D}|{B}", "",
            "nothing", "", "Di (Full)");
        row("changes of different users: both kept", "", "{A}|", "FNIN", "{A}{D}|", "", "{A}{D}|{C}", "",
            "Di (Full)");
        row("the same change on both sides", "", "{A}|", "FNIN", "{A}|{C}", "", "{A}|{C}", "", "");
        row("a user changed on both sides: a conflict", "", "{A}|", "FNIN", "{A}{C}|", "", "{A}|{C}",
            "Cy:Full>Initialize", "");
        row("conflict, this window's right kept", "", "{A}|", "FNIN", "{A}{C}|", "Cy=mine", "{A}|{C}",
            "Cy:Full>Initialize", "");
        row("conflict, the file's right taken", "", "{A}|", "FNIN", "{A}{C}|", "Cy=theirs", "{A}{C}|",
            "Cy:Full>Initialize", "Cy (Full)");
        row("conflicts chosen for all", "", "{A}|{B}", "NNFF", "|{D}", "all=theirs", "{C}|{D}",
            "Di:Initialize>Full", "Di (Initialize)");
        row("a user removed from ACT! elsewhere takes None", "", "{A}|{B}", "FINI", "{A}|", "", "{A}|{D}", "",
            "Bo (None)");
        row("a user added to ACT! elsewhere keeps the right given there", "", "{A}|", "FNIN", "{A}{E}|", "",
            "{A}{E}|{C}", "", "rights of users not in this list");
        row("IDs unknown at the load leave at the write, as always", "", "{A}{Z}|", "FNIN", "{A}{Z}|{B}", "",
            "{A}|{B}{C}", "", "Bo (Initialize)");
        row("the whole file emptied elsewhere", "", "{A}{B}|{C}", "FFNF", "|", "", "{D}|", "",
            "Ann (None);Bo (None)");
        const QString ids =
            QStringList{kLong, QString(kLong).replace('1', '2'), QString(kLong).replace('1', '3'),
                        QString(kLong).replace('1', '4'), QString(kLong).replace('1', '5')}
                .join(',');
        const QString five = QStringList(ids.split(',')).join("");
        const QString four = five.left(120);
        const QString ed = ids.split(',')[4];
        row("at the cut: the user past it reads None on both sides", ids, five + "|", "FFFNN",
            five + "|" + ids.split(',')[0], "", five.left(90) + "|", "", "");
        row("at the cut: Full given past it elsewhere reads None", ids, four + "|", "FFFNF", five + "|", "",
            five.left(90) + ed + "|", "", "");
        row("at the cut: Full given past it here and elsewhere", ids, four + "|", "FFFFF", five + "|", "",
            five + "|", "", "");
    }

    void rights() {
        auto [ids, base, mine, theirs, script, expected, conflicts, elsewhere] =
            test::fetch<QString, QString, QString, QString, QString, QString, QString, QString>();
        const merge::UserRights u = users(ids, mine);
        const merge::ScopeValues b = values(base);
        const merge::RightsMerge first = merge::mergeRights("Global", u, shown(u, b), b, values(theirs), {});
        QCOMPARE(conflictsText(first.unresolved), conflicts);
        const merge::RightsMerge m =
            merge::mergeRights("Global", u, shown(u, b), b, values(theirs), choose(script, first.unresolved));
        if (!script.isEmpty())
            QVERIFY(m.unresolved.empty());
        QCOMPARE(written(m.write, m.lists), expected);
        QCOMPARE(m.fromElsewhere.join(';'), elsewhere);
    }

    // A field's rights with its switch: rights of its own, or the global ones.
    void fieldRights_data() {
        // mineOwn: "Use Settings below" in the window; own: the switch as merged
        test::columns<QString, QString, bool, QString, QString, QString, QString, bool, QString>(
            "base", "shown", "mineOwn", "mine", "theirs", "choices", "written", "own", "conflicts");
        using test::row;
        row("own rights on both sides: merged per user", "{A}|", "", true, "FINN", "{A}|{C}", "",
            "{A}|{B}{C}", true, "");
        row("file as loaded, global here: keys removed", "{A}|", "", false, "FNNN", "{A}|", "", "remove",
            false, "");
        row("set to global elsewhere, nothing changed here: follows the global", "{A}|", "", true, "FNNN",
            "|", "", "nothing", false, "");
        row("set to global elsewhere, rights changed here: a conflict", "{A}|", "", true, "FINN", "|", "",
            "{A}|{B}", true, "Rights of the field:Use Global Settings>Use Settings below");
        row("that conflict settled for the file", "{A}|", "", true, "FINN", "|", "all=theirs", "nothing",
            false, "Rights of the field:Use Global Settings>Use Settings below");
        row("own rights given elsewhere, global here: theirs stay", "|", "FNNN", false, "FNNN", "{B}|", "",
            "nothing", true, "");
        row("set to global here, own rights changed elsewhere: a conflict", "{A}|", "", false, "FNNN",
            "{A}{B}|", "all=mine", "remove", false,
            "Rights of the field:Use Settings below>Use Global Settings");
        row("own rights given here, file still global but changed: written", "|", "INNN", true, "IINN", "  |",
            "", "|{A}{B}", true, "");
        row("own rights given on both sides: merged from the global rights shown", "|", "INNN", true, "IFNN",
            "|{A}{C}", "", "{B}|{A}{C}", true, "");
    }

    void fieldRights() {
        auto [base, shownCodes, mineOwn, mine, theirs, script, expected, own, conflicts] =
            test::fetch<QString, QString, bool, QString, QString, QString, QString, bool, QString>();
        const merge::UserRights u = users({}, mine);
        const merge::ScopeValues b = values(base);
        const std::vector<int> baseCodes = shownCodes.isEmpty() ? shown(u, b) : codes(shownCodes);
        const merge::FieldRightsMerge first =
            merge::mergeFieldRights("28", u, mineOwn, baseCodes, b, values(theirs), {});
        QCOMPARE(conflictsText(first.unresolved), conflicts);
        const merge::FieldRightsMerge m = merge::mergeFieldRights(
            "28", u, mineOwn, baseCodes, b, values(theirs), choose(script, first.unresolved));
        if (!script.isEmpty())
            QVERIFY(m.unresolved.empty());
        QCOMPARE(written(m.write, m.lists), expected);
        QCOMPARE(m.own, own);
    }

    // A field's settings file: two flags and the drop-down list, each a part of its own.
    void fieldFile_data() {
        // a side: "only,edit,list" with list entries separated by '/'
        test::columns<QString, QString, QString, QString, QString, QString, QString>(
            "base", "mine", "theirs", "choices", "written", "conflicts", "elsewhere");
        using test::row;
        row("nothing changed here: nothing written", "0,1,Gold", "0,1,Gold", "1,0,Silver", "", "nothing", "",
            "Only from Drop-down (checked);Allow editing (unchecked);Drop-down list");
        row("different parts changed: both kept", "0,1,Gold", "1,1,Gold", "0,1,Gold/Silver", "",
            "1,1,Gold/Silver", "", "Drop-down list");
        row("a flag changed alike", "0,0,Gold", "0,1,Gold", "0,1,Gold", "", "0,1,Gold", "", "");
        row("the list changed on both sides: a conflict", "0,1,Gold", "0,1,Gold/Red", "0,1,Gold/Blue", "",
            "0,1,Gold/Red", "Drop-down list:Gold, Blue>Gold, Red", "");
        row("that conflict settled for the file", "0,1,Gold", "1,1,Gold/Red", "0,1,Gold/Blue", "all=theirs",
            "1,1,Gold/Blue", "Drop-down list:Gold, Blue>Gold, Red", "Drop-down list");
        row("spaces around entries are no change", "0,1, Gold", "0,1,Gold ", "0,0,Gold", "", "nothing", "",
            "Allow editing (unchecked)");
        row("a flag changed on both sides", "0,0,", "1,0,", "0,0,", "", "1,0,", "", "");
        row("allow editing both ways", "0,0,", "0,1,", "0,2,", "", "0,1,", "Allow editing:greyed>checked",
            "");
    }

    void fieldFile() {
        auto [base, mine, theirs, script, expected, conflicts, elsewhere] =
            test::fetch<QString, QString, QString, QString, QString, QString, QString>();
        const auto file = [](const QString& text) {
            const QStringList p = text.split(',');
            return merge::FieldFile{p[0].toInt(), p[1].toInt(), p[2].split('/').join('\n')};
        };
        const merge::FieldFileMerge first =
            merge::mergeFieldFile("28", file(base), file(mine), file(theirs), {});
        QCOMPARE(conflictsText(first.unresolved), conflicts);
        const merge::FieldFileMerge m = merge::mergeFieldFile("28", file(base), file(mine), file(theirs),
                                                              choose(script, first.unresolved));
        const QString out = QString("%1,%2,%3")
                                .arg(m.values.onlyFromDropdown)
                                .arg(m.values.allowEditing)
                                .arg(merge::entriesOf(m.values.listText).replace('\n', '/'));
        QCOMPARE(m.write ? out : QString("nothing"), expected);
        QCOMPARE(m.fromElsewhere.join(';'), elsewhere);
    }

    // A choice holds for the conflict it was made for: when the file changes again and the same user
    // now conflicts with another right, the administrator is asked again.
    void choiceForAnotherConflict() {
        const merge::UserRights u = users({}, "FNIN");
        const merge::ScopeValues b = values("{A}|");
        const merge::RightsMerge first =
            merge::mergeRights("Global", u, shown(u, b), b, values("{A}{C}|"), {});
        const merge::Choices keepMine = choose("all=mine", first.unresolved);
        QVERIFY(
            merge::mergeRights("Global", u, shown(u, b), b, values("{A}{C}|"), keepMine).unresolved.empty());
        QCOMPARE(conflictsText(
                     merge::mergeRights("Global", u, shown(u, b), b, values("{A}|{B}"), keepMine).unresolved),
                 "");
        QCOMPARE(conflictsText(
                     merge::mergeRights("Global", u, shown(u, b), b, values("{A}{B}|{C}"), {}).unresolved),
                 "");
        // Cy: Full elsewhere before the choice, now None-by-removal is no conflict; Full again is.
        QCOMPARE(conflictsText(
                     merge::mergeRights("Field", u, shown(u, b), b, values("{A}{C}|"), keepMine).unresolved),
                 "Cy:Full>Initialize");
    }
};

QTEST_APPLESS_MAIN(TestMerge)
#include "tst_merge.moc"
