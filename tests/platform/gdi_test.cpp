// Drawing on the headless display: the pixels of lines and text at known
// coordinates, clipping, erasing, the GDI call log and the count of live objects.
#include <cairo.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

#include "platform_test_support.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr COLORREF kGrey = RGB(0xC0, 0xC0, 0xC0);
constexpr uint32_t kGreyPixel = 0xC0C0C0;

// The 0x00RRGGBB pixel of a 0x00BBGGRR colour.
uint32_t PixelOf(COLORREF colour) {
    return (GetRValue(colour) << 16) | (GetGValue(colour) << 8) | GetBValue(colour);
}

// The pixels of a 520 x 420 window after one paint.
Win32TestImage Paint(std::function<void(HDC)> paint) {
    HWND window = PaintTestWindow(520, 420, std::move(paint));
    Win32TestImage image = Win32TestClientPixels(window);
    DestroyWindow(window);
    return image;
}

// The pixels that differ from the background, counted.
int CountOtherThan(const Win32TestImage& image, uint32_t background) {
    return static_cast<int>(std::count_if(image.pixels.begin(), image.pixels.end(),
                                          [&](uint32_t p) { return p != background; }));
}

class GdiTest : public PlatformTest {};

// One line, and pixels that must and must not be inked by it.
struct LineCase {
    const char* name;
    int width;
    COLORREF colour;
    POINT from, to;
    std::vector<POINT> inked;
    std::vector<POINT> clear;
};

TEST_F(GdiTest, LinesInkTheirPixelsWithRoundCapsWhenWide) {
    const LineCase cases[] = {
        {"odd width: rows y-2..y+2, round caps reach 2 past the ends",
         5,
         RGB(200, 0, 0),
         {50, 50},
         {100, 50},
         {{50, 50}, {100, 50}, {102, 50}, {48, 50}, {75, 48}, {75, 52}, {101, 52}},
         {{103, 50}, {47, 50}, {75, 47}, {75, 53}, {102, 52}, {48, 52}}},
        {"even width: rows y-3..y+2, round caps",
         6,
         RGB(0, 0, 0),
         {30, 30},
         {60, 30},
         {{30, 30}, {60, 30}, {62, 30}, {27, 30}, {45, 27}, {45, 32}},
         {{63, 30}, {26, 30}, {45, 26}, {45, 33}, {62, 32}, {27, 27}}},
        {"one pixel wide: the last pixel is left out",
         1,
         RGB(0, 0, 255),
         {10, 80},
         {20, 80},
         {{10, 80}, {19, 80}},
         {{20, 80}, {9, 80}, {15, 79}, {15, 81}}},
        {"one pixel wide, vertical",
         1,
         RGB(0, 200, 0),
         {150, 10},
         {150, 20},
         {{150, 10}, {150, 19}},
         {{150, 20}, {150, 9}, {149, 15}, {151, 15}}},
        {"width 0 is one pixel",
         0,
         RGB(0, 0, 255),
         {10, 90},
         {20, 90},
         {{10, 90}, {19, 90}},
         {{20, 90}, {15, 89}, {15, 91}}},
        {"running past the right edge is clipped there",
         5,
         RGB(200, 0, 0),
         {250, 50},
         {250 + 127 * 5, 50},
         {{250, 50}, {519, 50}, {519, 52}},
         {{248, 53}}},
        {"running past the left edge is clipped there",
         5,
         RGB(0, 200, 0),
         {250, 100},
         {250 - 128 * 5, 100},
         {{0, 100}, {250, 100}, {252, 100}},
         {{253, 100}}},
        {"a bar of 32768 pixels",
         6,
         RGB(0, 0, 0),
         {250, 250},
         {250 + 32768, 250},
         {{250, 250}, {519, 250}, {247, 250}},
         {{246, 250}}},
        {"a zero-length wide line is a round dot",
         5,
         RGB(0, 0, 200),
         {250, 150},
         {250, 150},
         {{250, 150}, {252, 150}, {250, 152}},
         {{253, 150}, {252, 152}}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        HPEN pen = CreatePen(PS_SOLID, test.width, test.colour);
        Win32TestImage image = Paint([&](HDC dc) {
            SelectObject(dc, pen);
            MoveToEx(dc, test.from.x, test.from.y, nullptr);
            LineTo(dc, test.to.x, test.to.y);
        });
        DeleteObject(pen);
        for (const POINT& p : test.inked) {
            EXPECT_EQ(image.At(p.x, p.y), PixelOf(test.colour)) << "(" << p.x << "," << p.y << ")";
        }
        for (const POINT& p : test.clear) {
            EXPECT_EQ(image.At(p.x, p.y), kWhite) << "(" << p.x << "," << p.y << ")";
        }
    }
}

// What cairo's own stroke of a line with a round-capped pen looks like on a white
// 520 x 420 surface, pixel by pixel.
std::vector<uint32_t> CairoStroke(int width, COLORREF colour, POINT from, POINT to) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 520, 420);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    const double offset = width % 2 == 1 ? 0.5 : 0.0;
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cr, width);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_source_rgb(cr, GetRValue(colour) / 255.0, GetGValue(colour) / 255.0,
                         GetBValue(colour) / 255.0);
    cairo_move_to(cr, from.x + offset, from.y + offset);
    cairo_line_to(cr, to.x + offset, to.y + offset);
    cairo_stroke(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    std::vector<uint32_t> pixels;
    const auto* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < 420; ++y) {
        const auto* row =
            reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(surface));
        for (int x = 0; x < 520; ++x) {
            pixels.push_back(row[x] & 0xFFFFFF);
        }
    }
    cairo_surface_destroy(surface);
    return pixels;
}

