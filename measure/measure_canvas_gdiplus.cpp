// The plot's canvas on Windows: GDI+, which every Windows has (and Wine too).
// Pixel centres at .5 and antialiased lines, as cairo draws them, so that the
// same picture comes out.
#include "win32.h"

#include <gdiplus.h>

#include <cmath>
#include <memory>
#include <vector>

#include "measure_canvas.h"

using namespace Gdiplus;

struct Canvas {
    ULONG_PTR token = 0;
    std::unique_ptr<Bitmap> bitmap;
    std::unique_ptr<Graphics> graphics;
    std::unique_ptr<FontFamily> family;
    std::unique_ptr<Font> font;
};

namespace {

constexpr REAL kFontPixels = 12.0f;

// Each channel as cairo makes it: to 16 bits, rounded, then the high byte.
Color ColorOf(::Colour c) {
    const auto byte = [](double v) { return static_cast<BYTE>(static_cast<int>(v * 65535.0 + 0.5) >> 8); };
    return Color(255, byte(c.r), byte(c.g), byte(c.b));
}

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end()); // the plot's texts are ASCII
}

// The PNG encoder's class ID, from the encoders GDI+ lists.
bool PngEncoder(CLSID& encoder) {
    UINT count = 0, bytes = 0;
    if (GetImageEncodersSize(&count, &bytes) != Ok || bytes == 0) {
        return false;
    }
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    if (GetImageEncoders(count, bytes, codecs) != Ok) {
        return false;
    }
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) == L"image/png") {
            encoder = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

// DejaVu Sans where it is installed, else the system's sans serif.
std::unique_ptr<FontFamily> PlotFontFamily() {
    auto family = std::make_unique<FontFamily>(L"DejaVu Sans");
    if (family->GetLastStatus() == Ok) {
        return family;
    }
    return std::unique_ptr<FontFamily>(FontFamily::GenericSansSerif()->Clone());
}

} // namespace

Canvas* OpenCanvas(int width, int height) {
    auto canvas = std::make_unique<Canvas>();
    GdiplusStartupInput input;
    if (GdiplusStartup(&canvas->token, &input, nullptr) != Ok) {
        return nullptr;
    }
    canvas->bitmap = std::make_unique<Bitmap>(width, height, PixelFormat24bppRGB);
    canvas->graphics.reset(Graphics::FromImage(canvas->bitmap.get()));
    canvas->graphics->Clear(Color(255, 255, 255, 255));
    canvas->graphics->SetSmoothingMode(SmoothingModeAntiAlias);
    canvas->graphics->SetPixelOffsetMode(PixelOffsetModeHalf);
    canvas->graphics->SetTextRenderingHint(TextRenderingHintAntiAliasGridFit);
    canvas->family = PlotFontFamily();
    canvas->font = std::make_unique<Font>(canvas->family.get(), kFontPixels, FontStyleRegular, UnitPixel);
    return canvas.release();
}

void DrawLine(Canvas* canvas, const std::vector<::Point>& points, double width, ::Colour colour) {
    Pen pen(ColorOf(colour), static_cast<REAL>(width));
    std::vector<PointF> line;
    for (const ::Point& p : points) {
        line.emplace_back(static_cast<REAL>(p.x), static_cast<REAL>(p.y));
    }
    canvas->graphics->DrawLines(&pen, line.data(), static_cast<INT>(line.size()));
}

void FillRectangle(Canvas* canvas, double left, double top, double width, double height,
                   ::Colour colour) {
    SolidBrush brush(ColorOf(colour));
    canvas->graphics->FillRectangle(&brush, static_cast<REAL>(left), static_cast<REAL>(top),
                                    static_cast<REAL>(width), static_cast<REAL>(height));
}

double TextWidth(Canvas* canvas, const std::string& text) {
    const std::wstring wide = Wide(text);
    RectF box;
    canvas->graphics->MeasureString(wide.c_str(), static_cast<INT>(wide.size()), canvas->font.get(),
                                    PointF(0, 0), StringFormat::GenericTypographic(), &box);
    return box.Width;
}

void WriteText(Canvas* canvas, double x, double y, const std::string& text, ::Colour colour) {
    const std::wstring wide = Wide(text);
    const FontFamily& family = *canvas->family;
    const REAL ascent = kFontPixels * family.GetCellAscent(FontStyleRegular) /
                        family.GetEmHeight(FontStyleRegular);
    SolidBrush brush(ColorOf(colour));
    canvas->graphics->DrawString(wide.c_str(), static_cast<INT>(wide.size()), canvas->font.get(),
                                 PointF(static_cast<REAL>(x), static_cast<REAL>(y) - ascent),
                                 StringFormat::GenericTypographic(), &brush);
}

bool SaveCanvas(Canvas* canvas, const std::string& path) {
    CLSID png;
    const std::wstring widePath(path.begin(), path.end());
    canvas->graphics.reset();
    const bool written =
        PngEncoder(png) && canvas->bitmap->Save(widePath.c_str(), &png, nullptr) == Ok;
    canvas->font.reset();
    canvas->family.reset();
    canvas->bitmap.reset();
    const ULONG_PTR token = canvas->token;
    delete canvas;
    GdiplusShutdown(token);
    return written;
}
