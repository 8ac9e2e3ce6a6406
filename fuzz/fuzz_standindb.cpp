// The stand-in's database loader on any file: a stand-in ACT! database is an SQLite file, and a
// damaged or hand-made one must be refused in one line, never crash or hang the stand-in.
//
// Checked: the loader either refuses with a one-line message or gives contents that hold what
// the backend relies on: slot 0 exists, field IDs are unique, users run from position 1.

#include "act/standin/StandinDatabase.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include "FuzzCheck.h"

#include <cstdint>

using namespace qm::act::standin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Fuzz.dbf"));
    {
        QFile f(path);
        check(f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
              f.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }
    try {
        const DatabaseContents db = readDatabase(path);
        check(!db.slots.empty());
        QSet<std::int32_t> ids;
        for (const FieldSlot& s : db.slots) {
            if (s.id != -1) {
                check(!ids.contains(s.id));
                ids.insert(s.id);
            }
        }
        check(db.fieldCount() == ids.size());
        const LoadedDatabase loaded(db);
        check(loaded.fieldCount() == db.fieldCount());
    } catch (const StandinError& e) {
        check(!e.message().isEmpty() && !e.message().contains(QLatin1Char('\n')));
    }
    return 0;
}
