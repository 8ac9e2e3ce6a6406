#pragma once

// The controls of the main window that the editor works on, and what its rights lists carry.
// The window creates and owns them; it hands the editor this description of them.

#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace qm::editor {

// Item data roles of the rights lists: the item's key ("U1", "U2", ...), its tag (the right
// code) and its user's unique ID, read from ACT! when the list was filled. The header item of
// each list carries the column keys in kListKeyRole ("Rights" on column 1).
inline constexpr int kListKeyRole = 0x0100; // Qt::UserRole
inline constexpr int kListTagRole = 0x0101;
inline constexpr int kListIdRole = 0x0102;

struct EditorControls {
    // The rights chooser laid over a "Rights" cell.
    QComboBox* cboFloating = nullptr;
    // The global rights list and the selected field's rights list.
    QTreeWidget* lvwUsers = nullptr;
    QTreeWidget* lvwSpecialUsers = nullptr;
    // The field settings panel.
    QComboBox* cboFields = nullptr;
    QPlainTextEdit* rtfData = nullptr;
    QCheckBox* chkOnlyFromDropdown = nullptr;
    QCheckBox* chkEdit = nullptr;
    // optUsers(0) "Use Global Settings" and optUsers(1) "Use Settings below".
    std::array<QRadioButton*, 2> optUsers{};
    QPushButton* cmdSave = nullptr;
    // One line after a Save that kept changes another administrator made meanwhile (empty otherwise).
    QLabel* lblStatus = nullptr;
};

} // namespace qm::editor
