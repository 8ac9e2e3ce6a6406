#include "app/frmAbout.h"

#include "platform/ClickLabel.h"
#include "platform/ErrorReport.h"
#include "platform/WindowLayout.h"

#include <QKeyEvent>
#include <QPushButton>

namespace qm {

namespace {
constexpr char kModule[] = "frmAbout";
} // namespace

frmAbout::frmAbout(Services& services, QWidget* mainWindow)
    : QDialog(mainWindow)
    , m_services(services) {
    buildLayout();
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(lblLink, &ClickLabel::clicked, this, &frmAbout::lblLink_Click);
    Form_Load();
}

void frmAbout::buildLayout() {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + kAppTitle);
    setFont(designFont(false));
    setFixedSize(twipsToPixels(5730), twipsToPixels(3150));
    setFixedDialogFrame(*this);

    Placer p;
    lblTitle = p.place(new QLabel(QStringLiteral("QUILLMARK"), this), "lblTitle", 240, 240, 5265, 360, 2);
    QFont titleFont = designFont(true);
    titleFont.setPointSizeF(13.5);
    lblTitle->setFont(titleFont);
    lblVersion = p.place(new QLabel(this), "lblVersion", 1050, 780, 3885, 225, 3);

    Line1 = p.place(new QFrame(this), "Line1", 53, 1800, 5684 - 53, kTwipsPerPixel);
    Line1->setAutoFillBackground(true);
    QPalette grey = Line1->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    Line1->setPalette(grey);

    cmdOK = p.place(new QPushButton(QStringLiteral("OK"), this), "cmdOK", 4485, 2040, 1095, 375, 0);
    cmdOK->setDefault(true);
    Label11 = p.place(new QLabel(QStringLiteral("More at"), this), "Label11", 3375, 2865, 585, 255, 5);
    lblLink = p.place(new ClickLabel(kMakerHost, this), "lblLink", 3975, 2865, 1755, 255, 6);
    QFont linkFont = designFont(false);
    linkFont.setUnderline(true);
    lblLink->setFont(linkFont);
    lblLink->setCursor(Qt::PointingHandCursor);
    for (QLabel* label : {lblTitle, lblVersion, Label11, static_cast<QLabel*>(lblLink)}) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    p.finish();
    cmdOK->setFocus();
}

void frmAbout::Form_Load() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "Form_Load"});
    trap.run([&] {
        trap.line = 1;
        const VersionInfo v = m_services.app.version();
        lblVersion->setText(QStringLiteral("Version %1.%2.%3").arg(v.major).arg(v.minor).arg(v.revision));
    });
}

void frmAbout::cmdOK_Click() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "cmdOK_Click"});
    trap.run([&] {
        trap.line = 1;
        accept();
    });
}

// The window stays open.
void frmAbout::lblLink_Click() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "lblLink_Click"});
    trap.run([&] {
        trap.line = 1;
        m_services.shell.open(kMakerSite, m_services.app.programFolder(), 5, this);
    });
}

// OK is both the default and the cancel button: Escape presses it too.
void frmAbout::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdOK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace qm
