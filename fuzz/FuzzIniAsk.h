#pragma once

// The input of the INI fuzz targets: its first line names what to ask and write,
// "section|key|value"; the rest is the file.

#include "settings/Cp1252.h"
#include "settings/IniDocument.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace qm::fuzz {

inline bool hasLineEnd(const QByteArray& b) {
    return b.contains('\r') || b.contains('\n');
}

struct IniAsk {
    explicit IniAsk(const QByteArray& input) {
        const qsizetype nl = input.indexOf('\n');
        const QList<QByteArray> ask = (nl < 0 ? QByteArray() : input.left(nl)).split('|');
        rawSection = ask.value(0);
        rawKey = ask.value(1);
        value = ask.value(2);
        section = cp1252::decode(rawSection);
        key = cp1252::decode(rawKey);
        file = nl < 0 ? input : input.mid(nl + 1);
    }

    // Names a later read finds again as written: one line each, the key no "=" and no "[" first.
    bool saneNames() const {
        const QByteArray trimmedKey = cp1252::encode(trimBlanks(key));
        return !hasLineEnd(rawSection) && !hasLineEnd(rawKey) && !trimmedKey.contains('=') &&
               !trimmedKey.startsWith('[');
    }

    QByteArray rawSection;
    QByteArray rawKey;
    QByteArray value;
    QString section;
    QString key;
    QByteArray file;
};

} // namespace qm::fuzz
