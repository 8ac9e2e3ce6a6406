#include "TestPlatform.h"

#include <QObject>

namespace qm::test {

namespace {

// The next scripted answer, or `fallback` when the script has run out.
template <typename T> T next(std::deque<T>& script, T fallback) {
    if (script.empty()) {
        return fallback;
    }
    T answer = std::move(script.front());
    script.pop_front();
    return answer;
}

QString nameOf(const QObject* owner) {
    return owner ? owner->objectName() : QString();
}

} // namespace

int FakeMessageBox::show(const QString& text, int style, const QString& title) {
    shown.push_back({text, style, title.isEmpty() ? kAppTitle : title});
    if (onShow) {
        onShow(shown.back());
    }
    return next(m_answers, (style & 0x7) == vbYesNo ? int(vbYes) : int(vbOK));
}

QStringList FakeMessageBox::boxes() const {
    QStringList list;
    for (const ShownBox& b : shown) {
        list << QString("%1|%2|%3").arg(b.text).arg(b.style).arg(b.title);
    }
    return list;
}

std::optional<QString> MemorySettingsStore::value(const QString& key) const {
    return values.contains(key) ? std::optional(values.value(key)) : std::nullopt;
}

void MemorySettingsStore::setValue(const QString& key, const QString& value) {
    values.insert(key, value);
    writes << key;
}

void RecordingShell::open(const QString& document, const QString& workingFolder, int showMode,
                          QObject* owner) {
    requests.push_back({document, workingFolder, showMode, nameOf(owner)});
    if (onOpen) {
        onOpen(requests.back());
    }
}

std::optional<QString> ScriptedFileDialogs::openFile(QObject* owner, const QString& initialFolder,
                                                     const QString& initialName, const QString& filter) {
    fileRequests.push_back({initialFolder, initialName, filter});
    ownerNames << nameOf(owner);
    return next(fileAnswers, std::optional<QString>());
}

std::optional<QString> ScriptedFileDialogs::browseForFolder(QObject* owner) {
    ++folderRequests;
    ownerNames << nameOf(owner);
    return next(folderAnswers, std::optional<QString>());
}

} // namespace qm::test
