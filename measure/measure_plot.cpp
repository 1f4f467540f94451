#include "measure_plot.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "measure_ticks.h"

namespace {

struct Colour {
    double r, g, b;
};
constexpr Colour kGyroColour = {0.0, 0.35, 0.8};
constexpr Colour kAccelColours[3] = {{0.8, 0.1, 0.1}, {0.1, 0.6, 0.1}, {0.55, 0.3, 0.0}};
constexpr Colour kInk = {0.0, 0.0, 0.0};
constexpr Colour kGrid = {0.85, 0.85, 0.85};
constexpr Colour kBand = {0.84, 0.9, 1.0};   // one standard deviation about the mean
constexpr Colour kMean = {0.0, 0.2, 0.5};
constexpr Colour kLimit = {0.85, 0.0, 0.0};  // the --max-bias limits
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

void SetColour(cairo_t* cr, Colour c) {
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

double XOf(const PlotPanel& p, double ms, double lastMs) {
    return p.left + (p.right - p.left) * (lastMs > 0 ? ms / lastMs : 0.0);
}

double YOf(const PlotPanel& p, const Range& r, double value) {
    return p.bottom - (p.bottom - p.top) * (value - r.lo) / (r.hi - r.lo);
}

// Text with its left end (or its right end, or centre) at x and baseline at y.
void Text(cairo_t* cr, double x, double y, const std::string& text, double align) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - extents.x_advance * align, y);
    cairo_show_text(cr, text.c_str());
}

// A horizontal line across the panel at value.
void Across(cairo_t* cr, const PlotPanel& p, const Range& r, double value) {
    cairo_move_to(cr, p.left, YOf(p, r, value));
    cairo_line_to(cr, p.right, YOf(p, r, value));
}

// The panel's frame, grid, value labels, time labels and axis titles; the labels
// stand at round values.
void DrawAxes(cairo_t* cr, const PlotPanel& p, const Range& r, double lastMs,
              const char* valueTitle) {
    cairo_set_line_width(cr, 1.0);
    const Ticks values = RoundTicks(r.lo, r.hi, kMostTicks);
    for (double value : values.values) {
        SetColour(cr, kGrid);
        Across(cr, p, r, value);
        cairo_stroke(cr);
        SetColour(cr, kInk);
        Text(cr, p.left - 6, YOf(p, r, value) + 4, TickLabel(value, values.step), 1.0);
    }
    const Ticks seconds = RoundTicks(0.0, lastMs / 1000.0, kMostTicks);
    for (double second : seconds.values) {
        const double x = XOf(p, second * 1000.0, lastMs);
        SetColour(cr, kGrid);
        cairo_move_to(cr, x, p.top);
        cairo_line_to(cr, x, p.bottom);
        cairo_stroke(cr);
        SetColour(cr, kInk);
        Text(cr, x, p.bottom + 16, TickLabel(second, seconds.step), 0.5);
    }
    SetColour(cr, kInk);
    cairo_rectangle(cr, p.left, p.top, p.right - p.left, p.bottom - p.top);
    cairo_stroke(cr);
    Text(cr, (p.left + p.right) / 2, p.bottom + 32, "time (s)", 0.5);
    Text(cr, p.left, p.top - 10, valueTitle, 0.0);
}

// One trace through the samples that have a value; value gives it, or false.
template <typename ValueOf>
void DrawTrace(cairo_t* cr, const PlotPanel& p, const Range& r, double lastMs,
               const std::vector<MeasureSample>& samples, Colour colour, ValueOf value) {
    SetColour(cr, colour);
    cairo_set_line_width(cr, kTraceWidth);
    bool started = false;
    for (const MeasureSample& s : samples) {
        double v = 0.0;
        if (!value(s, v)) {
            continue;
        }
        const double x = XOf(p, static_cast<double>(s.ms), lastMs);
        const double y = YOf(p, r, v);
        started ? cairo_line_to(cr, x, y) : cairo_move_to(cr, x, y);
        started = true;
    }
    cairo_stroke(cr);
}

// The band of one standard deviation about the gyro's mean, under its trace.
void DrawBand(cairo_t* cr, const Range& range, const MeasureSummary& summary) {
    const PlotPanel& p = kGyroPanel;
    if (summary.gyro.count == 0) {
        return;
    }
    const double top = YOf(p, range, summary.gyro.mean + summary.gyro.StdDev());
    const double bottom = YOf(p, range, summary.gyro.mean - summary.gyro.StdDev());
    SetColour(cr, kBand);
    cairo_rectangle(cr, p.left, top, p.right - p.left, bottom - top);
    cairo_fill(cr);
}

