#include "platform/VbRuntime.h"

#include "platform/VbError.h"

#include <cmath>
#include <limits>

namespace qm::vb {

namespace {

double roundHalfEven(double v) {
    if (!std::isfinite(v)) {
        raise(VbErr::Overflow);
    }
    return std::nearbyint(v); // the default rounding mode rounds half to even
}

template <typename T> T checkedInteger(double v) {
    const double r = roundHalfEven(v);
    if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
        r > static_cast<double>(std::numeric_limits<T>::max())) {
        raise(VbErr::Overflow);
    }
    return static_cast<T>(r);
}

} // namespace

double numberFromText(const QString& text) {
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        bool ok = false;
        const qlonglong v = t.mid(2).toLongLong(&ok, 16);
        if (ok) {
            return static_cast<double>(v);
        }
        raise(VbErr::TypeMismatch);
    }
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok && std::isinf(v)) {
        raise(VbErr::Overflow); // a number, too large for any numeric type
    }
    // "nan", "inf" and their kin are no number to the run-time.
    if (!ok || t.isEmpty() || !std::isfinite(v)) {
        raise(VbErr::TypeMismatch);
    }
    return v;
}

std::int16_t CInt(double value) {
    return checkedInteger<std::int16_t>(value);
}
std::int16_t CInt(const QString& text) {
    return CInt(numberFromText(text));
}
std::int32_t CLng(double value) {
    return checkedInteger<std::int32_t>(value);
}
std::int32_t CLng(const QString& text) {
    return CLng(numberFromText(text));
}

float CSng(const QString& text) {
    const double v = numberFromText(text);
    if (std::fabs(v) > static_cast<double>(std::numeric_limits<float>::max())) {
        raise(VbErr::Overflow);
    }
    return static_cast<float>(v);
}

bool CBool(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
        return false;
    }
    return numberFromText(t) != 0.0;
}

QStringView Trim(QStringView text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from] == QLatin1Char(' ')) {
        ++from;
    }
    while (to > from && text[to - 1] == QLatin1Char(' ')) {
        --to;
    }
    return text.sliced(from, to - from);
}

QString CStr(float value) {
    QString s = QString::number(static_cast<double>(value), 'g', 7);
    s.replace(QLatin1Char('e'), QLatin1Char('E'));
    return s;
}

QString CStr(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace qm::vb
