#include "app/Form1.h"

#include "app/modPopulateACTLists.h"
#include "editor/Editor.h"
#include "platform/ErrorReport.h"
#include "platform/Progress.h"
#include "platform/VbRuntime.h"
#include "report/frmReport.h"
#include "settings/Locations.h"
#include "settings/frmLocations.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>

#include <cmath>
#include <limits>

namespace qm {

namespace {

constexpr char kModule[] = "Form1";

// A position or size in twips as whole pixels; a value no window can take raises "Overflow".
int pixelsFromTwips(double twips) {
    const double pixels = twips / kTwipsPerPixel;
    if (!std::isfinite(pixels) || std::fabs(pixels) > std::numeric_limits<int>::max() / 4) {
        raise(VbErr::Overflow);
    }
    return static_cast<int>(std::lround(pixels));
}

} // namespace

Form1::Form1(Services& services, QWidget* parent)
    : QMainWindow(parent)
    , m_services(services)
    , m_actEvent(services.act.CreateEventControl()) {
    buildForm1Layout(*this, c);
    if (m_actEvent) {
        m_actEvent->setParent(nullptr); // owned here, not by the widget tree
        m_actEvent->setObjectName(QStringLiteral("ActEvent1"));
    }
    m_editor = std::make_unique<editor::Editor>(editor::EditorContext{
        m_services, c, GenericName, UsersPath, ListPath, [this] { return m_unloaded; },
        [this] { return modAdmin::Current_User_Name(objects, m_services.messageBox); }});
    connectControls();
}

Form1::~Form1() = default;

void Form1::connectControls() {
    connect(c.cmdClose, &QPushButton::clicked, this, &Form1::cmdClose_Click);
    connect(c.cmdCancel, &QPushButton::clicked, this, &Form1::cmdCancel_Click);
    connect(c.cmdFieldSettings, &QPushButton::clicked, this, &Form1::cmdFieldSettings_Click);
    connect(c.mnuLocation, &QAction::triggered, this, &Form1::mnuLocation_Click);
    connect(c.mnuIntegrate, &QAction::triggered, this, &Form1::mnuIntegrate_Click);
    connect(c.mnuOnline, &QAction::triggered, this, &Form1::mnuOnline_Click);
    connect(c.mnuManual, &QAction::triggered, this, &Form1::mnuManual_Click);
    connect(c.mnuAbout, &QAction::triggered, this, &Form1::mnuAbout_Click);
    connect(c.mnuReport, &QAction::triggered, this, &Form1::mnuReport_Click);
    connect(c.tmr1, &QTimer::timeout, this, &Form1::tmr1_Timer);
    centralWidget()->installEventFilter(this);
    if (m_actEvent) {
        connect(m_actEvent.get(), &act::ActEvent::OnActUserWantsToClose, this,
                &Form1::ActEvent1_OnActUserWantsToClose);
        connect(m_actEvent.get(), &act::ActEvent::OnDatabaseClose, this, &Form1::ActEvent1_OnDatabaseClose);
    }
}

// The window's own surface is the client area where no control lies.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::MouseButtonRelease &&
        !centralWidget()->childAt(static_cast<QMouseEvent*>(event)->position().toPoint())) {
        Form_Click();
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::Form_Click() {
    m_editor->hideChooser();
}

QRadioButton* Form1::optUsers(int index) const {
    return c.optUsers.at(static_cast<std::size_t>(index));
}
QFrame* Form1::lin1(int index) const {
    return c.lin1.at(static_cast<std::size_t>(index));
}

void Form1::Form_Load() {
    try {
        startUp();
    } catch (const StartCancelled&) {
        stopStart(); // Cancel on the start-up's progress: the tool ends as on a refusal
    }
}

void Form1::startUp() {
    MessageBox& box = m_services.messageBox;
    ErrorTrap trap(box, {kModule, ProcKind::Sub, "Form_Load"});
    trap.run([&] {
        trap.line = 1;
        if (m_services.instance.anotherCopyRuns()) {
            box.show(QStringLiteral("An instance of this program is already running!"), vbOKOnly, kAppTitle);
            stopStart();
            return;
        }

        trap.line = 2;
        if (!m_actEvent) {
            qm::raise(VbErr::ObjectNotSet);
        }
        if (modAdmin::Refuse_Without_Database(*m_actEvent, box)) {
            stopStart();
            return;
        }

        trap.line = 3;
        modAdmin::Create_Database(objects, m_services.act, box);

        trap.line = 4;
        if (modAdmin::Refuse_Non_Administrator(objects, box)) {
            stopStart();
            return;
        }

        trap.line = 5;
        GenericName = modAdmin::Get_Generic_Name(objects, box);
        trap.line = 6;
        StartFieldID = vb::CInt(static_cast<double>(act::deref(objects.objContactView).CurrentFieldID()));
        trap.line = 7;
        c.cboFloating->addItems(
            {QStringLiteral("Full"), QStringLiteral("Initialize"), QStringLiteral("None")});
        c.cboFloating->setCurrentIndex(-1);
        trap.line = 8;
        Get_Locations();
        trap.line = 9;
        modPopulateACTLists::Populate_cboFields(*c.cboFields, objects.objFields, box);
        trap.line = 10;
        modPopulateACTLists::Populate_lvwUsers(*c.lvwUsers, objects.objUsers, QString(), QString(), box,
                                               &usersRead);
        trap.line = 11;
        Load_User_Rights(*c.lvwUsers, false);
        trap.line = 12;
        attachImageList(*c.lvwUsers);
        trap.line = 13;
        // The same users again: filled from the read of step 10 when it was complete.
        modPopulateACTLists::Populate_lvwUsers(*c.lvwSpecialUsers, objects.objUsers, QString(), QString(),
                                               box, &usersRead);
        trap.line = 14;
        Check_Authorized_Users();

        trap.line = 15;
        setHeightTwips(kCollapsedHeight);
        trap.line = 16;
        const QSize screenTwips = screenSizeTwips();
        const std::optional<QString> storedTop = m_services.settings.value(kTopKey);
        const float top = storedTop ? vb::CSng(*storedTop) : static_cast<float>(screenTwips.height()) / 8.0F;
        moveTwips(leftTwips(), top);
        trap.line = 17;
        const std::optional<QString> storedLeft = m_services.settings.value(kLeftKey);
        const float left = storedLeft ? vb::CSng(*storedLeft)
                                      : static_cast<float>(screenTwips.width() - widthTwips()) / 2.0F;
        m_centreOnFrame = !storedLeft;
        moveTwips(left, topTwips());
        trap.line = 18;
        if (vb::CBool(m_services.settings.value(kExpandedKey, QStringLiteral("0")))) {
            cmdFieldSettings_Click();
        }
        trap.line = 19;
        if (!Select_Current_Field()) {
            Select_Last_Field();
        }
        trap.line = 20;
        Load_User_Rights(*c.lvwSpecialUsers, false);
        trap.line = 21;
        attachImageList(*c.lvwSpecialUsers);
    });
}

// A refused start closes the unshown window the ordinary way, so its unload handler runs.
void Form1::stopStart() {
    m_startRefused = true;
    close();
}

bool Form1::Select_Current_Field() {
    const int count = c.cboFields->count();
    for (int i = 0; i < count; ++i) {
        if (c.cboFields->itemData(i).toInt() == StartFieldID) {
            selectField(i);
            return true;
        }
    }
    return false;
}

void Form1::Select_Last_Field() {
    const QString last = m_services.settings.value(kLastFieldKey, QString());
    if (last.isEmpty()) {
        return;
    }
    const int index = c.cboFields->findText(last, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        selectField(index);
    }
}

// Setting the chooser's position from code raises its Click, as the user's choice does.
void Form1::selectField(int index) {
    c.cboFields->setCurrentIndex(index);
    cboFields_Click();
}

void Form1::cboFields_Click() {
    m_editor->cboFields_Click();
}
void Form1::Load_User_Rights(QTreeWidget& list, bool useGlobal) {
    m_editor->Load_User_Rights(list, useGlobal);
}
void Form1::Check_Authorized_Users() {
    m_editor->Check_Authorized_Users();
}
void Form1::Prompt_Save() {
    m_editor->Prompt_Save();
}
bool Form1::Write_Users(QTreeWidget& list, const QString& oldKey) {
    return m_editor->Write_Users(list, oldKey);
}

void Form1::Get_Locations() {
    UsersPath = Locations::storedUsersPath(m_services.settings, m_services.app);
    ListPath = Locations::storedListPath(m_services.settings, m_services.app);
}

void Form1::mnuLocation_Click() {
    {
        frmLocations dialog(m_services, this);
        dialog.exec();
    }
    const QString usersBefore = UsersPath;
    const QString listBefore = ListPath;
    Get_Locations();
    editor::tellLogProblemOnce(
        m_services.messageBox,
        editor::recordLocations(
            GenericName, [this] { return modAdmin::Current_User_Name(objects, m_services.messageBox); },
            usersBefore, listBefore, UsersPath, ListPath));
}

void Form1::mnuReport_Click() {
    // Every user, as the start-up read them; after a read that an error ended, the report asks
    // ACT! for them itself.
    std::vector<report::User> users;
    const bool kept = usersRead.complete; // read without filters, as the report lists every user
    if (kept) {
        users.reserve(usersRead.users.size());
        for (const modPopulateACTLists::ListedUser& u : usersRead.users) {
            users.push_back({u.name, u.uniqueId});
        }
    }
    const bool restored = report::showRightsReport(
        {m_services, objects, GenericName, UsersPath, ListPath, kept ? &users : nullptr}, this,
        [this] { return !m_unloaded; });
    if (restored && !m_unloaded) {
        m_editor->settingsChangedElsewhere();
    }
}

void Form1::cmdFieldSettings_Click() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "cmdFieldSettings_Click"});
    trap.run([&] {
        trap.line = 1;
        c.cboFloating->hide();
        if (c.cmdFieldSettings->text() == kHideCaption) {
            trap.line = 2;
            setHeightTwips(kCollapsedHeight);
            c.cmdFieldSettings->setText(kShowCaption);
            m_services.settings.setValue(kLastFieldKey, c.cboFields->currentText());
        } else {
            trap.line = 3;
            setHeightTwips(kExpandedHeight);
            c.cmdFieldSettings->setText(kHideCaption);
            Select_Last_Field();
        }
    });
}

