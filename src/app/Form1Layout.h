#pragma once

// The main window's controls: object names, kinds, captions, containers, geometry and tab order.
// Geometry is written in twips, as the window was designed, and placed at 15 twips to a pixel.

#include "editor/EditorControls.h"
#include "platform/WindowLayout.h"

#include <array>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class QTreeWidget;
class QWidget;

namespace qm {

using editor::kListIdRole;
using editor::kListKeyRole;
using editor::kListTagRole;

// Design-time client area of the main window, in twips.
inline constexpr int kForm1ClientWidth = 7275;
inline constexpr int kForm1ClientHeight = 8640;

// Every control of the window; those the editor works on (the rights lists, the chooser and the
// field settings panel: optUsers(0..1) is named "optUsers_0" and "optUsers_1") are its base.
struct Form1Controls : editor::EditorControls {
    QTimer* tmr1 = nullptr;
    QPushButton* cmdFieldSettings = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdClose = nullptr;
    QGroupBox* fraUsers = nullptr;
    QLabel* lblDefault = nullptr;
    QLabel* lblGlobalSettings = nullptr;
    QGroupBox* fraFiles = nullptr;
    QLabel* lblSelect = nullptr;
    QLabel* lblAuthorizedUsers1 = nullptr;
    QLabel* lblDropdown = nullptr;
    // Control array lin1(0..1), the etched separator under the menu bar; named "lin1_0", "lin1_1".
    std::array<QFrame*, 2> lin1{};

    QMenu* mnuOptions = nullptr;
    QAction* mnuLocation = nullptr;
    QAction* mnuIntegrate = nullptr;
    QAction* mnuReport = nullptr; // "Rights &Report...": the effective rights and the settings check
    QMenu* mnuHelp = nullptr;
    QAction* mnuOnline = nullptr;
    QAction* mnuManual = nullptr;
    QAction* mnuAbout = nullptr;
};

// Creates every control of the main window on `window` (menu bar and a central widget holding
// the controls at their designed places) and sets the focus order from the tab indexes.
void buildForm1Layout(QMainWindow& window, Form1Controls& c);

// What attaching the image list ilsImages does to a rights list: every row becomes at least
// 18 pixels high, the height of the list's one image.
void attachImageList(QTreeWidget& list);
inline constexpr int kImageListRowHeight = 18;

// The top of the field settings panel (fraFiles) in the window, menu bar included: the most the
// window's inside may show when it is collapsed.
int fieldSettingsTop(QMainWindow& window, const Form1Controls& c);

} // namespace qm
