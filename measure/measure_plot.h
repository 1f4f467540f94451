// The plot of a measuring run, drawn on the system's canvas (measure_canvas.h): a PNG of kPlotWidth x
// kPlotHeight with the gyro reading against time in the upper panel and the three
// accelerations in the lower one. Each panel's value axis spans the values drawn
// with a tenth of their spread (at least one count) added above and below, so a
// constant trace runs through the panel's middle; time runs from 0 at the left edge
// to the last sample at the right. The axes' labels stand at round values.
#ifndef TOBRISK_MEASURE_PLOT_H
#define TOBRISK_MEASURE_PLOT_H

#include <string>
#include <vector>

#include "measure_stats.h"

constexpr int kPlotWidth = 800;
constexpr int kPlotHeight = 600;

// Where a panel's traces are drawn, in pixels.
struct PlotPanel {
    double left, top, right, bottom;
};
constexpr PlotPanel kGyroPanel = {80, 40, 780, 270};
constexpr PlotPanel kAccelPanel = {80, 330, 780, 560};

// Writes the plot of samples to path, with the run's verdict: a title with the
// summary's key numbers (and PASS or FAIL with thresholds), and in the gyro's panel
// its mean in a band of one standard deviation and the --max-bias limits. Returns
// false with error set when the file cannot be written.
bool WritePlot(const std::string& path, const std::vector<MeasureSample>& samples,
               const MeasureSummary& summary, const MeasureThresholds& thresholds,
               std::string& error);

#endif
