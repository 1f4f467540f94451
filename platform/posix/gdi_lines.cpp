#include "gdi_lines.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <utility>
#include <vector>

#include "frame_damage.h"

namespace win32_layer {
namespace {

// The pixels of one row of a wide horizontal line: from before pixels left of its
// left end to after pixels right of its right end, dy rows below the line.
struct RowSpan {
    int dy;
    int before;
    int after;
};

// What cairo's stroke of a line of one pen and direction looks like.
struct LearnedLine {
    bool usable = false;       // the stroke was one span in every row
    std::vector<RowSpan> rows; // every row that the stroke touches
    uint32_t pixel = 0;        // the value cairo stores for the pen's colour
};

// Width, colour, and whether the line runs to the right.
using LineKind = std::tuple<int, COLORREF, bool>;

constexpr size_t kMostLearned = 256;  // pens beyond it start the learning afresh
constexpr int kWidestLearnedPen = 64; // wider pens are stroked: their scratch would cost

// Every pen's learned stroke, beside the lock that guards them. Never destroyed.
struct LearnedLines {
    std::mutex lock;
    std::map<LineKind, std::shared_ptr<const LearnedLine>> lines;
};
LearnedLines& Learned() {
    static auto* learned = new LearnedLines;
    return *learned;
}

// The half-pixel shift that puts the pixel centres of a line of width on whole
// coordinates.
double CentreOffset(int width) {
    return width % 2 == 1 ? 0.5 : 0.0;
}

// Strokes the segment as GDI's pen draws it.
void Stroke(cairo_t* cr, int width, COLORREF colour, double ax, double ay, double bx, double by) {
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, width == 1 ? CAIRO_LINE_CAP_BUTT : CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_source_rgb(cr, GetRValue(colour) / 255.0, GetGValue(colour) / 255.0,
                         GetBValue(colour) / 255.0);
    cairo_move_to(cr, ax, ay);
    cairo_line_to(cr, bx, by);
    cairo_stroke(cr);
    cairo_restore(cr);
}

// Cuts the segment a-b to the box [low, high] in both axes (Liang-Barsky).
// False when nothing of it is inside.
bool ClipSegment(double& ax, double& ay, double& bx, double& by, double low, double high) {
    double dx = bx - ax;
    double dy = by - ay;
    double enter = 0;
    double leave = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {ax - low, high - ax, ay - low, high - ay};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) {
                return false;
            }
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0) {
            enter = std::max(enter, t);
        } else {
            leave = std::min(leave, t);
        }
    }
    if (enter > leave) {
        return false;
    }
    bx = ax + leave * dx;
    by = ay + leave * dy;
    ax = ax + enter * dx;
    ay = ay + enter * dy;
    return true;
}

// The shortest wide horizontal line set span by span: its caps lie well apart.
int ShortestSpanLine(int width) {
    return 2 * width;
}

// Has cairo stroke a line of this kind on a scratch surface and reads its spans.
LearnedLine Learn(int width, COLORREF colour, bool rightward) {
    const int length = 2 * ShortestSpanLine(width);
    const int margin = width + 4;
    const int surfaceWidth = length + 2 * margin;
    cairo_surface_t* scratch =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, surfaceWidth, 2 * margin + 1);
    cairo_t* cr = cairo_create(scratch);
    const COLORREF background = colour ^ 0xFFFFFF; // any colour but the pen's
    cairo_set_source_rgb(cr, GetRValue(background) / 255.0, GetGValue(background) / 255.0,
                         GetBValue(background) / 255.0);
    cairo_paint(cr);
    const double offset = CentreOffset(width);
    const double left = margin + offset;
    const double right = margin + length + offset;
    Stroke(cr, width, colour, rightward ? left : right, margin + offset, rightward ? right : left,
           margin + offset);
    cairo_destroy(cr);
    cairo_surface_flush(scratch);
    const unsigned char* data = cairo_image_surface_get_data(scratch);
    const int stride = cairo_image_surface_get_stride(scratch);
    LearnedLine learned;
    if (cairo_surface_status(scratch) != CAIRO_STATUS_SUCCESS || data == nullptr) {
        cairo_surface_destroy(scratch);
        return learned; // not usable: such lines are stroked
    }
    learned.pixel = reinterpret_cast<const uint32_t*>(data + margin * stride)[margin];
    learned.usable = true;
    for (int row = 0; row <= 2 * margin; ++row) {
        const auto* line = reinterpret_cast<const uint32_t*>(data + row * stride);
        const uint32_t* first = std::find(line, line + surfaceWidth, learned.pixel);
        if (first == line + surfaceWidth) {
            continue;
        }
        const uint32_t* last = line + surfaceWidth - 1;
        while (*last != learned.pixel) {
            --last;
        }
        learned.usable = learned.usable && std::all_of(first, last, [&learned](uint32_t pixel) {
                             return pixel == learned.pixel;
                         });
        learned.rows.push_back({row - margin, margin - static_cast<int>(first - line),
                                static_cast<int>(last - line) - (margin + length)});
    }
    cairo_surface_destroy(scratch);
    return learned;
}

// One row's pixels of a line, cut to the surface: from left up to right.
struct SurfaceSpan {
    int row, left, right;
};

// The rows of a learned line from low to high on row y, cut to the surface; in 64
// bits, since a program may draw lines as far out as int reaches.
std::vector<SurfaceSpan> SpansOnSurface(const LearnedLine& learned, int64_t low, int64_t high,
                                        int64_t y, int surfaceWidth, int surfaceHeight) {
    std::vector<SurfaceSpan> spans;
    for (const RowSpan& span : learned.rows) {
        const int64_t row = y + span.dy;
        const int64_t left = std::max<int64_t>(0, low - span.before);
        const int64_t right = std::min<int64_t>(surfaceWidth, high + span.after + 1);
        if (row >= 0 && row < surfaceHeight && left < right) {
            spans.push_back(
                {static_cast<int>(row), static_cast<int>(left), static_cast<int>(right)});
        }
    }
    return spans;
}

