#include "app/statistics_graph.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <array>

namespace {

// The intervals offered, 1 ms to 10 s.
constexpr std::array<uint64_t, 13> kIntervalsNs = {
    1'000'000,     2'000'000,     5'000'000,     10'000'000,  20'000'000,
    50'000'000,    100'000'000,   200'000'000,   500'000'000, 1'000'000'000,
    2'000'000'000, 5'000'000'000, 10'000'000'000};

QString IntervalText(uint64_t ns) {
    return ns < 1'000'000'000 || ns % 1'000'000'000 != 0
               ? QStringLiteral("%1 ms").arg(ns / 1'000'000)
               : QStringLiteral("%1 s").arg(ns / 1'000'000'000);
}

// Zooms the time axis about the pointer with the wheel; a drag zooms into a rectangle.
class ZoomingChartView : public QChartView {
  public:
    using QChartView::QChartView;

  protected:
    void wheelEvent(QWheelEvent* event) override {
        const qreal factor = event->angleDelta().y() > 0 ? 1.25 : 0.8;
        QRectF area = chart()->plotArea();
        const qreal pointer = event->position().x();
        const qreal width = area.width() / factor;
        area.setLeft(pointer - (pointer - area.left()) / factor);
        area.setWidth(width);
        chart()->zoomIn(area);
        event->accept();
    }
};

}  // namespace

StatisticsGraph::StatisticsGraph(QWidget* parent) : QWidget(parent) {
    m_interval = new QComboBox(this);
    for (const uint64_t ns : kIntervalsNs)
        m_interval->addItem(IntervalText(ns), QVariant::fromValue<qulonglong>(ns));
    m_unit = new QComboBox(this);
    m_unit->addItems({tr("Packets"), tr("Bytes")});

    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_all = new QLineSeries(m_chart);
    m_all->setName(tr("All packets"));
    m_shown = new QLineSeries(m_chart);
    m_shown->setName(tr("Packets shown"));
    m_chart->addSeries(m_all);
    m_chart->addSeries(m_shown);
    m_x = new QValueAxis(m_chart);
    m_x->setTitleText(tr("Time (s)"));
    m_y = new QValueAxis(m_chart);
    m_chart->addAxis(m_x, Qt::AlignBottom);
    m_chart->addAxis(m_y, Qt::AlignLeft);
    for (QLineSeries* s : {m_all, m_shown}) {
        s->attachAxis(m_x);
        s->attachAxis(m_y);
        s->setPointsVisible(false);
        connect(s, &QLineSeries::clicked, this, [this](const QPointF& point) {
            const double interval = static_cast<double>(m_nIntervalNs);
            const int64_t bin = static_cast<int64_t>(point.x() * 1e9 / interval + 0.5);
            emit intervalClicked(std::max<int64_t>(0, bin) * static_cast<int64_t>(m_nIntervalNs));
        });
    }
    m_view = new ZoomingChartView(m_chart, this);
    m_view->setRubberBand(QChartView::RectangleRubberBand);
    m_view->setRenderHint(QPainter::Antialiasing);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("Interval:"), this));
    controls->addWidget(m_interval);
    controls->addWidget(new QLabel(tr("Count:"), this));
    controls->addWidget(m_unit);
    controls->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_view, 1);

    connect(m_interval, &QComboBox::activated, this, [this] {
        m_bAuto = false;
        Redraw();
    });
    connect(m_unit, &QComboBox::currentIndexChanged, this, [this] { Redraw(); });
}

void StatisticsGraph::SetSeries(const IoSeries& all, const IoSeries* shown) {
    m_nBaseNs = all.BaseNs();
    m_allBins = all.Bins();
    m_bHasShown = shown != nullptr;
    m_shownBins = shown != nullptr ? shown->Bins() : std::vector<IoBin>{};
    m_nSpanNs = m_allBins.size() * m_nBaseNs;
    if (m_bAuto) {
        // The first interval giving at most 1,000 points (about 100 or more on a long capture).
        size_t choice = kIntervalsNs.size() - 1;
        for (size_t i = 0; i < kIntervalsNs.size(); ++i) {
            if (m_nSpanNs / kIntervalsNs[i] <= 1000) {
                choice = i;
                break;
            }
        }
        m_interval->setCurrentIndex(static_cast<int>(choice));
    }
    Redraw();
}

void StatisticsGraph::Redraw() {
    const uint64_t chosen = m_interval->currentData().toULongLong();
    const size_t factor = std::max<uint64_t>(1, (chosen + m_nBaseNs / 2) / m_nBaseNs);
    m_nIntervalNs = factor * m_nBaseNs;
    const bool bytes = m_unit->currentIndex() == 1;
    double top = 1;
    const auto points = [&](const std::vector<IoBin>& base) {
        QList<QPointF> out;
        std::vector<IoBin> bins((base.size() + factor - 1) / factor);
        for (size_t i = 0; i < base.size(); ++i) {
            bins[i / factor].packets += base[i].packets;
            bins[i / factor].bytes += base[i].bytes;
        }
        out.reserve(static_cast<qsizetype>(bins.size()));
        for (size_t i = 0; i < bins.size(); ++i) {
            const double y = static_cast<double>(bytes ? bins[i].bytes : bins[i].packets);
            top = std::max(top, y);
            out.append({static_cast<double>(i * m_nIntervalNs) / 1e9, y});
        }
        return out;
    };
    m_all->replace(points(m_allBins));
    m_shown->replace(points(m_shownBins));
    m_shown->setVisible(m_bHasShown);
    m_y->setTitleText(bytes ? tr("Bytes per %1").arg(IntervalText(m_nIntervalNs))
                            : tr("Packets per %1").arg(IntervalText(m_nIntervalNs)));
    if (!m_chart->isZoomed()) {
        m_x->setRange(0, std::max(1e-3, static_cast<double>(m_nSpanNs) / 1e9));
        m_y->setRange(0, top * 1.05);
    }
}
