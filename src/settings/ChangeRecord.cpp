#include "settings/ChangeRecord.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstdio>

namespace qm::changelog {

namespace {

constexpr char kVersion[] = "QM1";
constexpr int kParts = 13; // the version, eleven parts, the check
constexpr char kTab = '\t';

constexpr std::array<const char*, 4> kKindWords{"global", "field", "locations", "restore"};
constexpr std::array<const char*, 3> kRightWords{"Full", "Initialize", "None"};

// Bytes written "%XX" inside a part: those that separate parts or pieces, the control characters
// and DEL, and in a value's bytes (`raw`) everything from 0x80 on.
bool escaped(unsigned char b, bool raw) {
    return b < 0x20 || b == 0x7F || b == '%' || b == ':' || b == '|' || (raw && b >= 0x80);
}

void appendEscaped(QByteArray& out, QByteArrayView bytes, bool raw) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (escaped(b, raw)) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
}

void appendText(QByteArray& out, const QString& text) {
    appendEscaped(out, text.toUtf8(), false);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The bytes of a piece that validPiece() accepted, written to `out` (room for in.size() bytes);
// the end of what was written.
char* unescapeTo(QByteArrayView in, char* out) {
    const char* p = in.data();
    const char* const end = p + in.size();
    while (p < end) {
        const char c = *p++;
        if (c == '%' && end - p >= 2) {
            *out++ = char(hexDigit(p[0]) * 16 + hexDigit(p[1]));
            p += 2;
        } else {
            *out++ = c;
        }
    }
    return out;
}

QByteArray unescapeBytes(QByteArrayView in) {
    QByteArray out(in.size(), Qt::Uninitialized);
    out.truncate(unescapeTo(in, out.data()) - out.constData());
    return out;
}

QString unescapeText(QByteArrayView in) {
    if (!in.contains('%')) { // most texts: straight from the line
        return QString::fromUtf8(in);
    }
    char buffer[256];
    QByteArray large;
    char* out = buffer;
    if (in.size() > qsizetype(sizeof buffer)) {
        large.resize(in.size());
        out = large.data();
    }
    return QString::fromUtf8(out, unescapeTo(in, out) - out);
}

// Whether a piece reads back: no byte that should have been escaped, every "%" with two hex digits.
bool validPiece(QByteArrayView in, bool raw) {
    const char* p = in.data();
    const char* const end = p + in.size();
    while (p < end) {
        const char c = *p++;
        if (c == '%') {
            if (end - p < 2 || hexDigit(p[0]) < 0 || hexDigit(p[1]) < 0) {
                return false;
            }
            p += 2;
        } else if (escaped(static_cast<unsigned char>(c), raw)) {
            return false;
        }
    }
    return true;
}

void appendValue(QByteArray& out, const Bytes& value) {
    if (!value) {
        out += '-';
        return;
    }
    out += '=';
    appendEscaped(out, *value, true);
}

bool validValue(QByteArrayView in) {
    return in == "-" || (in.startsWith('=') && validPiece(in.sliced(1), true));
}

Bytes readValue(QByteArrayView in) {
    if (in == "-") {
        return std::nullopt;
    }
    return unescapeBytes(in.sliced(1));
}

// Up to N pieces of `text` cut at `separator`; the count found (N + 1 when there are more).
template <std::size_t N>
std::size_t cut(QByteArrayView text, char separator, std::array<QByteArrayView, N>& pieces) {
    std::size_t n = 0;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(separator, from);
        if (n == N) {
            return N + 1;
        }
        pieces[n++] = text.sliced(from, (at < 0 ? text.size() : at) - from);
        if (at < 0) {
            return n;
        }
        from = at + 1;
    }
}

// Calls `take` with each piece of a list cut at "|" (none for an empty list), until it says false.
template <typename F> bool eachEntry(QByteArrayView list, F take) {
    if (list.isEmpty()) {
        return true;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = list.indexOf('|', from);
        if (!take(list.sliced(from, (at < 0 ? list.size() : at) - from))) {
            return false;
        }
        if (at < 0) {
            return true;
        }
        from = at + 1;
    }
}

std::optional<Right> readRight(QByteArrayView word) {
    for (std::size_t i = 0; i < kRightWords.size(); ++i) {
        if (word == kRightWords[i]) {
            return Right(int(i));
        }
    }
    return std::nullopt;
}

// A 64-bit hash of a line's bytes, 8 at a time (read as a little-endian number): each step is a
// one-to-one function of the state, so any change within one 8-byte word always changes the result.
quint64 checkOf(QByteArrayView bytes) {
    constexpr quint64 kOdd = 0x9E3779B97F4A7C15ULL;
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    qsizetype n = bytes.size();
    quint64 h = 0x243F6A8885A308D3ULL ^ quint64(n);
    for (; n >= 8; n -= 8, p += 8) {
        h = (h ^ qFromLittleEndian<quint64>(p)) * kOdd;
        h ^= h >> 29;
    }
    quint64 last = 0;
    for (qsizetype i = 0; i < n; ++i) {
        last |= quint64(p[i]) << (8 * i);
    }
    h = (h ^ last) * kOdd;
    return h ^ (h >> 32);
}

QByteArray checkText(QByteArrayView bytes) {
    return QByteArray::number(checkOf(bytes), 16).rightJustified(16, '0');
}

// The fields of a line that reads back whole: version, time, login, ACT! user, database, kind,
// field ID, field label, users, keys, file, note (the check left off).
enum Part { Version, When, Login, ActUser, Database, KindPart, FieldId, FieldLabel, Users, Keys, File, Note };
struct Parts {
    std::array<QByteArrayView, kParts - 1> part;
    qint64 whenMs = 0;
};

// `validate`: also that every part reads back (checkLine leaves that to decode: the check shows
// that the line is as a writer wrote it).
std::optional<Parts> checked(QByteArrayView line, bool validate) {
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    std::array<QByteArrayView, kParts> all;
    if (cut(line, kTab, all) != std::size_t(kParts) || all[Version] != kVersion) {
        return std::nullopt;
    }
    const QByteArrayView check = all[kParts - 1];
    if (check != checkText(line.first(line.size() - check.size()))) {
        return std::nullopt;
    }
    Parts parts;
    std::copy_n(all.begin(), kParts - 1, parts.part.begin());
    const std::optional<qint64> when = parseUtcText(parts.part[When]);
    if (!when) {
        return std::nullopt;
    }
    parts.whenMs = *when;
    if (!validate) {
        return parts;
    }
    for (const Part text : {Login, ActUser, Database, KindPart, FieldId, FieldLabel, Note}) {
        if (!validPiece(parts.part[text], false)) {
            return std::nullopt;
        }
    }
    const bool users = eachEntry(parts.part[Users], [](QByteArrayView entry) {
        std::array<QByteArrayView, 4> p;
        return cut(entry, ':', p) == 4 && validPiece(p[0], false) && validPiece(p[1], false) &&
               readRight(p[2]) && readRight(p[3]);
    });
    const bool keys = eachEntry(parts.part[Keys], [](QByteArrayView entry) {
        std::array<QByteArrayView, 3> p;
        return cut(entry, ':', p) == 3 && validPiece(p[0], false) && validValue(p[1]) && validValue(p[2]);
    });
    std::array<QByteArrayView, 2> file;
    const bool fileOk = parts.part[File].isEmpty() ||
                        (cut(parts.part[File], ':', file) == 2 && validValue(file[0]) && validValue(file[1]));
    if (!users || !keys || !fileOk) {
        return std::nullopt;
    }
    return parts;
}

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

QString kindWord(const Record& record) {
    if (record.kind == Kind::Other) {
        return record.kindWord;
    }
    return QString::fromLatin1(kKindWords[std::size_t(record.kind)]);
}

QByteArray utcText(qint64 ms) {
    const qint64 days = ms >= 0 ? ms / 86'400'000 : -((-ms + 86'399'999) / 86'400'000);
    const qint64 inDay = ms - days * 86'400'000;
    qint64 y = 0;
    unsigned m = 0;
    unsigned d = 0;
    civilFromDays(days, y, m, d);
    char text[64]; // room for any value the compiler can see, though a day has 24 hours
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ",
                  static_cast<long long>(y), m, d, static_cast<long long>(inDay / 3'600'000),
                  static_cast<long long>(inDay / 60'000 % 60), static_cast<long long>(inDay / 1000 % 60),
                  static_cast<long long>(inDay % 1000));
    return text;
}

std::optional<qint64> parseUtcText(QByteArrayView t) {
    // YYYY-MM-DDTHH:MM:SS.mmmZ
    static constexpr char kForm[] = "dddd-dd-ddTdd:dd:dd.dddZ";
    if (t.size() != qsizetype(sizeof kForm - 1)) {
        return std::nullopt;
    }
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (kForm[i] == 'd' ? (t[i] < '0' || t[i] > '9') : t[i] != kForm[i]) {
            return std::nullopt;
        }
    }
    const auto num = [&](int from, int count) {
        int n = 0;
        for (int i = from; i < from + count; ++i) {
            n = n * 10 + (t[i] - '0');
        }
        return n;
    };
    const int month = num(5, 2);
    const int day = num(8, 2);
    const int hour = num(11, 2);
    const int minute = num(14, 2);
    const int second = num(17, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    const qint64 days = daysFromCivil(num(0, 4), unsigned(month), unsigned(day));
    return ((days * 24 + hour) * 60 + minute) * 60'000 + second * 1000 + num(20, 3);
}

QByteArray encode(const Record& r) {
    QByteArray line;
    line.reserve(256);
    line += kVersion;
    line += kTab;
    line += utcText(r.whenMs);
    for (const QString* text : {&r.login, &r.actUser, &r.database}) {
        line += kTab;
        appendText(line, *text);
    }
    line += kTab;
    appendText(line, kindWord(r));
    line += kTab;
    appendText(line, r.fieldId);
    line += kTab;
    appendText(line, r.fieldLabel);
    line += kTab;
    for (std::size_t i = 0; i < r.users.size(); ++i) {
        const UserChange& u = r.users[i];
        if (i > 0) {
            line += '|';
        }
        appendText(line, u.name);
        line += ':';
        appendText(line, u.uniqueId);
        line += ':';
        line += kRightWords[std::size_t(u.before)];
        line += ':';
        line += kRightWords[std::size_t(u.after)];
    }
    line += kTab;
    for (std::size_t i = 0; i < r.keys.size(); ++i) {
        if (i > 0) {
            line += '|';
        }
        appendText(line, r.keys[i].key);
        line += ':';
        appendValue(line, r.keys[i].before);
        line += ':';
        appendValue(line, r.keys[i].after);
    }
    line += kTab;
    if (r.fileChanged) {
        appendValue(line, r.fileBefore);
        line += ':';
        appendValue(line, r.fileAfter);
    }
    line += kTab;
    appendText(line, r.note);
    line += kTab;
    line += checkText(line);
    line += '\n';
    return line;
}

QString TextDecoder::text(QByteArrayView part) {
    return unescapeText(part);
}

std::optional<Record> decode(QByteArrayView line, KeyValues keyValues, TextDecoder* texts) {
    const std::optional<Parts> checkedParts = checked(line, true);
    if (!checkedParts) {
        return std::nullopt;
    }
    const auto& part = checkedParts->part;
    TextDecoder plain;
    TextDecoder& t = texts ? *texts : plain;
    Record r;
    r.whenMs = checkedParts->whenMs;
    r.login = t.text(part[Login]);
    r.actUser = t.text(part[ActUser]);
    r.database = t.text(part[Database]);
    const QString kind = t.text(part[KindPart]);
    for (std::size_t i = 0; i < kKindWords.size(); ++i) {
        if (kind == QLatin1String(kKindWords[i])) {
            r.kind = Kind(int(i));
        }
    }
    if (r.kind == Kind::Other) {
        r.kindWord = kind;
    }
    r.fieldId = t.text(part[FieldId]);
    r.fieldLabel = t.text(part[FieldLabel]);
    r.note = t.text(part[Note]);
    eachEntry(part[Users], [&](QByteArrayView entry) {
        std::array<QByteArrayView, 4> p;
        cut(entry, ':', p);
        r.users.push_back({t.text(p[0]), t.text(p[1]), *readRight(p[2]), *readRight(p[3])});
        return true;
    });
    const bool withValues = keyValues == KeyValues::Decoded || r.kind == Kind::Locations;
    eachEntry(part[Keys], [&](QByteArrayView entry) {
        std::array<QByteArrayView, 3> p;
        cut(entry, ':', p);
        r.keys.push_back(
            {t.text(p[0]), withValues ? readValue(p[1]) : Bytes(), withValues ? readValue(p[2]) : Bytes()});
        return true;
    });
    if (!part[File].isEmpty()) {
        std::array<QByteArrayView, 2> p;
        cut(part[File], ':', p);
        r.fileChanged = true;
        r.fileBefore = readValue(p[0]);
        r.fileAfter = readValue(p[1]);
    }
    return r;
}

std::optional<CheckedLine> checkLine(QByteArrayView line) {
    const std::optional<Parts> parts = checked(line, false);
    if (!parts) {
        return std::nullopt;
    }
    return CheckedLine{parts->whenMs, parts->part[Database]};
}

QByteArray escapedText(const QString& text) {
    QByteArray out;
    appendText(out, text);
    return out;
}

QString decodedText(QByteArrayView part) {
    return validPiece(part, false) ? unescapeText(part) : QString();
}

} // namespace qm::changelog