// Enter presses the default button (Close), Escape the cancel button, unless the control with
// the focus used the key itself (a button, the drop-down list editor).
void Form1::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        c.cmdClose->click();
        return;
    case Qt::Key_Escape:
        c.cmdCancel->click();
        return;
    default:
        QMainWindow::keyPressEvent(event);
    }
}

int Form1::decorationHeight() const {
    return frameGeometry().height() - geometry().height();
}

void Form1::setHeightTwips(int twips) {
    m_requestedHeight = twips;
    m_appliedDecoration = decorationHeight();
    int inner = pixelsFromTwips(twips) - m_appliedDecoration;
    if (twips == kCollapsedHeight) {
        inner = std::min(inner, fieldSettingsTop(*this, c)); // frames thinner than Windows' show no more
    }
    resize(width(), std::max(1, inner));
}

// The frame's decorations are known only once a window manager has framed the shown window:
// the height, which counts them, is set again then, and a default left position is centred on
// the framed width.
void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    fitToFrame();
}

void Form1::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (isVisible()) {
        fitToFrame();
    }
}

void Form1::fitToFrame() {
    if (m_requestedHeight > 0 && decorationHeight() != m_appliedDecoration) {
        setHeightTwips(m_requestedHeight);
    }
    if (m_centreOnFrame && frameGeometry().width() != width()) {
        m_centreOnFrame = false;
        moveTwips(static_cast<float>(screenSizeTwips().width() - widthTwips()) / 2.0F, topTwips());
    }
}

int Form1::heightTwips() const {
    return frameGeometry().height() * kTwipsPerPixel;
}
int Form1::widthTwips() const {
    return frameGeometry().width() * kTwipsPerPixel;
}
float Form1::topTwips() const {
    return static_cast<float>(frameGeometry().y() * kTwipsPerPixel);
}
float Form1::leftTwips() const {
    return static_cast<float>(frameGeometry().x() * kTwipsPerPixel);
}

void Form1::moveTwips(float left, float top) {
    move(pixelsFromTwips(left), pixelsFromTwips(top));
}

QSize Form1::screenSizeTwips() const {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize pixels = s ? s->geometry().size() : QSize();
    return pixels * kTwipsPerPixel;
}

} // namespace qm
