// The per-field settings file reader on any bytes, and the writer's output read back.
//
// Checked: nothing but a run-time error stops a read; the list text read holds no entry with
// spaces around it except the first; what the writer makes of a list reads back as its
// non-empty entries trimmed of spaces, with the flags as written.

#include "platform/VbError.h"
#include "settings/Cp1252.h"
#include "settings/FieldSettingsFile.h"

#include <QStringList>

#include "FuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace qm;

namespace {

QString trimSpaces(QString s) {
    while (s.startsWith(QLatin1Char(' '))) {
        s.remove(0, 1);
    }
    while (s.endsWith(QLatin1Char(' '))) {
        s.chop(1);
    }
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    FieldSettingsFile::FieldSettings read;
    read.onlyFromDropdown = read.allowEditing = -1;
    try {
        FieldSettingsFile::readContent(bytes, read);
        // Entries are joined by LF; a lone LF in the file stays inside its entry instead.
        const bool loneLf = QByteArray(bytes.data(), bytes.size()).replace("\r\n", "\r").contains('\n');
        const QStringList entries = loneLf ? QStringList() : read.listText.split(QLatin1Char('\n'));
        for (qsizetype i = 1; i < entries.size(); ++i) {
            check(!entries[i].isEmpty() && entries[i] == trimSpaces(entries[i]));
        }
    } catch (const VbError& e) {
        check(e.number() == 62 || e.number() == 13 || e.number() == 6 || e.number() == 380);
    }
    check(read.onlyFromDropdown >= -1 && read.onlyFromDropdown <= 2);
    check(read.allowEditing >= -1 && read.allowEditing <= 2);

    // The same bytes as an editor's list text, through the writer and back.
    const QString list = cp1252::decode(bytes);
    if (list.contains(QLatin1Char('\r'))) {
        return 0; // a CR inside an entry ends a line of the file: such a list does not read back whole
    }
    const int only = size % 3;
    const int edit = (size / 3) % 3;
    FieldSettingsFile::FieldSettings back;
    FieldSettingsFile::readContent(FieldSettingsFile::content(only, edit, list), back);
    QStringList expected;
    for (const QString& piece : list.split(QLatin1Char('\n'))) {
        if (!trimSpaces(piece).isEmpty()) {
            expected << trimSpaces(piece);
        }
    }
    check(back.onlyFromDropdown == only && back.allowEditing == edit);
    check(back.listText == expected.join(QLatin1Char('\n')));
    return 0;
}
