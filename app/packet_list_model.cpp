#include "app/packet_list_model.h"

#include <QPointer>
#include <algorithm>
#include <limits>

PacketListModel::PacketListModel(PacketStore& store, QObject* parent)
    : QAbstractTableModel(parent),
      m_store(store),
      m_generation(store.Generation()),
      m_worker(std::make_unique<ViewWorker>()) {
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &PacketListModel::Refresh);
    m_timer.start();
}

// The worker goes first: no job outlives the model it reports to.
PacketListModel::~PacketListModel() {
    m_worker.reset();
}

int PacketListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    const size_t rows = m_rows ? m_rows->size() : m_nSeen;
    return static_cast<int>(std::min<size_t>(rows, std::numeric_limits<int>::max()));
}

int PacketListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : COL_COUNT;
}

size_t PacketListModel::StoreIndex(int row) const {
    return m_rows ? (*m_rows)[static_cast<size_t>(row)] : static_cast<size_t>(row);
}

std::optional<StoredPacket> PacketListModel::Packet(int row) const {
    if (row < 0 || row >= rowCount()) return std::nullopt;
    return m_store.At(StoreIndex(row), m_generation);
}

int PacketListModel::RowOf(size_t index) const {
    if (!m_rows) return index < m_nSeen ? static_cast<int>(index) : -1;
    if (m_order.CaptureOrder()) {
        const auto at = std::lower_bound(m_rows->begin(), m_rows->end(), index);
        return at != m_rows->end() && *at == index ? static_cast<int>(at - m_rows->begin()) : -1;
    }
    const auto at = std::find(m_rows->begin(), m_rows->end(), index);
    return at != m_rows->end() ? static_cast<int>(at - m_rows->begin()) : -1;
}

ShownRows PacketListModel::Shown() const {
    return {m_rows, m_rows ? m_rows->size() : m_nSeen};
}

std::vector<StoredPacket> PacketListModel::ShownPackets(std::vector<size_t>* indices) const {
    std::vector<size_t> order;
    order.reserve(static_cast<size_t>(rowCount()));
    for (int row = 0; row < rowCount(); ++row) order.push_back(StoreIndex(row));
    if (!m_order.CaptureOrder()) std::sort(order.begin(), order.end());
    std::vector<StoredPacket> packets;
    packets.reserve(order.size());
    std::scoped_lock lock(m_store.m_listLock);
    if (m_store.GenerationLocked() != m_generation) return {};
    for (const size_t index : order) {
        if (index < m_store.CountLocked()) packets.push_back(m_store.AtLocked(index));
    }
    if (indices != nullptr) *indices = std::move(order);
    return packets;
}

QVariant PacketListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    if (index.row() != m_cachedRow) {
        const size_t entry = StoreIndex(index.row());
        const std::optional<StoredPacket> packet = m_store.At(entry, m_generation);
        if (!packet) return {};
        BuildRow(*packet, entry, m_cached);
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
    m_worker->CancelAll();
    ++m_nSerial;
    m_store.ClearPackets();
    m_generation = m_store.Generation();
    StartOver();
    endResetModel();
}

void PacketListModel::StartOver() {
    m_nSeen = 0;
    m_rows = Identity() ? nullptr : std::make_shared<RowIndices>();
    m_keys.reset();
    m_bPending = m_bRebuilding = false;
    m_cachedRow = -1;
}

bool PacketListModel::FollowLinkType() {
    // Read after the store's extent: a generation's link type is set before
    // its first entry, so entries seen are of this type (or of a newer
    // generation, whose jobs the generation check stops).
    const int linkType = m_store.LinkType();
    if (m_filter.Empty() || m_filter.LinkType() == linkType) return false;
    DisplayFilter filter;
    if (filter.Compile(m_filter.Expression(), linkType)) {
        m_filter = std::move(filter);
        return true;
    }
    const QString expression = QString::fromStdString(m_filter.Expression());
    const QString message = QString::fromStdString(filter.Error());
    m_filter = DisplayFilter();
    m_filter.Compile({}, linkType);
    emit filterRefused(expression, message);
    return true;
}

void PacketListModel::PostBack(std::function<void()> task) {
    QMetaObject::invokeMethod(
        this, [task = std::move(task)] { task(); }, Qt::QueuedConnection);
}

