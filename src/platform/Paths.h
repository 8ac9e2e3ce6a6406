#pragma once

#include <QChar>

namespace qm {

// The character that separates folders in the paths the tool builds and cuts: "\" on Windows,
// "/" elsewhere. Functions that cut paths take it as an argument, so both forms are testable.
#ifdef Q_OS_WIN
inline constexpr QChar kPathSep = QLatin1Char('\\');
#else
inline constexpr QChar kPathSep = QLatin1Char('/');
#endif

} // namespace qm
