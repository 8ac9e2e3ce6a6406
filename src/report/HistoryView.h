#pragma once

// The History view of the report window: the change log of the database as a table, newest first,
// filtered by field, by user, by login and by date, the whole of the selected change below it,
// the export of what is shown as CSV, and the restore of the state before the selected change. The
// log is read when the view is first shown.

#include "editor/Restore.h"
#include "platform/Services.h"
#include "report/HistoryModel.h"
#include "report/RightsReport.h"

#include <QWidget>

#include <memory>

class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace qm::report {

class HistoryView : public QWidget {
    Q_OBJECT
public:
    // `users`: the database's users, whom a restore's record names.
    HistoryView(Services& services, SettingsPaths paths, QString database, const std::vector<User>& users,
                QWidget* parent = nullptr);
    ~HistoryView() override;

    // Reads the log (again).
    void load();
    bool loaded() const { return m_history != nullptr; }

    void txtHistoryFilter_Change();
    void cmdHistoryExport_Click();
    // Brings back what the selected change's keys and file held before it, when the administrator
    // confirms; the log is read again afterwards.
    void cmdHistoryRestore_Click();
    // Who a restore's record names as the ACT! user (asked when the restore is recorded).
    void nameActUser(editor::ActUserName actUser) { m_actUser = std::move(actUser); }
    // Whether a restore wrote to the settings (the main window then reads them again).
    bool restored() const { return m_restored; }

    const HistoryModel& model() const { return *m_model; }
    const History& history() const { return *m_history; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showSelected();

    Services& m_services;
    QString m_usersPath;
    QString m_listPath;
    std::vector<editor::RosterUser> m_users;
    editor::ActUserName m_actUser;
    bool m_restored = false;
    QString m_database;
    std::unique_ptr<History> m_history;
    HistoryModel* m_model = nullptr;
    QLineEdit* txtHistoryField = nullptr;
    QLineEdit* txtHistoryUser = nullptr;
    QLineEdit* txtHistoryLogin = nullptr;
    QDateEdit* dtpHistoryFrom = nullptr;
    QDateEdit* dtpHistoryTo = nullptr;
    QLabel* lblHistoryShown = nullptr;
    QTableView* lvwHistory = nullptr;
    QPlainTextEdit* txtHistoryDetail = nullptr;
    QLabel* lblHistoryLog = nullptr;
    QPushButton* cmdHistoryExport = nullptr;
    QPushButton* cmdHistoryRestore = nullptr;
    QLabel* lblHistoryExported = nullptr;
};

} // namespace qm::report
