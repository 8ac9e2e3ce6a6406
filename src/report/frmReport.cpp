#include "report/frmReport.h"

#include "act/modAdmin.h"
#include "platform/ErrorReport.h"
#include "report/HistoryView.h"
#include "report/ReportCsv.h"

#include <QDir>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace qm::report {

namespace {

constexpr char kModule[] = "frmReport";

// A progress dialog that appears when the work takes longer than half a second, with Cancel.
// Work in phases: each phase fills its share of the bar.
class WorkProgress {
public:
    WorkProgress(QWidget* owner, const QString& label, std::function<bool()> stillWanted)
        : m_dialog(label, QStringLiteral("Cancel"), 0, 1000, owner)
        , m_stillWanted(std::move(stillWanted)) {
        m_dialog.setWindowTitle(kAppTitle);
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setMinimumDuration(500);
        m_dialog.setAutoReset(false);
        m_dialog.setValue(0);
    }

    // Progress of a phase that fills the bar from `from` to `to` (of 1000).
    Progress phase(int from, int to) {
        return [this, from, to](qint64 done, qint64 total) {
            const qint64 share = total > 0 ? (to - from) * std::min(done, total) / total : 0;
            m_dialog.setValue(from + int(share)); // lets the Cancel through once shown
            return goOn();
        };
    }
    bool goOn() const { return !m_dialog.wasCanceled() && (!m_stillWanted || m_stillWanted()); }

private:
    QProgressDialog m_dialog;
    std::function<bool()> m_stillWanted;
};

QString count(qsizetype n) {
    return QLocale().toString(qlonglong(n));
}

// "1 field", "12 fields".
QString counted(qsizetype n, const QString& one, const QString& many) {
    return count(n) + QLatin1Char(' ') + (n == 1 ? one : many);
}

} // namespace

std::unique_ptr<ReportData> gatherReport(const ReportContext& context, QWidget* owner,
                                         const std::function<bool()>& stillWanted) {
    auto data = std::make_unique<ReportData>();
    WorkProgress progress(
        owner, QStringLiteral("Reading the rights of every user on every protected field..."), stillWanted);
    bool done = false;
    ErrorTrap trap(context.services.messageBox, {kModule, ProcKind::Sub, "Gather_Report"});
    trap.run([&] {
        trap.line = 1;
        MessageBox& box = context.services.messageBox;
        if (!readActData(context.objects, context.genericName, box, data->act, progress.phase(0, 300),
                         context.users) ||
            !progress.goOn()) {
            return;
        }
        trap.line = 2;
        std::optional<RightsReport> report =
            buildReport(data->act, {context.usersPath, context.listPath}, progress.phase(300, 700));
        if (!report || !progress.goOn()) {
            return;
        }
        data->report = std::move(*report);
        trap.line = 3;
        std::optional<std::vector<Hazard>> hazards =
            checkSettings(data->report, data->act.unprotected, progress.phase(700, 1000));
        if (!hazards || !progress.goOn()) {
            return;
        }
        data->hazards = std::move(*hazards);
        done = true;
    });
    return done ? std::move(data) : nullptr;
}

