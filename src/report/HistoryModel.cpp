#include "report/HistoryModel.h"

namespace qm::report {

HistoryModel::HistoryModel(QObject* parent)
    : QAbstractTableModel(parent) {}

void HistoryModel::setHistory(const History* history) {
    beginResetModel();
    m_history = history;
    m_rows = history ? historyRows(*history, m_filter) : std::vector<int>();
    endResetModel();
}

void HistoryModel::setFilter(const HistoryFilter& filter) {
    beginResetModel();
    m_filter = filter;
    m_rows = m_history ? historyRows(*m_history, m_filter) : std::vector<int>();
    endResetModel();
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_rows.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(ColumnCount);
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole)) {
        return {};
    }
    const Record& r = record(index.row());
    switch (index.column()) {
    case When:
        return role == Qt::ToolTipRole ? utcTimeText(r.whenMs) : localTimeText(r.whenMs);
    case Login:
        return r.login;
    case ActUser:
        return r.actUser;
    case Change:
        return changeText(r);
    case Field:
        return recordFieldText(r);
    case Changes:
        return role == Qt::ToolTipRole ? changeLines(r).join(QLatin1Char('\n')) : changeSummary(r);
    default:
        return {};
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
    case When:
        return QStringLiteral("When");
    case Login:
        return QStringLiteral("Login");
    case ActUser:
        return QStringLiteral("ACT! user");
    case Change:
        return QStringLiteral("Change");
    case Field:
        return QStringLiteral("Field");
    case Changes:
        return QStringLiteral("What changed");
    default:
        return {};
    }
}

} // namespace qm::report
