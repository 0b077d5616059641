// The I/O graph: packets or bytes per interval over the capture's time, a
// line for every row and one for the rows shown when a display filter is set.
// The wheel zooms the time axis, a drag zooms into a rectangle, a right click
// zooms back out; a click on a point asks for the first packet of its interval.
#pragma once

#include <QWidget>
#include <cstdint>
#include <vector>

#include "stats/io_series.h"

class QChart;
class QChartView;
class QComboBox;
class QLineSeries;
class QValueAxis;

class StatisticsGraph : public QWidget {
    Q_OBJECT
  public:
    explicit StatisticsGraph(QWidget* parent = nullptr);

    // `shown` is null without a display filter. Both series share their origin.
    void SetSeries(const IoSeries& all, const IoSeries* shown);
    // The interval drawn, in nanoseconds: the one chosen, made a multiple of the base.
    uint64_t IntervalNs() const { return m_nIntervalNs; }
    QChartView* View() const { return m_view; }

  signals:
    // A point was clicked: the start of its interval, from the origin.
    void intervalClicked(int64_t startNs);

  private:
    void Redraw();

    QComboBox* m_interval;
    QComboBox* m_unit;
    QChartView* m_view;
    QChart* m_chart;
    QLineSeries* m_all;
    QLineSeries* m_shown;
    QValueAxis* m_x;
    QValueAxis* m_y;
    std::vector<IoBin> m_allBins;
    std::vector<IoBin> m_shownBins;
    uint64_t m_nBaseNs = 1'000'000;
    uint64_t m_nSpanNs = 0;
    uint64_t m_nIntervalNs = 0;
    bool m_bHasShown = false;
    bool m_bAuto = true;  // the interval follows the capture's length until one is chosen
};
