// What the administrator is told about the settings files: that one could not be read (what the
// window shows of it is then not what it holds), that a change about to overwrite such a file
// replaces what it holds, and that a write did not land.

#include "editor/Editor.h"

#include <QStringList>

namespace qm::editor {

namespace {
const QChar kCr(13);
}

Editor::Shown& Editor::shown(What what) {
    switch (what) {
    case What::GlobalRights:
        return m_global;
    case What::FieldSettings:
        return m_fieldFile;
    case What::FieldRights:
        break;
    }
    return m_fieldRights;
}

QString Editor::whatText(What what) const {
    switch (what) {
    case What::GlobalRights:
        return QStringLiteral("The global rights");
    case What::FieldSettings:
        return QStringLiteral("The settings of the '") + currentFieldLabel + QStringLiteral("' field");
    case What::FieldRights:
        break;
    }
    return QStringLiteral("The rights on the '") + currentFieldLabel + QStringLiteral("' field");
}

void Editor::loaded(What what, std::optional<ReadProblem> problem) {
    Shown& s = shown(what);
    s.changed = false;
    s.unread = std::move(problem);
    const bool usersFile = what != What::FieldSettings;
    if (!s.unread) {
        if (usersFile) {
            m_usersUnreadSaid = false;
        }
        return;
    }
    if (usersFile && m_usersUnreadSaid) {
        return; // said already, and not read since
    }
    m_usersUnreadSaid = m_usersUnreadSaid || usersFile;
    const QString saves = what == What::GlobalRights ? QStringLiteral("Close") : QStringLiteral("Save");
    m_x.services.messageBox.show(
        whatText(what) + QStringLiteral(" cannot be read: ") + problemText(*s.unread) + QLatin1Char('.') +
            kCr + QStringLiteral("What the window shows is not what the file holds: ") + saves +
            QStringLiteral(" writes it only when you change it, and asks first."),
        vbOKOnly + vbExclamation, kAppTitle);
}

bool Editor::confirmUnread(const std::vector<What>& what) {
    QStringList lines;
    for (const What w : what) {
        const Shown& s = shown(w);
        if (s.unread && s.changed) {
            lines << whatText(w) + QStringLiteral(" could not be read when they were shown: ") +
                         problemText(*s.unread) + QLatin1Char('.');
        }
    }
    if (lines.isEmpty()) {
        return true;
    }
    const QString text =
        lines.join(kCr) + kCr +
        QStringLiteral("Writing them replaces what the file holds with what the window shows.") + kCr + kCr +
        QStringLiteral("Do you want to write them all the same?");
    // No answer: ACT! closed the window while the question was open, and nothing is written.
    const std::optional<int> answer = ask(text, vbYesNo + vbExclamation);
    return answer && *answer == vbYes;
}

bool Editor::landed(What what, const QString& file, const WriteResult& result) {
    if (result.landed()) {
        Shown& s = shown(what);
        s.unread.reset(); // the file now holds what the window shows
        s.changed = false;
        return true;
    }
    m_x.services.messageBox.show(whatText(what) + QStringLiteral(" were not saved: ") +
                                     notWrittenText(file, result) + QLatin1Char('.') + kCr +
                                     QStringLiteral("Your changes are still in the window."),
                                 vbOKOnly + vbExclamation, kAppTitle);
    return false;
}

} // namespace qm::editor
