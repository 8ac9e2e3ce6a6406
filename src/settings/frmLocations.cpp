#include "settings/frmLocations.h"

#include "platform/ErrorReport.h"
#include "platform/WindowLayout.h"
#include "settings/Locations.h"
#include "settings/ModSHBrowse.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace qm {

namespace {
constexpr char kModule[] = "frmLocations";
}

frmLocations::frmLocations(Services& services, QWidget* mainWindow)
    : QDialog(nullptr)
    , m_services(services)
    , m_mainWindow(mainWindow) {
    buildLayout();
    connect(cmdClose, &QPushButton::clicked, this, &frmLocations::cmdClose_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLocations::cmdCancel_Click);
    connect(cmdBrowse, &QPushButton::clicked, this, &frmLocations::cmdBrowse_Click);
    connect(cmdBrowseFolder, &QPushButton::clicked, this, &frmLocations::cmdBrowseFolder_Click);
    Form_Load();
}

void frmLocations::buildLayout() {
    setObjectName(QStringLiteral("frmLocations"));
    setWindowTitle(QStringLiteral("Settings File Location"));
    setFont(designFont(false));
    setFixedSize(twipsToPixels(6225), twipsToPixels(3015));
    setFixedDialogFrame(*this);

    // The two frames hold the same row, a path and its Browse button; drawn 30 twips apart in
    // the second frame (text box at 180, button at 4305, frame 15 twips wider), they are placed
    // in line with the first frame's, so that the two rows stand one above the other.
    constexpr int kPathLeft = 150;
    constexpr int kBrowseLeft = 4275;
    constexpr int kFrameWidth = 5760;
    Placer p;
    fraUsers = p.place(new QGroupBox(QStringLiteral("Authorized Users File:"), this), "fraUsers", 225, 195,
                       kFrameWidth, 900, 0);
    cmdBrowse = p.place(new QPushButton(QStringLiteral("Browse"), fraUsers), "cmdBrowse", kBrowseLeft, 345,
                        1000, 325, 1);
    txtUsersFile = p.place(new QLineEdit(fraUsers), "txtUsersFile", kPathLeft, 345, 4080, 315, 2);
    fraField =
        p.place(new QGroupBox(QStringLiteral("Folder where Individual Field Settings are stored :"), this),
                "fraField", 225, 1365, kFrameWidth, 960, 3);
    cmdBrowseFolder = p.place(new QPushButton(QStringLiteral("Browse"), fraField), "cmdBrowseFolder",
                              kBrowseLeft, 420, 1000, 325, 4);
    txtFolder = p.place(new QLineEdit(fraField), "txtFolder", kPathLeft, 435, 4080, 315, 5);
    cmdCancel =
        p.place(new QPushButton(QStringLiteral("&Cancel"), this), "cmdCancel", 3152, 2430, 1000, 325, 6);
    cmdClose = p.place(new QPushButton(QStringLiteral("&OK"), this), "cmdClose", 2072, 2445, 1000, 325, 7);
    cmdClose->setDefault(true);
    // The frames take no focus: the chain runs from Browse to OK.
    fraUsers->setFocusPolicy(Qt::NoFocus);
    fraField->setFocusPolicy(Qt::NoFocus);
    p.finish();
    // The dialog opens on the first control of the tab order, not on its default button.
    cmdBrowse->setFocus();
}

void frmLocations::Form_Load() {
    txtUsersFile->setText(Locations::storedUsersPath(m_services.settings, m_services.app));
    txtFolder->setText(Locations::storedListPath(m_services.settings, m_services.app));
}

void frmLocations::cmdClose_Click() {
    m_services.settings.setValue(Locations::kListPathKey, txtFolder->text());
    m_services.settings.setValue(Locations::kUsersPathKey, txtUsersFile->text());
    accept();
}

void frmLocations::cmdCancel_Click() {
    reject();
}

void frmLocations::cmdBrowse_Click() {
    // Every failure here, the user's cancel included, ends the browse silently.
    try {
        const QString current = txtUsersFile->text();
        const std::optional<QString> chosen =
            m_services.dialogs.openFile(this, GetDir(current), GetName(current), kDataFileFilter);
        if (chosen) {
            txtUsersFile->setText(*chosen);
        }
    } catch (...) {
    }
}

void frmLocations::cmdBrowseFolder_Click() {
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Sub, "cmdBrowseFolder_Click"});
    trap.run([&] {
        trap.line = 1;
        ModSHBrowse::BrowseForFolder(m_services.dialogs, m_mainWindow, *txtFolder);
    });
}

QString frmLocations::GetDir(const QString& path, QChar separator) {
    QString result;
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Function, "GetDir"});
    trap.run([&] {
        trap.line = 1;
        const qsizetype last = path.lastIndexOf(separator);
        result = last < 0 ? QString() : path.left(last);
    });
    return result;
}

QString frmLocations::GetName(const QString& path, QChar separator) {
    QString result;
    ErrorTrap trap(m_services.messageBox, {kModule, ProcKind::Function, "GetName"});
    trap.run([&] {
        trap.line = 1;
        const qsizetype last = path.lastIndexOf(separator);
        result = last < 0 ? path : path.mid(last + 1);
    });
    return result;
}

} // namespace qm
