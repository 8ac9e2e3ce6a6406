#pragma once

// "Changed Here and Elsewhere": the settings that another administrator changed in the file since
// this window read them, and that were changed here too, one row each (what, the other's value,
// this window's value, which to keep). Keep is chosen per row or for all at once; Save goes on
// with the choices, Go Back returns to the window with nothing written.

#include "platform/Services.h"

#include <QDialog>

#include <optional>
#include <vector>

class QComboBox;
class QPushButton;
class QTableWidget;

namespace qm {

class frmMerge : public QDialog {
    Q_OBJECT
public:
    frmMerge(const QString& text, const std::vector<MergeConflict>& conflicts, QWidget* parent = nullptr);

    // One entry per conflict: true to keep this window's value (the choice shown in its row).
    std::vector<bool> choices() const;
    void cmdKeepMine_Click();
    void cmdTakeTheirs_Click();

    QTableWidget* lvwConflicts = nullptr;
    QPushButton* cmdKeepMine = nullptr;
    QPushButton* cmdTakeTheirs = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdBack = nullptr;

private:
    std::vector<QComboBox*> m_keep;
};

// The chooser the tool shows: frmMerge, modal over the main window.
class MergeWindowChooser : public ConflictChooser {
public:
    std::optional<std::vector<bool>> choose(QObject* owner, const QString& text,
                                            const std::vector<MergeConflict>& conflicts) override;
};

} // namespace qm
