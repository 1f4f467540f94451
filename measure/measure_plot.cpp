#include "measure_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "measure_canvas.h"
#include "measure_ticks.h"

namespace {

constexpr Colour kGyroColour = {0.0, 0.35, 0.8};
constexpr Colour kAccelColours[3] = {{0.8, 0.1, 0.1}, {0.1, 0.6, 0.1}, {0.55, 0.3, 0.0}};
constexpr Colour kInk = {0.0, 0.0, 0.0};
constexpr Colour kPaper = {1.0, 1.0, 1.0};
constexpr Colour kGrid = {0.85, 0.85, 0.85};
constexpr Colour kBand = {0.84, 0.9, 1.0};  // one standard deviation about the mean
constexpr Colour kMean = {0.0, 0.2, 0.5};
constexpr Colour kLimit = {0.85, 0.0, 0.0}; // the --max-bias limits
constexpr double kTraceWidth = 2.0;
constexpr int kMostTicks = 8; // labels per axis at the most

// The values a panel's axis spans.
struct Range {
    double lo, hi;
};

// The span of values with a tenth of their spread, at least one count, each side.
Range Padded(double min, double max) {
    const double pad = std::max(1.0, (max - min) * 0.1);
    return {min - pad, max + pad};
}

double XOf(const PlotPanel& p, double ms, double lastMs) {
    return p.left + (p.right - p.left) * (lastMs > 0 ? ms / lastMs : 0.0);
}

double YOf(const PlotPanel& p, const Range& r, double value) {
    return p.bottom - (p.bottom - p.top) * (value - r.lo) / (r.hi - r.lo);
}

// Text with its left end (align 0), centre (0.5) or right end (1) at x.
void Text(Canvas* canvas, double x, double y, const std::string& text, double align,
          Colour colour = kInk) {
    WriteText(canvas, x - TextWidth(canvas, text) * align, y, text, colour);
}

// The panel's frame, grid, value labels, time labels and axis titles; the labels
// stand at round values.
void DrawAxes(Canvas* canvas, const PlotPanel& p, const Range& r, double lastMs,
              const char* valueTitle) {
    const Ticks values = RoundTicks(r.lo, r.hi, kMostTicks);
    for (double value : values.values) {
        const double y = YOf(p, r, value);
        DrawLine(canvas, {{p.left, y}, {p.right, y}}, 1.0, kGrid);
        Text(canvas, p.left - 6, y + 4, TickLabel(value, values.step), 1.0);
    }
    const Ticks seconds = RoundTicks(0.0, lastMs / 1000.0, kMostTicks);
    for (double second : seconds.values) {
        const double x = XOf(p, second * 1000.0, lastMs);
        DrawLine(canvas, {{x, p.top}, {x, p.bottom}}, 1.0, kGrid);
        Text(canvas, x, p.bottom + 16, TickLabel(second, seconds.step), 0.5);
    }
    DrawLine(canvas,
             {{p.left, p.top}, {p.right, p.top}, {p.right, p.bottom}, {p.left, p.bottom},
              {p.left, p.top}},
             1.0, kInk);
    Text(canvas, (p.left + p.right) / 2, p.bottom + 32, "time (s)", 0.5);
    Text(canvas, p.left, p.top - 10, valueTitle, 0.0);
}

// One trace through the samples that have a value; value gives it, or false.
template <typename ValueOf>
void DrawTrace(Canvas* canvas, const PlotPanel& p, const Range& r, double lastMs,
               const std::vector<MeasureSample>& samples, Colour colour, ValueOf value) {
    std::vector<Point> points;
    for (const MeasureSample& s : samples) {
        double v = 0.0;
        if (value(s, v)) {
            points.push_back({XOf(p, static_cast<double>(s.ms), lastMs), YOf(p, r, v)});
        }
    }
    if (points.size() == 1) {
        points.push_back(points.front());
    }
    if (!points.empty()) {
        DrawLine(canvas, points, kTraceWidth, colour);
    }
}

// The band of one standard deviation about the gyro's mean, under its trace.
void DrawBand(Canvas* canvas, const Range& range, const MeasureSummary& summary) {
    const PlotPanel& p = kGyroPanel;
    if (summary.gyro.count == 0) {
        return;
    }
    const double top = YOf(p, range, summary.gyro.mean + summary.gyro.StdDev());
    const double bottom = YOf(p, range, summary.gyro.mean - summary.gyro.StdDev());
    FillRectangle(canvas, p.left, top, p.right - p.left, bottom - top, kBand);
}

// A labelled line across the gyro's panel at value: the whole pixel row it falls
// on, dashed (6 pixels drawn, 4 left out) or not.
void Mark(Canvas* canvas, const Range& range, double value, const char* label, Colour colour,
          bool dashed) {
    const PlotPanel& p = kGyroPanel;
    const double row = std::floor(YOf(p, range, value));
    for (double x = p.left; x < p.right; x += dashed ? 10.0 : p.right - p.left) {
        FillRectangle(canvas, x, row, std::min(dashed ? 6.0 : p.right - x, p.right - x), 1.0, colour);
    }
    const double width = TextWidth(canvas, label);
    const double left = p.right - 6 - width;
    FillRectangle(canvas, left - 2, row - 15, width + 4, 13, kPaper);
    Text(canvas, left, row - 5, label, 0.0, colour);
}

// Over the gyro's trace: its mean, dashed, and the --max-bias limits either side of 0.
void DrawVerdict(Canvas* canvas, const Range& range, const MeasureSummary& summary,
                 const MeasureThresholds& thresholds) {
    if (summary.gyro.count > 0) {
        Mark(canvas, range, summary.gyro.mean, "mean", kMean, true);
    }
    if (thresholds.maxBias) {
        Mark(canvas, range, *thresholds.maxBias, "bias limit", kLimit, false);
        Mark(canvas, range, -*thresholds.maxBias, "bias limit", kLimit, false);
    }
}

// The gyro panel: its range spans the readings that came, the band of one standard
// deviation and the bias limits.
void DrawGyro(Canvas* canvas, const std::vector<MeasureSample>& samples, double lastMs,
              const MeasureSummary& summary, const MeasureThresholds& thresholds) {
    RunningStats stats;
    for (const MeasureSample& s : samples) {
        if (s.IsReading()) {
            stats.Add(s.gyro);
        }
    }
    double lo = stats.count ? stats.min : 0.0;
    double hi = stats.count ? stats.max : 0.0;
    if (summary.gyro.count > 0) {
        lo = std::min(lo, summary.gyro.mean - summary.gyro.StdDev());
        hi = std::max(hi, summary.gyro.mean + summary.gyro.StdDev());
    }
    if (thresholds.maxBias) {
        lo = std::min(lo, -*thresholds.maxBias);
        hi = std::max(hi, *thresholds.maxBias);
    }
    const Range range = Padded(lo, hi);
    DrawAxes(canvas, kGyroPanel, range, lastMs, "gyro reading (counts)");
    DrawBand(canvas, range, summary);
    DrawTrace(canvas, kGyroPanel, range, lastMs, samples, kGyroColour,
              [](const MeasureSample& s, double& v) {
                  v = s.gyro;
                  return s.IsReading();
              });
    DrawVerdict(canvas, range, summary, thresholds);
}

// The acceleration panel: one range for the three axes, and a key.
void DrawAccelerations(Canvas* canvas, const std::vector<MeasureSample>& samples, double lastMs) {
    RunningStats stats;
    for (const MeasureSample& s : samples) {
        for (uint8_t a : s.accel) {
            stats.Add(a);
        }
    }
    const Range range = Padded(stats.count ? stats.min : 0.0, stats.count ? stats.max : 0.0);
    DrawAxes(canvas, kAccelPanel, range, lastMs, "acceleration (raw counts)");
    const char* const names[3] = {"x", "y", "z"};
    for (int axis = 0; axis < 3; ++axis) {
        DrawTrace(canvas, kAccelPanel, range, lastMs, samples, kAccelColours[axis],
                  [axis](const MeasureSample& s, double& v) {
                      v = s.accel[axis];
                      return true;
                  });
        Text(canvas, kAccelPanel.right - 60 + 20 * axis, kAccelPanel.top - 10, names[axis], 0.0,
             kAccelColours[axis]);
    }
}

// The title: the summary's key numbers and, with thresholds, the verdict.
void DrawTitle(Canvas* canvas, const MeasureSummary& s, const MeasureThresholds& thresholds) {
    char title[200];
    std::snprintf(title, sizeof title,
                  "gyro mean %.2f, std dev %.2f   %.1f readings/s   %llu refused   %llu missed",
                  s.gyro.mean, s.gyro.StdDev(), s.Rate(),
                  static_cast<unsigned long long>(s.refusals),
                  static_cast<unsigned long long>(s.missed));
    std::string line = title;
    if (HasThresholds(thresholds)) {
        line += MissedThresholds(s, thresholds).empty() ? "   PASS" : "   FAIL";
    }
    Text(canvas, kPlotWidth / 2.0, 16, line, 0.5);
}

} // namespace

bool WritePlot(const std::string& path, const std::vector<MeasureSample>& samples,
               const MeasureSummary& summary, const MeasureThresholds& thresholds,
               std::string& error) {
    Canvas* canvas = OpenCanvas(kPlotWidth, kPlotHeight);
    const bool written = canvas != nullptr && [&] {
        const double lastMs = samples.empty() ? 0.0 : static_cast<double>(samples.back().ms);
        DrawTitle(canvas, summary, thresholds);
        DrawGyro(canvas, samples, lastMs, summary, thresholds);
        DrawAccelerations(canvas, samples, lastMs);
        return SaveCanvas(canvas, path);
    }();
    if (!written) {
        error = "cannot write the plot '" + path + "'";
    }
    return written;
}
