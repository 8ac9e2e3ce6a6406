#pragma once

// The History view of the report window: the change log of the database as a table, newest first,
// filtered by field, by user, by login and by date, the whole of the selected change below it,
// and the export of what is shown as CSV. The log is read when the view is first shown.

#include "platform/Services.h"
#include "report/HistoryModel.h"

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
    HistoryView(Services& services, QString usersPath, QString database, QWidget* parent = nullptr);
    ~HistoryView() override;

    // Reads the log (again).
    void load();
    bool loaded() const { return m_history != nullptr; }

    void txtHistoryFilter_Change();
    void cmdHistoryExport_Click();

    const HistoryModel& model() const { return *m_model; }
    const History& history() const { return *m_history; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showSelected();

    Services& m_services;
    QString m_usersPath;
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
    QLabel* lblHistoryExported = nullptr;
};

} // namespace qm::report
