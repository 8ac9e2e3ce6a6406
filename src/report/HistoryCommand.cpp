#include "report/HistoryCommand.h"

#include "report/ReportCommand.h"

#include <QDir>

#include <cstring>

namespace qm::report {

namespace {

QString plural(qint64 n, const QString& one, const QString& many) {
    return n == 1 ? one : many.arg(n);
}

// The changes printed: made as UTF-8 (the stream's encoding) in pieces of a megabyte, each handed
// to the stream's device when full, the log's texts made printable. A log of a hundred thousand
// changes prints some tens of megabytes.
class Printer final : public LineWriter {
public:
    explicit Printer(QTextStream& out)
        : m_out(out)
        , m_raw(out.device() && out.encoding() == QStringConverter::Utf8) {
        m_bytes.resize(kPiece + kRoom);
        m_at = m_bytes.data();
    }
    ~Printer() override { flush(); }
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    void fixed(QStringView text) override {
        indent();
        put(text, false);
    }
    void fromLog(QStringView text) override {
        indent();
        put(text, true);
    }
    void endLine() override {
        indent();
        room(1);
        *m_at++ = '\n';
        m_begun = false;
        if (m_at - m_bytes.data() >= kPiece) {
            flush();
        }
    }
    // The first line of a change, not indented.
    void head(const Record& r) {
        m_begun = true;
        put(utcTimeText(r.whenMs), false);
        put(u"  ", false);
        put(r.login, true);
        if (!r.actUser.isEmpty()) {
            put(u" (ACT! user ", false);
            put(r.actUser, true);
            put(u")", false);
        }
        put(u"  ", false);
        put(headline(r), true);
        endLine();
    }
    void flush() {
        const QByteArrayView done(m_bytes.data(), m_at - m_bytes.data());
        if (m_raw) {
            m_out.flush();
            m_out.device()->write(done.data(), done.size());
        } else {
            m_out << QString::fromUtf8(done);
        }
        m_at = m_bytes.data();
    }

private:
    static constexpr qsizetype kPiece = 1 << 20;
    static constexpr qsizetype kRoom = 64 << 10;

    void indent() {
        if (!m_begun) {
            put(u"    ", false);
            m_begun = true;
        }
    }
    // Room for `n` more bytes: the piece handed on first when it has too little left, and made
    // larger for a text longer than a piece.
    void room(qsizetype n) {
        if (m_bytes.data() + m_bytes.size() - m_at >= n) {
            return;
        }
        flush();
        if (m_bytes.size() < n) {
            m_bytes.resize(n);
            m_at = m_bytes.data();
        }
    }
    void put(QStringView text, bool printable) {
        room(text.size() * 3 + 8); // a UTF-16 unit is at most 3 bytes of UTF-8, an escape 6
        const auto* u = reinterpret_cast<const char16_t*>(text.data());
        const auto* const end = u + text.size();
        char* at = m_at;
        while (u < end) {
            const char16_t c = *u++;
            if (char16_t(c - 0x20) < 0x5F) { // most text: printable ASCII
                *at++ = char(c);
                continue;
            }
            char escape[7];
            const int n = printable ? printableEscape(c, escape) : 0;
            if (n > 0) {
                room(n + (end - u) * 3 + 8, at);
                std::memcpy(at, escape, std::size_t(n));
                at += n;
            } else if (c < 0x80) {
                *at++ = char(c);
            } else if (c < 0x800) {
                *at++ = char(0xC0 | (c >> 6));
                *at++ = char(0x80 | (c & 0x3F));
            } else if (QChar::isHighSurrogate(c) && u < end && QChar::isLowSurrogate(*u)) {
                const char32_t p = QChar::surrogateToUcs4(c, *u++);
                *at++ = char(0xF0 | (p >> 18));
                *at++ = char(0x80 | ((p >> 12) & 0x3F));
                *at++ = char(0x80 | ((p >> 6) & 0x3F));
                *at++ = char(0x80 | (p & 0x3F));
            } else {
                const char16_t v = QChar::isSurrogate(c) ? char16_t(QChar::ReplacementCharacter) : c;
                *at++ = char(0xE0 | (v >> 12));
                *at++ = char(0x80 | ((v >> 6) & 0x3F));
                *at++ = char(0x80 | (v & 0x3F));
            }
        }
        m_at = at;
    }
    void room(qsizetype n, char*& at) {
        m_at = at;
        room(n);
        at = m_at;
    }

    QTextStream& m_out;
    const bool m_raw; // the stream writes UTF-8 to a device: the bytes go to it as they are
    QByteArray m_bytes;
    char* m_at = nullptr;
    bool m_begun = false;
};

} // namespace

bool printHistory(const QString& usersPath, const QString& database, const HistoryRequest& request,
                  MessageBox& box, QTextStream& out) {
    const History history(usersPath, database);
    const std::vector<int> rows = historyRows(history, request.filter);

    if (!request.csvPath.isEmpty()) {
        QString error;
        if (!writeHistoryCsv(history, rows, request.csvPath, error)) {
            box.show(QStringLiteral("The history could not be written to ") +
                         QDir::toNativeSeparators(request.csvPath) + QStringLiteral(": ") + error,
                     vbExclamation, kAppTitle);
            return false;
        }
    } else {
        SettingsFiles files;
        Printer printer(out);
        for (const int row : rows) {
            const Record r = history.passingRecord(row);
            printer.head(r);
            writeChangeLines(r, false, files, printer);
        }
    }
    out << plural(qint64(rows.size()), QStringLiteral("1 change"), QStringLiteral("%1 changes"))
        << QStringLiteral(" of %1 in the change log of ").arg(history.size()) << printable(database)
        << (request.csvPath.isEmpty() ? QStringLiteral(".")
                                      : QStringLiteral(" written to ") +
                                            QDir::toNativeSeparators(request.csvPath) + QLatin1Char('.'))
        << Qt::endl;
    if (history.skipped() > 0) {
        out << plural(history.skipped(), QStringLiteral("1 damaged line"), QStringLiteral("%1 damaged lines"))
            << QStringLiteral(" of the log skipped.") << Qt::endl;
    }
    for (const QString& problem : history.problems()) {
        out << QStringLiteral("Not read: ") << printable(problem) << Qt::endl;
    }
    return true;
}

} // namespace qm::report
