// The INI reader and its one-line edits on any bytes. The input's first line names what to ask
// and write, "section|key|value"; the rest is the file.
//
// Checked: nothing crashes; an edited document's carried-over index is the index of its bytes;
// a value written under sane names reads back as written (trimmed, without one pair of quotes);
// a removal takes away bytes and the key.

#include "settings/Cp1252.h"
#include "settings/IniDocument.h"

#include "FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace qm;

namespace {

bool hasLineEnd(const QByteArray& b) {
    return b.contains('\r') || b.contains('\n');
}

// What a value written as `raw` reads back as.
QByteArray readBack(const QByteArray& raw) {
    QByteArray v = cp1252::encode(trimBlanks(cp1252::decode(raw)));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.mid(1, v.size() - 2);
    }
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype nl = input.indexOf('\n');
    const QList<QByteArray> ask = (nl < 0 ? QByteArray() : input.left(nl)).split('|');
    const QString section = cp1252::decode(ask.value(0));
    const QString key = cp1252::decode(ask.value(1));
    const QByteArray value = ask.value(2);
    const IniDocument doc(nl < 0 ? input : input.mid(nl + 1));

    const QByteArray before = doc.value(section, key);
    check(before.size() <= doc.bytes().size());

    const IniDocument written = doc.withValue(section, key, value);
    check(written == IniDocument(written.bytes()));
    const QByteArray trimmedKey = cp1252::encode(trimBlanks(key));
    const bool saneNames = !hasLineEnd(ask.value(0)) && !hasLineEnd(ask.value(1)) &&
                           !trimmedKey.contains('=') && !trimmedKey.startsWith('[');
    if (saneNames && !hasLineEnd(value)) {
        check(written.value(section, key) == readBack(value));
    }

    if (const auto removed = doc.withoutKey(section, key)) {
        check(*removed == IniDocument(removed->bytes()));
        check(removed->bytes().size() < doc.bytes().size());
    } else {
        check(before.isEmpty());
    }
    return 0;
}
