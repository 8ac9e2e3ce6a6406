#pragma once

// The "Rights Report" window, opened from the main window's Options menu. Its "Rights" page: the
// grid of every user's effective right on every protected field (sortable by any column, filtered
// by field and by user), the hazards the settings check found, and the export of the grid as
// shown to a CSV file; its data is read by gatherReport(), with a progress dialog (and Cancel)
// when that takes longer than half a second. Its "History" page: the change log of the settings
// (HistoryView.h).

#include "report/ReportModels.h"

#include "platform/Services.h"

#include <QDialog>

#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTabWidget;
class QTableView;

namespace qm::report {

class HistoryView;

// What the window reads: the main window's kept ACT! objects and settings locations, and the
// users it read at start-up (names and unique IDs; when null, they are read of ACT!).
struct ReportContext {
    Services& services;
    const ActObjects& objects;
    const QString& genericName;
    const QString& usersPath;
    const QString& listPath;
    const std::vector<User>* users = nullptr;
};

struct ReportData {
    ActData act;
    RightsReport report;
    std::vector<Hazard> hazards;
};

// Reads ACT! and the files for the report and the check. nullptr when cancelled, when
// `stillWanted` (asked as the work goes on) says no, or after an error report.
std::unique_ptr<ReportData> gatherReport(const ReportContext& context, QWidget* owner,
                                         const std::function<bool()>& stillWanted);

class frmReport : public QDialog {
    Q_OBJECT
public:
    // `reload` reads the report again for Refresh (none: no Refresh button).
    using Reload = std::function<std::unique_ptr<ReportData>(QWidget* owner)>;
    frmReport(Services& services, std::unique_ptr<ReportData> data, QWidget* parent = nullptr,
              Reload reload = {});
    ~frmReport() override;

    void txtFilter_Change();
    void cmdExport_Click();
    // Reads the files and ACT! again: the rights as they are now, also those another administrator
    // saved while the window was open. The filters stay.
    void cmdRefresh_Click();
    // A hazard's field and user become the grid's filters.
    void lvwHazards_DoubleClick(const QModelIndex& index);

    const ReportData& data() const { return *m_data; }
    const RightsFilter& rights() const { return *m_filter; }
    HistoryView& history() const { return *m_history; }

private:
    void showCheck();

    Services& m_services;
    std::unique_ptr<ReportData> m_data;
    Reload m_reload;
    QSortFilterProxyModel* m_hazardSort = nullptr;
    QPushButton* cmdRefresh = nullptr;
    RightsModel* m_model = nullptr;
    RightsFilter* m_filter = nullptr;
    HazardModel* m_hazards = nullptr;
    QLineEdit* txtFieldFilter = nullptr;
    QLineEdit* txtUserFilter = nullptr;
    QLabel* lblShown = nullptr;
    QTableView* lvwRights = nullptr;
    QLabel* lblCheck = nullptr;
    QTableView* lvwHazards = nullptr;
    QLabel* lblExported = nullptr;
    QPushButton* cmdExport = nullptr;
    QPushButton* cmdClose = nullptr;
    QTabWidget* tabReport = nullptr;
    HistoryView* m_history = nullptr;
};

// The Options menu's "Rights Report...": gathers, then shows the window modally. True when a
// restore of its History page wrote to the settings.
bool showRightsReport(const ReportContext& context, QWidget* owner, const std::function<bool()>& stillWanted);

} // namespace qm::report
