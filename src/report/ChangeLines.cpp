#include "report/ChangeLines.h"

#include "editor/Rights.h"
#include "platform/VbError.h"
#include "settings/Cp1252.h"
#include "settings/FieldSettingsFile.h"

namespace qm::report {

namespace {

using changelog::Kind;

const QString kArrow = QStringLiteral(" -> ");
constexpr int kEntriesNamed = 10;

QString flagName(int state) {
    return state == 1 ? QStringLiteral("Yes") : state == 2 ? QStringLiteral("Greyed") : QStringLiteral("No");
}

QString entriesText(qsizetype n) {
    return n == 1 ? QStringLiteral("1 entry") : QString::number(n) + QStringLiteral(" entries");
}

// " (+ Purple; - Red)": what the later list has that the earlier lacks, and the other way round.
void listDifference(const QStringList& before, const QStringList& after, LineWriter& out) {
    bool any = false;
    for (const auto& [from, to, sign] : {std::tuple{&before, &after, QStringLiteral("+ ")},
                                         std::tuple{&after, &before, QStringLiteral("- ")}}) {
        qsizetype named = 0;
        qsizetype more = 0;
        for (const QString& e : *to) {
            if (from->contains(e)) {
                continue;
            }
            if (named == kEntriesNamed) {
                ++more;
                continue;
            }
            out.fixed(named > 0 ? QStringLiteral(", ") : any ? QStringLiteral("; ") : QStringLiteral(" ("));
            if (named == 0) {
                out.fixed(sign);
            }
            out.fromLog(e);
            ++named;
            any = true;
        }
        if (more > 0) {
            out.fixed(QString(QStringLiteral(", ") + QString::number(more) + QStringLiteral(" more")));
        }
    }
    out.fixed(any ? QStringLiteral(")") : QStringLiteral(" (the same entries in another order)"));
}

QStringList entriesOf(const QString& listText) {
    QStringList entries;
    for (const QString& e : listText.split(QLatin1Char('\n'))) {
        if (!e.trimmed().isEmpty()) {
            entries << e.trimmed();
        }
    }
    return entries;
}

void fileLines(const Record& r, SettingsFiles& files, LineWriter& out) {
    const SettingsFiles::Read& before = files.read(r.fileBefore);
    const SettingsFiles::Read& after = files.read(r.fileAfter);
    if (!before.readable || !after.readable) {
        out.fixed(QString(QStringLiteral("Settings file: ") +
                          (before.readable ? QString() : QStringLiteral("the earlier file did not read; ")) +
                          (after.readable ? QString() : QStringLiteral("the file written does not read"))));
        out.endLine();
        return;
    }
    if (!r.fileBefore) {
        out.fixed(QStringLiteral("Settings file made"));
        out.endLine();
    }
    for (const auto& [name, from, to] :
         {std::tuple{QStringLiteral("Only from Drop-down: "), before.onlyFromDropdown,
                     after.onlyFromDropdown},
          std::tuple{QStringLiteral("Allow editing: "), before.allowEditing, after.allowEditing}}) {
        if (from != to) {
            out.fixed(QString(name + flagName(from) + kArrow + flagName(to)));
            out.endLine();
        }
    }
    if (before.entries != after.entries) {
        out.fixed(QString(QStringLiteral("Drop-down list: ") + entriesText(before.entries.size()) + kArrow +
                          entriesText(after.entries.size())));
        listDifference(before.entries, after.entries, out);
        out.endLine();
    }
}

void valueText(const changelog::Bytes& value, bool utf8, LineWriter& out) {
    if (!value) {
        out.fixed(QStringLiteral("absent"));
        return;
    }
    out.fixed(QStringLiteral("\""));
    out.fromLog(utf8 ? QString::fromUtf8(*value) : cp1252::decode(*value));
    out.fixed(QStringLiteral("\""));
}

// The lines as a list.
class Collected : public LineWriter {
public:
    void fixed(QStringView text) override { m_line += text; }
    void fromLog(QStringView text) override { m_line += text; }
    void endLine() override {
        lines << m_line;
        m_line.clear();
    }
    QStringList lines;

private:
    QString m_line;
};

} // namespace

const SettingsFiles::Read& SettingsFiles::read(const changelog::Bytes& bytes) {
    if (!bytes) {
        return m_missing; // a missing file: both flags 0, no entries
    }
    const auto found = m_read.find(*bytes);
    if (found != m_read.end()) {
        return found->second;
    }
    Read read;
    FieldSettingsFile::FieldSettings s;
    try {
        FieldSettingsFile::readContent(*bytes, s);
        read = {true, s.onlyFromDropdown, s.allowEditing, entriesOf(s.listText)};
    } catch (const VbError&) {
        read.readable = false;
    }
    return m_read.emplace(*bytes, std::move(read)).first->second;
}

void writeChangeLines(const Record& r, bool withKeys, SettingsFiles& files, LineWriter& out) {
    for (const changelog::UserChange& u : r.users) {
        out.fromLog(u.name);
        out.fixed(QStringLiteral(" "));
        out.fromLog(u.uniqueId);
        out.fixed(QStringLiteral(": "));
        out.fixed(rights::rightName(u.before));
        out.fixed(kArrow);
        out.fixed(rights::rightName(u.after));
        out.endLine();
    }
    if (r.fileChanged) {
        fileLines(r, files, out);
    }
    const bool locations = r.kind == Kind::Locations;
    if (withKeys || locations) {
        for (const changelog::KeyChange& k : r.keys) {
            if (!locations) {
                out.fixed(QStringLiteral("Key "));
            }
            out.fromLog(k.key);
            out.fixed(QStringLiteral(": "));
            valueText(k.before, locations, out);
            out.fixed(kArrow);
            valueText(k.after, locations, out);
            out.endLine();
        }
    }
    if (!r.note.isEmpty()) {
        out.fixed(QStringLiteral("Note: "));
        out.fromLog(r.note);
        out.endLine();
    }
}

QStringList changeLines(const Record& r, bool withKeys, SettingsFiles* files) {
    Collected collected;
    SettingsFiles once;
    writeChangeLines(r, withKeys, files ? *files : once, collected);
    return collected.lines;
}

QString changeSummary(const Record& r, int limit) {
    QString text = changeLines(r).join(QStringLiteral("; "));
    if (text.size() > limit) {
        text = text.left(limit - 1) + QChar(0x2026);
    }
    return text;
}

} // namespace qm::report
