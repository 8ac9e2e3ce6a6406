#pragma once

// One INI-style file held in memory: its bytes, exactly as on disk, and an index of its section
// lines. Reads and one-key edits give the results of the Windows profile-string functions:
//
// - a line ends at CR, at LF, or at CR LF;
// - a line whose first non-blank character is "[" and that holds a "]" opens a section named by
//   the text between the "[" and the last "]";
// - any other non-blank line is a key line: the key is the text before its first "=" (the whole
//   line when it has none), the value the text after it;
// - names and values are trimmed of blanks, names match without regard to letter case, the first
//   matching section and the first matching key in it win (a later section of the same name is
//   never looked at), and a value wrapped in one pair of matching quotes reads without them.
//
// An edit changes the one line it concerns and leaves every other byte as it was.

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace qm {

class IniDocument {
public:
    IniDocument() = default;
    explicit IniDocument(QByteArray bytes);

    const QByteArray& bytes() const { return m_bytes; }
    qsizetype sectionCount() const { return qsizetype(m_sections.size()); }

    // The value of `key` in the first section named `section`, without blanks around it and
    // without one pair of enclosing quotes. Empty when the section or the key is missing.
    QByteArray value(QStringView section, QStringView key) const;

    // The file with `key` of `section` set to `value` (bytes as they are to be written). An
    // existing key line keeps everything up to its value and its own line end; a new key goes
    // after the last non-blank line of the section; a new section goes at the end of the file.
    IniDocument withValue(QStringView section, QStringView key, QByteArrayView value) const;

    // The file without the line of `key`; nullopt when there is no such line.
    std::optional<IniDocument> withoutKey(QStringView section, QStringView key) const;
    // The value of `key` as value() gives it; nullopt when there is no line of the key (where
    // withoutKey finds none).
    std::optional<QByteArray> valueIfLine(QStringView section, QStringView key) const;

    // Every section of the file in file order with its key lines, for a check of the file as a
    // whole: names trimmed, values as value() gives them, lines counted from 1 (a CR LF is one line
    // end). Key lines before the first section belong to no section and are not listed.
    struct KeyListing {
        QByteArray name;
        QByteArray value;
        qsizetype line = 0;
    };
    struct SectionListing {
        QByteArray name;
        qsizetype line = 0;
        std::vector<KeyListing> keys;
    };
    std::vector<SectionListing> listing() const;

    // Same bytes and same index: an edited document equals the same bytes parsed afresh.
    bool operator==(const IniDocument& other) const;

private:
    struct Section {
        qsizetype header; // start of the section line
        qsizetype body;   // start of the line after it
        bool operator==(const Section&) const = default;
    };
    struct KeyLine {
        qsizetype start;      // first byte of the line
        qsizetype next;       // first byte of the next line
        qsizetype nameEnd;    // end of the key name, trailing blanks excluded
        qsizetype equals;     // position of the first "=", or -1
        qsizetype valueStart; // first non-blank byte after "=" (contentEnd when none)
        qsizetype contentEnd; // end of the line before its line end
    };

    // The first key line of each name in one section, once the section has been searched often
    // enough to be worth it (a report reads thousands of keys of one file, an edit one or two).
    // Built on demand and never changed: a document is not changed once made.
    static constexpr int kScansBeforeIndex = 4;
    using KeyIndex = QHash<QString, KeyLine>; // case-folded name -> first key line
    struct LazyKeys {
        LazyKeys() = default;
        LazyKeys(const LazyKeys&) {} // a copy starts without; it is built again on demand
        LazyKeys& operator=(const LazyKeys&) { return *this; }
        std::mutex mutex;
        std::vector<int> scans;
        std::vector<std::unique_ptr<const KeyIndex>> sections;
    };
    std::unique_ptr<const KeyIndex> buildKeyIndex(int sectionIndex) const;
    // Calls `take(line, nameStart, nameEnd, equals)` for each key line of the section in order
    // until it returns true.
    template <typename F> void forEachKeyLine(int sectionIndex, F take) const;
    KeyLine keyLine(qsizetype start, qsizetype next, qsizetype contentEnd, qsizetype nameEnd,
                    qsizetype equals) const;

    void index();
    // This file with bytes [from, to) replaced by `text`, all in the body of section `i` (or
    // before the first section when i is -1); the index is carried over, not rebuilt.
    IniDocument spliced(int i, qsizetype from, qsizetype to, QByteArrayView text) const;
    IniDocument edited(QStringView section, QStringView key, QByteArrayView value) const;
    QByteArray editedBytes(QStringView section, QStringView key, QByteArrayView value) const;
    int findSection(QStringView section) const;
    qsizetype bodyEnd(int sectionIndex) const;
    std::optional<KeyLine> findKey(int sectionIndex, QStringView key) const;
    // The line of `key` in the first section named `section` (its index in `sectionIndex`).
    std::optional<KeyLine> lineOf(QStringView section, QStringView key, int* sectionIndex = nullptr) const;
    QByteArray valueOf(const KeyLine& k) const;

    QByteArray m_bytes;
    std::vector<Section> m_sections;
    QHash<QString, int> m_firstByName; // case-folded, trimmed name -> first section of that name
    mutable LazyKeys m_keys;
};

// Blanks around names and values: space, tab, vertical tab, form feed.
QStringView trimBlanks(QStringView text);

} // namespace qm
