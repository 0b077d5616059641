#include "app/statistics_table_model.h"

void StatisticsTableModel::SetTable(StatsTable table) {
    const int before = static_cast<int>(m_table.rows.size());
    const int after = static_cast<int>(table.rows.size());
    if (table.columns != m_table.columns) {
        beginResetModel();
        m_table = std::move(table);
        endResetModel();
        return;
    }
    // Rows are only added at the end while a capture goes on; fewer means a new one.
    if (after < before) {
        beginRemoveRows({}, after, before - 1);
        m_table.rows.resize(static_cast<size_t>(after));
        endRemoveRows();
    }
    if (after > before) beginInsertRows({}, before, after - 1);
    m_table = std::move(table);
    if (after > before) endInsertRows();
    if (std::min(before, after) > 0)
        emit dataChanged(index(0, 0), index(std::min(before, after) - 1, columnCount() - 1));
}

int StatisticsTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_table.rows.size());
}

int StatisticsTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_table.columns.size());
}

QVariant StatisticsTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const StatsCell& cell = m_table.rows[index.row()][index.column()];
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(cell.text);
        case kSortRole:
            return cell.numeric ? QVariant(cell.value)
                                : QVariant(QString::fromStdString(cell.text));
        case Qt::TextAlignmentRole:
            return cell.numeric ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        default:
            return {};
    }
}

QVariant StatisticsTableModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= columnCount())
        return {};
    return QString::fromStdString(m_table.columns[section]);
}
