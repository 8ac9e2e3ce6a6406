#pragma once

// The versions of the two settings files that settings_writer churns through (one per letter, so that a file
// is either exactly one version or broken).

#include "TestPlatform.h"

#include <QDir>

namespace qm::test {

// About `size` bytes in many sections, like a large authorized-users file; one short value changes.
inline QByteArray churnIni(char c, int size) {
    QByteArray out = "; churned\r\n";
    for (int i = 0; out.size() < size; ++i)
        out += "[Db" + QByteArray::number(i) + "]\r\nGlobalF=" + QByteArray(150, 'f') + "\r\n";
    return out + "[Data]\r\nFill=" + QByteArray(100, c) + "\r\n\r\n[Other]\r\nk=v\r\n";
}

// Files a write left beside the one it wrote (a write leaves none behind, unless it was killed).
inline QStringList leftBeside(const QString& folder) {
    return QDir(folder).entryList({".qm*"}, QDir::Files | QDir::Hidden);
}

inline QString churnList(QChar c, int size) {
    QString line(99, c);
    line += QLatin1Char('\n');
    return line.repeated(size / 100);
}

} // namespace qm::test
