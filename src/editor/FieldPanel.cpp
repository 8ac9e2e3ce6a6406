// The field settings panel: selecting a field loads its settings file and its rights, any edit
// enables Save, and Save writes the field's file and its rights.

#include "editor/Editor.h"

#include "platform/ErrorReport.h"
#include "settings/FieldSettingsFile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

namespace qm::editor {

namespace {

constexpr char kModule[] = "Form1";

// A field settings file read straight into the panel, in the order of the read, so that a read
// stopped by an error leaves the panel with what was read before it.
class PanelSink : public FieldSettingsFile::Sink {
public:
    explicit PanelSink(const EditorControls& c)
        : c(c) {}
    void clearListText() override { c.rtfData->clear(); }
    void setOnlyFromDropdown(int state) override { setCheckState(*c.chkOnlyFromDropdown, state); }
    void setAllowEditing(int state) override { setCheckState(*c.chkEdit, state); }
    void setListText(const QString& text) override { c.rtfData->setPlainText(text); }

private:
    const EditorControls& c;
};

} // namespace

int checkState(const QCheckBox& box) {
    switch (box.checkState()) {
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    case Qt::Unchecked:
        break;
    }
    return 0;
}

void setCheckState(QCheckBox& box, int state) {
    box.setTristate(state == 2); // greyed only when a file says so; a click then checks or clears
    box.setCheckState(state == 1 ? Qt::Checked : state == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
}

void Editor::cboFields_Click() {
    ErrorTrap trap(m_x.services.messageBox, {kModule, ProcKind::Sub, "cboFields_Click"});
    loading = true;
    trap.run([&] {
        trap.line = 2;
        if (c.cmdSave->isEnabled()) {
            Prompt_Save();
            if (m_x.windowClosed && m_x.windowClosed()) {
                return; // ACT! closed the window while the question was open: nothing more is loaded
            }
            if (c.cmdSave->isEnabled()) {
                // The save asked for did not land (it said why) or went back: the field shown stays,
                // with its changes, rather than the next field being loaded over them, so that
                // nothing the administrator changed is dropped by a failure. No in the question
                // still drops them, as the administrator's choice.
                c.cboFields->setCurrentIndex(m_fieldIndex);
                return;
            }
        }
        trap.line = 3;
        if (!c.cboFields->currentText().isEmpty()) {
            for (QWidget* w : {static_cast<QWidget*>(c.chkEdit), static_cast<QWidget*>(c.chkOnlyFromDropdown),
                               static_cast<QWidget*>(c.rtfData), static_cast<QWidget*>(c.optUsers[0]),
                               static_cast<QWidget*>(c.optUsers[1])}) {
                w->setEnabled(true);
            }
        }
        trap.line = 4;
        const int index = c.cboFields->currentIndex();
        if (index < 0) {
            raise(VbErr::InvalidCall);
        }
        m_fieldIndex = index;
        currentFieldId = QString::number(c.cboFields->itemData(index).toInt());
        currentFieldLabel = c.cboFields->itemText(index);
        trap.line = 5;
        currentFieldFile = FieldSettingsFile::fileName(m_x.listPath, m_x.genericName, currentFieldId);
        trap.line = 6;
        PanelSink panel(c);
        m_fieldFile = {}; // nothing of the field shown before, also when this read stops part-way
        m_fileBase = {};
        m_fieldBase = {};
        c.lblStatus->clear();
        loaded(What::FieldSettings, FieldSettingsFile::read(currentFieldFile, panel, &m_fileBase.bytes));
        m_fileBase.values = panelValues();
        trap.line = 7;
        Load_User_Rights(*c.lvwSpecialUsers, false);
        m_fieldBase.codes = codesOf(*c.lvwSpecialUsers);
    });
    loading = false;
}

void Editor::Prompt_Save() {
    ErrorTrap trap(m_x.services.messageBox, {kModule, ProcKind::Sub, "Prompt_Save"});
    trap.run([&] {
        trap.line = 1;
        const std::optional<int> answer = ask(QStringLiteral("Do you want to save changes made to the '") +
                                                  currentFieldLabel + QStringLiteral("' field settings?"),
                                              vbYesNo);
        if (!answer) {
            return; // the window has closed meanwhile
        }
        trap.line = 2;
        if (*answer == vbYes) {
            cmdSave_Click();
        } else {
            c.cmdSave->setEnabled(false);
        }
    });
}

// Every write says whether it landed: one that did not is said, naming the file and why, and ends
// the Save with Save still enabled and the panel as the administrator left it. (A failed write of
// the field's file once ended with the common error report, which names neither the file nor
// why; the administrator needs both to put it right.)
void Editor::cmdSave_Click() {
    ErrorTrap trap(m_x.services.messageBox, {kModule, ProcKind::Sub, "cmdSave_Click"});
    trap.run([&] {
        trap.line = 1;
        hideChooser();
        // What could not be read when the field was shown is written only when it was changed,
        // and then only when the administrator says so.
        const bool fileToWrite = m_fieldFile.toWrite();
        const bool rightsToWrite = m_fieldRights.toWrite();
        if (!confirmUnread({What::FieldSettings, What::FieldRights})) {
            return; // the administrator went back; Save stays enabled
        }
        // Every unique ID of the field's rights is collected (and a list that a read would cut is
        // asked about) before anything is written: an error or a No there leaves both the field's
        // file and the authorized-users file as they were, never a field saved half.
        const bool own = c.optUsers[1]->isChecked();
        std::optional<Collected> collected;
        if (rightsToWrite && own) {
            collected = collectUsers(*c.lvwSpecialUsers);
            if (!collected) {
                return; // reported, or the administrator went back; Save stays enabled
            }
        }
        trap.line = 2;
        FilePlan file;
        file.mine = panelValues();
        file.bytes = FieldSettingsFile::content(file.mine.onlyFromDropdown, file.mine.allowEditing,
                                                file.mine.listText);
        RightsPlan rights =
            rightsPlan(*c.lvwSpecialUsers, own, currentFieldId, collected ? &*collected : nullptr);
        m_choices.clear();
        if (!settleBeforeSave(fileToWrite ? &file : nullptr, rightsToWrite ? &rights : nullptr)) {
            return; // the administrator went back: nothing written, Save stays enabled
        }
        SettingsChange change(m_x.genericName, currentFieldId, currentFieldLabel);
        if (fileToWrite && !writeFieldFile(file, change)) {
            return;
        }
        trap.line = 3;
        const bool rightsWritten = !rightsToWrite || writeRights(rights, change);
        // What landed is recorded, the file's part also when the rights did not land.
        record(change, fromElsewhere(fileToWrite ? &file : nullptr,
                                     rightsWritten && rightsToWrite ? &rights : nullptr));
        if (!rightsWritten) {
            return;
        }
        showSaved(fileToWrite ? &file : nullptr, rightsToWrite ? &rights : nullptr);
        trap.line = 5;
        c.cmdSave->setEnabled(false);
    });
}

void Editor::chkOnlyFromDropdown_Click() {
    hideChooser();
    if (!loading) {
        c.cmdSave->setEnabled(true);
        m_fieldFile.changed = true;
    }
}

void Editor::chkEdit_Click() {
    if (!loading) {
        c.cmdSave->setEnabled(true);
        m_fieldFile.changed = true;
    }
}

void Editor::rtfData_Change() {
    if (loading) {
        return;
    }
    hideChooser();
    c.cmdSave->setEnabled(true);
    m_fieldFile.changed = true;
    if (c.rtfData->toPlainText().isEmpty()) {
        setCheckState(*c.chkEdit, 0);
        setCheckState(*c.chkOnlyFromDropdown, 0);
    }
}

void Editor::cboFields_GotFocus() {
    hideChooser();
}

} // namespace qm::editor