// Wide horizontal lines are set span by span from what cairo's stroke of a line of
// the same pen looks like: they must be exactly cairo's stroke, whatever the width,
// length, direction and place, edges of the window included.
TEST_F(GdiTest, WideHorizontalLinesAreExactlyCairosStroke) {
    for (int width = 2; width <= 9; ++width) {
        for (int length : {2 * width - 1, 2 * width, 2 * width + 1, 37, 300}) {
            for (const POINT start :
                 {POINT{100, 50}, POINT{-20, 1}, POINT{480, 418}, POINT{-300, 200}}) {
                for (int direction : {1, -1}) {
                    SCOPED_TRACE(testing::Message()
                                 << "width " << width << ", length " << length << " from ("
                                 << start.x << "," << start.y << "), direction " << direction);
                    const COLORREF colour = RGB(0, 0, 200 + width);
                    const POINT end{start.x + direction * length, start.y};
                    HPEN pen = CreatePen(PS_SOLID, width, colour);
                    const Win32TestImage image = Paint([&](HDC dc) {
                        SelectObject(dc, pen);
                        MoveToEx(dc, start.x, start.y, nullptr);
                        LineTo(dc, end.x, end.y);
                    });
                    DeleteObject(pen);
                    ASSERT_EQ(image.pixels, CairoStroke(width, colour, start, end));
                }
            }
        }
    }
}

// A pen of any width draws as cairo's own stroke where there is one, and as GDI does
// where there is none (wider than anything cairo strokes: every pixel), without a
// scratch surface of its width or a crash.
TEST_F(GdiTest, PensOfAnyWidthDraw) {
    struct Case {
        int width;
        POINT from, to;
        bool whole; // every pixel in the pen's colour
    };
    const Case cases[] = {
        {64, {10, 200}, {400, 200}, false},
        {2000, {-900, 200}, {-800, 200}, false},
        {2000, {10, 200}, {400, 200}, true},
        {6000, {400, 100}, {10, 100}, true},
        {6000, {-4000, -90}, {-3900, -90}, false},
        {INT_MAX, {10, 200}, {400, 200}, true},
        {INT_MAX, {-2000000000, 5}, {2000000000, 300}, true},
    };
    const COLORREF colour = RGB(0, 0, 200);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "width " << c.width << " from (" << c.from.x << ","
                                        << c.from.y << ") to (" << c.to.x << "," << c.to.y << ")");
        HPEN pen = CreatePen(PS_SOLID, c.width, colour);
        const Win32TestImage image = Paint([&](HDC dc) {
            SelectObject(dc, pen);
            MoveToEx(dc, c.from.x, c.from.y, nullptr);
            LineTo(dc, c.to.x, c.to.y);
        });
        DeleteObject(pen);
        if (c.whole) {
            EXPECT_EQ(std::count(image.pixels.begin(), image.pixels.end(), PixelOf(colour)),
                      static_cast<long>(image.pixels.size()));
        }
        if (c.width < INT_MAX) {
            EXPECT_EQ(image.pixels, CairoStroke(c.width, colour, c.from, c.to));
        }
    }
    for (int thin : {0, 1}) {
        HPEN pen = CreatePen(PS_SOLID, thin, colour);
        const Win32TestImage image = Paint([&](HDC dc) {
            SelectObject(dc, pen);
            MoveToEx(dc, 10, 20, nullptr);
            LineTo(dc, 300, 20);
        });
        DeleteObject(pen);
        EXPECT_EQ(image.At(100, 20), PixelOf(colour)) << "width " << thin;
    }
}

