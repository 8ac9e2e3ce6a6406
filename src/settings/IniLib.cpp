#include "settings/IniLib.h"

#include "settings/AtomicFile.h"
#include "settings/Cp1252.h"
#include "settings/IniFileCache.h"

#include <QFileInfo>

#include <optional>

namespace qm::IniLib {

namespace {

// Applies one change to File under the writers' locks, to the content read under them; `value`
// absent removes the key.
void change(const QString& section, const QString& key, const std::optional<QString>& value,
            const QString& file) {
    if (file.isEmpty()) {
        return;
    }
    auto& cache = IniFileCache::instance();
    std::shared_ptr<const IniDocument> written;
    const ReplaceResult result =
        rewriteFile(file, [&](const QByteArray* current) -> std::optional<QByteArray> {
            if (!current && !value) {
                return std::nullopt; // nothing to remove from a missing file
            }
            const auto doc = current ? cache.parsed(file, *current) : std::make_shared<const IniDocument>();
            std::optional<IniDocument> changed =
                value ? doc->withValue(section, key, cp1252::encode(*value)) : doc->withoutKey(section, key);
            if (!changed || (current && changed->bytes() == *current)) {
                return std::nullopt;
            }
            written = std::make_shared<const IniDocument>(std::move(*changed));
            return written->bytes();
        });
    if (result == ReplaceResult::Replaced) {
        cache.remember(file, written);
    }
}

} // namespace

QString GetKeyValue(const QString& Section, const QString& Key, const QString& File) {
    if (File.isEmpty()) {
        return {};
    }
    const auto doc = IniFileCache::instance().load(File);
    if (!doc) {
        return {};
    }
    return cp1252::decode(doc->value(Section, Key).left(kMaxValueLength));
}

void WriteKeyValue(const QString& Section, const QString& Key, const QString& Value, const QString& File) {
    change(Section, Key, Value, File);
}

void DeleteKey(const QString& Section, const QString& Key, const QString& File) {
    change(Section, Key, std::nullopt, File);
}

bool FileExists(const QString& Path) {
    return !Path.isEmpty() && QFileInfo::exists(Path);
}

} // namespace qm::IniLib
