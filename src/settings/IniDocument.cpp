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

bool IniDocument::operator==(const IniDocument& other) const {
    return m_bytes == other.m_bytes && m_sections == other.m_sections && m_firstByName == other.m_firstByName;
}

int IniDocument::findSection(QStringView section) const {
    return m_firstByName.value(folded(section), -1);
}

qsizetype IniDocument::bodyEnd(int i) const {
    const auto next = std::size_t(i) + 1;
    return next < m_sections.size() ? m_sections[next].header : m_bytes.size();
}

template <typename F> void IniDocument::forEachKeyLine(int i, F take) const {
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
        if (take(l, s, trimEnd(d, s, eq), eq)) {
            return;
        }
    }
}

IniDocument::KeyLine IniDocument::keyLine(qsizetype start, qsizetype next, qsizetype contentEnd,
                                          qsizetype nameEnd, qsizetype equals) const {
    if (equals == contentEnd) {
        return KeyLine{start, next, nameEnd, -1, contentEnd, contentEnd};
    }
    return KeyLine{start,     next, nameEnd, equals, skipBlanks(m_bytes.constData(), equals + 1, contentEnd),
                   contentEnd};
}

std::unique_ptr<const IniDocument::KeyIndex> IniDocument::buildKeyIndex(int i) const {
    auto keys = std::make_unique<KeyIndex>();
    const char* d = m_bytes.constData();
    forEachKeyLine(i, [&](const Line& l, qsizetype s, qsizetype nameEnd, qsizetype eq) {
        QString name = cp1252::decode(QByteArrayView(d + s, nameEnd - s)).toCaseFolded();
        if (!keys->contains(name)) {
            keys->insert(std::move(name), keyLine(l.start, l.next, l.end, nameEnd, eq));
        }
        return false;
    });
    return keys;
}

std::optional<IniDocument::KeyLine> IniDocument::findKey(int i, QStringView key) const {
    const QStringView name = trimBlanks(key);
    const char* d = m_bytes.constData();
    {
        const std::lock_guard lock(m_keys.mutex);
        if (m_keys.scans.size() != m_sections.size()) {
            m_keys.scans.assign(m_sections.size(), 0);
            m_keys.sections.resize(m_sections.size());
        }
        std::unique_ptr<const KeyIndex>& keys = m_keys.sections[std::size_t(i)];
        if (!keys && ++m_keys.scans[std::size_t(i)] > kScansBeforeIndex) {
            keys = buildKeyIndex(i);
        }
        if (keys) {
            const auto it = keys->constFind(name.toString().toCaseFolded());
            if (it == keys->constEnd()) {
                return std::nullopt;
            }
            return *it;
        }
    }
    std::optional<KeyLine> found;
    forEachKeyLine(i, [&](const Line& l, qsizetype s, qsizetype nameEnd, qsizetype eq) {
        if (sameName(d, s, nameEnd, name)) {
            found = keyLine(l.start, l.next, l.end, nameEnd, eq);
        }
        return found.has_value();
    });
    return found;
}

std::optional<IniDocument::KeyLine> IniDocument::lineOf(QStringView section, QStringView key,
                                                        int* sectionIndex) const {
    const int i = findSection(section);
    if (sectionIndex) {
        *sectionIndex = i;
    }
    return i < 0 ? std::nullopt : findKey(i, key);
}

QByteArray IniDocument::value(QStringView section, QStringView key) const {
    const auto k = lineOf(section, key);
    if (!k || k->equals < 0) {
        return {};
    }
    return valueOf(*k);
}

QByteArray IniDocument::valueOf(const KeyLine& k) const {
    const char* d = m_bytes.constData();
    qsizetype from = k.valueStart;
    qsizetype to = trimEnd(d, from, k.contentEnd);
    if (to - from >= 2 && (d[from] == '"' || d[from] == '\'') && d[to - 1] == d[from]) {
        ++from;
        --to;
    }
    return m_bytes.mid(from, to - from);
}

std::vector<IniDocument::SectionListing> IniDocument::listing() const {
    std::vector<SectionListing> out;
    const char* d = m_bytes.constData();
    qsizetype number = 0;
    for (qsizetype pos = 0; pos < m_bytes.size();) {
        const Line l = lineAt(m_bytes, pos);
        pos = l.next;
        ++number;
        if (const auto name = sectionName(d, l)) {
            out.push_back({m_bytes.mid(name->first, name->second - name->first), number, {}});
            continue;
        }
        const qsizetype s = skipBlanks(d, l.start, l.end);
        if (out.empty() || s == l.end) {
            continue;
        }
        qsizetype eq = s;
        while (eq < l.end && d[eq] != '=') {
            ++eq;
        }
        const qsizetype nameEnd = trimEnd(d, s, eq);
        const KeyLine k{l.start,
                        l.next,
                        nameEnd,
                        eq == l.end ? -1 : eq,
                        eq == l.end ? l.end : skipBlanks(d, eq + 1, l.end),
                        l.end};
        out.back().keys.push_back(
            {m_bytes.mid(s, nameEnd - s), eq == l.end ? QByteArray() : valueOf(k), number});
    }
    return out;
}

