#include "integrate/frmIntegrate.h"

#include "platform/ClickLabel.h"
#include "platform/ErrorReport.h"
#include "platform/ModalDialogs.h"
#include "platform/WindowLayout.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>

namespace qm {

namespace {

constexpr char kModule[] = "frmIntegrate";

// Captions of ACT!'s views 1 to 6, each the caption of its toolbar box and its Tools-menu box.
constexpr std::array<const char*, frmIntegrate::kViewCount> kViewCaptions{
    "Contacts", "Contact List", "Groups", "Task List", "Calendars", "E-mail"};

// Inside a frame the views stand in two rows of three: box lefts and tops, label widths (twips).
constexpr std::array<int, 3> kColumnLefts{210, 1815, 3615};
constexpr std::array<int, 3> kLabelWidths{1260, 1470, 1170};
constexpr std::array<int, 2> kRowTops{345, 690};
constexpr int kBoxSize = 255;
constexpr int kLabelOffset = 285;
constexpr int kLabelHeight = 270;

// A click on a greyed box checks it, as a click on a checked box unchecks it.
class StateBox : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {
        setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
};

} // namespace

frmIntegrate::frmIntegrate(Services& services, QWidget* mainWindow, MainWindowLink mainWindowLink)
    : QDialog(mainWindow)
    , m_services(services)
    , m_main(std::move(mainWindowLink)) {
    buildLayout();
    for (int k = 0; k < kBoxCount; ++k) {
        // A change of state from code runs the same handling as the user's click.
#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
        connect(m_boxes[k], &QCheckBox::checkStateChanged, this, [this, k] { chkScreen_Click(k); });
#else
        connect(m_boxes[k], &QCheckBox::stateChanged, this, [this, k] { chkScreen_Click(k); });
#endif
        connect(m_labels[k], &ClickLabel::clicked, this, [this, k] { lblScreen_Click(k); });
    }
    connect(cmdOK, &QPushButton::clicked, this, &frmIntegrate::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmIntegrate::cmdCancel_Click);
    Form_Load();
}

frmIntegrate::~frmIntegrate() = default;

void frmIntegrate::buildLayout() {
    setObjectName(QStringLiteral("frmIntegrate"));
    setWindowTitle(QStringLiteral("Integrate with ACT!"));
    setFont(designFont(false));
    setFixedSize(twipsToPixels(7050), twipsToPixels(3270));
    setFixedDialogFrame(*this);

    // Tab indexes: the toolbar frame, then its boxes and labels view by view, then the Tools-menu
    // frame and its own, then Close, Cancel and the note. Frames and labels take no focus.
    Placer p;
    Frame1[0] = p.place(new QGroupBox(QStringLiteral("Toolbar Button added to the following Views :"), this),
                        "Frame1_0", 315, 240, 5115, 1185, 0);
    Frame1[1] = p.place(new QGroupBox(QStringLiteral("Menu Item added to the following Views :"), this),
                        "Frame1_1", 315, 1575, 5130, 1185, 1 + 2 * kViewCount);
    for (int k = 0; k < kBoxCount; ++k) {
        const int frameIndex = k < kViewCount ? 0 : 1;
        QGroupBox* frame = Frame1[frameIndex];
        const int view = k % kViewCount; // 0-based
        const int left = kColumnLefts[view % 3];
        const int top = kRowTops[view / 3];
        const int tab = frameIndex * (1 + 2 * kViewCount) + 1 + 2 * view;
        m_boxes[k] = p.place(new StateBox(frame), QStringLiteral("chkScreen_%1").arg(k), left, top, kBoxSize,
                             kBoxSize, tab);
        auto* label = new ClickLabel(QLatin1String(kViewCaptions[view]), frame);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_labels[k] =
            p.place(label, QStringLiteral("lblScreen_%1").arg(k), left + kLabelOffset,
                    top + (kBoxSize - kLabelHeight) / 2, kLabelWidths[view % 3], kLabelHeight, tab + 1);
    }
    constexpr int kButtonsTab = 2 * (1 + 2 * kViewCount);
    cmdOK =
        p.place(new QPushButton(QStringLiteral("&Close"), this), "cmdOK", 5820, 360, 1000, 325, kButtonsTab);
    cmdOK->setDefault(true);
    cmdCancel = p.place(new QPushButton(QStringLiteral("&Cancel"), this), "cmdCancel", 5820, 840, 1000, 325,
                        kButtonsTab + 1);
    Label2 = p.place(new QLabel(QStringLiteral("You will need to re-start ACT! to see the changes."), this),
                     "Label2", 495, 2850, 5670, 315, kButtonsTab + 2);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    p.finish();
    m_boxes[0]->setFocus();
}

QCheckBox* frmIntegrate::chkScreen(int index) const {
    return m_boxes.at(static_cast<std::size_t>(index));
}

QLabel* frmIntegrate::lblScreen(int index) const {
    return m_labels.at(static_cast<std::size_t>(index));
}

void frmIntegrate::setBoxValue(int index, std::int32_t value) {
    if (value < 0 || value > 2) {
        qm::raise(VbErr::InvalidPropertyValue);
    }
    chkScreen(index)->setCheckState(value == 1   ? Qt::Checked
                                    : value == 2 ? Qt::PartiallyChecked
                                                 : Qt::Unchecked);
}

void frmIntegrate::Form_Load() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "Form_Load"});
    trap.run([&] {
        trap.line = 1;
        AuxCmds = act::createAs<act::ActAuxCmds>(m_services.act, act::kProgIdAuxCmds);
        // Each box turned on here runs the click handling, which sends the add for its place again.
        trap.line = 2;
        for (std::int16_t view = 1; view <= kViewCount; ++view) {
            setBoxValue(view - 1, act::deref(AuxCmds).AuxCommandExistsInToolbar(view, kAppTitle));
        }
        trap.line = 3;
        for (std::int16_t view = 1; view <= kViewCount; ++view) {
            setBoxValue(view + 5, act::deref(AuxCmds).AuxCommandExistsInToolsMenu(view, kAppTitle));
        }
        trap.line = 4;
        Changed = false;
    });
}