TEST_F(GdiTest, LinesOutsideTheClientAreaDrawNothing) {
    HPEN pen = CreatePen(PS_SOLID, 6, RGB(0, 0, 0));
    Win32TestImage image = Paint([&](HDC dc) {
        SelectObject(dc, pen);
        MoveToEx(dc, 600, 10, nullptr);
        LineTo(dc, 2000000000, 10);
        MoveToEx(dc, -2000000000, -50, nullptr);
        LineTo(dc, 2000000000, -50);
        MoveToEx(dc, 100, 500, nullptr);
        LineTo(dc, 400, 500);
    });
    DeleteObject(pen);
    EXPECT_EQ(CountOtherThan(image, kWhite), 0);
}

TEST_F(GdiTest, MoveToExReportsThePreviousPositionAndLineToMovesIt) {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    POINT before{-1, -1};
    POINT afterLine{-1, -1};
    Win32TestImage image = Paint([&](HDC dc) {
        SelectObject(dc, pen);
        MoveToEx(dc, 10, 10, &before);
        LineTo(dc, 20, 10);
        LineTo(dc, 20, 20); // from where the first line ended
        MoveToEx(dc, 0, 0, &afterLine);
    });
    DeleteObject(pen);
    EXPECT_EQ(before.x, 0);
    EXPECT_EQ(before.y, 0);
    EXPECT_EQ(afterLine.x, 20);
    EXPECT_EQ(afterLine.y, 20);
    EXPECT_EQ(image.At(20, 15), 0xFF0000u);
}

// The bounding box of pixels that differ from the background.
RECT InkedBox(const Win32TestImage& image, uint32_t background) {
    RECT box{image.width, image.height, -1, -1};
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            if (image.At(x, y) != background) {
                box = RECT{std::min<LONG>(box.left, x), std::min<LONG>(box.top, y),
                           std::max<LONG>(box.right, x + 1), std::max<LONG>(box.bottom, y + 1)};
            }
        }
    }
    return box;
}

// Whether a pixel is dark enough to be part of black text.
bool IsDark(uint32_t pixel) {
    return ((pixel >> 16) & 0xFF) < 0x60 && ((pixel >> 8) & 0xFF) < 0x60 && (pixel & 0xFF) < 0x60;
}

class GdiTextTest : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        Win32TestReset();
        Win32TestUseHeadlessDisplay();
        background = CreateSolidBrush(kGrey);
        RegisterTestClass(background);
        font =
            CreateFontA(16, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, "System");
    }
    // The pixels after drawing text with the label font.
    Win32TestImage DrawText(int x, int y, const char* text, int count, HFONT with = nullptr) {
        return Paint([&](HDC dc) {
            SelectObject(dc, with != nullptr ? with : font);
            TextOutA(dc, x, y, text, count);
        });
    }
    HBRUSH background = nullptr;
    HFONT font = nullptr;
};

TEST_F(GdiTextTest, TextIsBlackOnAWhiteBoxOfTheCellHeightAtItsTopLeft) {
    Win32TestImage image = DrawText(200, 30, "X-axis Acceleration  ", 20);
    RECT box = InkedBox(image, kGreyPixel);
    EXPECT_EQ(box.left, 200);
    EXPECT_EQ(box.top, 30);
    EXPECT_EQ(box.bottom, 30 + 16);
    EXPECT_GT(box.right, 200 + 20 * 5);
    int dark = 0;
    for (int y = box.top; y < box.bottom; ++y) {
        for (int x = box.left; x < box.right; ++x) {
            uint32_t p = image.At(x, y);
            dark += IsDark(p) ? 1 : 0;
            // Inside the box everything is white, black or the grey of their blend.
            uint8_t r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
            ASSERT_TRUE(r == g && g == b) << "(" << x << "," << y << ")";
        }
    }
    EXPECT_GT(dark, 100);
    // The trailing blank widens the box with white on the right.
    EXPECT_EQ(image.At(box.right - 1, 38), kWhite);
    EXPECT_EQ(image.At(box.right, 38), kGreyPixel);
}

