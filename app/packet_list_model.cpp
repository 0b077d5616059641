#include "app/packet_list_model.h"

#include <algorithm>
#include <limits>

PacketListModel::PacketListModel(PacketStore& store, QObject* parent)
    : QAbstractTableModel(parent), m_store(store), m_generation(store.Generation()) {
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &PacketListModel::Refresh);
    m_timer.start();
}

int PacketListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int PacketListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : COL_COUNT;
}

QVariant PacketListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows) return {};
    if (index.row() != m_cachedRow) {
        const std::optional<StoredPacket> packet =
            m_store.At(static_cast<size_t>(index.row()), m_generation);
        if (!packet) return {};
        BuildRow(*packet, static_cast<size_t>(index.row()), m_cached);
        m_cachedRow = index.row();
    }
    const std::string_view cell = m_cached.Cell(index.column());
    return QString::fromLatin1(cell.data(), static_cast<qsizetype>(cell.size()));
}

QVariant PacketListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < COL_COUNT)
        return QString::fromLatin1(kPacketColumnHeadings[section]);
    return {};
}

void PacketListModel::ClearPackets() {
    beginResetModel();
    m_store.ClearPackets();
    m_generation = m_store.Generation();
    m_rows = 0;
    m_cachedRow = -1;
    endResetModel();
}

void PacketListModel::Refresh() {
    const PacketStore::Extent extent = m_store.CurrentExtent();
    if (extent.generation != m_generation) {
        // Emptied behind the model's back: start over from what the store holds.
        beginResetModel();
        m_generation = extent.generation;
        m_rows = 0;
        m_cachedRow = -1;
        endResetModel();
    }
    const int target =
        static_cast<int>(std::min<size_t>(extent.count, std::numeric_limits<int>::max()));
    if (target > m_rows) {
        const int first = m_rows;
        beginInsertRows({}, first, target - 1);
        m_rows = target;
        endInsertRows();
        emit rowsArrived(first, target - 1);
    }
    emit refreshed();
}