void frmIntegrate::Form_Unload() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "Form_Unload"});
    trap.run([&] {
        trap.line = 1;
        AuxCmds.reset();
    });
}

void frmIntegrate::chkScreen_Click(int index) {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "chkScreen_Click"});
    trap.run([&] {
        trap.line = 1;
        Changed = true;
        trap.line = 2;
        const std::shared_ptr<act::ActAuxCmds> aux = AuxCmds;
        if (act::deref(aux).AuxCommandExists(kAppTitle) == 0) {
            CheckCommand();
            if (gone()) {
                return; // ACT! went away while its failure notice was open
            }
        }
        const bool remove = chkScreen(index)->checkState() == Qt::Unchecked;
        std::int32_t answer = 0;
        if (index >= kViewCount) {
            trap.line = 3;
            const auto view = static_cast<std::int16_t>(index - 5);
            answer = remove ? aux->RemoveAuxCommandFromToolsMenu(view, kAppTitle)
                            : aux->AddAuxCommandToToolsMenu(view, kAppTitle);
        } else {
            trap.line = 4;
            const auto view = static_cast<std::int16_t>(index + 1);
            answer = remove ? aux->RemoveAuxCommandFromToolbar(view, kAppTitle)
                            : aux->AddAuxCommandToToolbar(view, kAppTitle);
        }
        trap.line = 5;
        LastResult = answer;
    });
}

void frmIntegrate::lblScreen_Click(int index) {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "lblScreen_Click"});
    trap.run([&] {
        trap.line = 1;
        QCheckBox* box = chkScreen(index);
        box->setCheckState(box->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    });
}

void frmIntegrate::cmdOK_Click() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "cmdOK_Click"});
    trap.run([&] {
        trap.line = 1;
        if (Changed) {
            if (LastResult != 0) {
                MessAddFailed();
            } else {
                Message();
            }
        }
        trap.line = 2;
        if (!m_unloaded) { // a restart has closed the dialog already
            accept();
        }
    });
}

void frmIntegrate::cmdCancel_Click() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "cmdCancel_Click"});
    trap.run([&] {
        trap.line = 1;
        reject();
    });
}

void frmIntegrate::CheckCommand(QChar separator) {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "CheckCommand"});
    trap.run([&] {
        trap.line = 1;
        const QString title = kAppTitle;
        const QString folder = m_services.app.programFolder();
        const QString program = folder + separator + m_services.app.exeName();
        trap.line = 2;
        LastResult = act::deref(AuxCmds).AddAuxCommand(title, program + QStringLiteral(".EXE"), folder, title,
                                                       QStringLiteral("click to launch ") + title,
                                                       program + QStringLiteral(".ico"),
                                                       program + QStringLiteral("32.ico"), 1);
        trap.line = 3;
        if (LastResult != 0) {
            MessAddFailed();
        }
    });
}

void frmIntegrate::MessAddFailed() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "MessAddFailed"});
    trap.run([&] {
        trap.line = 1;
        m_services.messageBox.show(kAddFailedText, vbOKOnly, kAppTitle);
    });
}

void frmIntegrate::Message() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "Message"});
    trap.run([&] {
        trap.line = 1;
        const std::optional<int> answer = askWhileOpen(
            m_services.messageBox, [this] { return gone(); }, kRestartText, vbYesNo, kAppTitle);
        if (!answer) {
            return; // unloaded meanwhile: AuxCmds stays released, ACT! is not restarted
        }
        trap.line = 2;
        Form_Load();
        trap.line = 3;
        if (*answer != vbYes) {
            return;
        }
        trap.line = 4;
        m_main.RestartACT = true;
        accept();
        int cancel = 0;
        if (m_main.Form_Unload) {
            m_main.Form_Unload(cancel);
        }
    });
}

bool frmIntegrate::gone() const {
    return m_unloaded || (m_main.closed && m_main.closed());
}

// Closing by any road (Close, Cancel, Escape, the close box) unloads the dialog once.
void frmIntegrate::done(int result) {
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload();
    }
    QDialog::done(result);
}

// Escape presses the cancel button.
void frmIntegrate::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace qm
