// The packet list's model: a table over the packet store. Readers only append
// to the store; the model notices new entries on a timer on the window's thread
// and inserts them in one batch per tick, so no reader ever waits for the
// window and the view is refreshed at most about 30 times a second.
//
// The store keeps the largest Time among its rows as they are appended, so the
// window sizes Time (and Num, from the row count) without measuring any row.
#pragma once

#include <QAbstractTableModel>
#include <QTimer>

#include "intake/packet_row.h"
#include "intake/packet_store.h"

class PacketListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr int kRefreshMs = 33;

    explicit PacketListModel(PacketStore& store, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Empties the store and the list together. Rows of the old capture that
    // the model had not shown yet never appear.
    void ClearPackets();
    // Takes in what the store gained since the last refresh (the timer calls it).
    void Refresh();

    // The largest Time (milliseconds) among the rows, those about to be shown
    // included; 0 without rows.
    // The store generation the rows belong to: row i is entry i of it.
    uint64_t Generation() const { return m_generation; }

    uint64_t LargestTime() const { return m_rows > 0 ? m_store.LargestElapsedMs() : 0; }

  signals:
    // Emitted after a batch of rows was inserted.
    void rowsArrived(int first, int last);
    // Emitted at the end of every refresh, with or without new rows.
    void refreshed();

  private:
    PacketStore& m_store;
    QTimer m_timer;
    int m_rows = 0;
    uint64_t m_generation = 0;
    // The last row built, as the view asks for its cells one by one.
    mutable int m_cachedRow = -1;
    mutable PacketRow m_cached;
};
