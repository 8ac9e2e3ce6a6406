#pragma once

// Helpers of the settings tests: table rows, raw bytes in and out, and the versions of the two
// files that settings_writer churns through (one per letter, so that a file is either exactly one
// version or broken).

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

namespace qm::test {

// The columns of a data table: columns<int, QString>("count", "name").
template <typename... T, typename... N> void columns(const N&... names) {
    (QTest::addColumn<T>(names), ...);
}

// One row of a data table, its values in the order of the columns.
template <typename... V> void row(const char* name, const V&... values) {
    (QTest::newRow(name) << ... << values);
}

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// About `size` bytes in many sections, like a large authorized-users file; one short value changes.
inline QByteArray churnIni(char c, int size) {
    QByteArray out = "; churned\r\n";
    for (int i = 0; out.size() < size; ++i) {
        out += "[Db" + QByteArray::number(i) + "]\r\nGlobalF=" + QByteArray(150, 'f') + "\r\n";
    }
    return out + "[Data]\r\nFill=" + QByteArray(100, c) + "\r\n\r\n[Other]\r\nk=v\r\n";
}

inline QString churnList(QChar c, int size) {
    QString line(99, c);
    line += QLatin1Char('\n');
    return line.repeated(size / 100);
}

} // namespace qm::test
