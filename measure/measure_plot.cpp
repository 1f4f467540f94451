#include "measure_plot.h"

#include <cairo.h>

#include <algorithm>
#include <cstdio>

namespace {

struct Colour {
    double r, g, b;
};
constexpr Colour kGyroColour = {0.0, 0.35, 0.8};
constexpr Colour kAccelColours[3] = {{0.8, 0.1, 0.1}, {0.1, 0.6, 0.1}, {0.55, 0.3, 0.0}};
constexpr Colour kInk = {0.0, 0.0, 0.0};
constexpr Colour kGrid = {0.85, 0.85, 0.85};
constexpr double kTraceWidth = 2.0;
constexpr int kTicks = 5; // value labels per axis, ends included

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

// A number for an axis label: whole when it is, else with one decimal.
std::string Label(double value) {
    char text[32];
    std::snprintf(text, sizeof text, value == static_cast<long long>(value) ? "%.0f" : "%.1f",
                  value);
    return text;
}

// The panel's frame, grid, value labels, time labels and axis titles.
void DrawAxes(cairo_t* cr, const PlotPanel& p, const Range& r, double lastMs,
              const char* valueTitle) {
    cairo_set_line_width(cr, 1.0);
    for (int i = 0; i < kTicks; ++i) {
        const double fraction = static_cast<double>(i) / (kTicks - 1);
        const double y = p.bottom - (p.bottom - p.top) * fraction;
        const double x = p.left + (p.right - p.left) * fraction;
        SetColour(cr, kGrid);
        cairo_move_to(cr, p.left, y);
        cairo_line_to(cr, p.right, y);
        cairo_move_to(cr, x, p.top);
        cairo_line_to(cr, x, p.bottom);
        cairo_stroke(cr);
        SetColour(cr, kInk);
        Text(cr, p.left - 6, y + 4, Label(r.lo + (r.hi - r.lo) * fraction), 1.0);
        Text(cr, x, p.bottom + 16, Label(lastMs / 1000.0 * fraction), 0.5);
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

// The gyro panel: its range from the readings that came.
void DrawGyro(cairo_t* cr, const std::vector<MeasureSample>& samples, double lastMs) {
    RunningStats stats;
    for (const MeasureSample& s : samples) {
        if (s.IsReading()) {
            stats.Add(s.gyro);
        }
    }
    const Range range = Padded(stats.count ? stats.min : 0.0, stats.count ? stats.max : 0.0);
    DrawAxes(cr, kGyroPanel, range, lastMs, "gyro reading (counts)");
    DrawTrace(cr, kGyroPanel, range, lastMs, samples, kGyroColour,
              [](const MeasureSample& s, double& v) {
                  v = s.gyro;
                  return s.IsReading();
              });
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

bool WritePlot(const std::string& path, const std::vector<MeasureSample>& samples,
               std::string& error) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPlotWidth, kPlotHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    const double lastMs = samples.empty() ? 0.0 : static_cast<double>(samples.back().ms);
    DrawGyro(cr, samples, lastMs);
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
