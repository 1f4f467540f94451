#include <cairo.h>

#include <cstdio>

#include "measure_canvas.h"

struct Canvas {
    cairo_surface_t* surface;
    cairo_t* cr;
};

namespace {

void SetColour(cairo_t* cr, Colour c) {
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

// cairo's PNG writer's sink: the open file.
cairo_status_t WriteToFile(void* file, const unsigned char* data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<std::FILE*>(file)) == length
               ? CAIRO_STATUS_SUCCESS
               : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

Canvas* OpenCanvas(int width, int height) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    return new Canvas{surface, cr};
}

void DrawLine(Canvas* canvas, const std::vector<Point>& points, double width, Colour colour) {
    cairo_t* cr = canvas->cr;
    cairo_set_line_width(cr, width);
    SetColour(cr, colour);
    for (size_t i = 0; i < points.size(); ++i) {
        (i == 0 ? cairo_move_to : cairo_line_to)(cr, points[i].x, points[i].y);
    }
    cairo_stroke(cr);
}

void FillRectangle(Canvas* canvas, double left, double top, double width, double height,
                   Colour colour) {
    SetColour(canvas->cr, colour);
    cairo_rectangle(canvas->cr, left, top, width, height);
    cairo_fill(canvas->cr);
}

double TextWidth(Canvas* canvas, const std::string& text) {
    cairo_text_extents_t extents;
    cairo_text_extents(canvas->cr, text.c_str(), &extents);
    return extents.x_advance;
}

void WriteText(Canvas* canvas, double x, double y, const std::string& text, Colour colour) {
    SetColour(canvas->cr, colour);
    cairo_move_to(canvas->cr, x, y);
    cairo_show_text(canvas->cr, text.c_str());
}

bool SaveCanvas(Canvas* canvas, const std::string& path) {
    cairo_destroy(canvas->cr);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file != nullptr && cairo_surface_write_to_png_stream(
                                          canvas->surface, WriteToFile, file) == CAIRO_STATUS_SUCCESS;
    written = file != nullptr && std::fclose(file) == 0 && written;
    cairo_surface_destroy(canvas->surface);
    delete canvas;
    return written;
}
