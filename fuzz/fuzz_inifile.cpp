// The INI functions on a real file in a temporary folder: the cache, the writers' locks and the
// replacement included. The input's first line names what to do, "section|key|value" (a value
// of exactly "-" removes the key); the rest is the file.
//
// Checked: nothing crashes; a write leaves the file exactly as the in-memory edit of what was on
// disk says, or as it was; a value written under sane names reads back through the cache; nothing
// is left beside the file.

#include "settings/AtomicFile.h"
#include "settings/Cp1252.h"
#include "settings/IniDocument.h"
#include "settings/IniLib.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "FuzzCheck.h"
#include "FuzzIniAsk.h"

#include <cstdint>

using namespace qm;

namespace {

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // In memory where there is such a folder: replacing files on a disk is slow, not more logic.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/quillmark-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/quillmark-fuzz-XXXXXX"));
    fileWriteTuning().sync = false;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const fuzz::IniAsk ask(input);
    const QString& section = ask.section;
    const QString& key = ask.key;
    const QByteArray& value = ask.value;
    const bool remove = value == "-";
    const QByteArray& before = ask.file;
    const QString path = dir.filePath(QStringLiteral("Users.dat"));
    {
        QFile f(path);
        check(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(before) == before.size());
    }

    const IniDocument doc(before);
    check(IniLib::GetKeyValue(section, key, path) == cp1252::decode(doc.value(section, key).left(126)));
    if (remove) {
        IniLib::DeleteKey(section, key, path);
        const auto removed = doc.withoutKey(section, key);
        check(readBytes(path) == (removed ? removed->bytes() : before));
    } else {
        IniLib::WriteKeyValue(section, key, cp1252::decode(value), path);
        check(readBytes(path) == doc.withValue(section, key, cp1252::encode(cp1252::decode(value))).bytes());
        if (ask.saneNames() && !fuzz::hasLineEnd(value)) {
            const IniDocument after(readBytes(path));
            check(IniLib::GetKeyValue(section, key, path) ==
                  cp1252::decode(after.value(section, key).left(126)));
        }
    }
    check(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden) == QStringList{QStringLiteral("Users.dat")});
    return 0;
}