TEST_F(GdiTextTest, ExactlyCountCharactersAreDrawn) {
    Win32TestImage three = DrawText(20, 20, "ABC", 3);
    EXPECT_EQ(DrawText(20, 20, "ABCDEF", 3).pixels, three.pixels);
    EXPECT_NE(DrawText(20, 20, "ABCDEF", 4).pixels, three.pixels);
    EXPECT_EQ(CountOtherThan(DrawText(20, 20, "ABC", 0), kGreyPixel), 0);
}

TEST_F(GdiTextTest, TheSystemFaceIsBold) {
    HFONT plain = CreateFontA(16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                              0, "DejaVu Sans");
    auto darkPixels = [](const Win32TestImage& image) {
        return std::count_if(image.pixels.begin(), image.pixels.end(), IsDark);
    };
    auto bold = darkPixels(DrawText(20, 20, "Gyro Rotation", 13));
    auto normal = darkPixels(DrawText(20, 20, "Gyro Rotation", 13, plain));
    EXPECT_GT(bold, normal * 5 / 4);
    DeleteObject(plain);
}

TEST_F(GdiTextTest, LatinOneBytesDrawAndLeaveTheContextUsable) {
    HPEN pen = CreatePen(PS_SOLID, 5, RGB(200, 0, 0));
    Win32TestImage image = Paint([&](HDC dc) {
        SelectObject(dc, font);
        TextOutA(dc, 20, 20, "caf\xE9 \xFF\x80", 7);
        SelectObject(dc, pen);
        MoveToEx(dc, 20, 100, nullptr);
        LineTo(dc, 60, 100);
    });
    DeleteObject(pen);
    EXPECT_EQ(image.At(40, 100), 0xC80000u);
    EXPECT_EQ(InkedBox(image, kGreyPixel).top, 20);
}

TEST_F(GdiTest, BeginPaintErasesWithTheClassBrushThroughDefWindowProc) {
    // The first paint erases (grey brush); the procedure either leaves
    // WM_ERASEBKGND to DefWindowProcA or swallows it.
    struct EraseCase {
        const char* name;
        bool swallow;
        BOOL expectedFErase;
        uint32_t expectedPixel;
    };
    const EraseCase cases[] = {
        {"erased by DefWindowProcA", false, FALSE, kGreyPixel},
        {"WM_ERASEBKGND swallowed", true, TRUE, kWhite},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Win32TestReset();
        Win32TestUseHeadlessDisplay();
        HBRUSH grey = CreateSolidBrush(kGrey);
        RegisterTestClass(grey);
        BOOL fErase = -1;
        SetMessageHandler([&](HWND window, UINT message, WPARAM, LPARAM, LRESULT* result) {
            *result = 0;
            if (message == WM_ERASEBKGND) {
                return test.swallow;
            }
            if (message == WM_PAINT) {
                PAINTSTRUCT paint;
                BeginPaint(window, &paint);
                fErase = paint.fErase;
                EXPECT_EQ(paint.rcPaint.right, 60);
                EXPECT_EQ(paint.rcPaint.bottom, 40);
                EndPaint(window, &paint);
                return true;
            }
            return false;
        });
        HWND window = CreateTestWindow(60, 40);
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        EXPECT_EQ(fErase, test.expectedFErase);
        Win32TestImage image = Win32TestClientPixels(window);
        EXPECT_EQ(image.width, 60);
        EXPECT_EQ(image.height, 40);
        EXPECT_EQ(CountOtherThan(image, test.expectedPixel), 0);
    }
}

