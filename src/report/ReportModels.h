#pragma once

// The report window's two tables as item models: the rights grid (one row per protected field,
// the field's columns, then one column per user) with its filter by field and by user, and the
// hazards of the settings check. Sorting goes by kSortRole: numbers for numbers, the right's code
// for a right.

#include "report/SettingsCheck.h"

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <vector>

namespace qm::report {

inline constexpr int kSortRole = Qt::UserRole;

class RightsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kFixedColumns =
        6; // Field, Field ID, Rights from, Allow editing, Only from Drop-down, Drop-down entries

    explicit RightsModel(const RightsReport& report, QObject* parent = nullptr);
    const RightsReport& report() const { return m_report; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const RightsReport& m_report;
    QStringList m_fixed;
};

// The rows whose field ("Label (ID)") and the user columns whose user ("Name ID") hold the filter
// texts, letter case aside; the field's own columns always stay.
class RightsFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit RightsFilter(QObject* parent = nullptr);
    void setFilters(const QString& field, const QString& user);
    bool fieldShown(int row) const;
    bool userShown(int user) const;
    // What is shown, in the order shown: source rows, and users.
    std::vector<int> shownRows() const;
    std::vector<int> shownUsers() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex& sourceParent) const override;

private:
    const RightsReport& report() const;
    QString m_field;
    QString m_user;
};

class HazardModel : public QAbstractTableModel {
    Q_OBJECT
public:
    HazardModel(const std::vector<Hazard>& hazards, QObject* parent = nullptr);
    const Hazard& hazard(int row) const { return m_hazards[std::size_t(row)]; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    const std::vector<Hazard>& m_hazards;
};

} // namespace qm::report
