// Reads and writes of single keys of a 1 MB authorized-users file (about 5,000 sections), per
// second: IniLib against SimpleIni (load, get or set, save, per call) and QSettings in IniFormat
// (a new object per call). The contenders take turns in rounds (see BenchRounds.h); the ratios
// are the medians of the per-round ratios, with their spread. IniLib's writes are timed with and
// without flushing to the disk, which shows what the flushes cost. Build with optimisation for
// numbers worth comparing.
//
//     bench_ini [--rounds N]

#include "BenchRounds.h"
#include "settings/AtomicFile.h"
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
#include <memory>
#include <vector>

namespace {

using qm::bench::Contender;

constexpr qint64 kReadSliceNs = 60'000'000;
constexpr qint64 kWriteSliceNs = 250'000'000;

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

// A contender that calls `op` with a running index for `sliceNs` (at least 3 calls) per round, and
// reports calls per second.
Contender rate(const char* name, qint64 sliceNs, std::function<void(int)> op) {
    auto counter = std::make_shared<int>(0);
    return {name,
            [=] {
                QElapsedTimer t;
                t.start();
                int n = 0;
                while (n < 3 || t.nsecsElapsed() < sliceNs) {
                    op((*counter)++);
                    ++n;
                }
                return n * 1e9 / double(t.nsecsElapsed());
            },
            {}};
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--rounds"));
    const int rounds = at > 0 && at + 1 < args.size() ? std::max(1, args.at(at + 1).toInt()) : 15;
    QTemporaryDir dir;
    std::vector<Probe> probes;
    const QByteArray content = usersFile(5000, probes);
    const QString readPath = dir.filePath(QStringLiteral("Users.dat"));
    const QString youngPath = dir.filePath(QStringLiteral("Young.dat"));
    writeFile(readPath, content);
    std::printf("users file: %lld bytes, %zu sections; %d rounds\n", static_cast<long long>(content.size()),
                probes.size(), rounds);
    auto probe = [&](int n) -> const Probe& { return probes[std::size_t(n * 7919) % probes.size()]; };
    QString sink;

    // Reads. A file unchanged for a while is known by its identity alone; wait until this one is.
    QThread::msleep(qm::IniFileCache::kSettleNs / 1'000'000 + 100);
    Contender oursSettled = rate("IniLib, settled file", kReadSliceNs, [&](int n) {
        sink = qm::IniLib::GetKeyValue(probe(n).section, probe(n).key, readPath);
    });
    Contender young = rate("IniLib, file just written", kReadSliceNs, [&](int n) {
        if (n % 200 == 0) {
            writeFile(youngPath, content); // kept young: its content is compared at every read
        }
        sink = qm::IniLib::GetKeyValue(probe(n).section, probe(n).key, youngPath);
    });
    Contender simpleRead = rate("SimpleIni", kReadSliceNs, [&](int n) {
        CSimpleIniA ini;
        ini.LoadFile(readPath.toLocal8Bit().constData());
        sink = QString::fromLatin1(
            ini.GetValue(probe(n).section.toLatin1().constData(), probe(n).key.toLatin1().constData(), ""));
    });
    Contender qsettingsRead = rate("QSettings", kReadSliceNs, [&](int n) {
        QSettings s(readPath, QSettings::IniFormat);
        sink = s.value(probe(n).section + QLatin1Char('/') + probe(n).key).toString();
    });
    qm::bench::runRounds({&oursSettled, &young, &simpleRead, &qsettingsRead}, rounds);

    // Writes, each on a copy of its own.
    const QString oursPath = dir.filePath(QStringLiteral("ours.dat"));
    const QString unsyncedPath = dir.filePath(QStringLiteral("unsynced.dat"));
    const QString simplePath = dir.filePath(QStringLiteral("simple.dat"));
    const QString qsPath = dir.filePath(QStringLiteral("qsettings.dat"));
    for (const QString& p : {oursPath, unsyncedPath, simplePath, qsPath}) {
        writeFile(p, content);
    }
    Contender oursWrite = rate("IniLib", kWriteSliceNs, [&](int n) {
        qm::IniLib::WriteKeyValue(probe(n).section, probe(n).key, QString::number(n), oursPath);
    });
    Contender unsynced = rate("IniLib, not flushed", kWriteSliceNs, [&](int n) {
        qm::fileWriteTuning().sync = false;
        qm::IniLib::WriteKeyValue(probe(n).section, probe(n).key, QString::number(n), unsyncedPath);
        qm::fileWriteTuning().sync = true;
    });
    Contender simpleWrite = rate("SimpleIni", kWriteSliceNs, [&](int n) {
        CSimpleIniA ini;
        const QByteArray path = simplePath.toLocal8Bit();
        ini.LoadFile(path.constData());
        ini.SetValue(probe(n).section.toLatin1().constData(), probe(n).key.toLatin1().constData(),
                     QByteArray::number(n).constData());
        ini.SaveFile(path.constData());
    });
    Contender qsettingsWrite = rate("QSettings", kWriteSliceNs, [&](int n) {
        QSettings s(qsPath, QSettings::IniFormat);
        s.setValue(probe(n).section + QLatin1Char('/') + probe(n).key, QString::number(n));
    });
    qm::bench::runRounds({&oursWrite, &unsynced, &simpleWrite, &qsettingsWrite}, std::max(3, rounds / 2));

    if (qm::IniLib::GetKeyValue(probe(0).section, probe(0).key, oursPath).isEmpty()) {
        std::fprintf(stderr, "IniLib lost a write\n");
        return 1;
    }

    std::printf("\ncalls per second, median of the rounds (lowest..highest)\n");
    for (const Contender* c : {&oursSettled, &young, &simpleRead, &qsettingsRead}) {
        const auto s = qm::bench::spreadOf(c->figures);
        std::printf("  GetKeyValue   %-28s %10.0f  (%.0f..%.0f)\n", c->name.c_str(), s.median, s.low, s.high);
    }
    for (const Contender* c : {&oursWrite, &unsynced, &simpleWrite, &qsettingsWrite}) {
        const auto s = qm::bench::spreadOf(c->figures);
        std::printf("  WriteKeyValue %-28s %10.0f  (%.0f..%.0f)\n", c->name.c_str(), s.median, s.low, s.high);
    }
    using qm::bench::ratioOf;
    using qm::bench::spreadText;
    const auto readRatio = ratioOf(oursSettled, simpleRead, &qsettingsRead);
    const auto writeRatio = ratioOf(oursWrite, simpleWrite, &qsettingsWrite);
    std::printf("\nratios, median of the per-round ratios (lowest..highest round)\n");
    std::printf("  reads, settled file: %s SimpleIni, %s QSettings\n",
                spreadText(ratioOf(oursSettled, simpleRead)).c_str(),
                spreadText(ratioOf(oursSettled, qsettingsRead)).c_str());
    std::printf("                       %s the faster of the two (target: 10x)\n",
                spreadText(readRatio).c_str());
    std::printf("  reads, just written: %s the faster of the two\n",
                spreadText(ratioOf(young, simpleRead, &qsettingsRead)).c_str());
    std::printf("  writes:              %s the faster of the two (target: 1x)\n",
                spreadText(writeRatio).c_str());
    std::printf("  flushing to the disk: writes at %s the speed of unflushed ones\n",
                spreadText(ratioOf(oursWrite, unsynced)).c_str());
    const bool met = readRatio.median >= 10 && writeRatio.median >= 1;
    std::printf("%s\n", met ? "targets met" : "targets NOT met");
    return 0;
}
