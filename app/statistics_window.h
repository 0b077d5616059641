// The Statistics window: the shape of the capture in the main list, over the
// rows shown or every row. A summary line above four tabs: the I/O graph,
// the protocol hierarchy, and the conversations and endpoints of Ethernet,
// IPv4, IPv6, TCP and UDP. It follows the capture on the list's ticks, at most
// four times a second, counting only the rows that arrived (stats/); a
// double-click on a conversation sets the display filter to it, a click on the
// graph selects the first packet of its interval. Each table exports as CSV,
// the graph as PNG.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <string>
#include <vector>

#include "stats/stats_follower.h"

class PacketListModel;
class PacketStore;
class QCheckBox;
class QLabel;
class QTabWidget;
class QTableView;
class QTreeWidget;
class StatisticsGraph;
class StatisticsTableModel;

class StatisticsWindow : public QDialog {
    Q_OBJECT
  public:
    // What the window asks of the main window.
    struct Hooks {
        std::function<void(const std::string& expression)> setDisplayFilter;
        std::function<void(size_t storeIndex)> selectPacket;
        std::function<uint64_t()> drops;
    };

    StatisticsWindow(PacketStore& store, PacketListModel& model, Hooks hooks,
                     QWidget* parent = nullptr);

    // Counts what arrived and shows it; the list's ticks call it.
    void Refresh();
    const StatsFollower& Counts() const { return m_follower; }
    QTabWidget* Tabs() const { return m_tabs; }

  private:
    struct Table {
        StatisticsTableModel* model;
        QTableView* view;
        ConversationKind kind;
        bool conversations;
    };
    void Show();
    const TrafficStats& Current() const;
    void ExportTable();
    void ExportGraph();

    PacketStore& m_store;
    PacketListModel& m_model;
    Hooks m_hooks;
    StatsFollower m_follower;
    QElapsedTimer m_sinceShown;
    bool m_bPending = false;

    QLabel* m_summary;
    QCheckBox* m_shownOnly;
    QTabWidget* m_tabs;
    StatisticsGraph* m_graph;
    QTreeWidget* m_hierarchy;
    std::vector<Table> m_tables;
    QTabWidget* m_conversationTabs;
    QTabWidget* m_endpointTabs;
};
