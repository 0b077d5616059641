// The packet list's model: a table over the packet store. Readers only append
// to the store; the model notices new entries on a timer on the window's thread
// and inserts them in one batch per tick, so no reader ever waits for the
// window and the view is refreshed at most about 30 times a second.
//
// With a display filter or an order other than capture order, the rows are a
// list of store indices (view/), built and kept up off the window's thread:
// new entries are tested (and keyed, for a sort) in batches by the view's
// worker, and join the list in their place when the batch comes back. Rows of
// capture order are appended at the end, where the list follows the newest;
// a sorted list holds still and takes them in where they belong, merged on
// the worker too, so a million sorted rows cost the window only a reset.
//
// The store keeps the largest Time among its rows as they are appended, so the
// window sizes Time (and Num, from the row count) without measuring any row.
#pragma once

#include <QAbstractTableModel>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "intake/packet_row.h"
#include "intake/packet_store.h"
#include "view/display_filter.h"
#include "view/row_order.h"
#include "view/shown_rows.h"
#include "view/view_worker.h"

class PacketListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kRefreshMs = 33;

    explicit PacketListModel(PacketStore& store, QObject* parent = nullptr);
    ~PacketListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Empties the store and the list together. Rows of the old capture that
    // the model had not shown yet never appear.
    void ClearPackets();
    // Takes in what the store gained since the last refresh (the timer calls it).
    void Refresh();

    // The store generation the rows belong to.
    uint64_t Generation() const { return m_generation; }
    // The largest Time (milliseconds) among the entries taken in; 0 without any.
    uint64_t LargestTime() const { return m_nSeen > 0 ? m_store.LargestElapsedMs() : 0; }

    // Compiles `expression` for the store's link type and shows the rows it
    // matches; false with the filter's message, the rows as they were, when
    // it does not compile. Empty shows every row.
    bool SetDisplayFilter(const std::string& expression, std::string& error);
    const DisplayFilter& Filter() const { return m_filter; }
    void SetOrder(RowOrder order);
    RowOrder Order() const { return m_order; }
    // A filter or an order is being applied: the rows are still the old ones.
    bool Rebuilding() const { return m_bRebuilding; }

    // The store entries taken in (shown or not), and whether a display filter is set.
    size_t EntriesTaken() const { return m_nSeen; }
    bool Filtered() const { return !m_filter.Empty(); }
    // The store index of row `row`, and its entry (nothing once the store moved on).
    size_t StoreIndex(int row) const;
    std::optional<StoredPacket> Packet(int row) const;
    // The row showing store index `index`; -1 when none does.
    int RowOf(size_t index) const;
    // The rows shown, for a job over them; shares the list.
    ShownRows Shown() const;
    // The entries of the rows shown, in capture order, and their store indices.
    std::vector<StoredPacket> ShownPackets(std::vector<size_t>* indices = nullptr) const;
    ViewWorker& Worker() { return *m_worker; }

  signals:
    // Emitted after a batch of rows was inserted at the end (the list follows).
    void rowsArrived(int first, int last);
    // Emitted at the end of every refresh, with or without new rows.
    void refreshed();
    // A filter or an order was applied, or (`arrived`) a sorted list took in
    // new rows.
    void viewRebuilt(bool arrived);
    // Frames of another link type came in and the filter's expression does
    // not compile for it (`vlan` on Linux cooked v2): the filter was given up,
    // every row shows, and `message` is libpcap's.
    void filterRefused(const QString& expression, const QString& message);

  private:
    bool Identity() const { return m_filter.Empty() && m_order.CaptureOrder(); }
    // Forgets every row, for a new generation of the store.
    void StartOver();
    // Compiles the filter again when the store's frames are of another link
    // type than it was compiled for, or gives it up when it does not compile
    // for theirs; true when the filter changed.
    bool FollowLinkType();
    // Builds the rows for the present filter and order over every entry.
    void Rebuild();
    void OnRebuilt(uint64_t serial, OrderedRows rows);
    void OnBatch(uint64_t serial, OrderedRows arrived);
    // Posts `task` to the window's thread, dropped once this model is gone.
    void PostBack(std::function<void()> task);

    PacketStore& m_store;
    QTimer m_timer;
    uint64_t m_generation = 0;
    // Entries of the generation taken in: shown as rows, or tested.
    size_t m_nSeen = 0;
    DisplayFilter m_filter;
    RowOrder m_order;
    // Without a filter in capture order row i is entry i (m_nSeen rows);
    // otherwise the rows are these indices, with their keys when sorted. A
    // sorted list is replaced whole, never changed: the worker merges new
    // rows into it while the list still shows it.
    std::shared_ptr<RowIndices> m_rows;
    std::shared_ptr<const std::vector<RowKey>> m_keys;
    // A job of the worker is out: new entries wait for it.
    bool m_bPending = false;
    bool m_bRebuilding = false;
    // Tells results of the present view from those of one replaced since.
    uint64_t m_nSerial = 0;
    std::unique_ptr<ViewWorker> m_worker;
    // The last row built, as the view asks for its cells one by one.
    mutable int m_cachedRow = -1;
    mutable PacketRow m_cached;
};
