#include "report/ReportModels.h"

#include "report/ReportCsv.h"

#include <QBrush>
#include <QColor>
#include <QFont>

namespace qm::report {

namespace {

// Full and Initialize stand out from None; the text says which it is.
QVariant rightBackground(Right right) {
    switch (right) {
    case Right::Full:
        return QBrush(QColor(0xd4, 0xed, 0xd4));
    case Right::Initialize:
        return QBrush(QColor(0xfb, 0xee, 0xc6));
    case Right::None:
        break;
    }
    return {};
}

} // namespace

RightsModel::RightsModel(const RightsReport& report, QObject* parent)
    : QAbstractTableModel(parent)
    , m_report(report)
    , m_fixed(csvFixedColumns()) {
    for (QString& name : m_fixed) { // two lines, as the users' names and IDs
        const qsizetype blank = name.lastIndexOf(QLatin1Char(' '));
        if (name.size() > 8 && blank > 0) {
            name[blank] = QLatin1Char('\n');
        }
    }
}

int RightsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_report.fields.size());
}

int RightsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kFixedColumns + int(m_report.users.size());
}

QVariant RightsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const FieldRow& row = m_report.fields[std::size_t(index.row())];
    const int column = index.column();
    if (column >= kFixedColumns) {
        const Right right = m_report.right(index.row(), column - kFixedColumns);
        switch (role) {
        case Qt::DisplayRole:
            return rights::rightName(right);
        case kSortRole:
            return int(right);
        case Qt::BackgroundRole:
            return rightBackground(right);
        case Qt::ToolTipRole:
            return QString(m_report.users[std::size_t(column - kFixedColumns)].name + QStringLiteral(": ") +
                           rights::rightName(right) + QStringLiteral(" on ") + fieldText(row.field) +
                           (row.ownSettings
                                ? QStringLiteral(", from the field's own settings")
                                : QStringLiteral(", from the global settings (shown in italics)")));
        case Qt::FontRole:
            if (!row.ownSettings) { // from the global settings
                QFont italic;
                italic.setItalic(true);
                return italic;
            }
            return {};
        default:
            return {};
        }
    }
    if (role == Qt::TextAlignmentRole && (column == 1 || column == 5)) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole && role != kSortRole) {
        return {};
    }
    switch (column) {
    case 0:
        return role == kSortRole ? QVariant(row.field.label.toCaseFolded()) : QVariant(row.field.label);
    case 1:
        return role == kSortRole ? QVariant(row.field.id) : QVariant(QString::number(row.field.id));
    case 2:
        return sourceText(row);
    case 3:
        return flagText(row, row.allowEditing);
    case 4:
        return flagText(row, row.onlyFromDropdown);
    default:
        if (!row.readable) {
            return role == kSortRole ? QVariant(-1) : QVariant(QStringLiteral("?"));
        }
        return role == kSortRole ? QVariant(row.entries) : QVariant(QString::number(row.entries));
    }
}

QVariant RightsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) {
        return {};
    }
    if (section < kFixedColumns) {
        return role == Qt::DisplayRole ? QVariant(m_fixed.at(section)) : QVariant();
    }
    const User& user = m_report.users[std::size_t(section - kFixedColumns)];
    if (role == Qt::DisplayRole) {
        return QString(user.name + QLatin1Char('\n') + user.uniqueId);
    }
    if (role == Qt::ToolTipRole) {
        return userText(user);
    }
    return {};
}

RightsFilter::RightsFilter(QObject* parent)
    : QSortFilterProxyModel(parent) {
    setSortRole(kSortRole);
}

const RightsReport& RightsFilter::report() const {
    return static_cast<const RightsModel*>(sourceModel())->report();
}

void RightsFilter::setFilters(const QString& field, const QString& user) {
    m_field = field.trimmed();
    m_user = user.trimmed();
    invalidateFilter();
}

bool RightsFilter::fieldShown(int row) const {
    return m_field.isEmpty() ||
           fieldText(report().fields[std::size_t(row)].field).contains(m_field, Qt::CaseInsensitive);
}

bool RightsFilter::userShown(int user) const {
    return m_user.isEmpty() ||
           userText(report().users[std::size_t(user)]).contains(m_user, Qt::CaseInsensitive);
}

bool RightsFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    return fieldShown(sourceRow);
}

bool RightsFilter::filterAcceptsColumn(int sourceColumn, const QModelIndex&) const {
    return sourceColumn < RightsModel::kFixedColumns || userShown(sourceColumn - RightsModel::kFixedColumns);
}

std::vector<int> RightsFilter::shownRows() const {
    std::vector<int> rows;
    rows.reserve(std::size_t(rowCount()));
    for (int r = 0; r < rowCount(); ++r) {
        rows.push_back(mapToSource(index(r, 0)).row());
    }
    return rows;
}

std::vector<int> RightsFilter::shownUsers() const {
    std::vector<int> users;
    for (int u = 0; u < int(report().users.size()); ++u) {
        if (userShown(u)) {
            users.push_back(u);
        }
    }
    return users;
}

HazardModel::HazardModel(const std::vector<Hazard>& hazards, QObject* parent)
    : QAbstractTableModel(parent)
    , m_hazards(hazards) {}

int HazardModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_hazards.size());
}

int HazardModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 5;
}

QVariant HazardModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != kSortRole && role != Qt::ToolTipRole)) {
        return {};
    }
    const Hazard& h = hazard(index.row());
    if (role == Qt::ToolTipRole) {
        return h.explanation;
    }
    switch (index.column()) {
    case 0:
        return role == kSortRole ? QVariant(int(h.kind)) : QVariant(kindText(h.kind));
    case 1:
        return h.user;
    case 2:
        return h.field;
    case 3:
        return h.key;
    default:
        return h.explanation;
    }
}

QVariant HazardModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    static const QStringList names{QStringLiteral("Hazard"), QStringLiteral("User"), QStringLiteral("Field"),
                                   QStringLiteral("Key"), QStringLiteral("What happens")};
    return names.value(section);
}

} // namespace qm::report
