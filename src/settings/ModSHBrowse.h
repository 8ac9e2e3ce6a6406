#pragma once

// The shell's folder browser, rooted at the desktop, for file-system folders only.

#include "platform/Services.h"

class QLineEdit;
class QWidget;

namespace qm::ModSHBrowse {

// Shows the folder browser owned by `owner` (the main window); a chosen folder's path goes into
// `txtFolder`, a cancel changes nothing. Errors go to the caller.
void BrowseForFolder(FileDialogs& dialogs, QWidget* owner, QLineEdit& txtFolder);

} // namespace qm::ModSHBrowse
