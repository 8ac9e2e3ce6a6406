#include "report/HistoryView.h"

#include <QDateEdit>
#include <QDir>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace qm::report {

namespace {

// A date box that may say "any": its lowest date stands for no date at all.
const QDate kAnyDate(2000, 1, 1);

QDateEdit* dateBox(const QString& name, QWidget* parent) {
    auto* box = new QDateEdit(parent);
    box->setObjectName(name);
    box->setCalendarPopup(true);
    box->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    box->setMinimumDate(kAnyDate);
    box->setSpecialValueText(QStringLiteral("any"));
    box->setDate(kAnyDate);
    return box;
}

std::optional<qint64> dayStart(const QDateEdit& box, int plusDays) {
    if (box.date() == kAnyDate) {
        return std::nullopt;
    }
    return QDateTime(box.date().addDays(plusDays), QTime(0, 0)).toMSecsSinceEpoch();
}

QString count(qsizetype n) {
    return QLocale().toString(qlonglong(n));
}

QLabel* buddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

HistoryView::HistoryView(Services& services, SettingsPaths paths, QString database,
                         const std::vector<User>& users, QWidget* parent)
    : QWidget(parent)
    , m_services(services)
    , m_usersPath(std::move(paths.usersPath))
    , m_listPath(std::move(paths.listPath))
    , m_database(std::move(database)) {
    for (const User& user : users) {
        m_users.push_back({user.name, user.uniqueId});
    }
    setObjectName(QStringLiteral("HistoryView"));
    m_model = new HistoryModel(this);

    txtHistoryField = new QLineEdit(this);
    txtHistoryField->setObjectName(QStringLiteral("txtHistoryField"));
    txtHistoryField->setPlaceholderText(QStringLiteral("label or ID"));
    txtHistoryUser = new QLineEdit(this);
    txtHistoryUser->setObjectName(QStringLiteral("txtHistoryUser"));
    txtHistoryUser->setPlaceholderText(QStringLiteral("name or unique ID"));
    txtHistoryLogin = new QLineEdit(this);
    txtHistoryLogin->setObjectName(QStringLiteral("txtHistoryLogin"));
    txtHistoryLogin->setPlaceholderText(QStringLiteral("login or ACT! user"));
    dtpHistoryFrom = dateBox(QStringLiteral("dtpHistoryFrom"), this);
    dtpHistoryTo = dateBox(QStringLiteral("dtpHistoryTo"), this);
    lblHistoryShown = new QLabel(this);
    lblHistoryShown->setObjectName(QStringLiteral("lblHistoryShown"));

    auto* filters = new QHBoxLayout;
    filters->addWidget(buddyLabel(QStringLiteral("F&ield:"), txtHistoryField, this));
    filters->addWidget(txtHistoryField);
    filters->addWidget(buddyLabel(QStringLiteral("U&ser:"), txtHistoryUser, this));
    filters->addWidget(txtHistoryUser);
    filters->addWidget(buddyLabel(QStringLiteral("&Login:"), txtHistoryLogin, this));
    filters->addWidget(txtHistoryLogin);
    filters->addWidget(buddyLabel(QStringLiteral("Fro&m:"), dtpHistoryFrom, this));
    filters->addWidget(dtpHistoryFrom);
    filters->addWidget(buddyLabel(QStringLiteral("&To:"), dtpHistoryTo, this));
    filters->addWidget(dtpHistoryTo);
    filters->addStretch();
    filters->addWidget(lblHistoryShown);

    lvwHistory = new QTableView(this);
    lvwHistory->setObjectName(QStringLiteral("lvwHistory"));
    lvwHistory->setModel(m_model);
    lvwHistory->verticalHeader()->hide();
    // Rows of one line each, sized once: the log may hold a hundred thousand changes.
    lvwHistory->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvwHistory->verticalHeader()->setDefaultSectionSize(lvwHistory->fontMetrics().height() + 6);
    lvwHistory->setWordWrap(false);
    lvwHistory->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwHistory->setSelectionMode(QAbstractItemView::SingleSelection);
    lvwHistory->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwHistory->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics fm(lvwHistory->font());
    const int pad = 2 * fm.averageCharWidth() + 8;
    lvwHistory->setColumnWidth(HistoryModel::When,
                               fm.horizontalAdvance(QStringLiteral("2000-00-00 00:00:00")) + pad);
    lvwHistory->setColumnWidth(HistoryModel::Login, fm.averageCharWidth() * 12 + pad);
    lvwHistory->setColumnWidth(HistoryModel::ActUser, fm.averageCharWidth() * 16 + pad);
    lvwHistory->setColumnWidth(HistoryModel::Change,
                               fm.horizontalAdvance(QStringLiteral("Settings locations")) + pad);
    lvwHistory->setColumnWidth(HistoryModel::Field, fm.averageCharWidth() * 22 + pad);

    txtHistoryDetail = new QPlainTextEdit(this);
    txtHistoryDetail->setObjectName(QStringLiteral("txtHistoryDetail"));
    txtHistoryDetail->setReadOnly(true);
    txtHistoryDetail->setPlaceholderText(QStringLiteral("Select a change to see all of it."));
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(lvwHistory);
    splitter->addWidget(txtHistoryDetail);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);

