#include "settings/IniFileCache.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <time.h>
#endif

namespace qm {

namespace {

constexpr std::size_t kMaxEntries = 16;

#ifdef Q_OS_UNIX
qint64 nanos(const struct timespec& t) {
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}
#endif

// Device, inode, size, modification time, change time, 1; all 0 when unknown.
std::array<qint64, 6> identityOf(QFile& file) {
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::fstat(file.handle(), &st) == 0) {
        return {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_size),
                nanos(st.st_mtim), nanos(st.st_ctim), 1};
    }
#else
    const QFileInfo info(file);
    return {0,
            0,
            info.size(),
            info.lastModified().toMSecsSinceEpoch() * 1'000'000,
            info.metadataChangeTime().toMSecsSinceEpoch() * 1'000'000,
            1};
#endif
    return {};
}

bool settled(const std::array<qint64, 6>& id) {
#ifdef Q_OS_UNIX
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const qint64 newest = std::max(id[3], id[4]);
    return id[5] == 1 && nanos(now) - newest > IniFileCache::kSettleNs;
#else
    Q_UNUSED(id);
    return false; // timestamps too coarse to trust: compare content every time
#endif
}

} // namespace

IniFileCache& IniFileCache::instance() {
    static IniFileCache cache;
    return cache;
}

std::shared_ptr<const IniDocument> IniFileCache::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QMutexLocker lock(&m_mutex);
        m_entries.erase(path);
        return nullptr;
    }
    const Identity before = identityOf(file);
    QMutexLocker lock(&m_mutex);
    auto it = m_entries.find(path);
    if (it != m_entries.end() && it->second.trusted && it->second.identity == before) {
        return it->second.doc;
    }
    ++m_contentReads;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_entries.erase(path);
        return nullptr;
    }
    const Identity after = identityOf(file);
    std::shared_ptr<const IniDocument> doc;
    if (it != m_entries.end() && it->second.doc->bytes() == bytes) {
        doc = it->second.doc;
    } else {
        ++m_parses;
        doc = std::make_shared<const IniDocument>(std::move(bytes));
    }
    if (before != after) {
        // Changed while being read: serve what was read, keep nothing.
        m_entries.erase(path);
        return doc;
    }
    if (it == m_entries.end() && m_entries.size() >= kMaxEntries) {
        m_entries.clear();
    }
    m_entries[path] = Entry{before, settled(before), doc};
    return doc;
}

void IniFileCache::remember(const QString& path, std::shared_ptr<const IniDocument> doc) {
    QMutexLocker lock(&m_mutex);
    if (m_entries.size() >= kMaxEntries && !m_entries.count(path)) {
        m_entries.clear();
    }
    m_entries[path] = Entry{{}, false, std::move(doc)};
}

void IniFileCache::clear() {
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}

} // namespace qm
