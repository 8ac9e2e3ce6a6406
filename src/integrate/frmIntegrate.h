#pragma once

// The "Integrate with ACT!" dialog: for six ACT! views, whether the tool is installed in ACT! as a
// toolbar button and as a Tools-menu item. Every click is sent to ACT! at once; nothing is
// deferred and Cancel undoes nothing. Close after changes either reports that the last change
// failed or offers to restart ACT!, which shows such changes only after a restart.

#include "act/ActObjects.h"
#include "platform/Paths.h"
#include "platform/Services.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace qm {
class ClickLabel;
}

namespace qm {

// What the dialog needs of the main window for a restart of ACT!: the flag its closing procedure
// reads, that closing procedure, run directly with a cancel flag of the caller's own, and whether
// the main window has closed (ACT! closes it, and this dialog with it, when it goes away).
struct MainWindowLink {
    bool& RestartACT;
    std::function<void(int& cancel)> Form_Unload;
    std::function<bool()> closed = {};
};

class frmIntegrate : public QDialog {
    Q_OBJECT
public:
    // Boxes 0-5 are the toolbars of views 1-6, boxes 6-11 their Tools menus.
    static constexpr int kBoxCount = 12;
    static constexpr int kViewCount = 6;

    // A modal dialog over `mainWindow`; loads the boxes from ACT! at once.
    frmIntegrate(Services& services, QWidget* mainWindow, MainWindowLink mainWindowLink);
    ~frmIntegrate() override;

    void Form_Load();
    void Form_Unload();
    void chkScreen_Click(int index);
    void lblScreen_Click(int index);
    void cmdOK_Click();
    void cmdCancel_Click();

    // Registers the tool in ACT! as an auxiliary command; a refusal is reported at once.
    // `separator` joins the program folder and the executable's name in the paths sent.
    void CheckCommand(QChar separator = kPathSep);
    void MessAddFailed();
    // Asks whether to restart ACT!; on Yes closes this dialog and runs the main window's closing
    // procedure, which restarts ACT! and ends the tool. When ACT! went away while the question was
    // open (the dialog and the main window closed under it), it does nothing more.
    void Message();

    QCheckBox* chkScreen(int index) const;
    QLabel* lblScreen(int index) const;

    // Created at load from "ACTOLE.AUXCMDS", released at unload.
    std::shared_ptr<act::ActAuxCmds> AuxCmds;
    // True once a box was clicked since the dialog finished loading.
    bool Changed = false;
    // Answer of the latest add or remove sent to ACT!; 0 is success.
    std::int32_t LastResult = 0;

    std::array<QGroupBox*, 2> Frame1{};
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QLabel* Label2 = nullptr;

    static inline const QString kAddFailedText =
        QStringLiteral("Can't add icon or menu item automatically. You will need to proceed manually.");
    static inline const QString kRestartText = QStringLiteral(
        "You need to re-start ACT! for the changes to take effect!\r\nDo you want to re-start it now?");

protected:
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildLayout();
    // Sets box `index` to a state as ACT! answers it: 0 unchecked, 1 checked, 2 greyed.
    void setBoxValue(int index, std::int32_t value);
    // True once this dialog has been unloaded, or the main window has closed.
    bool gone() const;

    Services& m_services;
    MainWindowLink m_main;
    std::array<QCheckBox*, kBoxCount> m_boxes{};
    std::array<ClickLabel*, kBoxCount> m_labels{};
    bool m_unloaded = false;
};

} // namespace qm
