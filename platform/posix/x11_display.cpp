// The X11 display: real top-level windows. Frames are put on them with XPutImage,
// only the rectangles that changed unless the window lost its contents (it was
// just created, exposed or resized);
// Esc and other keys, the window manager's close request, clicks, exposure and
// resizing come back as messages to the window's thread.
#include "display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "cairo_gdi.h"

namespace win32_layer {
namespace {

// One window on the X server.
struct X11Window {
    Window window;
    GC gc;
    int width, height; // last known client size
    bool needsWhole;   // the next frame is put whole
};

// The connection to the X server.
struct X11Connection {
    ::Display* display = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    Atom wmProtocols = 0;
    Atom wmDeleteWindow = 0;
    Atom netWmName = 0;
    Atom utf8String = 0;
    Atom netWmWindowType = 0;
    Atom netWmWindowTypeDialog = 0;
    std::map<HWND, X11Window> windows;
    std::map<Window, HWND> handles; // the layer's window of each X window
    DisplayEvents events{};         // where the events go
};
// The connection beside the X lock, which guards it: Xlib is only called with the
// lock held. Never destroyed, so threads still running at exit find it intact.
struct X11State {
    std::mutex lock;
    X11Connection connection;
};
X11State& X11() {
    static auto* state = new X11State;
    return *state;
}

// What the event pump hands to the window table once the lock is released.
struct PendingEvent {
    enum Kind { KeyDown, CloseRequest, Exposed, Resized, MouseButton } kind;
    HWND window;
    UINT code; // KeyDown: virtual key; MouseButton: WM_LBUTTONDOWN or WM_LBUTTONUP
    int x, y;  // MouseButton: position; Resized: new size
};

// Errors about windows that are already gone are expected; report the rest.
int ReportXError(::Display* display, XErrorEvent* error) {
    if (error->error_code != BadWindow && error->error_code != BadDrawable) {
        char text[128];
        XGetErrorText(display, error->error_code, text, sizeof text);
        std::fprintf(stderr, "x11: %s (request %d)\n", text, error->request_code);
    }
    return 0;
}

// Whether the screen's visual takes cairo's 0x00RRGGBB pixels as they are.
bool VisualMatchesCairo(const Visual* visual, int depth) {
    return visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
           visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 &&
           visual->blue_mask == 0x0000FF;
}

// The virtual key of a key symbol, or 0 for keys the program never sees.
UINT VirtualKeyOf(KeySym symbol) {
    if (symbol >= XK_a && symbol <= XK_z) {
        return static_cast<UINT>('A' + (symbol - XK_a));
    }
    if (symbol >= XK_A && symbol <= XK_Z) {
        return static_cast<UINT>('A' + (symbol - XK_A));
    }
    if (symbol >= XK_0 && symbol <= XK_9) {
        return static_cast<UINT>('0' + (symbol - XK_0));
    }
    if (symbol >= XK_F1 && symbol <= XK_F12) {
        return static_cast<UINT>(VK_F1 + (symbol - XK_F1));
    }
    switch (symbol) {
    case XK_Escape:
        return VK_ESCAPE;
    case XK_Return:
    case XK_KP_Enter:
        return VK_RETURN;
    case XK_space:
        return VK_SPACE;
    case XK_Tab:
        return VK_TAB;
    case XK_BackSpace:
        return VK_BACK;
    case XK_Left:
        return VK_LEFT;
    case XK_Up:
        return VK_UP;
    case XK_Right:
        return VK_RIGHT;
    case XK_Down:
        return VK_DOWN;
    default:
        return 0;
    }
}

// Turns one X event into what the window's thread should get. X lock held.
bool TranslateEvent(X11Connection& x, const XEvent& event, PendingEvent* pending) {
    auto found = x.handles.find(event.xany.window);
    if (found == x.handles.end()) {
        return false;
    }
    *pending = PendingEvent{PendingEvent::KeyDown, found->second, 0, 0, 0};
    switch (event.type) {
    case KeyPress: {
        XKeyEvent key = event.xkey;
        pending->code = VirtualKeyOf(XLookupKeysym(&key, 0));
        return pending->code != 0;
    }
    case ClientMessage:
        pending->kind = PendingEvent::CloseRequest;
        return event.xclient.message_type == x.wmProtocols &&
               static_cast<Atom>(event.xclient.data.l[0]) == x.wmDeleteWindow;
    case Expose:
        x.windows[found->second].needsWhole = true;
        pending->kind = PendingEvent::Exposed;
        return event.xexpose.count == 0;
    case ConfigureNotify: {
        X11Window& window = x.windows[found->second];
        if (event.xconfigure.width == window.width && event.xconfigure.height == window.height) {
            return false;
        }
        window.width = event.xconfigure.width;
        window.height = event.xconfigure.height;
        window.needsWhole = true;
        *pending =
            PendingEvent{PendingEvent::Resized, found->second, 0, window.width, window.height};
        return true;
    }
    case ButtonPress:
    case ButtonRelease:
        *pending =
            PendingEvent{PendingEvent::MouseButton, found->second,
                         event.type == ButtonPress ? UINT{WM_LBUTTONDOWN} : UINT{WM_LBUTTONUP},
                         event.xbutton.x, event.xbutton.y};
        return event.xbutton.button == Button1;
    default:
        return false;
    }
}

// Hands an event to the window table. Called without the X lock.
void Deliver(const DisplayEvents& to, const PendingEvent& event) {
    switch (event.kind) {
    case PendingEvent::KeyDown:
        to.keyDown(event.window, event.code);
        break;
    case PendingEvent::CloseRequest:
        to.closeRequest(event.window);
        break;
    case PendingEvent::Exposed:
        to.expose(event.window);
        break;
    case PendingEvent::Resized:
        to.resize(event.window, event.x, event.y);
        break;
    case PendingEvent::MouseButton:
        to.mouseButton(event.window, event.code, event.x, event.y);
        break;
    }
}

// Connects to the X server named by $DISPLAY.
bool X11Open(const DisplayEvents& events) {
    std::lock_guard hold(X11().lock);
    X11Connection& x = X11().connection;
    if (x.display != nullptr) {
        x.events = events;
        return true;
    }
    ::Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11: cannot open display \"%s\"\n", XDisplayName(nullptr));
        return false;
    }
    int screen = DefaultScreen(display);
    Visual* visual = DefaultVisual(display, screen);
    int depth = DefaultDepth(display, screen);
    if (!VisualMatchesCairo(visual, depth)) {
        std::fprintf(stderr, "x11: unsupported visual (24-bit TrueColor needed)\n");
        XCloseDisplay(display);
        return false;
    }
    XSetErrorHandler(ReportXError);
    x.display = display;
    x.visual = visual;
    x.depth = depth;
    x.wmProtocols = XInternAtom(display, "WM_PROTOCOLS", False);
    x.wmDeleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    x.netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    x.utf8String = XInternAtom(display, "UTF8_STRING", False);
    x.netWmWindowType = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    x.netWmWindowTypeDialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    x.events = events;
    return true;
}

