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

// A record of about `size` bytes (the users' names make it up).
inline changelog::Record bigRecord(qint64 whenMs, const QString& login, const QString& note, int size) {
    changelog::Record r = fieldRecord(whenMs, login, note);
    r.users.clear();
    for (int i = 0; i * 60 < size; ++i)
        r.users.push_back({QString("User %1 ").arg(i) + QString(30, QChar('a' + i % 26)),
                           QString("{ID-%1}").arg(i, 4, 10, QChar('0')), changelog::Right::None,
                           changelog::Right::Full});
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
