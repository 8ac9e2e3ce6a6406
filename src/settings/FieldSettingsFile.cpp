#include "settings/FieldSettingsFile.h"

#include "platform/VbError.h"
#include "platform/VbRuntime.h"
#include "settings/AtomicFile.h"
#include "settings/Cp1252.h"
#include "settings/IniLib.h"

#include <QFile>
#include <QFileInfo>

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

void read(const QString& path, Sink& sink) {
    sink.clearListText();
    if (!IniLib::FileExists(path)) {
        sink.setOnlyFromDropdown(0);
        sink.setAllowEditing(0);
        return;
    }
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        raise(file.error() == QFileDevice::OpenError && !QFileInfo::exists(path)
                  ? VbErr::FileNotFound
                  : VbErr::PathFileAccessError);
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        raise(VbErr::DeviceIOError);
    }
    file.close();
    readContent(bytes, sink);
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

namespace {

void replaceWith(const QString& path, const QByteArray& bytes) {
    const QString target = writeTarget(path);
    ReplaceResult result = checkReplaceable(target);
    if (result == ReplaceResult::Replaced) {
        const SettingsFileLock lock(target);
        result = lock.isDenied() ? ReplaceResult::ReadOnly : replaceContent(target, bytes, lock.isLocked());
    }
    switch (result) {
    case ReplaceResult::Replaced:
        return;
    case ReplaceResult::FolderMissing:
        raise(VbErr::PathNotFound);
    case ReplaceResult::ReadOnly:
    case ReplaceResult::NotAFile:
        raise(VbErr::PathFileAccessError);
    case ReplaceResult::Failed:
        raise(VbErr::DeviceIOError);
    }
}

} // namespace

void write(const QString& path, int onlyFromDropdown, int allowEditing, const QString& listText) {
    replaceWith(path, content(onlyFromDropdown, allowEditing, listText));
}

bool removeBeforeSave(const QString& path, int allowEditing, const QString& listText) {
    if (allowEditing != 0 || !vb::Trim(listText).isEmpty()) {
        return false;
    }
    const QFileInfo info(path);
    if (!info.isFile() || isReadOnlyFile(path)) {
        return false;
    }
    return QFile::remove(path);
}

void save(const QString& path, int onlyFromDropdown, int allowEditing, const QString& listText) {
    const QByteArray bytes = content(onlyFromDropdown, allowEditing, listText); // refused before any change
    removeBeforeSave(path, allowEditing, listText);
    replaceWith(path, bytes);
}

} // namespace qm::FieldSettingsFile
