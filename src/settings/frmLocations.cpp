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

    const auto place = [](QWidget* w, const char* name, int left, int top, int width, int height) {
        placeControl(w, name, left, top, width, height);
    };
    fraUsers = new QGroupBox(QStringLiteral("Authorized Users File:"), this);
    place(fraUsers, "fraUsers", 225, 195, 5760, 900);
    cmdBrowse = new QPushButton(QStringLiteral("Browse"), fraUsers);
    place(cmdBrowse, "cmdBrowse", 4275, 345, 1000, 325);
    txtUsersFile = new QLineEdit(fraUsers);
    place(txtUsersFile, "txtUsersFile", 150, 345, 4080, 315);
    fraField = new QGroupBox(QStringLiteral("Folder where Individual Field Settings are stored :"), this);
    place(fraField, "fraField", 225, 1365, 5775, 960);
    cmdBrowseFolder = new QPushButton(QStringLiteral("Browse"), fraField);
    place(cmdBrowseFolder, "cmdBrowseFolder", 4305, 420, 1000, 325);
    txtFolder = new QLineEdit(fraField);
    place(txtFolder, "txtFolder", 180, 435, 4080, 315);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    place(cmdCancel, "cmdCancel", 3152, 2430, 1000, 325);
    cmdClose = new QPushButton(QStringLiteral("&OK"), this);
    place(cmdClose, "cmdClose", 2072, 2445, 1000, 325);
    cmdClose->setDefault(true);

    // Tab indexes 1 to 7; the frames (0 and 3) take no focus.
    setTabOrder(cmdBrowse, txtUsersFile);
    setTabOrder(txtUsersFile, cmdBrowseFolder);
    setTabOrder(cmdBrowseFolder, txtFolder);
    setTabOrder(txtFolder, cmdCancel);
    setTabOrder(cmdCancel, cmdClose);
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
