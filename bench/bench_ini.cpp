// Reads and writes of single keys of a 1 MB authorized-users file (about 5,000 sections), per
// second: IniLib against SimpleIni (load, get or set, save, per call) and QSettings in IniFormat
// (a new object per call). Build with optimisation for numbers worth comparing.

#include "settings/IniFileCache.h"
#include "settings/IniLib.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

// SimpleIni's own code, compiled here: its char version needs no Unicode converter.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr qint64 kRunNs = 1'000'000'000;

struct Probe {
    QString section;
    QString key;
};

QByteArray usersFile(int sections, std::vector<Probe>& probes) {
    QByteArray out = "; Quillmark authorized users\r\n";
    for (int i = 0; i < sections; ++i) {
        const QByteArray name = "Database" + QByteArray::number(i);
        out += "[" + name + "]\r\n";
        out += "GlobalF=" + QByteArray("A1B2C3D4E5F6G7H8").repeated(4) + "\r\n";
        out += "GlobalI=" + QByteArray("I9J8K7L6").repeated(3) + "\r\n";
        out += QByteArray::number(20 + i % 7) + "F=" + QByteArray("M5N4O3P2").repeated(3) + "\r\n";
        out += QByteArray::number(30 + i % 5) + "I=Q1R2S3T4\r\n";
        probes.push_back({QString::fromLatin1(name), QStringLiteral("GlobalI")});
    }
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

// Calls `op` with a running index until kRunNs have passed (at least `minCalls` times).
double perSecond(const std::function<void(int)>& op, int minCalls = 20) {
    QElapsedTimer t;
    t.start();
    int n = 0;
    while (n < minCalls || t.nsecsElapsed() < kRunNs) {
        op(n++);
    }
    return n * 1e9 / double(t.nsecsElapsed());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::vector<Probe> probes;
    const QByteArray content = usersFile(5000, probes);
    const QString readPath = dir.filePath(QStringLiteral("Users.dat"));
    writeFile(readPath, content);
    std::printf("users file: %lld bytes, %zu sections\n", static_cast<long long>(content.size()),
                probes.size());
    auto probe = [&](int n) -> const Probe& { return probes[std::size_t(n * 7919) % probes.size()]; };
    QString sink;

    // Reads.
    const double oursFresh =
        perSecond([&](int n) { sink = qm::IniLib::GetKeyValue(probe(n).section, probe(n).key, readPath); });
    const double simpleRead = perSecond([&](int n) {
        CSimpleIniA ini;
        ini.LoadFile(readPath.toLocal8Bit().constData());
        sink = QString::fromLatin1(
            ini.GetValue(probe(n).section.toLatin1().constData(), probe(n).key.toLatin1().constData(), ""));
    });
    const double qsettingsRead = perSecond([&](int n) {
        QSettings s(readPath, QSettings::IniFormat);
        sink = s.value(probe(n).section + QLatin1Char('/') + probe(n).key).toString();
    });
    // A file unchanged for a while is known by its identity alone; wait until this one is.
    const qint64 ageMs = QFileInfo(readPath).lastModified().msecsTo(QDateTime::currentDateTime());
    QThread::msleep(std::max<qint64>(0, qm::IniFileCache::kSettleNs / 1'000'000 + 100 - ageMs));
    const double oursSettled =
        perSecond([&](int n) { sink = qm::IniLib::GetKeyValue(probe(n).section, probe(n).key, readPath); });

    // Writes, each on a copy of its own.
    const QString oursPath = dir.filePath(QStringLiteral("ours.dat"));
    const QString simplePath = dir.filePath(QStringLiteral("simple.dat"));
    const QString qsPath = dir.filePath(QStringLiteral("qsettings.dat"));
    for (const QString& p : {oursPath, simplePath, qsPath}) {
        writeFile(p, content);
    }
    const double oursWrite = perSecond([&](int n) {
        qm::IniLib::WriteKeyValue(probe(n).section, probe(n).key, QString::number(n), oursPath);
    });
    const double simpleWrite = perSecond([&](int n) {
        CSimpleIniA ini;
        const QByteArray path = simplePath.toLocal8Bit();
        ini.LoadFile(path.constData());
        ini.SetValue(probe(n).section.toLatin1().constData(), probe(n).key.toLatin1().constData(),
                     QByteArray::number(n).constData());
        ini.SaveFile(path.constData());
    });
    const double qsettingsWrite = perSecond([&](int n) {
        QSettings s(qsPath, QSettings::IniFormat);
        s.setValue(probe(n).section + QLatin1Char('/') + probe(n).key, QString::number(n));
    });

    // What IniLib wrote reads back, and the file kept its size class.
    const Probe& last = probe(0);
    if (qm::IniLib::GetKeyValue(last.section, last.key, oursPath).isEmpty()) {
        std::fprintf(stderr, "IniLib lost a write\n");
        return 1;
    }

    std::printf("\n%-34s %12s %12s %12s\n", "calls per second", "IniLib", "SimpleIni", "QSettings");
    std::printf("%-34s %12.0f %12.0f %12.0f\n", "GetKeyValue, settled file", oursSettled, simpleRead,
                qsettingsRead);
    std::printf("%-34s %12.0f %12s %12s\n", "GetKeyValue, file just written", oursFresh, "", "");
    std::printf("%-34s %12.0f %12.0f %12.0f\n", "WriteKeyValue", oursWrite, simpleWrite, qsettingsWrite);
    const double bestRead = std::max(simpleRead, qsettingsRead);
    const double bestWrite = std::max(simpleWrite, qsettingsWrite);
    std::printf("\nreads,  settled file: %.1fx SimpleIni, %.1fx QSettings (target: 10x the faster)\n",
                oursSettled / simpleRead, oursSettled / qsettingsRead);
    std::printf("reads,  just written: %.1fx SimpleIni, %.1fx QSettings\n", oursFresh / simpleRead,
                oursFresh / qsettingsRead);
    std::printf("writes:               %.1fx SimpleIni, %.1fx QSettings (target: 1x the faster)\n",
                oursWrite / simpleWrite, oursWrite / qsettingsWrite);
    const bool met = oursSettled >= 10 * bestRead && oursWrite >= bestWrite;
    std::printf("%s\n", met ? "targets met" : "targets NOT met");
    return 0;
}
