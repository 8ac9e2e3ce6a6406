#include "settings/IniFileCache.h"

#include "settings/AtomicFile.h"

#include <QDeadlineTimer>

#include <ctime>

namespace qm {

namespace {

constexpr std::size_t kMaxEntries = 16;

bool settled(const FileIdentity& id) {
#ifdef Q_OS_UNIX
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const qint64 nowNs = qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    return id[5] == 1 && nowNs - std::max(id[3], id[4]) > IniFileCache::kSettleNs;
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
    return loadChecked(path).doc;
}

IniFileCache::Loaded IniFileCache::loadChecked(const QString& path) {
    const FileIdentity now = identityOf(path);
    {
        QMutexLocker lock(&m_mutex);
        const auto it = m_entries.find(path);
        if (now[5] == 0) {
            if (it != m_entries.end()) {
                m_entries.erase(it);
            }
            lock.unlock();
            // Missing, or a name stat cannot follow (a link to nowhere): the reader says which.
            const FileContent read = readFile(path, kMaxFileBytes);
            if (read.status != FileContent::Ok) {
                return {nullptr, read.status, read.detail, read.size};
            }
            return {std::make_shared<const IniDocument>(read.bytes), FileContent::Ok, {}};
        }
        if (it != m_entries.end() && it->second.trusted && it->second.identity == now) {
            return {it->second.doc, FileContent::Ok, {}};
        }
        const auto busy = m_busy.find(path);
        if (busy != m_busy.end() && busy->second.identity == now &&
            QDeadlineTimer::current().deadline() < busy->second.untilMs) {
            return {nullptr, FileContent::Busy, {}};
        }
    }
    FileContent read = readFile(path, kMaxFileBytes);
    QMutexLocker lock(&m_mutex);
    ++m_contentReads;
    if (read.status == FileContent::Busy) {
        m_busy[path] = {now, QDeadlineTimer::current().deadline() + kBusyMemoMs};
    } else {
        m_busy.erase(path);
    }
    if (read.status != FileContent::Ok) {
        m_entries.erase(path);
        return {nullptr, read.status, read.detail, read.size};
    }
    const auto it = m_entries.find(path);
    std::shared_ptr<const IniDocument> doc;
    if (it != m_entries.end() && it->second.doc->bytes() == read.bytes) {
        doc = it->second.doc;
    } else {
        ++m_parses;
        doc = std::make_shared<const IniDocument>(std::move(read.bytes));
    }
    if (read.identity[5] == 0) {
        // Changed while being read: serve what was read, keep nothing.
        m_entries.erase(path);
        return {doc, FileContent::Ok, {}};
    }
    keep(path, Entry{read.identity, settled(read.identity), doc});
    return {doc, FileContent::Ok, {}};
}

std::shared_ptr<const IniDocument> IniFileCache::parsed(const QString& path, const QByteArray& bytes) {
    {
        QMutexLocker lock(&m_mutex);
        const auto it = m_entries.find(path);
        if (it != m_entries.end() && it->second.doc->bytes() == bytes) {
            return it->second.doc;
        }
        ++m_parses;
    }
    return std::make_shared<const IniDocument>(bytes);
}

void IniFileCache::remember(const QString& path, std::shared_ptr<const IniDocument> doc) {
    QMutexLocker lock(&m_mutex);
    m_busy.erase(path);
    keep(path, Entry{{}, false, std::move(doc)});
}

void IniFileCache::keep(const QString& path, Entry entry) {
    if (m_entries.size() >= kMaxEntries && !m_entries.count(path)) {
        m_entries.clear();
    }
    m_entries[path] = std::move(entry);
}

void IniFileCache::clear() {
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
    m_busy.clear();
}

} // namespace qm