IniDocument IniDocument::spliced(int i, qsizetype from, qsizetype to, QByteArrayView text) const {
    IniDocument out;
    out.m_bytes.reserve(m_bytes.size() - (to - from) + text.size());
    out.m_bytes.append(m_bytes.constData(), from);
    out.m_bytes.append(text);
    out.m_bytes.append(m_bytes.constData() + to, m_bytes.size() - to);
    const auto joinsCrLf = [&out](qsizetype at) {
        return at > 0 && at < out.m_bytes.size() && out.m_bytes[at - 1] == '\r' && out.m_bytes[at] == '\n';
    };
    if (joinsCrLf(from) || joinsCrLf(from + text.size())) {
        // A lone CR now meets an LF: two line ends became one, so lines moved. Index afresh.
        return IniDocument(std::move(out.m_bytes));
    }
    out.m_sections = m_sections;
    out.m_firstByName = m_firstByName;
    const qsizetype delta = text.size() - (to - from);
    for (auto s = std::size_t(i + 1); s < out.m_sections.size(); ++s) {
        out.m_sections[s].header += delta;
        out.m_sections[s].body += delta;
    }
    return out;
}

IniDocument IniDocument::withValue(QStringView section, QStringView key, QByteArrayView value) const {
    const QByteArray keyBytes = cp1252::encode(trimBlanks(key));
    const auto breaksLines = [](QByteArrayView b) { return b.contains('\r') || b.contains('\n'); };
    if (breaksLines(value) || breaksLines(keyBytes) || keyBytes.startsWith('[') ||
        section.contains(QLatin1Char('\r')) || section.contains(QLatin1Char('\n'))) {
        // Written as given, as Windows does, but the new text may open lines or sections of its
        // own: index the result afresh.
        return IniDocument(editedBytes(section, key, value));
    }
    return edited(section, key, value);
}

QByteArray IniDocument::editedBytes(QStringView section, QStringView key, QByteArrayView value) const {
    return edited(section, key, value).m_bytes;
}

IniDocument IniDocument::edited(QStringView section, QStringView key, QByteArrayView value) const {
    const QByteArray keyBytes = cp1252::encode(trimBlanks(key));
    const int i = findSection(section);
    if (i < 0) {
        const QByteArray lineEnd = !m_bytes.isEmpty() && !m_bytes.endsWith('\r') && !m_bytes.endsWith('\n')
                                       ? QByteArray("\r\n")
                                       : QByteArray();
        const QByteArray header = '[' + cp1252::encode(trimBlanks(section)) + "]\r\n";
        IniDocument out = spliced(int(m_sections.size()) - 1, m_bytes.size(), m_bytes.size(),
                                  QByteArray(lineEnd + header + keyBytes + '=' + value + "\r\n"));
        if (!lineEnd.isEmpty() && !m_sections.empty() && m_sections.back().body == m_bytes.size()) {
            out.m_sections.back().body += lineEnd.size(); // its section line just got a line end
        }
        const qsizetype start = m_bytes.size() + lineEnd.size();
        out.m_firstByName.insert(folded(section), int(out.m_sections.size()));
        out.m_sections.push_back({start, start + header.size()});
        return out;
    }
    if (const auto k = findKey(i, key)) {
        if (k->equals < 0) {
            return spliced(i, k->nameEnd, k->contentEnd, QByteArray('=' + value));
        }
        return spliced(i, k->valueStart, k->contentEnd, value);
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
    if (last.next == last.end) {
        // The section's last line ends the file without a line end: give it one. When that line
        // is the section line, the body now starts after it.
        IniDocument out = spliced(i, last.next, last.next, QByteArray("\r\n" + line));
        if (last.start == m_sections[std::size_t(i)].header) {
            out.m_sections[std::size_t(i)].body += 2;
        }
        return out;
    }
    return spliced(i, last.next, last.next, line);
}

std::optional<IniDocument> IniDocument::withoutKey(QStringView section, QStringView key) const {
    int i = -1;
    const auto k = lineOf(section, key, &i);
    if (!k) {
        return std::nullopt;
    }
    return spliced(i, k->start, k->next, {});
}

std::optional<QByteArray> IniDocument::valueIfLine(QStringView section, QStringView key) const {
    const auto k = lineOf(section, key);
    if (!k) {
        return std::nullopt;
    }
    return k->equals < 0 ? QByteArray() : valueOf(*k);
}

} // namespace qm
