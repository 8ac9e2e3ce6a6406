#pragma once

// The change log as the History view's table: one row per change, newest first, filtered.

#include "report/History.h"

#include <QAbstractTableModel>

namespace qm::report {

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { When, Login, ActUser, Change, Field, Changes, ColumnCount };

    explicit HistoryModel(QObject* parent = nullptr);

    // Shows `history` (kept by the caller), filtered.
    void setHistory(const History* history);
    void setFilter(const HistoryFilter& filter);

    const History* history() const { return m_history; }
    // The changes shown, newest first, as positions in history()->records.
    const std::vector<int>& rows() const { return m_rows; }
    const Record& record(int row) const { return m_history->record(m_rows[std::size_t(row)]); }
    // The change with the values of its keys.
    Record fullRecord(int row) const { return m_history->fullRecord(m_rows[std::size_t(row)]); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const History* m_history = nullptr;
    HistoryFilter m_filter;
    std::vector<int> m_rows;
};

} // namespace qm::report
