#include "settings/IniLib.h"

#include "settings/Cp1252.h"
#include "settings/IniFileCache.h"

#include <QFileInfo>

namespace qm::IniLib {

WriteResult ChangeKeys(const QString& Section, const std::vector<KeyChange>& changes, const QString& File) {
    return ChangeKeysOf(
        Section, [&](const IniDocument*) { return std::optional(changes); }, File);
}

WriteResult ChangeKeysOf(const QString& Section, const ChangesOf& changesOf, const QString& File,
                         Rewritten* rewritten) {
    if (File.isEmpty()) {
        return {ReplaceResult::FolderMissing, {}};
    }
    auto& cache = IniFileCache::instance();
    std::shared_ptr<const IniDocument> written;
    std::shared_ptr<const IniDocument> read;
    std::optional<QByteArray> before;
    const auto edit = [&](const QByteArray* current) -> std::optional<QByteArray> {
        before = current ? std::optional(*current) : std::nullopt;
        auto doc = current ? cache.parsed(File, *current) : std::make_shared<const IniDocument>();
        read = current ? doc : nullptr;
        const std::optional<std::vector<KeyChange>> changes = changesOf(current ? doc.get() : nullptr);
        if (!changes) {
            return std::nullopt;
        }
        bool changed = false;
        for (const KeyChange& change : *changes) { // a removal from a missing file changes nothing
            std::optional<IniDocument> next =
                change.value ? doc->withValue(Section, change.key, cp1252::encode(*change.value))
                             : doc->withoutKey(Section, change.key);
            if (next) {
                doc = std::make_shared<const IniDocument>(std::move(*next));
                changed = true;
            }
        }
        if (!changed || (current && doc->bytes() == *current)) {
            return std::nullopt;
        }
        written = doc;
        return written->bytes();
    };
    const WriteResult result = rewriteFile(File, edit, IniFileCache::kMaxFileBytes);
    if (result.result == ReplaceResult::Replaced) {
        cache.remember(File, written);
        if (rewritten) {
            *rewritten = {std::move(before), written->bytes(), std::move(read), written};
        }
    }
    return result;
}

WriteResult WriteKeyValueResult(const QString& Section, const QString& Key, const QString& Value,
                                const QString& File) {
    return ChangeKeys(Section, {{Key, Value}}, File);
}

WriteResult DeleteKeyResult(const QString& Section, const QString& Key, const QString& File) {
    return ChangeKeys(Section, {{Key, std::nullopt}}, File);
}

Loaded Load(const QString& File) {
    if (File.isEmpty()) {
        return {};
    }
    IniFileCache::Loaded loaded = IniFileCache::instance().loadChecked(File);
    return {std::move(loaded.doc), loaded.status, loaded.detail, loaded.size};
}

QString ValueOf(const IniDocument& doc, const QString& Section, const QString& Key) {
    return cp1252::decode(doc.value(Section, Key).left(kMaxValueLength));
}

QString WholeValueOf(const IniDocument& doc, const QString& Section, const QString& Key) {
    return cp1252::decode(doc.value(Section, Key));
}

QString GetKeyValue(const QString& Section, const QString& Key, const QString& File) {
    if (File.isEmpty()) {
        return {};
    }
    const auto doc = IniFileCache::instance().load(File);
    return doc ? ValueOf(*doc, Section, Key) : QString();
}

void WriteKeyValue(const QString& Section, const QString& Key, const QString& Value, const QString& File) {
    WriteKeyValueResult(Section, Key, Value, File);
}

void DeleteKey(const QString& Section, const QString& Key, const QString& File) {
    DeleteKeyResult(Section, Key, File);
}

bool FileExists(const QString& Path) {
    return !Path.isEmpty() && QFileInfo::exists(Path);
}

} // namespace qm::IniLib