frmReport::frmReport(Services& services, std::unique_ptr<ReportData> data, QWidget* parent, Reload reload)
    : QDialog(parent)
    , m_services(services)
    , m_data(std::move(data))
    , m_reload(std::move(reload)) {
    setObjectName(QStringLiteral("frmReport"));
    setWindowTitle(QStringLiteral("Rights Report - ") + m_data->report.genericName);
    m_model = new RightsModel(m_data->report, this);
    m_filter = new RightsFilter(this);
    m_filter->setSourceModel(m_model);
    m_hazards = new HazardModel(m_data->hazards, this);

    auto* filters = new QHBoxLayout;
    auto* lblField = new QLabel(QStringLiteral("&Field:"), this);
    txtFieldFilter = new QLineEdit(this);
    txtFieldFilter->setObjectName(QStringLiteral("txtFieldFilter"));
    txtFieldFilter->setPlaceholderText(QStringLiteral("label or ID"));
    lblField->setBuddy(txtFieldFilter);
    auto* lblUser = new QLabel(QStringLiteral("&User:"), this);
    txtUserFilter = new QLineEdit(this);
    txtUserFilter->setObjectName(QStringLiteral("txtUserFilter"));
    txtUserFilter->setPlaceholderText(QStringLiteral("name or unique ID"));
    lblUser->setBuddy(txtUserFilter);
    lblShown = new QLabel(this);
    lblShown->setObjectName(QStringLiteral("lblShown"));
    for (QWidget* w : {static_cast<QWidget*>(lblField), static_cast<QWidget*>(txtFieldFilter),
                       static_cast<QWidget*>(lblUser), static_cast<QWidget*>(txtUserFilter)}) {
        filters->addWidget(w);
    }
    filters->addStretch();
    filters->addWidget(lblShown);

    lvwRights = new QTableView(this);
    lvwRights->setObjectName(QStringLiteral("lvwRights"));
    lvwRights->setModel(m_filter);
    lvwRights->setSortingEnabled(true);
    lvwRights->sortByColumn(-1, Qt::AscendingOrder); // ACT!'s own order until a header is clicked
    lvwRights->verticalHeader()->hide();
    lvwRights->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwRights->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every user's column as wide as the widest name or ID (sizing thousands of columns one by one
    // would be slow), the field's own columns to their contents.
    const QFontMetrics header(lvwRights->horizontalHeader()->font());
    int width = 0;
    for (const User& u : m_data->report.users) {
        width = std::max({width, header.horizontalAdvance(u.name), header.horizontalAdvance(u.uniqueId)});
    }
    lvwRights->horizontalHeader()->setDefaultSectionSize(width + 2 * header.averageCharWidth() + 8);
    for (int c = 0; c < RightsModel::kFixedColumns; ++c) {
        lvwRights->resizeColumnToContents(c);
    }

    auto* checkPart = new QWidget(this);
    auto* checkLayout = new QVBoxLayout(checkPart);
    checkLayout->setContentsMargins(0, 0, 0, 0);
    lblCheck = new QLabel(checkPart);
    lblCheck->setObjectName(QStringLiteral("lblCheck"));
    const std::size_t found = m_data->hazards.size();
    showCheck();
    lvwHazards = new QTableView(checkPart);
    lvwHazards->setObjectName(QStringLiteral("lvwHazards"));
    m_hazardSort = new QSortFilterProxyModel(this);
    m_hazardSort->setSortRole(kSortRole);
    m_hazardSort->setSourceModel(m_hazards);
    lvwHazards->setModel(m_hazardSort);
    lvwHazards->setSortingEnabled(true);
    lvwHazards->sortByColumn(-1, Qt::AscendingOrder);
    lvwHazards->verticalHeader()->hide();
    lvwHazards->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwHazards->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwHazards->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < 4; ++c) {
        lvwHazards->resizeColumnToContents(c);
    }
    // Whole explanations where there are few; one line each (the whole in its tip) where there are
    // so many that sizing every row would keep the window waiting.
    constexpr std::size_t kWrapped = 300;
    lvwHazards->setWordWrap(found <= kWrapped);
    if (found <= kWrapped) {
        lvwHazards->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    }
    checkLayout->addWidget(lblCheck);
    checkLayout->addWidget(lvwHazards);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(lvwRights);
    splitter->addWidget(checkPart);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);

    auto* exportRow = new QHBoxLayout;
    cmdExport = new QPushButton(QStringLiteral("&Export CSV..."), this);
    cmdExport->setObjectName(QStringLiteral("cmdExport"));
    lblExported = new QLabel(this);
    lblExported->setObjectName(QStringLiteral("lblExported"));
    exportRow->addWidget(cmdExport);
    exportRow->addWidget(lblExported, 1);

    // The rights as they are, and the history of how they came to be.
    auto* rightsPage = new QWidget(this);
    auto* rightsLayout = new QVBoxLayout(rightsPage);
    rightsLayout->addLayout(filters);
    rightsLayout->addWidget(splitter, 1);
    rightsLayout->addLayout(exportRow);
    m_history = new HistoryView(services, m_data->report.paths, m_data->report.genericName,
                                m_data->report.users, this);
    tabReport = new QTabWidget(this);
    tabReport->setObjectName(QStringLiteral("tabReport"));
    tabReport->addTab(rightsPage, QStringLiteral("&Rights"));
    tabReport->addTab(m_history, QStringLiteral("&History"));

    auto* buttons = new QHBoxLayout;
    cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setDefault(true);
    cmdRefresh = new QPushButton(QStringLiteral("&Refresh"), this);
    cmdRefresh->setObjectName(QStringLiteral("cmdRefresh"));
    cmdRefresh->setVisible(bool(m_reload));
    buttons->addWidget(cmdRefresh);
    buttons->addStretch();
    buttons->addWidget(cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabReport, 1);
    layout->addLayout(buttons);
    resize(960, 640);

    connect(txtFieldFilter, &QLineEdit::textChanged, this, &frmReport::txtFilter_Change);
    connect(txtUserFilter, &QLineEdit::textChanged, this, &frmReport::txtFilter_Change);
    connect(cmdExport, &QPushButton::clicked, this, &frmReport::cmdExport_Click);
    connect(cmdRefresh, &QPushButton::clicked, this, &frmReport::cmdRefresh_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(lvwHazards, &QTableView::doubleClicked, this, &frmReport::lvwHazards_DoubleClick);
    txtFilter_Change();
}

