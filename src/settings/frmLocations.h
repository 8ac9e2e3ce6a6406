#pragma once

// The "Settings File Location" dialog: the authorized-users file and the per-field settings folder,
// typed or browsed for. It edits the two stored preferences only; it never touches the files.

#include "platform/Paths.h"
#include "platform/Services.h"

#include <QDialog>

class QGroupBox;
class QLineEdit;
class QPushButton;

namespace qm {

class frmLocations : public QDialog {
    Q_OBJECT
public:
    // `mainWindow` owns the folder browser; the dialog itself has no owner.
    frmLocations(Services& services, QWidget* mainWindow);

    void Form_Load();
    void cmdClose_Click();
    void cmdCancel_Click();
    void cmdBrowse_Click();
    void cmdBrowseFolder_Click();

    // Everything before the last `separator`; "" for an empty path or one without it.
    QString GetDir(const QString& path, QChar separator = kPathSep);
    // Everything after the last `separator`; the whole path when it has none.
    QString GetName(const QString& path, QChar separator = kPathSep);

    QGroupBox* fraUsers = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QLineEdit* txtUsersFile = nullptr;
    QGroupBox* fraField = nullptr;
    QPushButton* cmdBrowseFolder = nullptr;
    QLineEdit* txtFolder = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdClose = nullptr;

    static inline const QString kDataFileFilter = QStringLiteral("Data file (*.dat)|*.dat");

private:
    void buildLayout();

    Services& m_services;
    QWidget* m_mainWindow;
};

} // namespace qm
