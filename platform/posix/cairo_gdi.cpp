// Drawing objects and device contexts, drawn with cairo: pens, brushes, fonts,
// stock objects, text in the default opaque mode and lines, plus the call log and
// the count of live objects that tests read.
#include "cairo_gdi.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <strings.h>
#include <tuple>
#include <vector>

#include "frame_damage.h"
#include "gdi_lines.h"
#include "handles.h"
#include "text_cache.h"

namespace win32_layer {
namespace {

constexpr int kDefaultCellHeight = 16; // the system font, and CreateFontA height 0
constexpr double kFarOutside = 100000; // text starting farther out is not drawn
constexpr int kTextMargin = 1;         // anti-aliasing beyond a glyph's ink extents

// A pen, brush or font.
struct GdiObject {
    HandleKind kind;
    const char* stockName = nullptr; // set for stock objects
    int style = 0;                   // pen: PS_SOLID or PS_NULL
    int width = 0;                   // pen: width in pixels
    COLORREF colour = 0;             // pen, brush: 0x00BBGGRR
    bool nullBrush = false;          // brush: paints nothing
    int height = 0;                  // font: cell height (negative: character height)
    bool bold = false;               // font
    bool italic = false;             // font
    std::string face = "";           // font: as asked for
};

// A device context open between BeginPaint and EndPaint.
struct DeviceContext {
    cairo_t* cr;   // draws on the window's client surface
    uintptr_t pen; // selected objects (handle values)
    uintptr_t brush;
    uintptr_t font;
    POINT position; // current position for LineTo
    bool logged;    // its calls go to the log
};

// The stock objects, by their GetStockObject index.
struct StockObject {
    int index;
    GdiObject object;
};
const StockObject kStockObjects[] = {
    {WHITE_BRUSH, {.kind = HandleKind::Brush, .stockName = "WHITE_BRUSH", .colour = 0xFFFFFF}},
    {BLACK_BRUSH, {.kind = HandleKind::Brush, .stockName = "BLACK_BRUSH", .colour = 0x000000}},
    {NULL_BRUSH, {.kind = HandleKind::Brush, .stockName = "NULL_BRUSH", .nullBrush = true}},
    {WHITE_PEN,
     {.kind = HandleKind::Pen,
      .stockName = "WHITE_PEN",
      .style = PS_SOLID,
      .width = 1,
      .colour = 0xFFFFFF}},
    {BLACK_PEN,
     {.kind = HandleKind::Pen,
      .stockName = "BLACK_PEN",
      .style = PS_SOLID,
      .width = 1,
      .colour = 0x000000}},
    {NULL_PEN, {.kind = HandleKind::Pen, .stockName = "NULL_PEN", .style = PS_NULL, .width = 1}},
    {SYSTEM_FONT,
     {.kind = HandleKind::Font,
      .stockName = "SYSTEM_FONT",
      .height = kDefaultCellHeight,
      .bold = true,
      .face = "System"}},
};

// The handle value of a stock object.
uintptr_t StockValue(const StockObject& stock) {
    return FixedHandleValue(stock.object.kind, 1 + static_cast<uintptr_t>(stock.index));
}

// The stock object of a GetStockObject index that the table holds.
const StockObject& Stock(int index) {
    for (const auto& stock : kStockObjects) {
        if (stock.index == index) {
            return stock;
        }
    }
    return kStockObjects[0];
}

// A font made ready to draw with: its cairo font at its size, and its cell.
struct PreparedFont {
    cairo_scaled_font_t* scaled; // holds a reference
    int cellHeight;
    double ascent;
};

// What makes two fonts draw alike.
using FontKey = std::tuple<std::string, bool, bool, int>;

// Every drawing object and device context, beside the GDI lock that guards them
// and is never held together with the layer lock. Never destroyed, so threads
// still running at exit find it intact.
struct GdiState {
    std::mutex lock;
    std::map<uintptr_t, GdiObject> objects;      // created and not deleted
    std::map<uintptr_t, DeviceContext> contexts; // open between BeginPaint and EndPaint
    std::map<FontKey, PreparedFont> fonts;       // every font prepared so far: finding the
                                                 // face and size takes longer than a label
    bool keepLog = false;                        // the calls go to the log
    std::vector<std::string> log;                // the calls, for tests
};
GdiState& Gdi() {
    static auto* gdi = new GdiState;
    return *gdi;
}

// A stock or created object, or null for a stale handle. GDI lock held.
const GdiObject* FindObjectLocked(uintptr_t value) {
    for (const auto& stock : kStockObjects) {
        if (StockValue(stock) == value) {
            return &stock.object;
        }
    }
    auto found = Gdi().objects.find(value);
    return found == Gdi().objects.end() ? nullptr : &found->second;
}

// An open device context, or null. GDI lock held.
DeviceContext* FindContextLocked(HDC dc) {
    auto found = Gdi().contexts.find(reinterpret_cast<uintptr_t>(dc));
    return found == Gdi().contexts.end() ? nullptr : &found->second;
}

// How the log names an object: "pen(6,0x000000)", "brush(0xFFFFFF)",
// "font(16,\"System\")", a stock name, or "invalid".
std::string Describe(const GdiObject* object) {
    char text[160];
    if (object == nullptr) {
        return "invalid";
    }
    if (object->stockName != nullptr) {
        return object->stockName;
    }
    switch (object->kind) {
    case HandleKind::Pen:
        if (object->style == PS_NULL) {
            return "pen(null)";
        }
        std::snprintf(text, sizeof text, "pen(%d,0x%06X)", object->width, object->colour);
        return text;
    case HandleKind::Brush:
        std::snprintf(text, sizeof text, "brush(0x%06X)", object->colour);
        return text;
    default:
        std::snprintf(text, sizeof text, "font(%d,\"%s\")", object->height, object->face.c_str());
        return text;
    }
}

// Adds the line that makeLine builds to the log when a log is kept and the context
// is logged (or there is no context); nothing is built otherwise. Only tests keep
// a log: on a real display the program paints for hours and nothing may pile up.
template <typename MakeLine> void LogLocked(const DeviceContext* dc, MakeLine makeLine) {
    if (Gdi().keepLog && (dc == nullptr || dc->logged)) {
        Gdi().log.push_back(makeLine());
    }
}

// Adds a new object and returns its handle value. GDI lock held.
uintptr_t AddObjectLocked(const GdiObject& object, const char* call) {
    uintptr_t value = NewHandleValue(object.kind);
    Gdi().objects[value] = object;
    LogLocked(nullptr, [&] { return std::string(call) + " " + Describe(&object); });
    return value;
}

// Sets the cairo source to a 0x00BBGGRR colour.
void SetColour(cairo_t* cr, COLORREF colour) {
    cairo_set_source_rgb(cr, GetRValue(colour) / 255.0, GetGValue(colour) / 255.0,
                         GetBValue(colour) / 255.0);
}

// Selects the font's face and the size that gives its cell height; returns the
// cell height in pixels.
int ApplyFont(cairo_t* cr, const GdiObject& font) {
    bool system = font.face.empty() || strcasecmp(font.face.c_str(), "System") == 0;
    cairo_select_font_face(cr, system ? "sans-serif" : font.face.c_str(),
                           font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           system || font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    constexpr double kProbeSize = 100;
    cairo_set_font_size(cr, kProbeSize);
    cairo_font_extents_t extents;
    cairo_font_extents(cr, &extents);
    double cellPerSize = (extents.ascent + extents.descent) / kProbeSize;
    int height = font.height == 0 ? kDefaultCellHeight : std::abs(font.height);
    // A negative height is the character height: the cell less the internal leading,
    // taken here as the em size.
    double size = font.height < 0 ? height : height / cellPerSize;
    cairo_set_font_size(cr, size);
    return font.height < 0 ? static_cast<int>(std::lround(size * cellPerSize)) : height;
}

// The font ready to draw on cr, prepared the first time. GDI lock held.
const PreparedFont& Prepare(cairo_t* cr, const GdiObject& font) {
    const FontKey key{font.face, font.bold, font.italic, font.height};
    auto found = Gdi().fonts.find(key);
    if (found != Gdi().fonts.end()) {
        return found->second;
    }
    cairo_save(cr);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    const int cellHeight = ApplyFont(cr, font);
    cairo_font_extents_t extents;
    cairo_font_extents(cr, &extents);
    PreparedFont prepared{cairo_scaled_font_reference(cairo_get_scaled_font(cr)), cellHeight,
                          extents.ascent};
    cairo_restore(cr);
    return Gdi().fonts.emplace(key, prepared).first->second;
}

// How every text is drawn: black on an opaque white box, its cell's top-left at the
// point given.
constexpr COLORREF kTextInk = RGB(0, 0, 0);
constexpr COLORREF kTextBox = RGB(255, 255, 255);
constexpr UINT kTextAlign = 0; // TA_LEFT | TA_TOP

// Draws text with its cell's top-left at (x, y), black on a white box. The same
// text drawn at the same place over the same plain background is copied from the
// pixels it gave before (text_cache.h).
void DrawText(cairo_t* cr, const GdiObject& font, int x, int y, const std::string& text) {
    cairo_surface_t* surface = cairo_get_target(cr);
    const TextKey key{.surfaceWidth = cairo_image_surface_get_width(surface),
                      .surfaceHeight = cairo_image_surface_get_height(surface),
                      .face = font.face,
                      .bold = font.bold,
                      .italic = font.italic,
                      .height = font.height,
                      .ink = kTextInk,
                      .box = kTextBox,
                      .opaque = true,
                      .align = kTextAlign,
                      .text = text,
                      .x = x,
                      .y = y};
    if (RestoreText(surface, key)) {
        return;
    }
    const PreparedFont& prepared = Prepare(cr, font);
    const int cellHeight = prepared.cellHeight;
    cairo_save(cr);
    cairo_set_scaled_font(cr, prepared.scaled);
    std::string utf8 = Latin1ToUtf8(text);
    cairo_text_extents_t textExtents;
    cairo_text_extents(cr, utf8.c_str(), &textExtents);
    const double boxRight = x + std::ceil(textExtents.x_advance);
    const double baseline = y + std::round(prepared.ascent);
    const double inkLeft = x + textExtents.x_bearing;
    const double inkTop = baseline + textExtents.y_bearing;
    const PixelRect drawn =
        CoveringRect(surface, std::min<double>(x, inkLeft), std::min<double>(y, inkTop),
                     std::max(boxRight, inkLeft + textExtents.width),
                     std::max<double>(y + cellHeight, inkTop + textExtents.height), kTextMargin);
    const std::optional<COLORREF> background = PlainColour(surface, drawn);
    DrawWithin(surface, drawn, [&] {
        SetColour(cr, kTextBox);
        cairo_rectangle(cr, x, y, boxRight - x, cellHeight);
        cairo_fill(cr);
        SetColour(cr, kTextInk);
        cairo_move_to(cr, x, baseline);
        cairo_show_text(cr, utf8.c_str());
        return background ? KeepText(surface, key, *background, drawn) : 0;
    });
    cairo_restore(cr);
}

} // namespace

HDC OpenPaintDC(cairo_surface_t* surface, bool logged) {
    uintptr_t value = NewHandleValue(HandleKind::DeviceContext);
    DeviceContext dc{cairo_create(surface),
                     StockValue(Stock(BLACK_PEN)),
                     StockValue(Stock(WHITE_BRUSH)),
                     StockValue(Stock(SYSTEM_FONT)),
                     {0, 0},
                     logged};
    std::lock_guard hold(Gdi().lock);
    Gdi().contexts[value] = dc;
    LogLocked(&dc, [] { return std::string("BeginPaint"); });
    return reinterpret_cast<HDC>(value);
}

void ClosePaintDC(HDC handle) {
    std::lock_guard hold(Gdi().lock);
    DeviceContext* dc = FindContextLocked(handle);
    if (dc == nullptr) {
        return;
    }
    LogLocked(dc, [] { return std::string("EndPaint"); });
    FinishPaint(cairo_get_target(dc->cr));
    cairo_destroy(dc->cr);
    Gdi().contexts.erase(reinterpret_cast<uintptr_t>(handle));
}

bool FillWithBrush(HDC handle, HBRUSH brush) {
    std::lock_guard hold(Gdi().lock);
    DeviceContext* dc = FindContextLocked(handle);
    const GdiObject* object = FindObjectLocked(reinterpret_cast<uintptr_t>(brush));
    if (dc == nullptr || object == nullptr || object->kind != HandleKind::Brush ||
        object->nullBrush) {
        return false;
    }
    // Only what was drawn on since the last fill in this colour differs from it, and
    // that is filled as it is drawn on again (frame_damage.h).
    if (!FillWhole(cairo_get_target(dc->cr), object->colour)) {
        return true;
    }
    cairo_save(dc->cr);
    SetColour(dc->cr, object->colour);
    cairo_set_operator(dc->cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(dc->cr);
    cairo_restore(dc->cr);
    return true;
}

bool DrawWithCairo(HDC handle, void (*draw)(cairo_t* cr, void* data), void* data) {
    std::lock_guard hold(Gdi().lock);
    DeviceContext* dc = FindContextLocked(handle);
    if (dc == nullptr) {
        return false;
    }
    PrepareToDrawEverywhere(cairo_get_target(dc->cr));
    cairo_save(dc->cr);
    draw(dc->cr, data);
    cairo_restore(dc->cr);
    return true;
}

void KeepGdiLog(bool keep) {
    std::lock_guard hold(Gdi().lock);
    Gdi().keepLog = keep;
}

std::vector<std::string> TakeGdiLog() {
    std::lock_guard hold(Gdi().lock);
    std::vector<std::string> taken;
    taken.swap(Gdi().log);
    return taken;
}

int LiveGdiObjects() {
    std::lock_guard hold(Gdi().lock);
    return static_cast<int>(Gdi().objects.size());
}

void ResetGdi() {
    std::lock_guard hold(Gdi().lock);
    for (auto& [value, dc] : Gdi().contexts) {
        cairo_destroy(dc.cr);
    }
    Gdi().contexts.clear();
    Gdi().objects.clear();
    Gdi().log.clear();
    Gdi().keepLog = false;
    for (auto& [key, font] : Gdi().fonts) {
        cairo_scaled_font_destroy(font.scaled);
    }
    Gdi().fonts.clear();
    ForgetTexts();
    ForgetLineSpans();
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string utf8;
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == 0) {
            utf8 += ' ';
        } else if (byte < 0x80) {
            utf8 += static_cast<char>(byte);
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

} // namespace win32_layer

using namespace win32_layer;

HGDIOBJ WINAPI GetStockObject(int object) {
    const StockObject& stock = Stock(object);
    return stock.index == object ? reinterpret_cast<HGDIOBJ>(StockValue(stock)) : nullptr;
}

HPEN WINAPI CreatePen(int style, int width, COLORREF colour) {
    GdiObject pen{.kind = HandleKind::Pen,
                  .style = style == PS_NULL ? PS_NULL : PS_SOLID,
                  .width = std::max(width, 0),
                  .colour = colour & 0xFFFFFF};
    std::lock_guard hold(Gdi().lock);
    return reinterpret_cast<HPEN>(AddObjectLocked(pen, "CreatePen"));
}

HBRUSH WINAPI CreateSolidBrush(COLORREF colour) {
    GdiObject brush{.kind = HandleKind::Brush, .colour = colour & 0xFFFFFF};
    std::lock_guard hold(Gdi().lock);
    return reinterpret_cast<HBRUSH>(AddObjectLocked(brush, "CreateSolidBrush"));
}

HFONT WINAPI CreateFontA(int height, int, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD,
                         DWORD, DWORD, DWORD, DWORD, LPCSTR faceName) {
    GdiObject font{.kind = HandleKind::Font,
                   .height = height,
                   .bold = weight >= 600,
                   .italic = italic != 0,
                   .face = faceName != nullptr ? faceName : ""};
    std::lock_guard hold(Gdi().lock);
    return reinterpret_cast<HFONT>(AddObjectLocked(font, "CreateFontA"));
}

HGDIOBJ WINAPI SelectObject(HDC handle, HGDIOBJ object) {
    std::lock_guard hold(Gdi().lock);
    DeviceContext* dc = FindContextLocked(handle);
    auto value = reinterpret_cast<uintptr_t>(object);
    const GdiObject* found = FindObjectLocked(value);
    LogLocked(dc, [&] { return "SelectObject " + Describe(found); });
    if (dc == nullptr || found == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    uintptr_t* slot = found->kind == HandleKind::Pen     ? &dc->pen
                      : found->kind == HandleKind::Brush ? &dc->brush
                                                         : &dc->font;
    uintptr_t previous = *slot;
    *slot = value;
    return reinterpret_cast<HGDIOBJ>(previous);
}

BOOL WINAPI TextOutA(HDC handle, int x, int y, LPCSTR text, int count) {
    std::lock_guard hold(Gdi().lock);
    DeviceContext* dc = FindContextLocked(handle);
    if (dc == nullptr || (text == nullptr && count != 0) || count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string drawn(text != nullptr ? text : "", static_cast<size_t>(count));
    LogLocked(dc, [&] {
        return "TextOutA " + std::to_string(x) + " " + std::to_string(y) + " \"" + drawn + "\"";
    });
    const GdiObject* font = FindObjectLocked(dc->font);
    if (font == nullptr) {
        font = &Stock(SYSTEM_FONT).object;
    }
    cairo_surface_t* surface = cairo_get_target(dc->cr);
    if (x < cairo_image_surface_get_width(surface) && y < cairo_image_surface_get_height(surface) &&
        x > -kFarOutside && y > -kFarOutside) {
        DrawText(dc->cr, *font, x, y, drawn);
    }
    return TRUE;
}

BOOL WINAPI MoveToEx(HDC handle, int x, int y, LPPOINT previous) {
    std::lock_guard hold(Gdi().lock);
    DeviceContext* dc = FindContextLocked(handle);
    if (dc == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    LogLocked(dc, [&] { return "MoveToEx " + std::to_string(x) + " " + std::to_string(y); });
    if (previous != nullptr) {
        *previous = dc->position;
    }
    dc->position = POINT{x, y};
    return TRUE;
}

BOOL WINAPI LineTo(HDC handle, int x, int y) {
    std::lock_guard hold(Gdi().lock);
    DeviceContext* dc = FindContextLocked(handle);
    if (dc == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    LogLocked(dc, [&] { return "LineTo " + std::to_string(x) + " " + std::to_string(y); });
    const GdiObject* pen = FindObjectLocked(dc->pen);
    if (pen == nullptr) {
        pen = &Stock(BLACK_PEN).object;
    }
    if (pen->style != PS_NULL) {
        DrawLine(dc->cr, pen->width, pen->colour, dc->position, POINT{x, y});
    }
    dc->position = POINT{x, y};
    return TRUE;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    std::lock_guard hold(Gdi().lock);
    auto value = reinterpret_cast<uintptr_t>(object);
    const GdiObject* found = FindObjectLocked(value);
    LogLocked(nullptr, [&] { return "DeleteObject " + Describe(found); });
    if (found == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (found->stockName == nullptr) {
        Gdi().objects.erase(value);
    }
    return TRUE;
}
