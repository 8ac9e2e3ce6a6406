#pragma once

// The About window: the tool's name, its version as the executable says at run time, and a link
// to the maker's web site. Also the addresses the Help menu opens.

#include "platform/Services.h"

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace qm {

class ClickLabel;

// The maker's web site (shown without its scheme by the About window's link), the online help
// page on it, and the manual installed beside the executable.
inline const QString kMakerHost = QStringLiteral("www.quillmark.app");
inline const QString kMakerSite = QStringLiteral("http://") + kMakerHost + QStringLiteral("/");
inline const QString kOnlineHelpPage = kMakerSite + QStringLiteral("tutorials/qlm_online.htm");
inline const QString kManualFileName = QStringLiteral("QLM_User_Manual.pdf");

class frmAbout : public QDialog {
    Q_OBJECT
public:
    // A modal window over `mainWindow`; the version line is set at once.
    frmAbout(Services& services, QWidget* mainWindow);

    void Form_Load();
    void cmdOK_Click();
    void lblLink_Click();

    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QFrame* Line1 = nullptr;
    QPushButton* cmdOK = nullptr;
    QLabel* Label11 = nullptr;
    ClickLabel* lblLink = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildLayout();

    Services& m_services;
};

} // namespace qm
