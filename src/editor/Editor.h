#pragma once

// The editor in the main window: the field settings panel (cboFields, rtfData, chkOnlyFromDropdown,
// chkEdit, optUsers, cmdSave), the two rights lists with the floating rights chooser cboFloating,
// and the loading and saving of rights. Form1 owns the controls and the values kept for the run;
// the editor keeps its own state and handles the controls' events. The rights themselves are
// worked out without widgets in Rights.h.
//
// Changing a control from code raises the same handler as a user's edit (a check box's state,
// the list text, an option button); the loading flag and RightsLoading keep those raised events
// from counting as edits. Unsaved changes of the panel are cmdSave's enabled state, nothing else.
//
// The handlers live in five files: FieldPanel.cpp (the panel and its Save), RightsLoad.cpp (the
// rights load and save), RightsChooser.cpp (the lists' mouse and keys, the chooser, the option
// buttons), Unsaved.cpp (what the administrator is told when a file could not be read or a
// write did not land) and Merging.cpp (the writes merged with another administrator's changes).
//
// Two administrators at once: the files are shared, and a Save or a Close writes lists that were
// read when the field or the window was loaded. Each write reads the file again under the
// writers' lock; when it still holds what was loaded, the write is the one it always was. When it
// changed, the window's changes are merged into it (Merge.h): what the administrator did not
// change here keeps the file's value, a change made here is written, and a change made both here
// and there differently is shown, to keep one or the other or to go back with nothing written.
// What came from elsewhere is said in one line: in lblStatus after a Save, in the Close's message.
//
// Nothing the administrator changed is lost without a word. Every write of a settings file
// reports whether it landed; one that did not (a read-only file, a missing folder, another
// program holding the file, a full disk) is said once, naming the file and why, and the window
// keeps the administrator's lists and Save stays enabled. A file that exists but could not be
// read is never taken for an empty one: that is said when it is read, and what the window shows
// of it is written back only when the administrator changed it, after a question.

#include "editor/EditorControls.h"
#include "editor/Merge.h"
#include "editor/Rights.h"
#include "editor/SettingsChange.h"
#include "platform/Services.h"
#include "settings/FileProblem.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QKeyEvent;
namespace qm {
class IniDocument;
}
class QTreeWidget;
class QTreeWidgetItem;

namespace qm::editor {

// What the editor reads of the main window: its services, controls and the values it keeps for
// the run (all owned by the window, which outlives the editor).
struct EditorContext {
    Services& services;
    const EditorControls& c;
    const QString& genericName;
    const QString& usersPath; // the authorized-users file
    const QString& listPath;  // the folder of the per-field settings files
    // True once the window has closed (ACT! may close it while a question is open): a handler that
    // asked a question then does nothing more.
    std::function<bool()> windowClosed;
    // The ACT! user logged in now, whom the record of a write names: asked once per recorded write.
    ActUserName actUser;
};

class WaitForFiles;

class Editor : public QObject {
    Q_OBJECT
public:
    explicit Editor(const EditorContext& context, QObject* parent = nullptr);
    ~Editor() override;

    // The field settings panel.
    void cboFields_Click();
    void cboFields_GotFocus();
    void chkOnlyFromDropdown_Click();
    void chkEdit_Click();
    void rtfData_Change();
    void cmdSave_Click();
    void Prompt_Save();

    // The rights load and save. Write_Users returns false when it wrote nothing (it said why, or the
    // administrator chose to go back).
    void Load_User_Rights(QTreeWidget& list, bool useGlobal);
    void Copy_Global_Rights();
    void Check_Authorized_Users();
    bool Write_Users(QTreeWidget& list, const QString& oldKey);
    // The settings files changed underneath (a restore of the report's History page): the lists
    // and the field show them again, except what the administrator changed and has not written
    // yet, which Close or Save then merges with them as with another administrator's change.
    void settingsChangedElsewhere();

    // The rights lists and the chooser. x and y are the pointer's position in the list, in twips.
    void lvwUsers_MouseUp(int button, int shift, float x, float y);
    void lvwSpecialUsers_MouseUp(int button, int shift, float x, float y);
    void cboFloating_Click();
    void lvwSpecialUsers_ItemCheck(QTreeWidgetItem* item);
    void optUsers_Click(int index);
    void hideChooser();
    // F2 or Space on a list: the mouse release over the selected row's "Rights" cell, after which
    // the chooser takes the keys (arrows pick, Enter closes with the pick, Escape without it).
    void openChooserFromKeyboard(QTreeWidget& list);