void PacketListModel::Refresh() {
    const PacketStore::Extent extent = m_store.CurrentExtent();
    if (extent.generation != m_generation) {
        // Emptied behind the model's back: start over from what the store holds.
        beginResetModel();
        m_worker->CancelAll();
        ++m_nSerial;
        m_generation = extent.generation;
        StartOver();
        endResetModel();
    }
    const size_t target = std::min<size_t>(extent.count, std::numeric_limits<int>::max());
    if (target > m_nSeen && FollowLinkType()) {
        // Whatever was tested with the program of another link type goes.
        Rebuild();
        emit refreshed();
        return;
    }
    if (Identity() && !m_bPending) {
        if (target > m_nSeen) {
            const int first = static_cast<int>(m_nSeen);
            beginInsertRows({}, first, static_cast<int>(target) - 1);
            m_nSeen = target;
            endInsertRows();
            emit rowsArrived(first, static_cast<int>(target) - 1);
        }
    } else if (!m_bPending && target > m_nSeen) {
        // New entries are tested and keyed off this thread, one batch at a time.
        m_bPending = true;
        const size_t first = m_nSeen;
        m_nSeen = target;
        // A sorted list goes to the worker too, which merges the batch into it.
        std::shared_ptr<const RowIndices> sorted;
        std::shared_ptr<const std::vector<RowKey>> keys;
        if (!m_order.CaptureOrder()) {
            sorted = m_rows ? m_rows : std::make_shared<RowIndices>();
            keys = m_keys ? m_keys : std::make_shared<std::vector<RowKey>>();
        }
        m_worker->Post([this, serial = m_nSerial, generation = m_generation, filter = m_filter,
                        order = m_order, first, target, sorted = std::move(sorted),
                        keys = std::move(keys)](const std::atomic<bool>& cancel) {
            std::optional<RowIndices> rows =
                FilterEntries(m_store, generation, filter, first, target, &cancel);
            if (!rows) return;
            OrderedRows arrived{std::move(*rows), {}};
            if (!order.CaptureOrder()) {
                std::optional<std::vector<RowKey>> arrivedKeys =
                    KeysOf(m_store, generation, arrived.rows, order.column, &cancel);
                if (!arrivedKeys) return;
                arrived.keys = std::move(*arrivedKeys);
                if (cancel.load(std::memory_order_relaxed)) return;
                arrived = MergeRows(*sorted, *keys, arrived, order);
            }
            PostBack([this, serial, arrived = std::move(arrived)]() mutable {
                OnBatch(serial, std::move(arrived));
            });
        });
    }
    emit refreshed();
}

void PacketListModel::OnBatch(uint64_t serial, OrderedRows arrived) {
    if (serial != m_nSerial) return;
    m_bPending = false;
    if (!m_order.CaptureOrder()) {
        // The whole list with the batch merged in; the same size: none joined.
        if (m_rows && arrived.rows.size() == m_rows->size()) return;
        beginResetModel();
        m_rows = std::make_shared<RowIndices>(std::move(arrived.rows));
        m_keys = std::make_shared<const std::vector<RowKey>>(std::move(arrived.keys));
        m_cachedRow = -1;
        endResetModel();
        emit viewRebuilt(true);
        return;
    }
    if (arrived.rows.empty()) return;
    // A job may still read the list it was given: change a copy then.
    if (!m_rows) m_rows = std::make_shared<RowIndices>();
    if (m_rows.use_count() > 1) m_rows = std::make_shared<RowIndices>(*m_rows);
    const int first = static_cast<int>(m_rows->size());
    const int last = first + static_cast<int>(arrived.rows.size()) - 1;
    beginInsertRows({}, first, last);
    m_rows->insert(m_rows->end(), arrived.rows.begin(), arrived.rows.end());
    endInsertRows();
    emit rowsArrived(first, last);
}

bool PacketListModel::SetDisplayFilter(const std::string& expression, std::string& error) {
    DisplayFilter filter;
    if (!filter.Compile(expression, m_store.LinkType())) {
        error = filter.Error();
        return false;
    }
    m_filter = std::move(filter);
    Rebuild();
    return true;
}

void PacketListModel::SetOrder(RowOrder order) {
    m_order = order;
    Rebuild();
}

void PacketListModel::Rebuild() {
    m_worker->CancelAll();
    const uint64_t serial = ++m_nSerial;
    const PacketStore::Extent extent = m_store.CurrentExtent();
    if (extent.generation != m_generation) {
        // Emptied meanwhile: no row of the old generation stays on show.
        beginResetModel();
        m_generation = extent.generation;
        StartOver();
        endResetModel();
    }
    const size_t count = std::min<size_t>(extent.count, std::numeric_limits<int>::max());
    if (count > 0) FollowLinkType();
    if (Identity()) {
        beginResetModel();
        m_rows.reset();
        m_keys.reset();
        m_nSeen = count;
        m_bPending = m_bRebuilding = false;
        m_cachedRow = -1;
        endResetModel();
        emit viewRebuilt(false);
        return;
    }
    m_bPending = m_bRebuilding = true;
    m_nSeen = count;
    m_worker->Post([this, serial, generation = m_generation, filter = m_filter, order = m_order,
                    count](const std::atomic<bool>& cancel) {
        std::optional<RowIndices> matching =
            FilterEntries(m_store, generation, filter, 0, count, &cancel);
        if (!matching) return;
        auto rows = std::make_shared<const RowIndices>(std::move(*matching));
        std::optional<OrderedRows> ordered =
            SortRows(m_store, generation, {rows, rows->size()}, order, &cancel);
        if (!ordered) return;
        PostBack([this, serial, ordered = std::move(*ordered)]() mutable {
            OnRebuilt(serial, std::move(ordered));
        });
    });
}

void PacketListModel::OnRebuilt(uint64_t serial, OrderedRows rows) {
    if (serial != m_nSerial) return;
    beginResetModel();
    m_rows = std::make_shared<RowIndices>(std::move(rows.rows));
    m_keys = std::make_shared<const std::vector<RowKey>>(std::move(rows.keys));
    m_bPending = m_bRebuilding = false;
    m_cachedRow = -1;
    endResetModel();
    emit viewRebuilt(false);
}
