#include "settings/FieldSettingsFile.h"

#include "platform/VbError.h"
#include "platform/VbRuntime.h"
#include "settings/AtomicFile.h"
#include "settings/Cp1252.h"

#include <QList>

#include <limits>

namespace qm::FieldSettingsFile {

namespace {

const QString kOnlyFromDropdown = QStringLiteral("OnlyFromDropdown=");
const QString kAllowEditing = QStringLiteral("AllowEditing=");

// Line Input over the bytes of a file opened for input.
class LineReader {
public:
    explicit LineReader(QByteArrayView bytes)
        : m_bytes(bytes) {}

    bool atEnd() const { return m_pos >= m_bytes.size(); }

    QString next() {
        if (atEnd()) {
            raise(VbErr::InputPastEndOfFile);
        }
        const qsizetype from = m_pos;
        while (m_pos < m_bytes.size() && m_bytes[m_pos] != '\r') {
            ++m_pos;
        }
        const QString line = cp1252::decode(m_bytes.sliced(from, m_pos - from));
        if (m_pos < m_bytes.size()) {
            ++m_pos; // the CR
            if (m_pos < m_bytes.size() && m_bytes[m_pos] == '\n') {
                ++m_pos;
            }
        }
        return line;
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

// A flag line: nullopt when it does not begin with `prefix`, else the check box state it holds.
std::optional<int> flagState(QString line, const QString& prefix) {
    if (!line.startsWith(prefix, Qt::CaseSensitive)) {
        return std::nullopt;
    }
    const int state = vb::CInt(line.remove(prefix, Qt::CaseSensitive));
    if (state < 0 || state > 2) {
        raise(VbErr::InvalidPropertyValue); // unchecked, checked and greyed are all a check box takes
    }
    return state;
}

} // namespace

QString fileName(const QString& listPath, const QString& genericName, const QString& fieldId,
                 QChar separator) {
    return listPath + separator + genericName + fieldId + QStringLiteral(".dat");
}

QString fileName(const QString& listPath, const QString& genericName, qint32 fieldId, QChar separator) {
    return fileName(listPath, genericName, QString::number(fieldId), separator);
}

void readContent(QByteArrayView bytes, Sink& sink) {
    LineReader in(bytes);
    if (const auto state = flagState(in.next(), kOnlyFromDropdown)) {
        sink.setOnlyFromDropdown(*state);
    }
    if (const auto state = flagState(in.next(), kAllowEditing)) {
        sink.setAllowEditing(*state);
    }
    QString list;
    while (!in.atEnd()) {
        const QString line = in.next();
        const QStringView trimmed = vb::Trim(line);
        if (trimmed.isEmpty()) {
            continue;
        }
        if (list.isEmpty()) {
            list = line;
        } else {
            list += QLatin1Char('\n') + trimmed;
        }
    }
    if (!list.isEmpty()) {
        sink.setListText(list);
    }
}

std::optional<ReadProblem> read(const QString& path, Sink& sink, std::optional<QByteArray>* content) {
    sink.clearListText();
    // A name that leads nowhere is missing, unless it is a link that is not followed.
    const FileContent file = readFile(path, kMaxFileBytes);
    if (content) {
        *content = file.status == FileContent::Ok ? std::optional(file.bytes) : std::nullopt;
    }
    if (file.status == FileContent::Ok) {
        readContent(file.bytes, sink);
        return std::nullopt;
    }
    sink.setOnlyFromDropdown(0);
    sink.setAllowEditing(0);
    if (file.status == FileContent::Missing) {
        return std::nullopt;
    }
    return ReadProblem{path, file.status, file.detail, file.size};
}

QByteArray content(int onlyFromDropdown, int allowEditing, const QString& listText) {
    if (listText.count(QLatin1Char('\n')) >= std::numeric_limits<qint16>::max()) {
        raise(VbErr::Overflow);
    }
    const QString crlf = QStringLiteral("\r\n");
    QString text = kOnlyFromDropdown + QString::number(onlyFromDropdown) + crlf + kAllowEditing +
                   QString::number(allowEditing) + crlf;
    for (const QStringView piece : QStringView(listText).split(QLatin1Char('\n'))) {
        if (!piece.isEmpty()) {
            text += vb::Trim(piece) + crlf;
        }
    }
    return cp1252::encode(text);
}

WriteResult write(const QString& path, int onlyFromDropdown, int allowEditing, const QString& listText) {
    const QByteArray bytes = content(onlyFromDropdown, allowEditing, listText);
    if (path.isEmpty()) {
        return {ReplaceResult::FolderMissing, {}};
    }
    return rewriteFile(
        path, [&](const QByteArray*) { return std::optional(bytes); }, kMaxFileBytes);
}

WriteResult save(const QString& path, int onlyFromDropdown, int allowEditing, const QString& listText) {
    return write(path, onlyFromDropdown, allowEditing, listText);
}

} // namespace qm::FieldSettingsFile
