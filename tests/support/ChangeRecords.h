#pragma once

// Change-log records for the tests: one of each kind, with the awkward characters a record must
// carry, and one of a chosen size; and what a log holds, as the tests compare it.

#include "editor/Rights.h"
#include "settings/ChangeLog.h"

namespace qm::test {

// A field's save: two users changed, both keys, the file made.
inline changelog::Record fieldRecord(qint64 whenMs, const QString& login = "ann", const QString& note = {}) {
    using changelog::Right;
    changelog::Record r;
    r.whenMs = whenMs;
    r.login = login;
    r.actUser = "Chris Huffman";
    r.database = "Contacts";
    r.kind = changelog::Kind::Field;
    r.fieldId = "28";
    r.fieldLabel = "Phone";
    r.users = {{"Dana O'Neil", "{ID-0003}", Right::Full, Right::None},
               {"Chen Wei", "{ID-0002}", Right::None, Right::Initialize}};
    r.keys = {{"28F", QByteArray("{ID-0001}{ID-0003}"), QByteArray("{ID-0001}")},
              {"28I", std::nullopt, QByteArray("{ID-0002}")}};
    r.fileChanged = true;
    r.fileAfter = QByteArray("OnlyFromDropdown=1\r\nAllowEditing=0\r\nRed\r\nGreen\r\n");
    r.note = note;
    return r;
}

// The global rights at Close: Ann Archer made "Full", GlobalF made.
inline changelog::Record globalRecord(qint64 whenMs, const QString& login = "bob", const QString& note = {}) {
    changelog::Record r;
    r.whenMs = whenMs;
    r.login = login;
    r.database = "Contacts";
    r.kind = changelog::Kind::GlobalRights;
    r.users = {{"Ann Archer", "{ID-0001}", changelog::Right::None, changelog::Right::Full}};
    r.keys = {{"GlobalF", std::nullopt, QByteArray("{ID-0001}")}};
    r.note = note;
    return r;
}

// A record of about `size` bytes (a key's value makes it up, quickly encoded, so that a writer
// spends its time writing).
inline changelog::Record bigRecord(qint64 whenMs, const QString& login, const QString& note, int size) {
    changelog::Record r = fieldRecord(whenMs, login, note);
    r.keys.push_back({"28", std::nullopt, QByteArray(size, 'x')});
    return r;
}

// The records of the log of `usersPath`, oldest first.
inline std::vector<changelog::Record> logRecords(const QString& usersPath) {
    std::vector<changelog::Record> out;
    for (const changelog::LogLine& line : changelog::readLog(usersPath).lines)
        out.push_back(*changelog::decode(line));
    return out;
}

// "name:before>after" for each user of a record, joined by ",".
inline QString userChanges(const changelog::Record& r) {
    QStringList out;
    for (const changelog::UserChange& u : r.users)
        out << u.name + ":" + rights::rightName(u.before) + ">" + rights::rightName(u.after);
    return out.join(',');
}

} // namespace qm::test
