#pragma once

// The main window: its start-up (Form_Load, Form1.cpp), its closing, ACT!'s events and the timer
// (Form1Shutdown.cpp). The controls are built by Form1Layout; the field settings panel and the
// rights lists are the editor's (src/editor/Editor.h), reached through the members named after
// their procedures below.

#include "act/modAdmin.h"
#include "app/Form1Layout.h"
#include "app/modPopulateACTLists.h"
#include "platform/Services.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <memory>

class QTreeWidget;

namespace qm {

namespace editor {
class Editor;
}

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(Services& services, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up. The window is not shown by it; when it refused to start (another copy, no
    // database, ACT! unreachable, not an administrator), or the administrator cancelled its
    // progress, the window has been closed unseen and startRefused() is true: the tool is to end.
    void Form_Load();
    bool startRefused() const { return m_startRefused; }

    // Runs when the window closes (and may be called directly, with a cancel flag that it never
    // sets): detaches from ACT!, restarts ACT! when RestartACT is set, and stores "Top", "Left",
    // "Expanded" and "LastField".
    void Form_Unload(int& cancel);
    // True from the moment the window closes (or hides for the restart of ACT!): a handler that a
    // question interrupted does nothing more after that (see platform/ModalDialogs.h).
    bool unloaded() const { return m_unloaded; }

    // Selects the field the ACT! user stood in at start-up; false when no entry carries its ID.
    bool Select_Current_Field();
    // Selects the entry whose text equals the stored "LastField", if any.
    void Select_Last_Field();
    // Loads UsersPath and ListPath from the stored locations.
    void Get_Locations();

    void mnuLocation_Click();
    // The integration dialog and the Help menu; see Form1Menus.cpp.
    void mnuIntegrate_Click();
    void mnuOnline_Click();
    void mnuManual_Click();
    void mnuAbout_Click();
    // The effective-rights report and the settings check, in a window of their own.
    void mnuReport_Click();
    void cmdFieldSettings_Click();
    void cmdClose_Click();
    void cmdCancel_Click();
    void ActEvent1_OnActUserWantsToClose(std::int32_t reason);
    void ActEvent1_OnDatabaseClose();
    void tmr1_Timer();
    // A click on the window's own surface.
    void Form_Click();

    // The editor's procedures that the start-up and the closing call.
    void cboFields_Click();
    void Load_User_Rights(QTreeWidget& list, bool useGlobal);
    void Check_Authorized_Users();
    void Prompt_Save();
    bool Write_Users(QTreeWidget& list, const QString& oldKey);
    editor::Editor& editor() const { return *m_editor; }

    // Window geometry in twips: the whole window, title and menu bar included; the position is
    // that of the window's frame on the screen.
    int heightTwips() const;
    void setHeightTwips(int twips);
    float topTwips() const;
    float leftTwips() const;
    int widthTwips() const;
    void moveTwips(float left, float top);
    QSize screenSizeTwips() const;

    const Form1Controls& controls() const { return c; }
    // Control arrays by index: optUsers(0..1), lin1(0..1).
    QRadioButton* optUsers(int index) const;
    QFrame* lin1(int index) const;
    act::ActEvent* ActEvent1() const { return m_actEvent.get(); }
    Services& services() const { return m_services; }

    // Kept for the run.
    ActObjects objects;
    QString GenericName;
    std::int16_t StartFieldID = 0;
    QString UsersPath;
    QString ListPath;
    // ACT!'s users as the start-up read them for the rights lists: names and unique IDs.
    modPopulateACTLists::UsersRead usersRead;
    // Set by the integration dialog when the administrator agrees to restart ACT!; read by
    // Form_Unload, which then shuts ACT! down, opens the database again and lets tmr1 end the tool.
    bool RestartACT = false;
    // Ticks of tmr1 since ACT! was asked to restart; the tool ends at the second.
    std::int16_t TickCount = 0;

    // The window's preferences, application "Quillmark", section "Settings".
    static inline const QString kTopKey = QStringLiteral("Top");
    static inline const QString kLeftKey = QStringLiteral("Left");
    static inline const QString kExpandedKey = QStringLiteral("Expanded");
    static inline const QString kLastFieldKey = QStringLiteral("LastField");

    static constexpr int kCollapsedHeight = 3650;
    static constexpr int kExpandedHeight = 9500;
    static inline const QString kHideCaption = QStringLiteral("Hide Field Settings");
    static inline const QString kShowCaption = QStringLiteral("Show Field Settings");

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void startUp();
    void stopStart();
    void selectField(int index);
    int decorationHeight() const;
    void fitToFrame();
    void connectControls();
    void Restart_ACT();
    void closeFromAct(const char* handler);

    Services& m_services;
    Form1Controls c;
    std::unique_ptr<act::ActEvent> m_actEvent;
    std::unique_ptr<editor::Editor> m_editor;
    bool m_startRefused = false;
    bool m_unloaded = false;
    int m_requestedHeight = 0;    // twips, as last set
    int m_appliedDecoration = -1; // frame height (pixels) the last height was computed with
    bool m_centreOnFrame = false; // the default left position, to centre again once framed
};

} // namespace qm
