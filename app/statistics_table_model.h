// A statistics table (stats/) as a Qt model: numbers sort as numbers through
// the sort role, and the table is replaced whole when the counts move on.
#pragma once

#include <QAbstractTableModel>

#include "stats/stats_table.h"

class StatisticsTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kSortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    // Keeps the rows that stay (a view keeps its selection and scroll) and
    // adds or removes the rest.
    void SetTable(StatsTable table);
    const StatsTable& Table() const { return m_table; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    StatsTable m_table;
};
