// What the plot draws with: a white picture of a given size, lines, filled
// rectangles and text, saved as a PNG. One implementation a system, picked by
// CMake: cairo (measure_canvas_cairo.cpp) on Linux, GDI+ (measure_canvas_gdiplus.cpp,
// which every Windows has) on Windows. Coordinates are in pixels from the top-left
// corner, pixel centres at .5, lines antialiased.
#ifndef TOBRISK_MEASURE_CANVAS_H
#define TOBRISK_MEASURE_CANVAS_H

#include <string>
#include <vector>

struct Colour {
    double r, g, b; // 0 to 1
};

struct Point {
    double x, y;
};

struct Canvas; // the picture being drawn

// A white picture of width x height; null when it cannot be made.
Canvas* OpenCanvas(int width, int height);

// A line through points, width pixels wide.
void DrawLine(Canvas* canvas, const std::vector<Point>& points, double width, Colour colour);

// A filled rectangle.
void FillRectangle(Canvas* canvas, double left, double top, double width, double height,
                   Colour colour);

// How wide text is drawn, in pixels.
double TextWidth(Canvas* canvas, const std::string& text);

// Text in the plot's font (12 pixels, DejaVu Sans or the system's sans serif) with
// its left end at x and its baseline at y.
void WriteText(Canvas* canvas, double x, double y, const std::string& text, Colour colour);

// Writes the picture to path as a PNG and frees it; false when it was not written.
bool SaveCanvas(Canvas* canvas, const std::string& path);

#endif
