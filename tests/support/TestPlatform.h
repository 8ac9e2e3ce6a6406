#pragma once

// Test doubles of the platform services: each records what it was asked and answers as the test
// scripts it.

#include "platform/Services.h"
#include "platform/VbError.h"

#include <QFile>
#include <QMap>
#include <QTest>

#include <deque>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

namespace qm::test {

// The names of the columns that columns() made last: those of the rows being run, since a data
// function runs just before the rows of its test.
inline QList<QByteArray>& columnNames() {
    static QList<QByteArray> names;
    return names;
}

// The columns of a data table: columns<int, QString>("count", "name").
template <typename... T, typename... N> void columns(const N&... names) {
    columnNames() = {QByteArray(names)...};
    (QTest::addColumn<T>(names), ...);
}

// One row of a data table, its values in the order of the columns.
template <typename... V> void row(const char* name, const V&... values) {
    (QTest::newRow(name) << ... << values);
}

template <typename... T, std::size_t... I> std::tuple<T...> fetchColumns(std::index_sequence<I...>) {
    if (columnNames().size() != qsizetype(sizeof...(T)))
        qFatal("fetch() asks for %d columns of %lld", int(sizeof...(T)), qlonglong(columnNames().size()));
    return {*static_cast<T*>(QTest::qData(columnNames().at(I).constData(), qMetaTypeId<T>()))...};
}

// The current row's values of the named columns: auto [count, name] = fetch<int, QString>("count", "name");
// with no names, of the columns that columns() made, in their order: fetch<int, QString>().
template <typename... T, typename... N> std::tuple<T...> fetch(const N&... names) {
    if constexpr (sizeof...(N) == 0)
        return fetchColumns<T...>(std::index_sequence_for<T...>{});
    else
        return {*static_cast<T*>(QTest::qData(names, qMetaTypeId<T>()))...};
}

// The common error report's box: errorBox(13, "Type mismatch", "Form1: Sub Form_Load - Line # 16").
inline QString errorBox(int number, const QString& description, const QString& where) {
    return QString("Error %1: '%2'\rin %3\r\rPlease contact support@quillmark.app with this error message.|0|"
                   "Quillmark error")
        .arg(number)
        .arg(description, where);
}

// The error number a call raises; 0 when it raises none.
inline int errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const VbError& e) {
        return e.number();
    }
    return 0;
}

inline QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The next scripted answer, or `fallback` when the script has run out.
template <typename T> T nextAnswer(std::deque<T>& script, T fallback) {
    if (script.empty())
        return fallback;
    T answer = std::move(script.front());
    script.pop_front();
    return answer;
}

inline QString nameOf(const QObject* owner) {
    return owner ? owner->objectName() : QString();
}

// A Windows path in its POSIX form: "\" and "/" swapped (and back again).
inline QString swapSeparators(QString path) {
    return path.replace('\\', '\x01').replace('/', '\\').replace('\x01', '/');
}

struct ShownBox {
    QString text; // exactly as given, CR line breaks kept
    int style = 0;
    QString title; // as shown: the application title when none was given
};

// Pre-answered message boxes. Unscripted boxes get the default button (OK, or Yes).
class FakeMessageBox : public MessageBox {
public:
    int show(const QString& text, int style, const QString& title) override {
        shown.push_back({text, style, title.isEmpty() ? kAppTitle : title});
        return nextAnswer(m_answers, (style & 0x7) == vbYesNo ? int(vbYes) : int(vbOK));
    }

    void answerNext(int answer) { m_answers.push_back(answer); }

    std::vector<ShownBox> shown;
    // Every box shown, as "text|style|title".
    QStringList boxes() const {
        QStringList list;
        for (const ShownBox& b : shown)
            list << QString("%1|%2|%3").arg(b.text).arg(b.style).arg(b.title);
        return list;
    }
    void clear() { shown.clear(); }

private:
    std::deque<int> m_answers;
};

class MemorySettingsStore : public SettingsStore {
public:
    std::optional<QString> value(const QString& key) const override {
        return values.contains(key) ? std::optional(values.value(key)) : std::nullopt;
    }
    void setValue(const QString& key, const QString& value) override {
        values.insert(key, value);
        writes << key;
    }
    using SettingsStore::value;

