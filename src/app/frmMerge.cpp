#include "app/frmMerge.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qm {

namespace {
const QString kMine = QStringLiteral("This window's");
const QString kTheirs = QStringLiteral("The other's");
} // namespace

frmMerge::frmMerge(const QString& text, const std::vector<MergeConflict>& conflicts, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("frmMerge"));
    setWindowTitle(QStringLiteral("Changed Here and Elsewhere"));
    auto* lblText = new QLabel(text, this);
    lblText->setObjectName(QStringLiteral("lblText"));
    lblText->setWordWrap(true);
    lvwConflicts = new QTableWidget(int(conflicts.size()), 4, this);
    lvwConflicts->setObjectName(QStringLiteral("lvwConflicts"));
    lvwConflicts->setHorizontalHeaderLabels({QStringLiteral("User or setting"),
                                             QStringLiteral("Other administrator"),
                                             QStringLiteral("This window"), QStringLiteral("Keep")});
    lvwConflicts->verticalHeader()->hide();
    lvwConflicts->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwConflicts->setSelectionMode(QAbstractItemView::NoSelection);
    for (int row = 0; row < int(conflicts.size()); ++row) {
        const MergeConflict& conflict = conflicts[std::size_t(row)];
        lvwConflicts->setItem(row, 0, new QTableWidgetItem(conflict.what));
        lvwConflicts->setItem(row, 1, new QTableWidgetItem(conflict.theirs));
        lvwConflicts->setItem(row, 2, new QTableWidgetItem(conflict.mine));
        auto* keep = new QComboBox(lvwConflicts);
        keep->setObjectName(QStringLiteral("cboKeep_%1").arg(row));
        keep->addItems({kMine, kTheirs});
        lvwConflicts->setCellWidget(row, 3, keep);
        m_keep.push_back(keep);
    }
    lvwConflicts->resizeColumnsToContents();
    lvwConflicts->horizontalHeader()->setStretchLastSection(true);

    cmdKeepMine = new QPushButton(QStringLiteral("Keep &All Mine"), this);
    cmdKeepMine->setObjectName(QStringLiteral("cmdKeepMine"));
    cmdTakeTheirs = new QPushButton(QStringLiteral("Take All the &Other's"), this);
    cmdTakeTheirs->setObjectName(QStringLiteral("cmdTakeTheirs"));
    cmdSave = new QPushButton(QStringLiteral("&Save"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));
    cmdSave->setDefault(true);
    cmdBack = new QPushButton(QStringLiteral("&Go Back"), this);
    cmdBack->setObjectName(QStringLiteral("cmdBack"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdKeepMine);
    buttons->addWidget(cmdTakeTheirs);
    buttons->addStretch();
    buttons->addWidget(cmdSave);
    buttons->addWidget(cmdBack);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblText);
    layout->addWidget(lvwConflicts, 1);
    layout->addLayout(buttons);
    resize(560, 300);

    connect(cmdKeepMine, &QPushButton::clicked, this, &frmMerge::cmdKeepMine_Click);
    connect(cmdTakeTheirs, &QPushButton::clicked, this, &frmMerge::cmdTakeTheirs_Click);
    connect(cmdSave, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdBack, &QPushButton::clicked, this, &QDialog::reject);
}

std::vector<bool> frmMerge::choices() const {
    std::vector<bool> keep;
    for (const QComboBox* box : m_keep) {
        keep.push_back(box->currentIndex() == 0);
    }
    return keep;
}

void frmMerge::cmdKeepMine_Click() {
    for (QComboBox* box : m_keep) {
        box->setCurrentIndex(0);
    }
}

void frmMerge::cmdTakeTheirs_Click() {
    for (QComboBox* box : m_keep) {
        box->setCurrentIndex(1);
    }
}

std::optional<std::vector<bool>> MergeWindowChooser::choose(QObject* owner, const QString& text,
                                                            const std::vector<MergeConflict>& conflicts) {
    frmMerge window(text, conflicts, qobject_cast<QWidget*>(owner));
    if (window.exec() != QDialog::Accepted) {
        return std::nullopt; // Go Back, Escape, the close box, or ACT! closing the tool
    }
    return window.choices();
}

} // namespace qm
