#include "TestPlatform.h"

#include <QObject>

namespace qm::test {

int FakeMessageBox::show(const QString& text, int style, const QString& title) {
    shown.push_back({text, style, title.isEmpty() ? kAppTitle : title});
    if (onShow) {
        onShow(shown.back());
    }
    if (!m_answers.empty()) {
        const int answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    }
    return (style & 0x7) == vbYesNo ? vbYes : vbOK;
}

std::optional<QString> MemorySettingsStore::value(const QString& key) const {
    const auto it = values.constFind(key);
    if (it == values.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

void MemorySettingsStore::setValue(const QString& key, const QString& value) {
    values.insert(key, value);
    writes << key;
}

void RecordingShell::open(const QString& document, const QString& workingFolder, int showMode,
                          QObject* owner) {
    requests.push_back({document, workingFolder, showMode, owner ? owner->objectName() : QString()});
    if (onOpen) {
        onOpen(requests.back());
    }
}

std::optional<QString> ScriptedFileDialogs::openFile(QObject* owner, const QString& initialFolder,
                                                     const QString& initialName, const QString& filter) {
    fileRequests.push_back({initialFolder, initialName, filter});
    ownerNames << (owner ? owner->objectName() : QString());
    if (fileAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::optional<QString> ScriptedFileDialogs::browseForFolder(QObject* owner) {
    ++folderRequests;
    ownerNames << (owner ? owner->objectName() : QString());
    if (folderAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
}

} // namespace qm::test
