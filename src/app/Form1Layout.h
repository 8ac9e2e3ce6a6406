#pragma once

// The main window's controls: object names, kinds, captions, containers, geometry and tab order.
// Geometry is written in twips, as the window was designed, and placed at 15 twips to a pixel.

#include <QtGlobal>

#include <array>

class QAction;
class QFont;
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
class QRect;
class QTimer;
class QTreeWidget;
class QWidget;

namespace qm {

inline constexpr int kTwipsPerPixel = 15;
inline int twipsToPixels(double twips) {
    return qRound(twips / kTwipsPerPixel);
}

// Design-time client area of the main window, in twips.
inline constexpr int kForm1ClientWidth = 7275;
inline constexpr int kForm1ClientHeight = 8640;

// Item data roles of the rights lists: the item's key ("U1", "U2", ...) and its tag (the right code).
// The header item of each list carries the column keys in kListKeyRole ("Rights" on column 1).
inline constexpr int kListKeyRole = 0x0100; // Qt::UserRole
inline constexpr int kListTagRole = 0x0101;

// Name of the dynamic property that holds a control's tab index as designed.
inline constexpr char kTabIndexProperty[] = "TabIndex";

struct Form1Controls {
    QComboBox* cboFloating = nullptr;
    QTimer* tmr1 = nullptr;
    QPushButton* cmdFieldSettings = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdClose = nullptr;
    QGroupBox* fraUsers = nullptr;
    QTreeWidget* lvwUsers = nullptr;
    QLabel* lblDefault = nullptr;
    QLabel* lblGlobalSettings = nullptr;
    QGroupBox* fraFiles = nullptr;
    QCheckBox* chkEdit = nullptr;
    QCheckBox* chkOnlyFromDropdown = nullptr;
    // Control array optUsers(0..1); the widgets are named "optUsers_0" and "optUsers_1".
    std::array<QRadioButton*, 2> optUsers{};
    QPushButton* cmdSave = nullptr;
    QComboBox* cboFields = nullptr;
    QPlainTextEdit* rtfData = nullptr;
    QTreeWidget* lvwSpecialUsers = nullptr;
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

// The design font, 8.25 pt "MS Sans Serif", or the platform's closest match.
QFont designFont(bool bold);

// The top of the field settings panel (fraFiles) in the window, menu bar included: the most the
// window's inside may show when it is collapsed.
int fieldSettingsTop(QMainWindow& window, const Form1Controls& c);

// The control's designed rectangle (twips) in pixels.
QRect twipsRect(int left, int top, int width, int height);

} // namespace qm
