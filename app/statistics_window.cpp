#include "app/statistics_window.h"

#include <QChartView>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTabWidget>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/packet_list_model.h"
#include "app/statistics_graph.h"
#include "app/statistics_table_model.h"

namespace {

// The window shows its counts at most this often.
constexpr qint64 kShowEveryMs = 250;
// Rows counted per tick: a flood is caught up over several ticks, each short.
constexpr size_t kRowsPerTick = 15'000;

QString WallClock(const FrameTime& time) {
    const QDateTime when = QDateTime::fromSecsSinceEpoch(time.seconds);
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
           QStringLiteral(".%1").arg(time.nanoseconds / 1000, 6, 10, QLatin1Char('0'));
}

QString Rate(double bitsPerSecond) {
    if (bitsPerSecond >= 1e6)
        return QStringLiteral("%1 Mbit/s").arg(bitsPerSecond / 1e6, 0, 'f', 2);
    if (bitsPerSecond >= 1e3)
        return QStringLiteral("%1 kbit/s").arg(bitsPerSecond / 1e3, 0, 'f', 2);
    return QStringLiteral("%1 bit/s").arg(bitsPerSecond, 0, 'f', 0);
}

}  // namespace

StatisticsWindow::StatisticsWindow(PacketStore& store, PacketListModel& model, Hooks hooks,
                                   QWidget* parent)
    : QDialog(parent), m_store(store), m_model(model), m_hooks(std::move(hooks)) {
    setWindowTitle(tr("Statistics"));
    setModal(false);
    setSizeGripEnabled(true);
    setWindowFlag(Qt::WindowMaximizeButtonHint);

    m_summary = new QLabel(this);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setWordWrap(true);
    m_shownOnly = new QCheckBox(tr("Only the rows shown (display filter)"), this);
    m_shownOnly->setChecked(true);

    m_tabs = new QTabWidget(this);
    m_graph = new StatisticsGraph(this);
    m_tabs->addTab(m_graph, tr("I/O graph"));
    m_hierarchy = new QTreeWidget(this);
    m_hierarchy->setHeaderLabels(
        {tr("Protocol"), tr("Packets"), tr("Packets %"), tr("Bytes"), tr("Bytes %")});
    m_hierarchy->setUniformRowHeights(true);
    m_tabs->addTab(m_hierarchy, tr("Protocol hierarchy"));
    m_conversationTabs = new QTabWidget(this);
    m_endpointTabs = new QTabWidget(this);
    for (const bool conversations : {true, false}) {
        for (int k = 0; k < kConversationKinds; ++k) {
            const auto kind = static_cast<ConversationKind>(k);
            auto* tableModel = new StatisticsTableModel(this);
            auto* proxy = new QSortFilterProxyModel(this);
            proxy->setSourceModel(tableModel);
            proxy->setSortRole(StatisticsTableModel::kSortRole);
            auto* view = new QTableView(this);
            view->setModel(proxy);
            view->setSortingEnabled(true);
            view->sortByColumn(-1, Qt::AscendingOrder);
            view->setSelectionBehavior(QAbstractItemView::SelectRows);
            view->setEditTriggers(QAbstractItemView::NoEditTriggers);
            view->verticalHeader()->hide();
            view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
            (conversations ? m_conversationTabs : m_endpointTabs)
                ->addTab(view, QString::fromLatin1(ConversationKindName(kind)));
            m_tables.push_back({tableModel, view, kind, conversations});
            if (!conversations) continue;
            connect(view, &QTableView::doubleClicked, this,
                    [this, proxy, kind](const QModelIndex& i) {
                        const auto& list = Current().Conversations(kind);
                        const int row = proxy->mapToSource(i).row();
                        if (row < 0 || static_cast<size_t>(row) >= list.size()) return;
                        if (m_hooks.setDisplayFilter)
                            m_hooks.setDisplayFilter(ConversationExpression(kind, list[row]));
                    });
        }
    }
    m_tabs->addTab(m_conversationTabs, tr("Conversations"));
    m_tabs->addTab(m_endpointTabs, tr("Endpoints"));

    auto* exportTable = new QPushButton(tr("Export table as CSV…"), this);
    auto* exportGraph = new QPushButton(tr("Export graph as PNG…"), this);
    auto* close = new QPushButton(tr("Close"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_shownOnly);
    buttons->addStretch();
    buttons->addWidget(exportTable);
    buttons->addWidget(exportGraph);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(buttons);
    resize(900, 600);

    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(exportTable, &QPushButton::clicked, this, &StatisticsWindow::ExportTable);
    connect(exportGraph, &QPushButton::clicked, this, &StatisticsWindow::ExportGraph);
    connect(m_shownOnly, &QCheckBox::toggled, this, &StatisticsWindow::Show);
    for (QTabWidget* tabs : {m_tabs, m_conversationTabs, m_endpointTabs})
        connect(tabs, &QTabWidget::currentChanged, this, &StatisticsWindow::Show);
    connect(&m_model, &PacketListModel::refreshed, this, &StatisticsWindow::Refresh);
    connect(m_graph, &StatisticsGraph::intervalClicked, this, [this](int64_t startNs) {
        const auto index = m_follower.FirstAt(m_store, startNs, m_follower.Filtered());
        if (index && m_hooks.selectPacket) m_hooks.selectPacket(*index);
    });
    Refresh();
    Show();
}

const TrafficStats& StatisticsWindow::Current() const {
    return m_shownOnly->isChecked() ? m_follower.Shown() : m_follower.All();
}

void StatisticsWindow::Refresh() {
    // The same expression compiled again for a capture of another link type
    // is another program.
    const DisplayFilter& shown = m_model.Filter();
    if (m_follower.FilterExpression() != shown.Expression() ||
        m_follower.FilterLinkType() != shown.LinkType())
        m_follower.SetFilter(shown);
    m_bPending = m_follower.Follow(m_store, kRowsPerTick) || m_bPending;
    if (!isVisible() || !m_bPending) return;
    if (m_sinceShown.isValid() && m_sinceShown.elapsed() < kShowEveryMs) return;
    Show();
}

void StatisticsWindow::Show() {
    m_bPending = false;
    m_sinceShown.start();
    TrafficStats const& stats = Current();
    const StatsSummary& s = stats.Summary();
    const double duration = s.DurationSeconds();
    const uint64_t drops = m_hooks.drops ? m_hooks.drops() : 0;
    m_summary->setText(s.packets == 0
                           ? tr("No packets")
                           : tr("First %1   Last %2   Duration %3 s   %4 packets   %5 bytes   "
                                "%6 packets/s   %7   %8 dropped")
                                 .arg(WallClock(s.first), WallClock(s.last))
                                 .arg(duration, 0, 'f', 6)
                                 .arg(s.packets)
                                 .arg(s.bytes)
                                 .arg(duration > 0 ? s.packets / duration : 0, 0, 'f', 1)
                                 .arg(Rate(duration > 0 ? s.bytes * 8.0 / duration : 0))
                                 .arg(drops));

    QWidget* tab = m_tabs->currentWidget();
    if (tab == m_graph) {
        m_graph->SetSeries(m_follower.All().Io(),
                           m_follower.Filtered() ? &m_follower.Shown().Io() : nullptr);
    } else if (tab == m_hierarchy) {
        m_hierarchy->clear();
        const auto& nodes = stats.Hierarchy();
        const auto percent = [](uint64_t part, uint64_t whole) {
            return QString::number(whole == 0 ? 0.0 : 100.0 * part / whole, 'f', 2);
        };
        std::vector<std::pair<size_t, QTreeWidgetItem*>> stack{{0, nullptr}};
        while (!stack.empty()) {
            const auto [index, parent] = stack.back();
            stack.pop_back();
            for (auto it = nodes[index].children.rbegin(); it != nodes[index].children.rend();
                 ++it) {
                const HierarchyNode& n = nodes[*it];
                const QStringList cells = {QString::fromLatin1(n.name), QString::number(n.packets),
                                           percent(n.packets, nodes[0].packets),
                                           QString::number(n.bytes),
                                           percent(n.bytes, nodes[0].bytes)};
                auto* item = parent ? new QTreeWidgetItem(parent, cells)
                                    : new QTreeWidgetItem(m_hierarchy, cells);
                for (int c = 1; c < 5; ++c)
                    item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
                stack.emplace_back(*it, item);
            }
        }
        m_hierarchy->sortItems(1, Qt::DescendingOrder);
        m_hierarchy->expandAll();
        m_hierarchy->resizeColumnToContents(0);
    } else {
        QTabWidget* sub = tab == m_conversationTabs ? m_conversationTabs : m_endpointTabs;
        for (Table& t : m_tables) {
            if (t.view != sub->currentWidget()) continue;
            t.model->SetTable(t.conversations ? stats.ConversationTable(t.kind)
                                              : stats.EndpointTable(t.kind));
        }
    }
}

void StatisticsWindow::ExportTable() {
    StatsTable table;
    QWidget* tab = m_tabs->currentWidget();
    if (tab == m_hierarchy || tab == m_graph) {
        table = Current().HierarchyTable();
    } else {
        QTabWidget* sub = tab == m_conversationTabs ? m_conversationTabs : m_endpointTabs;
        for (const Table& t : m_tables)
            if (t.view == sub->currentWidget()) table = t.model->Table();
    }
    QString name =
        QString::fromStdString(table.name).toLower().replace(QLatin1Char(' '), QLatin1Char('-'));
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export table"), name + QStringLiteral(".csv"), tr("CSV files (*.csv)"));
    if (path.isEmpty()) return;
    QFile file(path);
    const std::string text = CsvText(table);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()))
        m_summary->setText(tr("Could not write %1").arg(path));
}

void StatisticsWindow::ExportGraph() {
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export graph"), QStringLiteral("io-graph.png"), tr("PNG images (*.png)"));
    if (path.isEmpty()) return;
    if (!m_graph->View()->grab().save(path, "PNG"))
        m_summary->setText(tr("Could not write %1").arg(path));
}
