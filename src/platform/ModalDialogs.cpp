#include "platform/ModalDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>

namespace qm {

int rejectOpenDialogs() {
    // Rejecting one dialog may close or delete another; look at each one just before rejecting it.
    QList<QPointer<QDialog>> dialogs;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(window)) {
            dialogs << dialog;
        }
    }
    int rejected = 0;
    for (const QPointer<QDialog>& dialog : dialogs) {
        if (dialog && dialog->isVisible()) {
            dialog->reject();
            ++rejected;
        }
    }
    return rejected;
}

std::optional<int> askWhileOpen(MessageBox& box, const std::function<bool()>& closed, const QString& text,
                                int style, const QString& title) {
    const int answer = box.show(text, style, title);
    if (closed && closed()) {
        return std::nullopt;
    }
    return answer;
}

} // namespace qm