// A window repainted again and again shows, after every paint, the pixels that the
// same paint gives on a new window: what the layer skips (fills of unchanged places,
// labels whose pixels are still there, rectangles put on the display) never shows.
TEST_F(GdiTest, ARepaintedWindowShowsWhatTheSamePaintShowsOnANewWindow) {
    HPEN red = CreatePen(PS_SOLID, 5, 0x0000C8);
    HPEN black = CreatePen(PS_SOLID, 6, 0x000000);
    HPEN thin = CreatePen(PS_SOLID, 1, 0xC80000);
    HFONT font = CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "System");
    HFONT tall = CreateFontA(24, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "System");
    const auto label = [](HDC dc, int x, int y, const char* text) {
        TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
    };
    const auto bar = [](HDC dc, HPEN pen, int y, int to) {
        SelectObject(dc, pen);
        MoveToEx(dc, 250, y, nullptr);
        LineTo(dc, to, y);
    };
    // The program's paint, its bars ending at x and g.
    const auto program = [&](int x, int g) {
        return [&, x, g](HDC dc) {
            SelectObject(dc, font);
            label(dc, 200, 30, "X-axis Acceleration ");
            label(dc, 200, 230, "Gyro Rotation       ");
            bar(dc, red, 50, x);
            bar(dc, black, 250, g);
        };
    };
    const struct {
        const char* name;
        std::function<void(HDC)> paint;
    } frames[] = {
        {"first paint", program(300, 350)},
        {"bars move", program(120, 90)},
        {"the same again", program(120, 90)},
        {"bars beyond both sides", program(900, -400)},
        {"a label moves by a pixel, another changes",
         [&](HDC dc) {
             SelectObject(dc, font);
             label(dc, 201, 30, "X-axis Acceleration ");
             label(dc, 200, 230, "Gyro Rotation!      ");
         }},
        {"back to the program's paint", program(260, 240)},
        {"a bar over a label, a label over a bar",
         [&](HDC dc) {
             SelectObject(dc, font);
             label(dc, 200, 30, "X-axis Acceleration ");
             bar(dc, thin, 38, 420);
             bar(dc, black, 238, 100);
             label(dc, 200, 230, "Gyro Rotation       ");
         }},
        // The bar drew over the label's place: the next frame must not take the
        // label's pixels as still there once the bar's place is filled again.
        {"a line over the bar's place beside the label, then the label",
         [&](HDC dc) {
             SelectObject(dc, thin);
             MoveToEx(dc, 415, 38, nullptr);
             LineTo(dc, 420, 38);
             SelectObject(dc, font);
             label(dc, 200, 30, "X-axis Acceleration ");
         }},
        {"the program's paint once more", program(260, 240)},
        {"labels over each other, another font",
         [&](HDC dc) {
             SelectObject(dc, font);
             label(dc, 200, 30, "X-axis Acceleration ");
             label(dc, 210, 36, "X-axis Acceleration ");
             SelectObject(dc, tall);
             label(dc, 200, 230, "Gyro Rotation       ");
         }},
        {"nothing drawn", [](HDC) {}},
        {"the program's paint at last", program(300, 350)},
    };
    std::function<void(HDC)> frame = frames[0].paint;
    HWND repainted = PaintTestWindow(520, 420, [&frame](HDC dc) { frame(dc); });
    for (const auto& f : frames) {
        frame = f.paint;
        InvalidateRect(repainted, nullptr, TRUE);
        UpdateWindow(repainted);
        // The reference is one pixel larger each way: no label kept for the window's
        // size can serve it, so its labels are drawn, and a wrong copy shows.
        HWND fresh = CreateTestWindow(521, 421);
        ShowWindow(fresh, SW_SHOWDEFAULT);
        UpdateWindow(fresh);
        const Win32TestImage shown = Win32TestClientPixels(repainted);
        const Win32TestImage expected = Win32TestClientPixels(fresh);
        DestroyWindow(fresh);
        size_t differing = 0;
        for (int y = 0; y < 420; ++y) {
            for (int x = 0; x < 520; ++x) {
                differing += shown.At(x, y) != expected.At(x, y);
            }
        }
        EXPECT_EQ(differing, 0u) << f.name;
    }
}

// A real display paints for as long as the program runs: nothing may pile up in
// the log there. Without the headless display (no display at all here) the calls
// still work and still count, but leave no log.
TEST_F(GdiTest, TheLogStaysEmptyUnlessTheHeadlessDisplayIsChosen) {
    Win32TestReset();
    HPEN pen = CreatePen(PS_SOLID, 6, 0);
    EXPECT_EQ(Win32TestLiveGdiObjects(), 1);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(Win32TestTakeGdiLog().empty());
    Win32TestUseHeadlessDisplay();
    DeleteObject(CreatePen(PS_SOLID, 6, 0));
    DeleteObject(pen);
    // A stale handle shows in the log, so that tests reading it can see its use.
    const std::vector<std::string> expected = {
        "CreatePen pen(6,0x000000)", "DeleteObject pen(6,0x000000)", "DeleteObject invalid"};
    EXPECT_EQ(Win32TestTakeGdiLog(), expected);
}