frmReport::~frmReport() = default;

void frmReport::showCheck() {
    const std::size_t found = m_data->hazards.size();
    lblCheck->setText(found == 0
                          ? QStringLiteral("Settings check: no hazard found.")
                          : QStringLiteral("Settings check: %1 %2 that would give users other rights than "
                                           "meant (double-click one to show it in the grid):")
                                .arg(count(qsizetype(found)),
                                     found == 1 ? QStringLiteral("hazard") : QStringLiteral("hazards")));
}

void frmReport::cmdRefresh_Click() {
    std::unique_ptr<ReportData> data = m_reload(this);
    if (!data) {
        return; // cancelled, or reported: the window keeps what it showed
    }
    RightsModel* oldRights = m_model;
    HazardModel* oldHazards = m_hazards;
    m_data = std::move(data);
    m_model = new RightsModel(m_data->report, this);
    m_filter->setSourceModel(m_model);
    m_hazards = new HazardModel(m_data->hazards, this);
    m_hazardSort->setSourceModel(m_hazards);
    delete oldRights;
    delete oldHazards;
    setWindowTitle(QStringLiteral("Rights Report - ") + m_data->report.genericName);
    showCheck();
    txtFilter_Change();
    if (m_history->loaded()) {
        m_history->load(); // and the changes made meanwhile
    }
}

void frmReport::txtFilter_Change() {
    m_filter->setFilters(txtFieldFilter->text(), txtUserFilter->text());
    lblShown->setText(QStringLiteral("%1 of %2 fields, %3 of %4 users")
                          .arg(count(m_filter->rowCount()), count(qsizetype(m_data->report.fields.size())),
                               count(m_filter->columnCount() - RightsModel::kFixedColumns),
                               count(qsizetype(m_data->report.users.size()))));
}

void frmReport::lvwHazards_DoubleClick(const QModelIndex& index) {
    const auto* sorted = static_cast<const QSortFilterProxyModel*>(index.model());
    const Hazard& h = m_hazards->hazard(sorted->mapToSource(index).row());
    // An unknown ID is no user of the grid: only its field is shown then.
    const bool aUser = h.kind != HazardKind::UnknownId;
    txtFieldFilter->setText(h.field);
    txtUserFilter->setText(aUser ? h.user : QString());
}

void frmReport::cmdExport_Click() {
    const QString suggested =
        QDir(QDir::homePath()).filePath(m_data->report.genericName + QStringLiteral(" rights.csv"));
    const std::optional<QString> path = m_services.dialogs.saveFile(this, QDir::toNativeSeparators(suggested),
                                                                    QStringLiteral("CSV file (*.csv)|*.csv"));
    if (!path) {
        return;
    }
    const std::vector<int> rows = m_filter->shownRows();
    const std::vector<int> users = m_filter->shownUsers();
    QString error;
    bool written = false;
    {
        WorkProgress progress(
            this, QStringLiteral("Writing ") + QDir::toNativeSeparators(*path) + QStringLiteral("..."), {});
        written = writeCsv(m_data->report, *path, rows, users, error, progress.phase(0, 1000));
    }
    if (written) {
        lblExported->setText(
            QStringLiteral("Exported %1 and %2 to %3")
                .arg(counted(qsizetype(rows.size()), QStringLiteral("field"), QStringLiteral("fields")),
                     counted(qsizetype(users.size()), QStringLiteral("user"), QStringLiteral("users")),
                     QDir::toNativeSeparators(*path)));
    } else if (!error.isEmpty()) {
        m_services.messageBox.show(QStringLiteral("The report could not be written to ") +
                                       QDir::toNativeSeparators(*path) + QStringLiteral(": ") + error,
                                   vbExclamation, kAppTitle);
    }
}

bool showRightsReport(const ReportContext& context, QWidget* owner,
                      const std::function<bool()>& stillWanted) {
    std::unique_ptr<ReportData> data = gatherReport(context, owner, stillWanted);
    if (!data || (stillWanted && !stillWanted())) {
        return false;
    }
    frmReport window(context.services, std::move(data), owner, [&context, stillWanted](QWidget* parent) {
        return gatherReport(context, parent, stillWanted);
    });
    window.history().nameActUser(
        [&context] { return modAdmin::Current_User_Name(context.objects, context.services.messageBox); });
    window.exec();
    return window.history().restored();
}

} // namespace qm::report
