#pragma once

// Windows-1252, the single-byte code page the settings files are kept in on every platform, so a
// file moves between a Windows and a Linux machine unchanged.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace qm::cp1252 {

// Every byte decodes to one character and encodes back to the same byte; the five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) pass through as U+0081 and so on, as
// Windows itself decodes them.
QString decode(QByteArrayView bytes);

// A character outside the code page is written as "?" (a surrogate pair as one "?").
QByteArray encode(QStringView text);

} // namespace qm::cp1252
