// Window classes and windows: creation, showing, invalidation, painting, the
// default window procedure and destruction, plus what displays deliver.
#include <cairo.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cairo_gdi.h"
#include "display.h"
#include "frame_damage.h"
#include "handles.h"
#include "layer_state.h"
#include "message_queue.h"
#include "window_table.h"

namespace win32_layer {

namespace {

constexpr int kDefaultWidth = 640; // for CW_USEDEFAULT
constexpr int kDefaultHeight = 480;
constexpr int kLargestSide = 16384; // larger sizes are cut to this

// The class key: Windows compares class names without regard to case.
std::string ClassKey(const char* name) {
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

// A white client surface of the size.
cairo_surface_t* NewClientSurface(int width, int height) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    TrackSurface(surface, RGB(255, 255, 255));
    return surface;
}

// A requested size made usable: CW_USEDEFAULT gives the default, the rest is kept
// between 1 and kLargestSide.
int UsableSide(int side, int fallback) {
    if (side == CW_USEDEFAULT) {
        return fallback;
    }
    return std::clamp(side, 1, kLargestSide);
}

// Posts a message to the window's thread. False for a stale window.
bool PostToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    std::lock_guard hold(LayerLock());
    RecordRef record = FindWindowLocked(window);
    if (!record || record->owner->dead) {
        return false;
    }
    PostLocked(*record->owner, MSG{window, message, wParam, lParam, MessageTime(), {}});
    return true;
}

// Marks the window invalid. Returns its thread's queue when that thread is to be
// woken (the window was valid), for the caller to Wake once the lock is released.
// Layer lock held.
QueueRef InvalidateLocked(WindowRecord& record, bool erase) {
    bool wasValid = !record.needsPaint;
    record.needsPaint = true;
    record.needsErase = record.needsErase || erase;
    return wasValid && record.visible ? record.owner : nullptr;
}

// What a new window is to be: CreateWindowExA's arguments, and how the layer keeps it.
struct NewWindow {
    const char* className;
    const char* caption;
    DWORD style = 0;
    int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
    int width = CW_USEDEFAULT, height = CW_USEDEFAULT;
    HINSTANCE instance = nullptr;
    LPVOID parameter = nullptr; // handed to WM_CREATE
    bool internal = false;      // the layer's own window: left out of the GDI log
    bool dialog = false;        // a fixed-size dialog box rather than a main window
};

// Takes the window out of the table and off its display; sends to it that are still
// queued return 0. Nothing happens when the layer was reset meanwhile.
void ForgetWindow(HWND window, const Display* display) {
    RecordRef record;
    {
        std::lock_guard hold(LayerLock());
        auto found = Layer().windows.find(reinterpret_cast<uintptr_t>(window));
        if (found == Layer().windows.end()) {
            return;
        }
        record = found->second;
        Layer().windows.erase(found);
        CancelSendsToWindowLocked(window);
    }
    display->destroyWindow(window);
}

// Creates a window; the shared body of CreateWindowExA and CreateInternalWindow.
HWND CreateWindowOfClass(const NewWindow& wanted) {
    const char* className = wanted.className;
    const char* caption = wanted.caption;
    const int x = wanted.x, y = wanted.y;
    WindowClass windowClass;
    {
        std::lock_guard hold(LayerLock());
        auto found = className != nullptr ? Layer().classes.find(ClassKey(className))
                                          : Layer().classes.end();
        if (found == Layer().classes.end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        windowClass = found->second;
    }
    const Display* display = DisplayForWindows();
    if (display == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto record = std::make_shared<WindowRecord>();
    HWND window = reinterpret_cast<HWND>(NewHandleValue(HandleKind::Window));
    record->handle = window;
    record->caption = caption != nullptr ? caption : "";
    record->className = windowClass.name;
    record->procedure = windowClass.procedure;
    record->background = windowClass.background;
    record->owner = CurrentThreadQueue();
    record->display = display;
    record->internal = wanted.internal;
    record->x = x;
    record->y = y;
    record->width = record->wantedWidth = UsableSide(wanted.width, kDefaultWidth);
    record->height = record->wantedHeight = UsableSide(wanted.height, kDefaultHeight);
    record->surface = NewClientSurface(record->width, record->height);
    {
        std::lock_guard hold(LayerLock());
        Layer().windows[reinterpret_cast<uintptr_t>(window)] = record;
    }
    const DisplayWindowRequest request{.caption = record->caption.c_str(),
                                       .className = record->className.c_str(),
                                       .x = x,
                                       .y = y,
                                       .width = record->width,
                                       .height = record->height,
                                       .dialog = wanted.dialog};
    if (!display->createWindow(window, request)) {
        std::lock_guard hold(LayerLock());
        Layer().windows.erase(reinterpret_cast<uintptr_t>(window));
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    CREATESTRUCTA create{wanted.parameter,
                         wanted.instance,
                         nullptr,
                         nullptr,
                         record->height,
                         record->width,
                         y,
                         x,
                         static_cast<LONG>(wanted.style),
                         caption,
                         className,
                         0};
    if (CallWindowProcedure(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        // As on Windows, a window whose creation failed gets no WM_DESTROY.
        ForgetWindow(window, display);
        return nullptr;
    }
    if ((wanted.style & WS_VISIBLE) != 0) {
        ShowWindow(window, SW_SHOW);
    }
    return window;
}

constexpr uint32_t kColourBits = 0xFFFFFF; // the rest of a surface pixel is undefined

// Whether any pixel of line from left up to right differs in colour from shown's.
// Eight pixels at a time without branches, which the compiler does in one go.
bool SpanDiffers(const uint32_t* line, const uint32_t* shown, int left, int right) {
    constexpr int kBlock = 8;
    uint32_t differences = 0;
    int column = left;
    for (; column + kBlock <= right; column += kBlock) {
        for (int i = 0; i < kBlock; ++i) {
            differences |= line[column + i] ^ shown[column + i];
        }
    }
    for (; column < right; ++column) {
        differences |= line[column] ^ shown[column];
    }
    return (differences & kColourBits) != 0;
}

// The part of rect in which frame's pixels differ from the shown ones, copied into
// them; empty when none differs. Layer lock held.
PixelRect CopyDifferencesLocked(WindowRecord& record, const Frame& frame, const PixelRect& rect) {
    PixelRect found{rect.right, rect.bottom, rect.left, rect.top};
    const auto same = [](uint32_t pixel, uint32_t shown) { return (pixel & kColourBits) == shown; };
    for (int row = rect.top; row < rect.bottom; ++row) {
        const uint32_t* line = frame.pixels + static_cast<size_t>(row) * (frame.stride / 4);
        uint32_t* shown = record.shown.data() + static_cast<size_t>(row) * frame.width;
        if (!SpanDiffers(line, shown, rect.left, rect.right)) {
            continue;
        }
        int first = rect.left;
        int last = rect.right - 1;
        while (same(line[first], shown[first])) {
            ++first;
        }
        while (same(line[last], shown[last])) {
            --last;
        }
        std::transform(line + first, line + last + 1, shown + first,
                       [](uint32_t pixel) { return pixel & kColourBits; });
        found = {std::min(found.left, first), std::min(found.top, row),
                 std::max(found.right, last + 1), std::max(found.bottom, row + 1)};
    }
    return found;
}

// Copies all of frame's pixels for the test interface. Layer lock held.
void CopyWholeFrameLocked(WindowRecord& record, const Frame& frame) {
    record.shown.resize(static_cast<size_t>(frame.width) * frame.height);
    for (int row = 0; row < frame.height; ++row) {
        const uint32_t* line = frame.pixels + static_cast<size_t>(row) * (frame.stride / 4);
        std::transform(line, line + frame.width,
                       record.shown.begin() + static_cast<size_t>(row) * frame.width,
                       [](uint32_t pixel) { return pixel & kColourBits; });
    }
    record.shownWidth = frame.width;
    record.shownHeight = frame.height;
}

// Copies what the paint changed for the test interface and puts it on the display:
// the rectangles whose pixels differ from the last frame, or the whole frame.
void PublishFrame(const RecordRef& record) {
    cairo_surface_flush(record->surface);
    FrameChanges changes = TakeChanges(record->surface);
    Frame frame{reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(record->surface)),
                record->width,
                record->height,
                cairo_image_surface_get_stride(record->surface),
                changes.whole,
                {}};
    {
        std::lock_guard hold(LayerLock());
        frame.whole =
            frame.whole || record->shownWidth != frame.width || record->shownHeight != frame.height;
        if (frame.whole) {
            CopyWholeFrameLocked(*record, frame);
        }
        for (size_t i = 0; !frame.whole && i < changes.rects.size(); ++i) {
            const PixelRect differs = CopyDifferencesLocked(*record, frame, changes.rects[i]);
            if (differs.left < differs.right) {
                frame.rects.push_back(differs);
            }
        }
    }
    record->display->presentFrame(record->handle, frame);
}

} // namespace

bool WindowExists(HWND window) {
    std::lock_guard hold(LayerLock());
    return FindWindowLocked(window) != nullptr;
}

HWND CreateInternalWindow(const char* className, const char* caption, int width, int height) {
    return CreateWindowOfClass({.className = className,
                                .caption = caption,
                                .width = width,
                                .height = height,
                                .internal = true,
                                .dialog = true});
}

void RegisterInternalClass(const char* className, WNDPROC procedure, HBRUSH background) {
    std::lock_guard hold(LayerLock());
    std::string key = ClassKey(className);
    if (Layer().classes.count(key) == 0) {
        Layer().classes[key] = WindowClass{className, 0, procedure, background};
    }
}

const Display* DisplayForWindows() {
    static const DisplayEvents events{DeliverKeyDown, DeliverCloseRequest, DeliverMouseButton,
                                      DeliverExpose, DeliverResize};
    return ActiveDisplay(events);
}

bool DeliverKeyDown(HWND window, UINT virtualKey) {
    return PostToWindow(window, WM_KEYDOWN, virtualKey, 1);
}

bool DeliverCloseRequest(HWND window) {
    return PostToWindow(window, WM_CLOSE, 0, 0);
}

bool DeliverMouseButton(HWND window, UINT message, int x, int y) {
    return PostToWindow(window, message, message == WM_LBUTTONDOWN ? 1 : 0, MAKELPARAM(x, y));
}

bool DeliverExpose(HWND window) {
    return InvalidateRect(window, nullptr, TRUE) != FALSE;
}

bool DeliverResize(HWND window, int width, int height) {
    QueueRef toWake;
    {
        std::lock_guard hold(LayerLock());
        RecordRef record = FindWindowLocked(window);
        if (!record) {
            return false;
        }
        record->wantedWidth = std::clamp(width, 1, kLargestSide);
        record->wantedHeight = std::clamp(height, 1, kLargestSide);
        if (record->wantedWidth != record->width || record->wantedHeight != record->height) {
            toWake = InvalidateLocked(*record, true);
        }
    }
    Wake(toWake);
    return true;
}

std::optional<WindowFacts> FactsOfWindow(HWND window) {
    std::lock_guard hold(LayerLock());
    RecordRef record = FindWindowLocked(window);
    if (!record) {
        return std::nullopt;
    }
    return WindowFacts{record->caption, record->className,   record->x,
                       record->y,       record->wantedWidth, record->wantedHeight,
                       record->visible, record->needsPaint};
}

bool ShownFrame(HWND window, int& width, int& height, std::vector<uint32_t>& pixels) {
    std::lock_guard hold(LayerLock());
    RecordRef record = FindWindowLocked(window);
    if (!record) {
        return false;
    }
    if (record->shown.empty()) {
        width = record->width;
        height = record->height;
        pixels.assign(static_cast<size_t>(width) * height, 0x00FFFFFFu);
        return true;
    }
    width = record->shownWidth;
    height = record->shownHeight;
    pixels = record->shown;
    return true;
}

} // namespace win32_layer

using namespace win32_layer;

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXA) ||
        windowClass->lpfnWndProc == nullptr || windowClass->lpszClassName == nullptr ||
        reinterpret_cast<uintptr_t>(windowClass->lpszClassName) <= 0xFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard hold(LayerLock());
    std::string key = ClassKey(windowClass->lpszClassName);
    if (Layer().classes.count(key) != 0) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    Layer().classes[key] = WindowClass{windowClass->lpszClassName, windowClass->style,
                                       windowClass->lpfnWndProc, windowClass->hbrBackground};
    return Layer().nextAtom++;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND, HMENU, HINSTANCE instance,
                            LPVOID parameter) {
    return CreateWindowOfClass({.className = className,
                                .caption = windowName,
                                .style = style,
                                .x = x,
                                .y = y,
                                .width = width,
                                .height = height,
                                .instance = instance,
                                .parameter = parameter});
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    bool visible = command != SW_HIDE;
    bool wasVisible;
    const Display* display;
    QueueRef toWake;
    {
        LockedWindow locked = LockWindow(window);
        WindowRecord* record = locked.record.get();
        if (record == nullptr) {
            return FALSE;
        }
        wasVisible = record->visible;
        record->visible = visible;
        display = record->display;
        if (visible && !wasVisible) {
            record->needsPaint = false;
            toWake = InvalidateLocked(*record, true);
        }
    }
    Wake(toWake);
    if (visible != wasVisible) {
        display->showWindow(window, visible);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND window) {
    bool paintNow;
    {
        LockedWindow locked = LockWindow(window);
        if (!locked.record) {
            return FALSE;
        }
        paintNow = locked.record->visible && locked.record->needsPaint;
    }
    if (paintNow) {
        SendMessageA(window, WM_PAINT, 0, 0);
    }
    return TRUE;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL erase) {
    if (window == nullptr) {
        return FALSE;
    }
    QueueRef toWake;
    {
        LockedWindow locked = LockWindow(window);
        if (!locked.record) {
            return FALSE;
        }
        toWake = InvalidateLocked(*locked.record, erase != FALSE);
    }
    Wake(toWake);
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_ERASEBKGND: {
        HBRUSH brush;
        {
            std::lock_guard hold(LayerLock());
            RecordRef record = FindWindowLocked(window);
            if (!record) {
                return 0;
            }
            brush = record->background;
        }
        return FillWithBrush(reinterpret_cast<HDC>(wParam), brush) ? 1 : 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (BeginPaint(window, &paint) != nullptr) {
            EndPaint(window, &paint);
        }
        return 0;
    }
    default:
        return 0;
    }
}

HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    if (paint == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    const ThreadQueue* caller = CurrentThreadQueueIfAny();
    cairo_surface_t* surface;
    bool erase;
    bool logged;
    int width, height;
    {
        LockedWindow locked = LockCallersWindow(window, caller);
        WindowRecord* record = locked.record.get();
        if (record == nullptr) {
            return nullptr;
        }
        if (record->wantedWidth != record->width || record->wantedHeight != record->height) {
            cairo_surface_destroy(record->surface);
            record->width = record->wantedWidth;
            record->height = record->wantedHeight;
            record->surface = NewClientSurface(record->width, record->height);
        }
        erase = record->needsErase;
        record->needsPaint = false;
        record->needsErase = false;
        surface = record->surface;
        logged = !record->internal;
        width = record->width;
        height = record->height;
    }
    HDC dc = OpenPaintDC(surface, logged);
    *paint = PAINTSTRUCT{};
    paint->hdc = dc;
    paint->rcPaint = RECT{0, 0, width, height};
    if (erase) {
        paint->fErase =
            CallWindowProcedure(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
    }
    return dc;
}

BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (paint == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    const ThreadQueue* caller = CurrentThreadQueueIfAny();
    RecordRef record = LockCallersWindow(window, caller).record;
    if (!record) {
        return FALSE;
    }
    ClosePaintDC(paint->hdc);
    PublishFrame(record);
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND window) {
    const ThreadQueue* caller = CurrentThreadQueueIfAny();
    const Display* display;
    {
        LockedWindow locked = LockWindow(window);
        WindowRecord* record = locked.record.get();
        if (record == nullptr) {
            return FALSE;
        }
        if (!OwnedByCallerLocked(*record, caller)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (record->destroying) {
            return TRUE;
        }
        record->destroying = true;
        record->visible = false;
        display = record->display;
    }
    display->showWindow(window, false);
    CallWindowProcedure(window, WM_DESTROY, 0, 0);
    ForgetWindow(window, display);
    return TRUE;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    auto id = reinterpret_cast<uintptr_t>(name);
    if (instance != nullptr || id < 32512 || id > 32518) {
        return nullptr;
    }
    return reinterpret_cast<HICON>(FixedHandleValue(HandleKind::Icon, id));
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    auto id = reinterpret_cast<uintptr_t>(name);
    if (instance != nullptr || id < 32512 || id > 32651) {
        return nullptr;
    }
    return reinterpret_cast<HCURSOR>(FixedHandleValue(HandleKind::Icon, id + 1000));
}