    // The current field, set by cboFields_Click; empty until a field is first selected.
    QString currentFieldId;
    QString currentFieldLabel;
    QString currentFieldFile;
    // Set while cboFields_Click loads a field.
    bool loading = false;
    // Set while Load_User_Rights runs: selecting "Use Global Settings" then does not refill
    // lvwSpecialUsers.
    bool RightsLoading = false;
    // The lists last read by Load_User_Rights, each with one blank appended.
    QString FullIDs;
    QString InitializeIDs;
    // The list the chooser works on: the one over which the mouse was last released.
    QTreeWidget* ActiveRightsList = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the window shows of one file (the global rights, the field's settings file, the field's
    // rights) and whether that could be read.
    struct Shown {
        std::optional<ReadProblem> unread; // the file could not be read when this was loaded
        bool changed = false;              // the administrator changed it since
        // Written by Save or Close: always when it was read; when it was not, only if changed.
        bool toWrite() const { return !unread || changed; }
    };
    enum class What { GlobalRights, FieldSettings, FieldRights };
    // A load that could not read its file: remembered, and said (the users file once until it is
    // read again).
    void loaded(What what, std::optional<ReadProblem> problem);
    // Before a write of things that could not be read but were changed: true when the
    // administrator wants them written all the same.
    bool confirmUnread(const std::vector<What>& what);
    // After a write: true when it landed; otherwise says why, once.
    bool landed(What what, const QString& file, const WriteResult& result);
    Shown& shown(What what);
    QString whatText(What what) const;

    // Write_Users in two halves, so that Save asks before it writes anything: the list's rights
    // collected (nullopt after an error report, or when the administrator went back rather than
    // write a list that a read would cut), then written.
    struct Collected {
        std::vector<std::pair<QString, int>> userRights;
        rights::IdLists lists;
    };
    std::optional<Collected> collectUsers(QTreeWidget& list);

    // Merging.cpp. The rights of one scope about to be written: the global ones, or the field's,
    // of its own (`own`) or following the global ones; and what the last decision made of them.
    struct RightsPlan {
        bool global = false;
        bool own = true;
        QString oldKey;
        merge::UserRights mine;
        bool haveIds = false;
        rights::IdLists lists; // as the window always wrote them
        merge::ScopeValues theirs;
        merge::FieldRightsMerge outcome;
        bool merged = false; // the file had changed: `outcome` was written
    };
    struct FilePlan {
        merge::FieldFile mine;
        QByteArray bytes; // as the window always wrote them
        std::optional<QByteArray> theirs;
        merge::FieldFileMerge outcome;
        bool merged = false;
    };
    enum class Need { Nothing, Ids, Choices };
    RightsPlan rightsPlan(QTreeWidget& list, bool own, const QString& oldKey, const Collected* collected);
    std::optional<std::vector<IniLib::KeyChange>> decideRights(RightsPlan& plan, const IniDocument* doc,
                                                               Need& need);
    std::optional<QByteArray> decideFile(FilePlan& plan, const QByteArray* current, Need& need);
    bool collectIds(RightsPlan& plan);
    bool askChoices(const std::vector<merge::Conflict>& conflicts);
    // The writes; what landed is handed to `change`, the record of the write.
    bool writeRights(RightsPlan& plan, SettingsChange& change);
    bool writeFieldFile(FilePlan& plan, SettingsChange& change);
    bool settleBeforeSave(FilePlan* file, RightsPlan* rights);
    void showSaved(const FilePlan* file, const RightsPlan* rights);
    QString elsewhereText(const QStringList& from) const;
    static QStringList fromElsewhere(const FilePlan* file, const RightsPlan* rights);
    std::vector<int> codesOf(const QTreeWidget& list) const;
    merge::FieldFile panelValues() const;
    // What the window loaded: the base of a merge with changes made elsewhere since.
    struct RightsBase {
        merge::ScopeValues values;
        std::vector<int> codes;
    };
    RightsBase m_globalBase, m_fieldBase;
    struct FileBase {
        std::optional<QByteArray> bytes; // nullopt: no file
        merge::FieldFile values;
    };
    FileBase m_fileBase;
    merge::Choices m_choices; // the administrator's choices during one Save or Close
    bool confirmCut(const QTreeWidget& list, const std::vector<std::pair<QString, int>>& userRights,
                    const rights::IdLists& lists);
    // The users of the database as the change log names them (made from the users list at the
    // first record: the list is filled once, at the start-up), and the record of a write that
    // landed (what landed is read back; a record that cannot be written is said once per run).
    const std::vector<RosterUser>& roster() const;
    mutable std::vector<RosterUser> m_roster;
    void record(const SettingsChange& change, const QStringList& fromElsewhere);
    void connectControls();
    rights::RightsFile rightsFile() const;
    void rightsListMouseUp(QTreeWidget& list, float x, float y);
    bool chooserKey(int key);
    void endKeyboardChoice(bool keepPick);
    bool mouseChooserKey(int key);
    void endMouseChoice(bool keepPick);
    void chooserCellMoved(const QTreeWidget& list);
    QRect chooserPlace(const QTreeWidget& list, const QTreeWidgetItem& row, int col) const;
    // A question of the editor; nullopt when the window closed while it was open.
    std::optional<int> ask(const QString& text, int style);
    bool listKey(QTreeWidget& list, const QKeyEvent& event);

    EditorContext m_x;
    const EditorControls& c;
    Shown m_global, m_fieldFile, m_fieldRights;
    bool m_usersUnreadSaid = false;       // said that the users file cannot be read, and not read since
    std::unique_ptr<WaitForFiles> m_wait; // the waits for other programs, shown by the window
    int m_fieldIndex = -1;                // the entry of cboFields that the current field came from
    int m_chooserHeight = 21;             // pixels, as the chooser was laid out
    // The right the chooser showed when it opened, and, when it was opened from the keyboard, the
    // list it returns to.
    int m_chooserStart = -1;
    QPersistentModelIndex m_chooserRow; // the row the chooser was laid over
    bool m_forwardingRelease = false;   // a release handed on to a list's view
    QPointer<QTreeWidget> m_keyboardList;
    // The list a name is being typed into to find its row, and when its last key came.
    QPointer<QTreeWidget> m_searchList;
    QElapsedTimer m_searchTyped;
};

// The right code an item of a rights list carries; one without any raises "Type mismatch" (13).
int rightCode(const QTreeWidgetItem& item);

// Check box states as the settings file keeps them: 0 unchecked, 1 checked, 2 greyed.
int checkState(const QCheckBox& box);
void setCheckState(QCheckBox& box, int state);

} // namespace qm::editor