// Destroys every window and closes the connection.
void X11Close() {
    std::lock_guard hold(X11().lock);
    X11Connection& x = X11().connection;
    if (x.display == nullptr) {
        return;
    }
    for (auto& [handle, window] : x.windows) {
        XFreeGC(x.display, window.gc);
        XDestroyWindow(x.display, window.window);
    }
    XCloseDisplay(x.display);
    x = X11Connection{};
}

// The connection's descriptor, readable when events arrive.
int X11EventFd() {
    std::lock_guard hold(X11().lock);
    X11Connection& x = X11().connection;
    return x.display != nullptr ? ConnectionNumber(x.display) : -1;
}

// Delivers what the windows need to know of the events Xlib holds, and of those
// waiting on the connection when readConnection is set. Not reading when poll()
// found nothing saves a system call on every message the program takes.
void X11Pump(bool readConnection) {
    std::vector<PendingEvent> events;
    DisplayEvents to;
    {
        std::lock_guard hold(X11().lock);
        X11Connection& x = X11().connection;
        if (x.display == nullptr) {
            return;
        }
        to = x.events;
        const int mode = readConnection ? QueuedAfterReading : QueuedAlready;
        while (XEventsQueued(x.display, mode) > 0) {
            XEvent event;
            XNextEvent(x.display, &event);
            PendingEvent pending;
            if (TranslateEvent(x, event, &pending)) {
                events.push_back(pending);
            }
        }
    }
    for (const auto& event : events) {
        Deliver(to, event);
    }
}

// Sets the title in both the old Latin-1 property and the UTF-8 one. X lock held.
void SetTitle(X11Connection& x, Window window, const char* caption) {
    XStoreName(x.display, window, caption);
    std::string utf8 = Latin1ToUtf8(caption);
    XChangeProperty(x.display, window, x.netWmName, x.utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));
}

// Tells the window manager the name, class, size and kind of the window. X lock held.
void SetHints(X11Connection& x, Window window, const DisplayWindowRequest& request, int left,
              int top) {
    XSizeHints* size = XAllocSizeHints();
    size->flags = PPosition | PSize;
    size->x = left;
    size->y = top;
    size->width = request.width;
    size->height = request.height;
    if (request.dialog) {
        size->flags |= PMinSize | PMaxSize;
        size->min_width = size->max_width = request.width;
        size->min_height = size->max_height = request.height;
    }
    XSetWMNormalHints(x.display, window, size);
    XFree(size);
    XWMHints* wm = XAllocWMHints();
    wm->flags = InputHint | StateHint;
    wm->input = True;
    wm->initial_state = NormalState;
    XSetWMHints(x.display, window, wm);
    XFree(wm);
    std::string name = program_invocation_short_name;
    std::string className = request.className;
    XClassHint classHint{name.data(), className.data()};
    XSetClassHint(x.display, window, &classHint);
    XSetWMProtocols(x.display, window, &x.wmDeleteWindow, 1);
    if (request.dialog) {
        XChangeProperty(x.display, window, x.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&x.netWmWindowTypeDialog), 1);
    }
}

