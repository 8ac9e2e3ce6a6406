#include "settings/ChangeRecord.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>

namespace qm::changelog {

namespace {

constexpr char kVersion[] = "QM1";
constexpr int kParts = 13; // the version, eleven parts, the check
constexpr char kTab = '\t';

constexpr std::array<QByteArrayView, 4> kKindWords{"global", "field", "locations", "restore"};
constexpr std::array<QByteArrayView, 3> kRightWords{"Full", "Initialize", "None"};

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
    const char* from = text.data();
    const char* const end = from + text.size();
    for (;;) {
        const auto* at = static_cast<const char*>(std::memchr(from, separator, std::size_t(end - from)));
        if (n == N) {
            return N + 1;
        }
        pieces[n++] = QByteArrayView(from, (at ? at : end) - from);
        if (!at) {
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
    const char* const end = list.data() + list.size();
    const char* from = list.data();
    for (const char* p = from;; ++p) {
        if (p == end || *p == '|') {
            if (!take(QByteArrayView(from, p - from))) {
                return false;
            }
            if (p == end) {
                return true;
            }
            from = p + 1;
        }
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

// Whether `check` is checkText(bytes), without making it: every line read is checked.
bool checkMatches(QByteArrayView check, QByteArrayView bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    if (check.size() != 16) {
        return false;
    }
    const quint64 value = checkOf(bytes);
    for (int i = 0; i < 16; ++i) {
        if (check[i] != kHex[(value >> (60 - 4 * i)) & 0xF]) {
            return false;
        }
    }
    return true;
}

// The fields of a line that reads back whole: version, time, login, ACT! user, database, kind,
// field ID, field label, users, keys, file, note (the check left off).
enum Part { Version, When, Login, ActUser, Database, KindPart, FieldId, FieldLabel, Users, Keys, File, Note };
struct Parts {
    std::array<QByteArrayView, kParts - 1> part;
    qint64 whenMs = 0;
};

// A line cut into its parts, with its time; nullopt unless it has them all, its check and a time.
std::optional<CheckedLine> checked(QByteArrayView line) {
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
    if (!checkMatches(check, line.first(line.size() - check.size()))) {
        return std::nullopt;
    }
    const std::optional<qint64> when = parseUtcText(all[When]);
    if (!when) {
        return std::nullopt;
    }
    CheckedLine out;
    out.line = line;
    out.whenMs = *when;
    for (std::size_t i = 0; i + 1 < std::size_t(kParts); ++i) {
        out.ends[i] = quint32(all[i].data() + all[i].size() - line.data());
    }
    return out;
}

Parts partsOf(const CheckedLine& line) {
    Parts parts;
    quint32 from = 0;
    for (std::size_t i = 0; i < parts.part.size(); ++i) {
        parts.part[i] = QByteArrayView(line.line.data() + from, line.ends[i] - from);
        from = line.ends[i] + 1;
    }
    parts.whenMs = line.whenMs;
    return parts;
}

// Whether the users, the keys (when `keys`) and the file part are made of the pieces a writer
// makes (the check shows that a line is as a writer wrote it; decode checks each text and value as
// it reads it).
bool wellMade(const Parts& parts, bool keys) {
    const bool users = eachEntry(parts.part[Users], [](QByteArrayView entry) {
        std::array<QByteArrayView, 4> p;
        return cut(entry, ':', p) == 4 && readRight(p[2]) && readRight(p[3]);
    });
    const bool keysOk = !keys || eachEntry(parts.part[Keys], [](QByteArrayView entry) {
        std::array<QByteArrayView, 3> p;
        return cut(entry, ':', p) == 3;
    });
    std::array<QByteArrayView, 2> file;
    return users && keysOk && (parts.part[File].isEmpty() || cut(parts.part[File], ':', file) == 2);
}

} // namespace

QString kindWord(const Record& record) {
    if (record.kind == Kind::Other) {
        return record.kindWord;
    }
    return QString::fromLatin1(kKindWords[std::size_t(record.kind)]);
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

std::optional<QString> TextDecoder::text(QByteArrayView part) {
    if (!validPiece(part, false)) {
        return std::nullopt;
    }
    return unescapeText(part);
}

std::optional<Bytes> TextDecoder::value(QByteArrayView part) {
    if (!validValue(part)) {
        return std::nullopt;
    }
    return readValue(part);
}

std::optional<Record> decode(QByteArrayView line, KeyValues keyValues, TextDecoder* texts) {
    const std::optional<CheckedLine> found = checked(line);
    if (!found) {
        return std::nullopt;
    }
    return decode(*found, keyValues, texts);
}

std::optional<Record> decode(const CheckedLine& line, KeyValues keyValues, TextDecoder* texts) {
    const Parts checkedParts = partsOf(line);
    const auto& part = checkedParts.part;
    Record r;
    for (std::size_t i = 0; i < kKindWords.size(); ++i) {
        if (part[KindPart] == kKindWords[i]) { // a word without a byte to escape
            r.kind = Kind(int(i));
        }
    }
    // The keys of the settings locations are decoded whatever was asked: they are the change.
    const bool keys = keyValues == KeyValues::Decoded || r.kind == Kind::Locations;
    if (!wellMade(checkedParts, keys)) {
        return std::nullopt;
    }
    TextDecoder plain;
    TextDecoder& t = texts ? *texts : plain;
    bool whole = true; // every text read back
    const auto text = [&](QByteArrayView piece) {
        std::optional<QString> made = t.text(piece);
        whole = whole && made;
        return made ? std::move(*made) : QString();
    };
    const auto value = [&](QByteArrayView piece) {
        std::optional<Bytes> made = t.value(piece);
        whole = whole && made;
        return made ? std::move(*made) : Bytes();
    };
    r.whenMs = checkedParts.whenMs;
    r.login = text(part[Login]);
    r.actUser = text(part[ActUser]);
    r.database = text(part[Database]);
    if (r.kind == Kind::Other) {
        r.kindWord = text(part[KindPart]);
    }
    r.fieldId = text(part[FieldId]);
    r.fieldLabel = text(part[FieldLabel]);
    r.note = text(part[Note]);
    eachEntry(part[Users], [&](QByteArrayView entry) {
        std::array<QByteArrayView, 4> p;
        cut(entry, ':', p);
        r.users.push_back({text(p[0]), text(p[1]), *readRight(p[2]), *readRight(p[3])});
        return true;
    });
    if (keys) {
        eachEntry(part[Keys], [&](QByteArrayView entry) {
            std::array<QByteArrayView, 3> p;
            cut(entry, ':', p);
            r.keys.push_back({text(p[0]), value(p[1]), value(p[2])});
            return true;
        });
    }
    if (!part[File].isEmpty()) {
        std::array<QByteArrayView, 2> p;
        cut(part[File], ':', p);
        r.fileChanged = true;
        r.fileBefore = value(p[0]);
        r.fileAfter = value(p[1]);
    }
    if (!whole) {
        return std::nullopt;
    }
    return r;
}

std::optional<CheckedLine> checkLine(QByteArrayView line) {
    return checked(line);
}

QByteArray escapedText(const QString& text) {
    QByteArray out;
    appendText(out, text);
    return out;
}

QString decodedText(QByteArrayView part) {
    return TextDecoder().text(part).value_or(QString());
}

} // namespace qm::changelog