TEST_F(GdiTest, ObjectsAreCountedSelectedAndDeletedByValidatedHandles) {
    HPEN pen = CreatePen(PS_SOLID, 6, 0);
    HPEN otherPen = CreatePen(PS_SOLID, 5, 0xC8);
    HBRUSH brush = CreateSolidBrush(0xFFFFFF);
    HFONT font = CreateFontA(16, 0, 0, 0, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "System");
    EXPECT_EQ(Win32TestLiveGdiObjects(), 4);
    HPEN deleted = CreatePen(PS_SOLID, 1, 0);
    EXPECT_TRUE(DeleteObject(deleted));
    EXPECT_EQ(Win32TestLiveGdiObjects(), 4);

    HDC paintedDc = nullptr;
    PaintTestWindow(100, 100, [&](HDC dc) {
        paintedDc = dc;
        // Each selection returns what it replaced, starting with the stock objects.
        EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
        EXPECT_EQ(SelectObject(dc, otherPen), pen);
        EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
        EXPECT_EQ(SelectObject(dc, font), GetStockObject(SYSTEM_FONT));
        EXPECT_EQ(SelectObject(dc, deleted), nullptr);
        EXPECT_EQ(SelectObject(dc, otherPen), otherPen);
        EXPECT_FALSE(TextOutA(dc, 0, 0, "x", -1));
    });
    // A device context is gone after EndPaint.
    EXPECT_EQ(SelectObject(paintedDc, pen), nullptr);
    EXPECT_FALSE(MoveToEx(paintedDc, 1, 1, nullptr));
    EXPECT_FALSE(LineTo(paintedDc, 2, 2));
    EXPECT_FALSE(TextOutA(paintedDc, 0, 0, "x", 1));

    // Stock objects survive DeleteObject and are not counted.
    EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_BRUSH)));
    EXPECT_NE(GetStockObject(WHITE_BRUSH), nullptr);
    EXPECT_EQ(GetStockObject(12345), nullptr);
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(pen), static_cast<HGDIOBJ>(otherPen),
                           static_cast<HGDIOBJ>(brush), static_cast<HGDIOBJ>(font)}) {
        EXPECT_TRUE(DeleteObject(object));
        EXPECT_FALSE(DeleteObject(object));
    }
    EXPECT_EQ(Win32TestLiveGdiObjects(), 0);
    EXPECT_FALSE(DeleteObject(nullptr));
}

TEST_F(GdiTest, ResetDeletesEveryObjectAndHandlesStayStale) {
    HPEN pen = CreatePen(PS_SOLID, 6, 0);
    HWND window = CreateTestWindow(50, 50);
    Win32TestReset();
    EXPECT_EQ(Win32TestLiveGdiObjects(), 0);
    EXPECT_FALSE(DeleteObject(pen));
    EXPECT_FALSE(Win32TestGetWindowInfo(window).exists);
    Win32TestUseHeadlessDisplay();
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = kTestClass;
    EXPECT_NE(RegisterClassExA(&windowClass), 0) << "classes are forgotten too";
    EXPECT_NE(CreateTestWindow(50, 50), window);
}

TEST_F(GdiTest, TheClientAreaSavesAsAPng) {
    HPEN pen = CreatePen(PS_SOLID, 6, RGB(0, 0, 200));
    HWND window = PaintTestWindow(120, 80, [&](HDC dc) {
        SelectObject(dc, pen);
        MoveToEx(dc, 10, 10, nullptr);
        LineTo(dc, 100, 10);
    });
    DeleteObject(pen);
    std::string path = ::testing::TempDir() + "client-" + std::to_string(getpid()) + ".png";
    ASSERT_TRUE(Win32TestSaveClientPng(window, path.c_str()));
    cairo_surface_t* png = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(png), 120);
    EXPECT_EQ(cairo_image_surface_get_height(png), 80);
    auto* row = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(png) +
                                            10 * cairo_image_surface_get_stride(png));
    EXPECT_EQ(row[50] & 0xFFFFFF, 0x0000C8u);
    cairo_surface_destroy(png);
    unlink(path.c_str());
    EXPECT_FALSE(Win32TestSaveClientPng(nullptr, path.c_str()));
}

} // namespace
