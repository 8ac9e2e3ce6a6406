#include "settings/IniLib.h"

#include "settings/AtomicFile.h"
#include "settings/Cp1252.h"
#include "settings/IniFileCache.h"

#include <QFileInfo>

#include <optional>

namespace qm::IniLib {

namespace {

// Applies one change to File under its lock; `value` absent removes the key.
void change(const QString& section, const QString& key, const std::optional<QString>& value,
            const QString& file) {
    if (file.isEmpty()) {
        return;
    }
    const QString target = writeTarget(file);
    if (checkReplaceable(target) != ReplaceResult::Replaced) {
        return;
    }
    if (!value && !QFileInfo::exists(target)) {
        return;
    }
    const SettingsFileLock lock(target);
    if (lock.isDenied()) {
        return; // the folder may not be written to: the file could not be replaced either
    }
    auto& cache = IniFileCache::instance();
    std::shared_ptr<const IniDocument> doc = cache.load(file);
    if (!doc) {
        if (QFileInfo::exists(target)) {
            return; // there, but unreadable: never overwrite what could not be read
        }
        doc = std::make_shared<const IniDocument>();
    }
    std::optional<IniDocument> changed;
    if (value) {
        changed = doc->withValue(section, key, cp1252::encode(*value));
    } else {
        changed = doc->withoutKey(section, key);
    }
    if (!changed || (changed->bytes() == doc->bytes() && QFileInfo::exists(target))) {
        return;
    }
    if (replaceContent(target, changed->bytes(), lock.isLocked()) == ReplaceResult::Replaced) {
        cache.remember(file, std::make_shared<const IniDocument>(std::move(*changed)));
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
