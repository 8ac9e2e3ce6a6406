#include "settings/ChangeRecord.h"

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

// The bytes of an escaped piece; nullopt when it holds a byte that should have been escaped or a
// "%" without two hex digits.
std::optional<QByteArray> unescape(QByteArrayView in, bool raw) {
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != '%') {
            if (escaped(static_cast<unsigned char>(c), raw)) {
                return std::nullopt;
            }
            out += c;
            continue;
        }
        if (i + 2 >= in.size()) {
            return std::nullopt;
        }
        const int high = hexDigit(in[i + 1]);
        const int low = hexDigit(in[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += char(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<QString> unescapeText(QByteArrayView in) {
    const std::optional<QByteArray> bytes = unescape(in, false);
    if (!bytes) {
        return std::nullopt;
    }
    return QString::fromUtf8(*bytes);
}

void appendValue(QByteArray& out, const Bytes& value) {
    if (!value) {
        out += '-';
        return;
    }
    out += '=';
    appendEscaped(out, *value, true);
}

// A value's form: "-", or "=" and its bytes. nullopt inside nullopt: not a value.
std::optional<Bytes> readValue(QByteArrayView in) {
    if (in == "-") {
        return Bytes{};
    }
    if (!in.startsWith('=')) {
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = unescape(in.sliced(1), true);
    if (!bytes) {
        return std::nullopt;
    }
    return Bytes{std::move(*bytes)};
}

// `text` cut at every `separator`; an empty text gives no piece.
std::vector<QByteArrayView> split(QByteArrayView text, char separator) {
    std::vector<QByteArrayView> pieces;
    if (text.isEmpty()) {
        return pieces;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(separator, from);
        if (at < 0) {
            pieces.push_back(text.sliced(from));
            return pieces;
        }
        pieces.push_back(text.sliced(from, at - from));
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

quint64 fnv1a(QByteArrayView bytes) {
    quint64 h = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    return h;
}

QByteArray checkText(QByteArrayView bytes) {
    return QByteArray::number(fnv1a(bytes), 16).rightJustified(16, '0');
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
    char text[40];
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

std::optional<Record> decode(QByteArrayView line) {
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    const std::vector<QByteArrayView> parts = split(line, kTab);
    if (parts.size() != std::size_t(kParts) || parts[0] != kVersion) {
        return std::nullopt;
    }
    const qsizetype checked = line.size() - parts.back().size();
    if (parts.back() != checkText(line.first(checked))) {
        return std::nullopt;
    }
    const std::optional<qint64> when = parseUtcText(parts[1]);
    // login, ACT! user, database, kind, field ID, field label; then the note
    std::array<std::optional<QString>, 7> texts;
    for (std::size_t i = 0; i < 6; ++i) {
        texts[i] = unescapeText(parts[2 + i]);
    }
    texts[6] = unescapeText(parts[11]);
    if (!when) {
        return std::nullopt;
    }
    for (const auto& t : texts) {
        if (!t) {
            return std::nullopt;
        }
    }
    Record r;
    r.whenMs = *when;
    r.login = std::move(*texts[0]);
    r.actUser = std::move(*texts[1]);
    r.database = std::move(*texts[2]);
    const QString& kind = *texts[3];
    r.fieldId = std::move(*texts[4]);
    r.fieldLabel = std::move(*texts[5]);
    r.note = std::move(*texts[6]);
    for (std::size_t i = 0; i < kKindWords.size(); ++i) {
        if (kind == QLatin1String(kKindWords[i])) {
            r.kind = Kind(int(i));
        }
    }
    if (r.kind == Kind::Other) {
        r.kindWord = kind;
    }
    for (const QByteArrayView entry : split(parts[8], '|')) {
        const std::vector<QByteArrayView> p = split(entry, ':');
        if (p.size() != 4) {
            return std::nullopt;
        }
        std::optional<QString> name = unescapeText(p[0]);
        std::optional<QString> id = unescapeText(p[1]);
        const std::optional<Right> before = readRight(p[2]);
        const std::optional<Right> after = readRight(p[3]);
        if (!name || !id || !before || !after) {
            return std::nullopt;
        }
        r.users.push_back({std::move(*name), std::move(*id), *before, *after});
    }
    for (const QByteArrayView entry : split(parts[9], '|')) {
        const std::vector<QByteArrayView> p = split(entry, ':');
        if (p.size() != 3) {
            return std::nullopt;
        }
        std::optional<QString> key = unescapeText(p[0]);
        std::optional<Bytes> before = readValue(p[1]);
        std::optional<Bytes> after = readValue(p[2]);
        if (!key || !before || !after) {
            return std::nullopt;
        }
        r.keys.push_back({std::move(*key), std::move(*before), std::move(*after)});
    }
    if (!parts[10].isEmpty()) {
        const std::vector<QByteArrayView> p = split(parts[10], ':');
        std::optional<Bytes> before = p.size() == 2 ? readValue(p[0]) : std::nullopt;
        std::optional<Bytes> after = p.size() == 2 ? readValue(p[1]) : std::nullopt;
        if (!before || !after) {
            return std::nullopt;
        }
        r.fileChanged = true;
        r.fileBefore = std::move(*before);
        r.fileAfter = std::move(*after);
    }
    return r;
}

} // namespace qm::changelog
