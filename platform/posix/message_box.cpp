// MessageBoxA: a small modal dialog window of the layer's own with the text and an
// OK button, run by its own message loop; standard error where there is no display.
#include <cairo.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "cairo_gdi.h"
#include "display.h"
#include "message_box.h"
#include "window_table.h"

namespace win32_layer {
namespace {

constexpr const char* kBoxClass = "#32770"; // Windows' own name for dialog boxes
constexpr int kMargin = 20;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 26;
constexpr int kSmallestWidth = 220;
constexpr double kTextSize = 13; // pixels

// One open message box. Only its own thread changes it, except where noted.
struct MessageBoxState {
    std::vector<std::string> lines; // the text in UTF-8, line by line
    double lineHeight;              // pixels from one baseline to the next
    double ascent;                  // pixels from a line's top to its baseline
    int width, height;              // client area
    RECT button;                    // the OK button; read by tests under Boxes().lock
    bool dismissed = false;         // Enter, Esc, the button or a close request came
};

// Every message box of the process, beside the lock that guards it. Never
// destroyed, so threads still running at exit find it intact.
struct MessageBoxes {
    std::mutex lock;
    std::condition_variable opened;        // a box came on screen
    std::vector<std::string> texts;        // every text shown since the reset
    bool hold = false;                     // headless boxes wait to be dismissed
    std::map<HWND, MessageBoxState*> open; // boxes on screen now
    std::vector<HWND> openOrder;           // the same, oldest first
};
MessageBoxes& Boxes() {
    static auto* boxes = new MessageBoxes;
    return *boxes;
}

// Selects the box's font.
void UseBoxFont(cairo_t* cr) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kTextSize);
}

// Splits the text into lines and measures the box around them.
void LayOut(const std::string& text, MessageBoxState& box) {
    std::string utf8 = Latin1ToUtf8(text);
    size_t start = 0;
    for (;;) {
        size_t end = utf8.find('\n', start);
        std::string line = utf8.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        box.lines.push_back(line);
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    UseBoxFont(cr);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    double widest = 0;
    for (const auto& line : box.lines) {
        cairo_text_extents_t extents;
        cairo_text_extents(cr, line.c_str(), &extents);
        widest = std::max(widest, extents.x_advance);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    box.lineHeight = std::ceil(font.height);
    box.ascent = std::ceil(font.ascent);
    box.width = std::max(kSmallestWidth, static_cast<int>(std::ceil(widest)) + 2 * kMargin);
    int buttonTop = kMargin + static_cast<int>(box.lineHeight * box.lines.size()) + kMargin;
    int buttonLeft = (box.width - kButtonWidth) / 2;
    box.button = RECT{buttonLeft, buttonTop, buttonLeft + kButtonWidth, buttonTop + kButtonHeight};
    box.height = buttonTop + kButtonHeight + kMargin * 3 / 4;
}

// Draws the box: grey face, the text, the OK button with its focus frame.
void PaintBox(cairo_t* cr, void* data) {
    const auto& box = *static_cast<const MessageBoxState*>(data);
    cairo_set_source_rgb(cr, 0.94, 0.94, 0.94);
    cairo_paint(cr);
    UseBoxFont(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    for (size_t i = 0; i < box.lines.size(); ++i) {
        cairo_move_to(cr, kMargin, kMargin + box.lineHeight * i + box.ascent);
        cairo_show_text(cr, box.lines[i].c_str());
    }
    const RECT& b = box.button;
    cairo_rectangle(cr, b.left + 0.5, b.top + 0.5, kButtonWidth - 1, kButtonHeight - 1);
    cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.0, 0.47, 0.84);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, "OK", &extents);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, b.left + (kButtonWidth - extents.x_advance) / 2,
                  b.top + (kButtonHeight + extents.height) / 2);
    cairo_show_text(cr, "OK");
}

// The state of an open box, or null.
MessageBoxState* FindBox(HWND window) {
    std::lock_guard hold(Boxes().lock);
    auto found = Boxes().open.find(window);
    return found == Boxes().open.end() ? nullptr : found->second;
}

// The window procedure of message boxes.
LRESULT CALLBACK MessageBoxProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MessageBoxState* box = FindBox(window);
    if (box == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        DrawWithCairo(dc, PaintBox, box);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the paint covers everything
    case WM_KEYDOWN:
        box->dismissed =
            box->dismissed || wParam == VK_RETURN || wParam == VK_ESCAPE || wParam == VK_SPACE;
        return 0;
    case WM_LBUTTONUP: {
        int x = static_cast<int16_t>(LOWORD(lParam));
        int y = static_cast<int16_t>(HIWORD(lParam));
        const RECT& b = box->button;
        box->dismissed =
            box->dismissed || (x >= b.left && x < b.right && y >= b.top && y < b.bottom);
        return 0;
    }
    case WM_CLOSE:
        box->dismissed = true;
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Shows the box and runs its modal loop until it is dismissed. A WM_QUIT that
// arrives meanwhile ends the box and is posted again for the caller's loop.
void RunMessageBox(const std::string& text, const char* title) {
    RegisterInternalClass(kBoxClass, MessageBoxProcedure, nullptr);
    MessageBoxState box;
    LayOut(text, box);
    HWND window = CreateInternalWindow(kBoxClass, title, box.width, box.height);
    if (window == nullptr) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    {
        std::lock_guard hold(Boxes().lock);
        Boxes().open[window] = &box;
        Boxes().openOrder.push_back(window);
    }
    Boxes().opened.notify_all();
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    bool quit = false;
    MSG message{};
    while (!box.dismissed && WindowExists(window)) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got <= 0) {
            quit = got == 0;
            break;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    {
        std::lock_guard hold(Boxes().lock);
        Boxes().open.erase(window);
        auto& order = Boxes().openOrder;
        order.erase(std::remove(order.begin(), order.end(), window), order.end());
    }
    DestroyWindow(window);
    if (quit) {
        PostQuitMessage(static_cast<int>(message.wParam));
    }
}

} // namespace

std::vector<std::string> MessageBoxTextsShown() {
    std::lock_guard hold(Boxes().lock);
    return Boxes().texts;
}

void HoldMessageBoxes(bool hold) {
    std::lock_guard lock(Boxes().lock);
    Boxes().hold = hold;
}

HWND WaitForMessageBox(int timeoutMs) {
    std::unique_lock hold(Boxes().lock);
    Boxes().opened.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                            [] { return !Boxes().openOrder.empty(); });
    return Boxes().openOrder.empty() ? nullptr : Boxes().openOrder.back();
}

RECT MessageBoxButton(HWND box) {
    std::lock_guard hold(Boxes().lock);
    auto found = Boxes().open.find(box);
    return found == Boxes().open.end() ? RECT{0, 0, 0, 0} : found->second->button;
}

void ResetMessageBoxes() {
    std::lock_guard hold(Boxes().lock);
    Boxes().texts.clear();
    Boxes().hold = false;
}

} // namespace win32_layer

using namespace win32_layer;

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    std::string message = text != nullptr ? text : "";
    bool hold;
    {
        std::lock_guard lock(Boxes().lock);
        Boxes().texts.push_back(message);
        hold = Boxes().hold;
    }
    const Display* display = DisplayForWindows();
    if (display == nullptr || (display == &headlessDisplay && !hold)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        std::fflush(stderr);
        return IDOK;
    }
    RunMessageBox(message, caption != nullptr ? caption : program_invocation_short_name);
    return IDOK;
}
