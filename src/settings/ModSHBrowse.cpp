#include "settings/ModSHBrowse.h"

#include <QLineEdit>
#include <QWidget>

namespace qm::ModSHBrowse {

void BrowseForFolder(FileDialogs& dialogs, QWidget* owner, QLineEdit& txtFolder) {
    const std::optional<QString> chosen = dialogs.browseForFolder(owner);
    if (!chosen) {
        return;
    }
    // The shell hands the path back in a NUL-terminated buffer: the path ends at the first NUL.
    QString path = *chosen;
    const qsizetype nul = path.indexOf(QChar(0));
    if (nul >= 0) {
        path.truncate(nul);
    }
    txtFolder.setText(path);
}

} // namespace qm::ModSHBrowse