// The learned stroke of a pen and direction, learned now if need be.
std::shared_ptr<const LearnedLine> LearnedFor(int width, COLORREF colour, bool rightward) {
    const LineKind kind{width, colour, rightward};
    std::lock_guard hold(Learned().lock);
    auto found = Learned().lines.find(kind);
    if (found == Learned().lines.end()) {
        if (Learned().lines.size() >= kMostLearned) {
            Learned().lines.clear();
        }
        found =
            Learned()
                .lines
                .emplace(kind, std::make_shared<const LearnedLine>(Learn(width, colour, rightward)))
                .first;
    }
    return found->second;
}

// Sets a wide horizontal line's pixels span by span. False, with nothing drawn,
// when the line is too short or its pen's stroke is not one span a row.
bool SetSpans(cairo_surface_t* surface, int width, COLORREF colour, int fromX, int toX, int y) {
    const int64_t low = std::min(fromX, toX);
    const int64_t high = std::max(fromX, toX);
    if (width > kWidestLearnedPen || high - low < ShortestSpanLine(width)) {
        return false;
    }
    const std::shared_ptr<const LearnedLine> kept = LearnedFor(width, colour, toX > fromX);
    const LearnedLine& learned = *kept;
    if (!learned.usable) {
        return false;
    }
    const std::vector<SurfaceSpan> spans =
        SpansOnSurface(learned, low, high, y, cairo_image_surface_get_width(surface),
                       cairo_image_surface_get_height(surface));
    if (spans.empty()) {
        return true;
    }
    PixelRect drawn{spans.front().left, spans.front().row, spans.front().right,
                    spans.front().row + 1};
    for (const SurfaceSpan& span : spans) {
        drawn = {std::min(drawn.left, span.left), std::min(drawn.top, span.row),
                 std::max(drawn.right, span.right), std::max(drawn.bottom, span.row + 1)};
    }
    SetPixelsWithin(surface, drawn, [&](const PixelRows& rows) {
        for (const SurfaceSpan& span : spans) {
            std::fill(rows[span.row] + span.left, rows[span.row] + span.right, learned.pixel);
        }
    });
    return true;
}

// How far the point (x, y) lies from the segment a-b.
double DistanceToSegment(double x, double y, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double squared = dx * dx + dy * dy;
    const double t =
        squared == 0 ? 0 : std::clamp(((x - ax) * dx + (y - ay) * dy) / squared, 0.0, 1.0);
    return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

// A pen so wide that it covers the whole surface draws as one just wide enough to:
// the same pixels, and no stroke beyond what cairo's fixed-point numbers hold.
int CoveringWidth(cairo_surface_t* surface, int width, POINT from, POINT to) {
    const double w = cairo_image_surface_get_width(surface);
    const double h = cairo_image_surface_get_height(surface);
    double farthest = 0;
    for (const auto& [x, y] : {std::pair{0.0, 0.0}, {w, 0.0}, {0.0, h}, {w, h}}) {
        farthest = std::max(farthest, DistanceToSegment(x, y, from.x, from.y, to.x, to.y));
    }
    return static_cast<int>(std::min<double>(width, 2 * std::ceil(farthest) + 4));
}

// Strokes the line with cairo.
void StrokeWithCairo(cairo_t* cr, int width, COLORREF colour, POINT from, POINT to) {
    width = CoveringWidth(cairo_get_target(cr), width, from, to);
    double ax = from.x, ay = from.y, bx = to.x, by = to.y;
    if (width == 1) {
        // Shift the ends back by half a pixel along the line: the butt-capped stroke
        // then covers the first pixel and stops short of the last one.
        double length = std::hypot(bx - ax, by - ay);
        if (length == 0) {
            return;
        }
        double ux = (bx - ax) / length * 0.5, uy = (by - ay) / length * 0.5;
        ax -= ux, ay -= uy, bx -= ux, by -= uy;
    }
    const double offset = CentreOffset(width);
    ax += offset, ay += offset, bx += offset, by += offset;
    cairo_surface_t* surface = cairo_get_target(cr);
    double reach = width + 2.0;
    double high =
        std::max(cairo_image_surface_get_width(surface), cairo_image_surface_get_height(surface)) +
        reach;
    if (!ClipSegment(ax, ay, bx, by, -reach, high)) {
        return;
    }
    // A round cap reaches half the width beyond an end; without anti-aliasing no
    // pixel is set whose centre is outside the stroke.
    const double half = width / 2.0;
    const PixelRect drawn = CoveringRect(surface, std::min(ax, bx) - half, std::min(ay, by) - half,
                                         std::max(ax, bx) + half, std::max(ay, by) + half, 0);
    DrawWithin(surface, drawn, [&] { Stroke(cr, width, colour, ax, ay, bx, by); });
}

} // namespace

void DrawLine(cairo_t* cr, int width, COLORREF colour, POINT from, POINT to) {
    width = std::max(1, width);
    if (width >= 2 && from.y == to.y &&
        SetSpans(cairo_get_target(cr), width, colour, from.x, to.x, from.y)) {
        return;
    }
    StrokeWithCairo(cr, width, colour, from, to);
}

void ForgetLineSpans() {
    std::lock_guard hold(Learned().lock);
    Learned().lines.clear();
}

} // namespace win32_layer