    lblHistoryLog = new QLabel(this);
    lblHistoryLog->setObjectName(QStringLiteral("lblHistoryLog"));
    lblHistoryLog->setWordWrap(true);
    lblHistoryLog->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    cmdHistoryExport = new QPushButton(QStringLiteral("E&xport CSV..."), this);
    cmdHistoryExport->setObjectName(QStringLiteral("cmdHistoryExport"));
    lblHistoryExported = new QLabel(this);
    lblHistoryExported->setObjectName(QStringLiteral("lblHistoryExported"));
    cmdHistoryRestore = new QPushButton(QStringLiteral("R&estore..."), this);
    cmdHistoryRestore->setObjectName(QStringLiteral("cmdHistoryRestore"));
    cmdHistoryRestore->setEnabled(false);
    buttons->addWidget(cmdHistoryExport);
    buttons->addWidget(lblHistoryExported, 1);
    buttons->addWidget(cmdHistoryRestore);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(splitter, 1);
    layout->addWidget(lblHistoryLog);
    layout->addLayout(buttons);

    for (QLineEdit* box : {txtHistoryField, txtHistoryUser, txtHistoryLogin}) {
        connect(box, &QLineEdit::textChanged, this, &HistoryView::txtHistoryFilter_Change);
    }
    for (QDateEdit* box : {dtpHistoryFrom, dtpHistoryTo}) {
        connect(box, &QDateEdit::dateChanged, this, &HistoryView::txtHistoryFilter_Change);
    }
    connect(cmdHistoryExport, &QPushButton::clicked, this, &HistoryView::cmdHistoryExport_Click);
    connect(cmdHistoryRestore, &QPushButton::clicked, this, &HistoryView::cmdHistoryRestore_Click);
    connect(lvwHistory->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &HistoryView::showSelected);
    connect(m_model, &QAbstractItemModel::modelReset, this, &HistoryView::showSelected);
}

HistoryView::~HistoryView() = default;

void HistoryView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!loaded()) {
        load();
    }
}

void HistoryView::load() {
    auto history = std::make_unique<History>(m_usersPath, m_database);
    m_model->setHistory(history.get());
    m_history = std::move(history);
    QStringList notes;
    notes << QStringLiteral("Change log: ") + QDir::toNativeSeparators(changelog::logFolder(m_usersPath));
    if (m_history->skipped() > 0) {
        notes << (m_history->skipped() == 1
                      ? QStringLiteral("1 damaged line skipped")
                      : QStringLiteral("%1 damaged lines skipped").arg(count(m_history->skipped())));
    }
    for (const QString& problem : m_history->problems()) {
        notes << QStringLiteral("not read: ") + problem;
    }
    lblHistoryLog->setText(notes.join(QStringLiteral("; ")));
    txtHistoryFilter_Change();
}

void HistoryView::txtHistoryFilter_Change() {
    HistoryFilter filter;
    filter.field = txtHistoryField->text();
    filter.user = txtHistoryUser->text();
    filter.login = txtHistoryLogin->text();
    filter.sinceMs = dayStart(*dtpHistoryFrom, 0);
    filter.untilMs = dayStart(*dtpHistoryTo, 1);
    m_model->setFilter(filter);
    const qsizetype all = m_history ? qsizetype(m_history->size()) : 0;
    lblHistoryShown->setText(
        (all == 1 ? QStringLiteral("%1 of %2 change") : QStringLiteral("%1 of %2 changes"))
            .arg(count(m_model->rowCount()), count(all)));
}