// Creates the X window of a layer window (not mapped yet).
bool X11CreateWindow(HWND handle, const DisplayWindowRequest& request) {
    std::lock_guard hold(X11().lock);
    X11Connection& x = X11().connection;
    if (x.display == nullptr) {
        return false;
    }
    int screen = DefaultScreen(x.display);
    int left = request.x;
    int top = request.y;
    if (left == CW_USEDEFAULT || top == CW_USEDEFAULT) {
        left = std::max(0, (DisplayWidth(x.display, screen) - request.width) / 2);
        top = std::max(0, (DisplayHeight(x.display, screen) - request.height) / 2);
    }
    XSetWindowAttributes attributes{};
    attributes.background_pixel = WhitePixel(x.display, screen);
    attributes.event_mask =
        ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
    Window window = XCreateWindow(
        x.display, RootWindow(x.display, screen), left, top, static_cast<unsigned>(request.width),
        static_cast<unsigned>(request.height), 0, CopyFromParent, InputOutput, CopyFromParent,
        CWBackPixel | CWEventMask, &attributes);
    SetTitle(x, window, request.caption);
    SetHints(x, window, request, left, top);
    GC gc = XCreateGC(x.display, window, 0, nullptr);
    x.windows[handle] = X11Window{window, gc, request.width, request.height, true};
    x.handles[window] = handle;
    XFlush(x.display);
    return true;
}

// Destroys the X window of a layer window.
void X11DestroyWindow(HWND handle) {
    std::lock_guard hold(X11().lock);
    X11Connection& x = X11().connection;
    auto found = x.windows.find(handle);
    if (x.display == nullptr || found == x.windows.end()) {
        return;
    }
    XFreeGC(x.display, found->second.gc);
    XDestroyWindow(x.display, found->second.window);
    x.handles.erase(found->second.window);
    x.windows.erase(found);
    XFlush(x.display);
}

// Maps or unmaps the X window.
void X11ShowWindow(HWND handle, bool visible) {
    std::lock_guard hold(X11().lock);
    X11Connection& x = X11().connection;
    auto found = x.windows.find(handle);
    if (x.display == nullptr || found == x.windows.end()) {
        return;
    }
    if (visible) {
        XMapRaised(x.display, found->second.window);
    } else {
        XUnmapWindow(x.display, found->second.window);
    }
    XFlush(x.display);
}

// Puts a painted frame on the window: all of it when the window needs it or the
// frame says so, else the rectangles that changed.
void X11PresentFrame(HWND handle, const Frame& frame) {
    std::lock_guard hold(X11().lock);
    X11Connection& x = X11().connection;
    auto found = x.windows.find(handle);
    if (x.display == nullptr || found == x.windows.end()) {
        return;
    }
    X11Window& window = found->second;
    const bool whole = frame.whole || window.needsWhole;
    if (!whole && frame.rects.empty()) {
        return;
    }
    XImage* image = XCreateImage(x.display, x.visual, static_cast<unsigned>(x.depth), ZPixmap, 0,
                                 reinterpret_cast<char*>(const_cast<uint32_t*>(frame.pixels)),
                                 static_cast<unsigned>(frame.width),
                                 static_cast<unsigned>(frame.height), 32, frame.stride);
    if (image == nullptr) {
        return;
    }
    image->byte_order = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? LSBFirst : MSBFirst;
    const std::vector<PixelRect> all = {{0, 0, frame.width, frame.height}};
    for (const PixelRect& rect : whole ? all : frame.rects) {
        XPutImage(x.display, window.window, window.gc, image, rect.left, rect.top, rect.left,
                  rect.top, static_cast<unsigned>(rect.right - rect.left),
                  static_cast<unsigned>(rect.bottom - rect.top));
    }
    window.needsWhole = false;
    image->data = nullptr; // the pixels belong to the caller
    XDestroyImage(image);
    XFlush(x.display);
}

} // namespace

const Display x11Display = {
    .name = "x11",
    .open = X11Open,
    .close = X11Close,
    .eventFd = X11EventFd,
    .pumpEvents = X11Pump,
    .createWindow = X11CreateWindow,
    .destroyWindow = X11DestroyWindow,
    .showWindow = X11ShowWindow,
    .presentFrame = X11PresentFrame,
};

} // namespace win32_layer
