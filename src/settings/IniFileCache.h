#pragma once

// Parsed INI files kept between calls, so that reading one key of a large file does not parse
// the whole file again. A file's entry is used only while the file on disk is still the one it
// was read from:
//
// - its identity (device, inode, size, modification and change times) must be unchanged, and
// - the entry must have been read when the file had not changed for kSettleNs already.
//
// The first rule costs one stat of the path, and nothing else is asked of the system for a
// settled file. The second rule covers timestamps that are coarser than the time between two
// writes (a file rewritten in place within one tick, with the same size, keeps every part of its
// identity). While a file is younger than that, each read compares its content with the entry
// instead, which still spares the parse. The change time cannot be set by any program, so a
// later change of a settled file always shows in its identity.
//
// A file that another program kept locked longer than a reader waits reads as such, at once, for
// kBusyMemoMs while it stays unchanged: a start-up that reads it several times waits once.

#include "settings/AtomicFile.h"
#include "settings/IniDocument.h"

#include <QMutex>
#include <QString>

#include <array>
#include <memory>
#include <unordered_map>

namespace qm {

class IniFileCache {
public:
    static constexpr qint64 kSettleNs = 2'500'000'000;
    static constexpr qint64 kBusyMemoMs = 3000;
    // The largest INI file read (the authorized-users file): thousands of users' rights on
    // thousands of fields take a few megabytes. A larger one is refused from its size.
    static constexpr qint64 kMaxFileBytes = qint64(16) << 20;

    static IniFileCache& instance();

    // The file as it is on disk now; nullptr when it is missing or cannot be read.
    std::shared_ptr<const IniDocument> load(const QString& path);
    // The same, saying why there is none: the status and detail of the read (FileContent).
    struct Loaded {
        std::shared_ptr<const IniDocument> doc;
        FileContent::Status status = FileContent::Missing;
        QString detail;
        qint64 size = 0; // TooLarge: the file's size
    };
    Loaded loadChecked(const QString& path);
    // `bytes` just read from `path` under a writer's lock, parsed (the entry's document when it
    // holds the same bytes).
    std::shared_ptr<const IniDocument> parsed(const QString& path, const QByteArray& bytes);
    // Keeps `doc` as the content just written to `path`; it is checked against the disk at the
    // next load like any young entry.
    void remember(const QString& path, std::shared_ptr<const IniDocument> doc);
    void clear();

    // How many times a file's content was read and how many times it was parsed (for tests).
    qint64 contentReads() const { return m_contentReads; }
    qint64 parses() const { return m_parses; }

private:
    struct Entry {
        std::array<qint64, 6> identity{};
        bool trusted = false;
        std::shared_ptr<const IniDocument> doc;
    };
    void keep(const QString& path, Entry entry);
    struct Busy {
        std::array<qint64, 6> identity{};
        qint64 untilMs = 0;
    };

    QMutex m_mutex;
    std::unordered_map<QString, Entry> m_entries;
    std::unordered_map<QString, Busy> m_busy; // files found locked by another program
    qint64 m_contentReads = 0;
    qint64 m_parses = 0;
};

} // namespace qm
