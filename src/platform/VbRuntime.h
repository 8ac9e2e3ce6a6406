#pragma once

// Conversions with the results and errors of the Visual Basic run-time: text that is not a number
// raises "Type mismatch" (13), a number outside the target type raises "Overflow" (6).

#include <QString>
#include <QStringView>

#include <cstdint>

namespace qm::vb {

// Round half to even, as CInt and CLng do, then range-check.
std::int16_t CInt(double value);
std::int16_t CInt(const QString& text);
std::int32_t CLng(double value);
std::int32_t CLng(const QString& text);
float CSng(const QString& text);
bool CBool(const QString& text);

// A number read from text the way the conversions above read it; throws 13 when it is none ("nan"
// and "inf" are none) and 6 when it is too large for any number.
double numberFromText(const QString& text);

// The text without its leading and trailing spaces, as Trim$ cuts it: only spaces, not tabs or
// line breaks.
QStringView Trim(QStringView text);

// The decimal text of a single-precision number, as CStr writes it (at most 7 significant digits).
QString CStr(float value);
// "True" or "False".
QString CStr(bool value);

} // namespace qm::vb