// A labelled line across the gyro's panel at value, one pixel wide on a pixel row.
void Mark(cairo_t* cr, const Range& range, double value, const char* label) {
    const PlotPanel& p = kGyroPanel;
    const double y = std::floor(YOf(p, range, value)) + 0.5;
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, p.left, y);
    cairo_line_to(cr, p.right, y);
    cairo_stroke(cr);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, label, &extents);
    const double left = p.right - 6 - extents.x_advance;
    cairo_save(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_rectangle(cr, left - 2, y - 15, extents.x_advance + 4, 13);
    cairo_fill(cr);
    cairo_restore(cr);
    Text(cr, left, y - 5, label, 0.0);
}

// Over the gyro's trace: its mean, dashed, and the --max-bias limits either side of 0.
void DrawVerdict(cairo_t* cr, const Range& range, const MeasureSummary& summary,
                 const MeasureThresholds& thresholds) {
    if (summary.gyro.count > 0) {
        const double dash[] = {6.0, 4.0};
        cairo_set_dash(cr, dash, 2, 0.0);
        SetColour(cr, kMean);
        Mark(cr, range, summary.gyro.mean, "mean");
        cairo_set_dash(cr, nullptr, 0, 0.0);
    }
    if (thresholds.maxBias) {
        SetColour(cr, kLimit);
        Mark(cr, range, *thresholds.maxBias, "bias limit");
        Mark(cr, range, -*thresholds.maxBias, "bias limit");
    }
}

// The gyro panel: its range spans the readings that came, the band of one standard
// deviation and the bias limits.
void DrawGyro(cairo_t* cr, const std::vector<MeasureSample>& samples, double lastMs,
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
    DrawAxes(cr, kGyroPanel, range, lastMs, "gyro reading (counts)");
    DrawBand(cr, range, summary);
    DrawTrace(cr, kGyroPanel, range, lastMs, samples, kGyroColour,
              [](const MeasureSample& s, double& v) {
                  v = s.gyro;
                  return s.IsReading();
              });
    DrawVerdict(cr, range, summary, thresholds);
}

// The acceleration panel: one range for the three axes, and a key.
void DrawAccelerations(cairo_t* cr, const std::vector<MeasureSample>& samples, double lastMs) {
    RunningStats stats;
    for (const MeasureSample& s : samples) {
        for (uint8_t a : s.accel) {
            stats.Add(a);
        }
    }
    const Range range = Padded(stats.count ? stats.min : 0.0, stats.count ? stats.max : 0.0);
    DrawAxes(cr, kAccelPanel, range, lastMs, "acceleration (raw counts)");
    const char* const names[3] = {"x", "y", "z"};
    for (int axis = 0; axis < 3; ++axis) {
        DrawTrace(cr, kAccelPanel, range, lastMs, samples, kAccelColours[axis],
                  [axis](const MeasureSample& s, double& v) {
                      v = s.accel[axis];
                      return true;
                  });
        SetColour(cr, kAccelColours[axis]);
        Text(cr, kAccelPanel.right - 60 + 20 * axis, kAccelPanel.top - 10, names[axis], 0.0);
    }
}

// cairo's PNG writer's sink: the open file.
cairo_status_t WriteToFile(void* file, const unsigned char* data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<std::FILE*>(file)) == length
               ? CAIRO_STATUS_SUCCESS
               : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

// The title: the summary's key numbers and, with thresholds, the verdict.
void DrawTitle(cairo_t* cr, const MeasureSummary& s, const MeasureThresholds& thresholds) {
    char title[200];
    std::snprintf(title, sizeof title,
                  "gyro mean %.2f, std dev %.2f   %.1f readings/s   %llu refused   %llu missed",
                  s.gyro.mean, s.gyro.StdDev(), s.Rate(),
                  static_cast<unsigned long long>(s.refusals),
                  static_cast<unsigned long long>(s.missed));
    std::string line = title;
    if (thresholds.maxBias || thresholds.maxNoise || thresholds.minRate || thresholds.maxMissed) {
        line += MissedThresholds(s, thresholds).empty() ? "   PASS" : "   FAIL";
    }
    SetColour(cr, kInk);
    Text(cr, kPlotWidth / 2.0, 16, line, 0.5);
}

bool WritePlot(const std::string& path, const std::vector<MeasureSample>& samples,
               const MeasureSummary& summary, const MeasureThresholds& thresholds,
               std::string& error) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPlotWidth, kPlotHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    const double lastMs = samples.empty() ? 0.0 : static_cast<double>(samples.back().ms);
    DrawTitle(cr, summary, thresholds);
    DrawGyro(cr, samples, lastMs, summary, thresholds);
    DrawAccelerations(cr, samples, lastMs);
    cairo_destroy(cr);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file != nullptr &&
                   cairo_surface_write_to_png_stream(surface, WriteToFile, file) == CAIRO_STATUS_SUCCESS;
    written = file != nullptr && std::fclose(file) == 0 && written;
    cairo_surface_destroy(surface);
    if (!written) {
        error = "cannot write the plot '" + path + "'";
    }
    return written;
}

bool PlotSupported() {
    return true;
}
