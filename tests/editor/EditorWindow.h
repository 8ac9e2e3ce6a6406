#pragma once

// The main window started on a fake ACT! with its settings files in a temporary folder, and what
// an administrator does in it: select a field, release the mouse over a cell, pick a right.

#include "Pointer.h"
#include "TestServices.h"
#include "app/Form1.h"
#include "editor/Editor.h"

#include <QComboBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <functional>

namespace qm::test {

// Global: user 1 Full, user 2 Initialize, user 3 None. Fax (31) has rights of its own.
inline const QByteArray kRights = "[Contacts]\r\nGlobalF={ID-0001}\r\nGlobalI={ID-0002}\r\n31F={ID-0003}\r\n";
// Fax's settings file: "Allow editing" ticked, the list "Red".
inline const QByteArray kFax = "OnlyFromDropdown=0\r\nAllowEditing=1\r\nRed\r\n";

// What an administrator does in the main window.
struct WindowDriver {
    Form1* form = nullptr;

    const Form1Controls& c() const { return form->controls(); }

    // The window made the active one, so that keys reach it.
    bool activate() const {
        QApplication::setActiveWindow(form);
        return QTest::qWaitForWindowActive(form);
    }

    void select(const QString& field) const {
        const int index = c().cboFields->findText(field);
        c().cboFields->setCurrentIndex(index);
        Q_EMIT c().cboFields->activated(index);
    }

    // The point of `list` at `dx` pixels from the left edge of the "Rights" cell of `row`
    // (0: its left border, -1: the last pixel of the "Users" cell), in the viewport.
    static QPoint cellPoint(QTreeWidget* list, int row, int dx = 10) {
        const QRect r = list->visualItemRect(list->topLevelItem(row));
        return {list->header()->sectionViewportPosition(1) + dx, r.center().y()};
    }
    // A click there, sent to the window: it reaches what lies under the pointer.
    static void release(QTreeWidget* list, QPoint at) { click(list->viewport(), at); }
    static void openChooser(QTreeWidget* list, int row) { release(list, cellPoint(list, row)); }
    // Picks an entry of the open chooser as the administrator does.
    void pick(const QString& right) const {
        const int index = c().cboFloating->findText(right);
        c().cboFloating->setCurrentIndex(index);
        Q_EMIT c().cboFloating->activated(index);
    }
    // The chooser opened over `row` of `list`, and `right` picked in it.
    void give(QTreeWidget* list, int row, const QString& right) const {
        openChooser(list, row);
        pick(right);
    }

    // The "Rights" column of a list: "Full,None,Initialize".
    static QString rights(const QTreeWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts << list->topLevelItem(i)->text(1);
        return texts.join(',');
    }
    // Which option button is selected (0 or 1), Save enabled ("0,save"), the chooser shown ("0,chooser").
    QString state() const {
        QString s = c().optUsers[1]->isChecked() ? "1" : "0";
        if (c().cmdSave->isEnabled())
            s += ",save";
        if (c().cboFloating->isVisible())
            s += ",chooser";
        return s;
    }
};

// The window on a fake ACT! with three protected fields (Phone 28, Fax 31, Status 40) and three
// users (or `users`), {ID-0001} to {ID-0003}, of the database "Contacts"; shown expanded, no field
// selected.
class EditorWindow : public WindowDriver {
public:
    // `usersFile`: the authorized-users file's bytes (none when null). `box`: the message boxes
    // (the scripted double when none is given). `beforeLoad`: runs once the files are written,
    // before the start-up.
    explicit EditorWindow(const QByteArray& usersFile = {}, MessageBox* box = nullptr, int users = 3,
                          const std::function<void(EditorWindow&)>& beforeLoad = {})
        : services{box ? *box : t.messageBox,
                   t.settings,
                   t.shell,
                   t.instance,
                   t.app,
                   t.terminator,
                   t.dialogs,
                   t.act,
                   t.wait,
                   t.conflicts} {
        t.actState.databasePath = "/act/Contacts.dbf";
        t.actState.slots = {{5, "Company", 0}, {28, "Phone", 3}, {31, "Fax", 3}, {40, "Status", 3}};
        t.actState.addUsers(users);
        t.actState.currentUserName = "User 1";
        t.settings.values = {{"UsersPath", usersPath()}, {"ListPath", dir.path()}, {"Expanded", "True"}};
        if (!usersFile.isNull())
            writeBytes(usersPath(), usersFile);
        if (beforeLoad)
            beforeLoad(*this);
        owned = std::make_unique<Form1>(services);
        form = owned.get();
        form->Form_Load();
        form->show();
        exposed = QTest::qWaitForWindowExposed(form);
        t.settings.writes.clear();
    }

    QString usersPath() const { return dir.filePath("Users.dat"); }
    QString fieldPath(int id) const { return dir.filePath(QString("Contacts%1.dat").arg(id)); }

    TestServices t;
    Services services;
    QTemporaryDir dir;
    std::unique_ptr<Form1> owned;
    bool exposed = false;
};

// A `beforeLoad` that writes Fax's settings file (kFax).
inline void withFaxFile(EditorWindow& w) {
    writeBytes(w.fieldPath(31), kFax);
}

} // namespace qm::test
