#include "settings/IniDocument.h"

#include "settings/Cp1252.h"

namespace qm {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}
bool isBlank(QChar c) {
    return c.unicode() < 0x80 && isBlank(char(c.unicode()));
}

struct Line {
    qsizetype start;
    qsizetype end;  // before the line end
    qsizetype next; // after the line end
};

Line lineAt(const QByteArray& b, qsizetype pos) {
    const char* d = b.constData();
    const qsizetype n = b.size();
    qsizetype e = pos;
    while (e < n && d[e] != '\r' && d[e] != '\n') {
        ++e;
    }
    qsizetype next = e;
    if (next < n) {
        next += (d[next] == '\r' && next + 1 < n && d[next + 1] == '\n') ? 2 : 1;
    }
    return {pos, e, next};
}

qsizetype skipBlanks(const char* d, qsizetype from, qsizetype end) {
    while (from < end && isBlank(d[from])) {
        ++from;
    }
    return from;
}

qsizetype trimEnd(const char* d, qsizetype from, qsizetype end) {
    while (end > from && isBlank(d[end - 1])) {
        --end;
    }
    return end;
}

// The trimmed name of a section line, or nullopt when the line opens no section.
std::optional<std::pair<qsizetype, qsizetype>> sectionName(const char* d, const Line& l) {
    const qsizetype s = skipBlanks(d, l.start, l.end);
    if (s >= l.end || d[s] != '[') {
        return std::nullopt;
    }
    qsizetype close = l.end - 1;
    while (close > s && d[close] != ']') {
        --close;
    }
    if (close <= s) {
        return std::nullopt;
    }
    const qsizetype from = skipBlanks(d, s + 1, close);
    return std::make_pair(from, trimEnd(d, from, close));
}

QString folded(QStringView name) {
    return trimBlanks(name).toString().toCaseFolded();
}

bool sameName(const char* d, qsizetype from, qsizetype to, QStringView name) {
    if (to - from != name.size()) {
        return false; // one byte is one character, and folding keeps the length
    }
    return QStringView(cp1252::decode(QByteArrayView(d + from, to - from)))
               .compare(name, Qt::CaseInsensitive) == 0;
}

} // namespace

QStringView trimBlanks(QStringView text) {
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isBlank(text[from])) {
        ++from;
    }
    while (to > from && isBlank(text[to - 1])) {
        --to;
    }
    return text.sliced(from, to - from);
}

IniDocument::IniDocument(QByteArray bytes)
    : m_bytes(std::move(bytes)) {
    index();
}

void IniDocument::index() {
    const char* d = m_bytes.constData();
    for (qsizetype pos = 0; pos < m_bytes.size();) {
        const Line l = lineAt(m_bytes, pos);
        if (const auto name = sectionName(d, l)) {
            QString key =
                cp1252::decode(QByteArrayView(d + name->first, name->second - name->first)).toCaseFolded();
            if (!m_firstByName.contains(key)) {
                m_firstByName.insert(std::move(key), int(m_sections.size()));
            }
            m_sections.push_back({l.start, l.next});
        }
        pos = l.next;
    }
}

int IniDocument::findSection(QStringView section) const {
    return m_firstByName.value(folded(section), -1);
}

qsizetype IniDocument::bodyEnd(int i) const {
    const auto next = std::size_t(i) + 1;
    return next < m_sections.size() ? m_sections[next].header : m_bytes.size();
}

std::optional<IniDocument::KeyLine> IniDocument::findKey(int i, QStringView key) const {
    const QStringView name = trimBlanks(key);
    const char* d = m_bytes.constData();
    const qsizetype end = bodyEnd(i);
    for (qsizetype pos = m_sections[std::size_t(i)].body; pos < end;) {
        const Line l = lineAt(m_bytes, pos);
        pos = l.next;
        const qsizetype s = skipBlanks(d, l.start, l.end);
        if (s == l.end) {
            continue; // blank line
        }
        qsizetype eq = s;
        while (eq < l.end && d[eq] != '=') {
            ++eq;
        }
        const qsizetype nameEnd = trimEnd(d, s, eq);
        if (!sameName(d, s, nameEnd, name)) {
            continue;
        }
        if (eq == l.end) {
            return KeyLine{l.start, l.next, nameEnd, -1, l.end, l.end};
        }
        return KeyLine{l.start, l.next, nameEnd, eq, skipBlanks(d, eq + 1, l.end), l.end};
    }
    return std::nullopt;
}

QByteArray IniDocument::value(QStringView section, QStringView key) const {
    const int i = findSection(section);
    if (i < 0) {
        return {};
    }
    const auto k = findKey(i, key);
    if (!k || k->equals < 0) {
        return {};
    }
    const char* d = m_bytes.constData();
    qsizetype from = k->valueStart;
    qsizetype to = trimEnd(d, from, k->contentEnd);
    if (to - from >= 2 && (d[from] == '"' || d[from] == '\'') && d[to - 1] == d[from]) {
        ++from;
        --to;
    }
    return m_bytes.mid(from, to - from);
}

QByteArray IniDocument::withValue(QStringView section, QStringView key, QByteArrayView value) const {
    const QByteArray keyBytes = cp1252::encode(trimBlanks(key));
    const int i = findSection(section);
    if (i < 0) {
        QByteArray out = m_bytes;
        if (!out.isEmpty() && !out.endsWith('\r') && !out.endsWith('\n')) {
            out += "\r\n";
        }
        out += '[' + cp1252::encode(trimBlanks(section)) + "]\r\n" + keyBytes + '=' + value + "\r\n";
        return out;
    }
    if (const auto k = findKey(i, key)) {
        const qsizetype cut = k->equals < 0 ? k->nameEnd : k->valueStart;
        QByteArray out;
        out.reserve(m_bytes.size() + value.size() + 1);
        out.append(m_bytes.constData(), cut);
        if (k->equals < 0) {
            out.append('=');
        }
        out.append(value);
        out.append(m_bytes.constData() + k->contentEnd, m_bytes.size() - k->contentEnd);
        return out;
    }
    // After the last non-blank line of the section (the section line itself when it has none).
    const char* d = m_bytes.constData();
    Line last = lineAt(m_bytes, m_sections[std::size_t(i)].header);
    for (qsizetype pos = last.next, end = bodyEnd(i); pos < end;) {
        const Line l = lineAt(m_bytes, pos);
        if (skipBlanks(d, l.start, l.end) < l.end) {
            last = l;
        }
        pos = l.next;
    }
    const QByteArray line = keyBytes + '=' + value + "\r\n";
    QByteArray out;
    out.reserve(m_bytes.size() + line.size() + 2);
    out.append(d, last.next);
    if (last.next == last.end) {
        out.append("\r\n"); // the section ended the file without a line end
    }
    out.append(line);
    out.append(d + last.next, m_bytes.size() - last.next);
    return out;
}

std::optional<QByteArray> IniDocument::withoutKey(QStringView section, QStringView key) const {
    const int i = findSection(section);
    if (i < 0) {
        return std::nullopt;
    }
    const auto k = findKey(i, key);
    if (!k) {
        return std::nullopt;
    }
    QByteArray out;
    out.reserve(m_bytes.size());
    out.append(m_bytes.constData(), k->start);
    out.append(m_bytes.constData() + k->next, m_bytes.size() - k->next);
    return out;
}

} // namespace qm
