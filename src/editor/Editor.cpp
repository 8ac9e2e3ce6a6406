#include "editor/Editor.h"

#include "platform/ModalDialogs.h"
#include "platform/WindowLayout.h"
#include "settings/LockWait.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTreeWidget>

namespace qm::editor {

// While the window lives, a read or write of a settings file that waits for another program shows
// it through the platform's wait service (the wait cursor, then a window with Cancel).
class WaitForFiles : public LockWaitHook {
public:
    explicit WaitForFiles(WaitIndicator& wait)
        : m_wait(wait)
        , m_previous(setLockWaitHook(this)) {}
    ~WaitForFiles() override { setLockWaitHook(m_previous); }
    WaitForFiles(const WaitForFiles&) = delete;
    WaitForFiles& operator=(const WaitForFiles&) = delete;

    void waitingStarted(const QString& file) override { m_wait.begin(file); }
    bool cancelAsked() override { return m_wait.cancelPressed(); }
    void waitingEnded() override { m_wait.end(); }

private:
    WaitIndicator& m_wait;
    LockWaitHook* m_previous;
};

Editor::Editor(const EditorContext& context, QObject* parent)
    : QObject(parent)
    , m_x(context)
    , c(context.c)
    , m_wait(std::make_unique<WaitForFiles>(context.services.wait))
    , m_chooserHeight(context.c.cboFloating->height()) {
    connectControls();
}

Editor::~Editor() {
    qApp->removeEventFilter(this);
}

void Editor::connectControls() {
    connect(c.cboFields, &QComboBox::activated, this, &Editor::cboFields_Click);
    connect(c.chkOnlyFromDropdown, &QCheckBox::stateChanged, this, &Editor::chkOnlyFromDropdown_Click);
    connect(c.chkEdit, &QCheckBox::stateChanged, this, &Editor::chkEdit_Click);
    connect(c.rtfData, &QPlainTextEdit::textChanged, this, &Editor::rtfData_Change);
    connect(c.cmdSave, &QPushButton::clicked, this, &Editor::cmdSave_Click);
    connect(c.cboFloating, &QComboBox::activated, this, &Editor::cboFloating_Click);
    for (int i = 0; i < 2; ++i) {
        // An option button's Click is its becoming selected, by the user or by code.
        connect(c.optUsers.at(static_cast<std::size_t>(i)), &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) {
                optUsers_Click(i);
            }
        });
    }
    // The lists show no check boxes; an item given a check state all the same raises ItemCheck.
    connect(c.lvwSpecialUsers->model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& topLeft, const QModelIndex&, const QList<int>& roles) {
                if (roles.contains(Qt::CheckStateRole)) {
                    lvwSpecialUsers_ItemCheck(c.lvwSpecialUsers->itemFromIndex(topLeft));
                }
            });
    for (QTreeWidget* list : {c.lvwUsers, c.lvwSpecialUsers}) {
        const auto moved = [this, list] { chooserCellMoved(*list); };
        connect(list, &QTreeWidget::itemSelectionChanged, this, moved);
        connect(list->verticalScrollBar(), &QScrollBar::valueChanged, this, moved);
        connect(list->horizontalScrollBar(), &QScrollBar::valueChanged, this, moved);
        connect(list->header(), &QHeaderView::sectionResized, this, moved);
    }
    c.cboFields->installEventFilter(this);
    c.cboFloating->installEventFilter(this);
    for (QTreeWidget* list : {c.lvwUsers, c.lvwSpecialUsers}) {
        list->installEventFilter(this);
        list->viewport()->installEventFilter(this);
    }
}

bool Editor::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == c.cboFloating) {
        if (type == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            return m_keyboardList ? chooserKey(key) : mouseChooserKey(key);
        }
        if (type == QEvent::FocusOut && m_keyboardList &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
            endKeyboardChoice(true); // Tab, or a click on another control
        } else if (type == QEvent::Hide) {
            m_keyboardList = nullptr; // hidden by another handler: nothing picked
            qApp->removeEventFilter(this);
        }
        return false;
    }
    if (watched == c.cboFields) {
        if (type == QEvent::FocusIn) {
            cboFields_GotFocus();
        }
        return false;
    }
    for (QTreeWidget* list : {c.lvwUsers, c.lvwSpecialUsers}) {
        if (watched == list->viewport() && type == QEvent::MouseButtonPress) {
            // Rows are selected whole: a press right of the last column selects the row too.
            const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
            QTreeWidgetItem* row = list->itemAt(QPoint(0, at.y()));
            if (row && !list->itemAt(at)) {
                list->setCurrentItem(row);
            }
            return false;
        }
        if (watched == list->viewport() && type == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint at = mouse->position().toPoint() + list->viewport()->pos();
            const float x = static_cast<float>(at.x() * kTwipsPerPixel);
            const float y = static_cast<float>(at.y() * kTwipsPerPixel);
            const int button = static_cast<int>(mouse->button());
            const int shift = static_cast<int>(mouse->modifiers().toInt());
            if (m_forwardingRelease) {
                return false;
            }
            // The press has selected the row under the pointer; the release reports where it was.
            if (list == c.lvwUsers) {
                lvwUsers_MouseUp(button, shift, x, y);
            } else {
                lvwSpecialUsers_MouseUp(button, shift, x, y);
            }
            // Past the last column the view would take the release for one on no row and clear the
            // selection that the press made: it gets it on the row's last cell instead.
            const QPoint local = mouse->position().toPoint();
            const int last = list->columnCount() - 1;
            if (last >= 0 && list->itemAt(QPoint(0, local.y())) && !list->itemAt(local)) {
                const QPointF onRow(list->header()->sectionViewportPosition(last) +
                                        list->header()->sectionSize(last) - 1,
                                    mouse->position().y());
                QMouseEvent release(QEvent::MouseButtonRelease, onRow, mouse->globalPosition(),
                                    mouse->button(), mouse->buttons(), mouse->modifiers(),
                                    mouse->pointingDevice());
                m_forwardingRelease = true;
                QApplication::sendEvent(list->viewport(), &release);
                m_forwardingRelease = false;
                return true;
            }
            return false;
        }
        if (watched == list && type == QEvent::KeyPress) {
            return listKey(*list, *static_cast<QKeyEvent*>(event));
        }
    }
    // While the chooser is open from the keyboard: a click anywhere else closes it with the pick.
    if (m_keyboardList && type == QEvent::MouseButtonPress) {
        for (const QObject* o = watched; o; o = o->parent()) {
            if (o == c.cboFloating) {
                return false;
            }
        }
        endKeyboardChoice(true);
    }
    return false;
}

std::optional<int> Editor::ask(const QString& text, int style) {
    return askWhileOpen(m_x.services.messageBox, m_x.windowClosed, text, style, kAppTitle);
}

} // namespace qm::editor