    QMap<QString, QString> values;
    QStringList writes; // keys in the order written
};

// Records each request as "document|working folder|owner's objectName()|show mode", and hands it
// on to `then` when one is given.
class RecordingShell : public Shell {
public:
    explicit RecordingShell(Shell* then = nullptr)
        : m_then(then) {}
    void open(const QString& document, const QString& workingFolder, int showMode, QObject* owner) override {
        requests << QStringList{document, workingFolder, nameOf(owner), QString::number(showMode)}.join('|');
        if (m_then)
            m_then->open(document, workingFolder, showMode, owner);
    }
    QStringList requests;

private:
    Shell* m_then;
};

class FakeInstanceGuard : public InstanceGuard {
public:
    bool anotherCopyRuns() override { return another; }
    bool another = false;
};

class FakeAppInfo : public AppInfo {
public:
    QString programFolder() const override { return folder; }
    QString exeName() const override { return exe; }
    VersionInfo version() const override { return ver; }

    QString folder = QStringLiteral("/opt/quillmark");
    QString exe = QStringLiteral("quillmark");
    VersionInfo ver{1, 0, 4};
};

// Records every wait for another program, and gives a wait up once cancelPressed() has been asked
// `cancelAfter` times (never when negative).
class FakeWaitIndicator : public WaitIndicator {
public:
    void begin(const QString& file) override {
        files << file;
        ++open;
        asked = 0;
    }
    bool cancelPressed() override { return cancelAfter >= 0 && ++asked > cancelAfter; }
    void end() override { --open; }

    QStringList files; // the file of each wait, in order
    int open = 0;      // waits begun and not ended
    int asked = 0;
    int cancelAfter = -1;
};

class RecordingTerminator : public Terminator {
public:
    void endNow(int exitCode) override { codes.push_back(exitCode); }
    std::vector<int> codes;
};

class ScriptedFileDialogs : public FileDialogs {
public:
    std::optional<QString> openFile(QObject* owner, const QString& initialFolder, const QString& initialName,
                                    const QString& filter) override {
        fileRequests << initialFolder + '|' + initialName + '|' + filter;
        ownerNames << nameOf(owner);
        return nextAnswer(fileAnswers, std::optional<QString>());
    }
    std::optional<QString> browseForFolder(QObject* owner) override {
        ownerNames << nameOf(owner);
        return nextAnswer(folderAnswers, std::optional<QString>());
    }

    std::optional<QString> saveFile(QObject* owner, const QString& initialPath,
                                    const QString& filter) override {
        saveRequests << initialPath + '|' + filter;
        ownerNames << nameOf(owner);
        return nextAnswer(saveAnswers, std::optional<QString>());
    }

    // nullopt answers as a cancel; unscripted dialogs are cancelled.
    std::deque<std::optional<QString>> fileAnswers;
    std::deque<std::optional<QString>> folderAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    QStringList saveRequests; // "initialPath|filter"
    QStringList fileRequests; // "initialFolder|initialName|filter"
    QStringList ownerNames;
};

// Pre-answered conflict windows: each answer is "back" (nothing written), "mine" or "theirs" (for
// all), or one letter per conflict ('m' keep this window's, 't' take the other's). Unscripted
// windows go back. Every window shown is recorded as "what:theirs>mine;...". `whileShown` runs
// while a window is open (another administrator writing meanwhile).
struct ScriptedConflicts : ConflictChooser {
    std::deque<QString> answers;
    QStringList shown;
    std::function<void()> whileShown;
    std::optional<std::vector<bool>> choose(QObject* /*owner*/, const QString& /*text*/,
                                            const std::vector<MergeConflict>& conflicts) override {
        if (whileShown)
            std::exchange(whileShown, nullptr)();
        QStringList rows;
        for (const MergeConflict& c : conflicts)
            rows << c.what + ":" + c.theirs + ">" + c.mine;
        shown << rows.join(';');
        const QString answer = nextAnswer(answers, QString("back"));
        if (answer == "back")
            return std::nullopt;
        std::vector<bool> keep;
        for (std::size_t i = 0; i < conflicts.size(); ++i)
            keep.push_back(answer == "mine" || (answer != "theirs" && answer.mid(qsizetype(i), 1) == "m"));
        return keep;
    }
};

} // namespace qm::test
