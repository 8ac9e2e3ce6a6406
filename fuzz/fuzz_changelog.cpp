// The change log's reader on any bytes: a line reads as a record or is skipped, never a crash.
//
// Checked: a record read back is written again as one valid UTF-8 line that reads back to the same
// record; a line's parts as checkLine found them decode as the line does; the lines of any bytes
// are each read or counted as skipped.

#include "settings/ChangeLog.h"

#include "FuzzCheck.h"

#include <cstdint>

using namespace qm::changelog;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<Record> record = decode(bytes)) {
        const QByteArray line = encode(*record);
        check(line.endsWith('\n') && line.count('\n') == 1);
        check(QString::fromUtf8(line).toUtf8() == line);
        const std::optional<Record> again = decode(line);
        check(again && *again == *record);
    }
    // A reader of many lines checks each once, and decodes it from where checkLine found its parts.
    const std::optional<CheckedLine> checked = checkLine(bytes);
    const std::optional<Record> decoded = decode(bytes);
    check(checked.has_value() || !decoded.has_value());
    if (checked) {
        check(decode(*checked) == decoded);
    }
    std::vector<Record> records;
    qint64 skipped = 0;
    readRecords(bytes, records, skipped);
    check(qint64(records.size()) + skipped <= qint64(bytes.count('\n')) + 1);
    return 0;
}
