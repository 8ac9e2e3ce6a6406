// The INI reader and its one-line edits on any bytes. The input's first line names what to ask
// and write, "section|key|value"; the rest is the file.
//
// Checked: nothing crashes; an edited document's carried-over index is the index of its bytes;
// a value written under sane names reads back as written (trimmed, without one pair of quotes);
// a removal takes away bytes and the key.

#include "settings/Cp1252.h"
#include "settings/IniDocument.h"

#include "FuzzCheck.h"
#include "FuzzIniAsk.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace qm;

namespace {

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
    const fuzz::IniAsk ask(input);
    const QString& section = ask.section;
    const QString& key = ask.key;
    const QByteArray& value = ask.value;
    const IniDocument doc(ask.file);

    const QByteArray before = doc.value(section, key);
    check(before.size() <= doc.bytes().size());

    const IniDocument written = doc.withValue(section, key, value);
    check(written == IniDocument(written.bytes()));
    if (ask.saneNames() && !fuzz::hasLineEnd(value)) {
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
