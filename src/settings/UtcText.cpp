// The times of the change log's lines, in UTC: "2024-05-01T09:12:33.123Z" and back (ChangeRecord.h).

#include "settings/ChangeRecord.h"

#include <cstdio>

namespace qm::changelog {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
qint64 daysFromCivil(qint64 y, unsigned m, unsigned d) {
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + qint64(doe) - 719468;
}

void civilFromDays(qint64 z, qint64& y, unsigned& m, unsigned& d) {
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = qint64(yoe) + era * 400 + (m <= 2);
}

} // namespace

QByteArray utcText(qint64 ms) {
    const qint64 days = ms >= 0 ? ms / 86'400'000 : -((-ms + 86'399'999) / 86'400'000);
    const qint64 inDay = ms - days * 86'400'000;
    qint64 y = 0;
    unsigned m = 0;
    unsigned d = 0;
    civilFromDays(days, y, m, d);
    if (y >= 0 && y <= 9999) { // every time a log holds: written digit by digit, as many are
        char text[24];
        const auto put = [&](int at, qint64 value, int digits) {
            for (int i = digits - 1; i >= 0; --i, value /= 10) {
                text[at + i] = char('0' + value % 10);
            }
        };
        put(0, y, 4);
        put(5, m, 2);
        put(8, d, 2);
        put(11, inDay / 3'600'000, 2);
        put(14, inDay / 60'000 % 60, 2);
        put(17, inDay / 1000 % 60, 2);
        put(20, inDay % 1000, 3);
        text[4] = text[7] = '-';
        text[10] = 'T';
        text[13] = text[16] = ':';
        text[19] = '.';
        text[23] = 'Z';
        return QByteArray(text, 24);
    }
    char text[64]; // room for any value the compiler can see, though a day has 24 hours
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ",
                  static_cast<long long>(y), m, d, static_cast<long long>(inDay / 3'600'000),
                  static_cast<long long>(inDay / 60'000 % 60), static_cast<long long>(inDay / 1000 % 60),
                  static_cast<long long>(inDay % 1000));
    return text;
}

std::optional<qint64> parseUtcText(QByteArrayView t) {
    // YYYY-MM-DDTHH:MM:SS.mmmZ
    if (t.size() != 24 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
        t[19] != '.' || t[23] != 'Z') {
        return std::nullopt;
    }
    bool digits = true;
    const auto num = [&](int from, int count) {
        int n = 0;
        for (int i = from; i < from + count; ++i) {
            const auto d = unsigned(t[i] - '0');
            digits = digits && d <= 9;
            n = n * 10 + int(d);
        }
        return n;
    };
    const int year = num(0, 4);
    const int month = num(5, 2);
    const int day = num(8, 2);
    const int hour = num(11, 2);
    const int minute = num(14, 2);
    const int second = num(17, 2);
    const int milli = num(20, 3);
    if (!digits || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 59) {
        return std::nullopt;
    }
    const qint64 days = daysFromCivil(year, unsigned(month), unsigned(day));
    return ((days * 24 + hour) * 60 + minute) * 60'000 + second * 1000 + milli;
}

} // namespace qm::changelog