void HistoryView::showSelected() {
    const QModelIndex current = lvwHistory->selectionModel()->currentIndex();
    if (!current.isValid() || current.row() >= m_model->rowCount()) {
        txtHistoryDetail->clear();
        cmdHistoryRestore->setEnabled(false);
        return;
    }
    const Record r = m_model->fullRecord(current.row());
    cmdHistoryRestore->setEnabled(editor::restorable(r));
    QStringList lines;
    lines << localTimeText(r.whenMs) + QStringLiteral(" (") + utcTimeText(r.whenMs) + QStringLiteral(")  ") +
                 r.login +
                 (r.actUser.isEmpty() ? QString()
                                      : QStringLiteral(" (ACT! user ") + r.actUser + QLatin1Char(')'));
    lines << headline(r);
    for (const QString& line : changeLines(r, true)) {
        lines << QStringLiteral("    ") + line;
    }
    txtHistoryDetail->setPlainText(lines.join(QLatin1Char('\n')));
}

void HistoryView::cmdHistoryExport_Click() {
    if (!m_history) {
        return;
    }
    const QString suggested = QDir(QDir::homePath()).filePath(m_database + QStringLiteral(" history.csv"));
    const std::optional<QString> path = m_services.dialogs.saveFile(this, QDir::toNativeSeparators(suggested),
                                                                    QStringLiteral("CSV file (*.csv)|*.csv"));
    if (!path) {
        return;
    }
    QString error;
    if (writeHistoryCsv(*m_history, m_model->rows(), *path, error)) {
        lblHistoryExported->setText(
            QStringLiteral("Exported %1 changes to %2")
                .arg(count(qsizetype(m_model->rows().size())), QDir::toNativeSeparators(*path)));
    } else {
        m_services.messageBox.show(QStringLiteral("The history could not be written to ") +
                                       QDir::toNativeSeparators(*path) + QStringLiteral(": ") + error,
                                   vbExclamation, kAppTitle);
    }
}

void HistoryView::cmdHistoryRestore_Click() {
    const QModelIndex current = lvwHistory->selectionModel()->currentIndex();
    if (!current.isValid() || current.row() >= m_model->rowCount()) {
        return;
    }
    const Record r = m_model->fullRecord(current.row());
    const QChar cr(13);
    const QString question = QStringLiteral("Restore ") + headline(r) +
                             QStringLiteral(" to what it was before the "
                                            "change of ") +
                             localTimeText(r.whenMs) + QStringLiteral(" by ") + r.login +
                             QStringLiteral("?") + cr + cr +
                             QStringLiteral("Only the keys and the file of that change are written back.");
    if (m_services.messageBox.show(question, vbYesNo + vbExclamation, kAppTitle) != vbYes) {
        return;
    }
    const editor::RestoreOutcome outcome = editor::restoreBefore(
        r, {m_usersPath, m_database, m_listPath, m_users, m_actUser}, m_services.conflicts, this);
    m_restored = m_restored || outcome.wrote;
    switch (outcome.result) {
    case editor::RestoreResult::Restored:
        lblHistoryExported->setText(QStringLiteral("Restored to before the change of ") +
                                    localTimeText(r.whenMs) +
                                    (outcome.fromElsewhere.isEmpty()
                                         ? QString()
                                         : QStringLiteral(". Kept from another administrator's changes: ") +
                                               outcome.fromElsewhere.join(QStringLiteral(", "))));
        break;
    case editor::RestoreResult::WentBack:
        lblHistoryExported->setText(QStringLiteral("Nothing was restored."));
        break;
    case editor::RestoreResult::Refused:
    case editor::RestoreResult::Failed:
        m_services.messageBox.show(QStringLiteral("The change could not be restored: ") + outcome.detail +
                                       QLatin1Char('.'),
                                   vbExclamation, kAppTitle);
        break;
    }
    editor::tellLogProblemOnce(m_services.messageBox, outcome.logged);
    load();
}

} // namespace qm::report
