// The X11 display under a private Xvfb server (run through tests/support/with-xvfb):
// windows appear with their caption and size and show what was painted; keys,
// clicks and the window manager's close request reach the window procedure; the
// message box is a real dialog dismissed by Enter, Esc, its button or closing.
// The test drives the server from its own X connection, as a user would.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break it.
#include "platform_test_support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <string>

#include "wait_until.h"
#include "x_close_request.h"

namespace {

using namespace std::chrono_literals;

// A connection of the test's own to the X server.
class XClient {
  public:
    XClient() : display(XOpenDisplay(nullptr)) {}
    ~XClient() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    // The top-level window with this title that is mapped, waiting up to 5 s; 0 if none.
    Window FindMapped(const std::string& title) {
        Window found = 0;
        WaitUntil(
            [&] {
                found = FindNow(title);
                return found != 0 && IsMapped(found);
            },
            5000);
        return found != 0 && IsMapped(found) ? found : 0;
    }

    // Whether a window with this title exists, checked at once.
    Window FindNow(const std::string& title) {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && found == 0; ++i) {
                char* name = nullptr;
                if (XFetchName(display, children[i], &name) && name != nullptr) {
                    found = title == name ? children[i] : 0;
                    XFree(name);
                }
            }
            XFree(children);
        }
        return found;
    }

    // Waits up to 5 s until no window has this title.
    bool WaitUntilGone(const std::string& title) {
        return WaitUntil([&] { return FindNow(title) == 0; }, 5000);
    }

    // Whether the window is mapped and shown.
    bool IsMapped(Window window) {
        XWindowAttributes attributes;
        return XGetWindowAttributes(display, window, &attributes) &&
               attributes.map_state == IsViewable;
    }

    // The window's size.
    std::pair<int, int> Size(Window window) {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, window, &attributes);
        return {attributes.width, attributes.height};
    }

    // The window's _NET_WM_NAME (UTF-8).
    std::string Utf8Title(Window window) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        std::string title;
        if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0,
                               1024, False, XInternAtom(display, "UTF8_STRING", False), &type,
                               &format, &count, &after, &data) == Success &&
            data != nullptr) {
            title.assign(reinterpret_cast<char*>(data), count);
            XFree(data);
        }
        return title;
    }

    // The pixel at (x, y) of the window as 0x00RRGGBB.
    uint32_t Pixel(Window window, int x, int y) {
        XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr) {
            return 0xFFFFFFFFu;
        }
        uint32_t pixel = static_cast<uint32_t>(XGetPixel(image, 0, 0)) & 0xFFFFFF;
        XDestroyImage(image);
        return pixel;
    }

    // Waits up to 5 s for the pixel to become the colour.
    bool WaitForPixel(Window window, int x, int y, uint32_t colour) {
        return WaitUntil([&] { return Pixel(window, x, y) == colour; }, 5000);
    }

    // Sends a key press, as the server would deliver it to the focused window.
    void PressKey(Window window, KeySym symbol) {
        XEvent event{};
        event.xkey.type = KeyPress;
        event.xkey.display = display;
        event.xkey.window = window;
        event.xkey.root = DefaultRootWindow(display);
        event.xkey.keycode = XKeysymToKeycode(display, symbol);
        event.xkey.same_screen = True;
        XSendEvent(display, window, True, KeyPressMask, &event);
        XFlush(display);
    }

    // Sends a left click at (x, y).
    void Click(Window window, int x, int y) {
        for (int type : {ButtonPress, ButtonRelease}) {
            XEvent event{};
            event.xbutton.type = type;
            event.xbutton.display = display;
            event.xbutton.window = window;
            event.xbutton.root = DefaultRootWindow(display);
            event.xbutton.button = Button1;
            event.xbutton.x = x;
            event.xbutton.y = y;
            event.xbutton.same_screen = True;
            XSendEvent(display, window, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask,
                       &event);
        }
        XFlush(display);
    }

    // Asks the window to close, as a window manager does for the close button.
    void RequestClose(Window window) { SendCloseRequest(display, window); }

    ::Display* display;
};

// Resets the layer around each test without choosing the headless display.
class X11Test : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through tests/support/with-xvfb";
        Win32TestReset();
        ForgetTestBehaviour();
        RegisterTestClass(static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    void TearDown() override {
        Win32TestReset();
        ForgetTestBehaviour();
    }
};

// Runs the message loop until WM_QUIT.
void RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The entries of the log that are among the names.
std::vector<std::string> Only(const std::vector<std::string>& log,
                              std::initializer_list<const char*> names) {
    std::vector<std::string> kept;
    for (const auto& entry : log) {
        for (const char* name : names) {
            if (entry == name) {
                kept.push_back(entry);
            }
        }
    }
    return kept;
}

// What the test's X client saw of the main window.
struct WindowSeen {
    bool found = false;
    std::string utf8Title;
    std::pair<int, int> size;
    bool painted = false;
    bool escapeHandled = false;
    bool gone = false;
};

TEST_F(X11Test, AWindowShowsItsCaptionSizeAndPaintAndTakesEscAndClose) {
    const std::string caption = "Tobrisk X11 test \xE9";  // Latin-1 e acute
    std::atomic<bool> escapeSeen{false};
    SetMessageHandler([&](HWND, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
        *result = 0;
        if (message == WM_KEYDOWN) {
            escapeSeen = escapeSeen || wParam == VK_ESCAPE;
            return true;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return true;
        }
        return false;
    });
    HPEN pen = CreatePen(PS_SOLID, 5, RGB(200, 0, 0));
    HWND window = PaintTestWindow(
        320, 240,
        [&](HDC dc) {
            SelectObject(dc, pen);
            MoveToEx(dc, 20, 50, nullptr);
            LineTo(dc, 200, 50);
        },
        caption.c_str());
    ASSERT_NE(window, nullptr);

    auto user = std::async(std::launch::async, [&] {
        WindowSeen seen;
        XClient x;
        Window found = x.display != nullptr ? x.FindMapped(caption) : 0;
        if (found != 0) {
            seen.found = true;
            seen.utf8Title = x.Utf8Title(found);
            seen.size = x.Size(found);
            seen.painted = x.WaitForPixel(found, 100, 50, 0xC80000);
            x.PressKey(found, XK_Escape);
            seen.escapeHandled = WaitUntil([&] { return escapeSeen.load(); }, 5000);
            x.RequestClose(found);
            seen.gone = x.WaitUntilGone(caption);
        }
        Win32TestRequestClose(window);  // ends the loop whatever happened above
        return seen;
    });
    RunMessageLoop();
    ASSERT_EQ(user.wait_for(10s), std::future_status::ready);
    WindowSeen seen = user.get();
    DeleteObject(pen);

    ASSERT_TRUE(seen.found) << "no mapped window titled " << caption;
    EXPECT_EQ(seen.utf8Title, "Tobrisk X11 test \xC3\xA9");
    EXPECT_EQ(seen.size, std::make_pair(320, 240));
    EXPECT_TRUE(seen.painted) << "the painted line is not on the screen";
    EXPECT_TRUE(seen.escapeHandled);
    EXPECT_TRUE(seen.gone) << "the X window stayed after WM_CLOSE";
    EXPECT_EQ(Only(TakeMessageLog(), {"WM_KEYDOWN 0x1B", "WM_CLOSE", "WM_DESTROY"}),
              (std::vector<std::string>{"WM_KEYDOWN 0x1B", "WM_CLOSE", "WM_DESTROY"}));
    EXPECT_FALSE(Win32TestGetWindowInfo(window).exists);
}

// A window that loses its contents (unmapped and mapped again, the server keeps
// nothing) shows its paint again: the frame is the same as the last one, and all
// of it is put, not only what changed.
TEST_F(X11Test, AWindowThatLostItsContentsShowsItsPaintAgain) {
    SetMessageHandler([](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        *result = 0;
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return true;
        }
        return false;
    });
    HPEN pen = CreatePen(PS_SOLID, 6, RGB(0, 0, 0));
    HWND window = PaintTestWindow(
        200, 100,
        [pen](HDC dc) {
            SelectObject(dc, pen);
            MoveToEx(dc, 20, 50, nullptr);
            LineTo(dc, 180, 50);
        },
        "exposure test");
    auto user = std::async(std::launch::async, [&] {
        XClient x;
        const Window found = x.FindMapped("exposure test");
        bool shown = found != 0 && x.WaitForPixel(found, 100, 50, 0x000000);
        bool shownAgain = false;
        if (shown) {
            XUnmapWindow(x.display, found);
            XMapWindow(x.display, found);
            XFlush(x.display);
            shownAgain = x.FindMapped("exposure test") == found &&
                         x.WaitForPixel(found, 100, 50, 0x000000) &&
                         x.WaitForPixel(found, 10, 10, 0xFFFFFF);
        }
        Win32TestRequestClose(window);
        return std::make_pair(shown, shownAgain);
    });
    RunMessageLoop();
    DeleteObject(pen);
    ASSERT_EQ(user.wait_for(10s), std::future_status::ready);
    const auto [shown, shownAgain] = user.get();
    EXPECT_TRUE(shown) << "the paint never showed";
    EXPECT_TRUE(shownAgain) << "the paint did not show again after the window was mapped again";
}

// A way for the user to dismiss the message box.
struct DismissCase {
    const char* name;
    std::function<void(XClient&, Window, const RECT&)> dismiss;
};

TEST_F(X11Test, TheMessageBoxIsAModalDialogThatTheUserDismisses) {
    const DismissCase cases[] = {
        {"Enter", [](XClient& x, Window w, const RECT&) { x.PressKey(w, XK_Return); }},
        {"Esc", [](XClient& x, Window w, const RECT&) { x.PressKey(w, XK_Escape); }},
        {"a click on OK",
         [](XClient& x, Window w, const RECT& b) {
             x.Click(w, (b.left + b.right) / 2, (b.top + b.bottom) / 2);
         }},
        {"closing it", [](XClient& x, Window w, const RECT&) { x.RequestClose(w); }},
    };
    const std::string title = program_invocation_short_name;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        auto shown = std::async(std::launch::async, [] {
            return MessageBoxA(nullptr, "Wii-Remote cannot open.", nullptr, MB_OK);
        });
        HWND box = Win32TestWaitForMessageBox(ScaledMs(5000));
        ASSERT_NE(box, nullptr);
        XClient x;
        Window found = x.FindMapped(title);
        EXPECT_NE(found, 0u) << "no mapped dialog titled " << title;
        if (found != 0) {
            Win32TestWindowInfo info = Win32TestGetWindowInfo(box);
            EXPECT_EQ(x.Size(found), std::make_pair(info.width, info.height));
            EXPECT_TRUE(x.WaitForPixel(found, 1, 1, 0xF0F0F0)) << "the dialog was not painted";
            x.Click(found, 1, 1);  // beside the button: nothing happens
            EXPECT_EQ(shown.wait_for(100ms), std::future_status::timeout);
            test.dismiss(x, found, Win32TestMessageBoxButton(box));
        }
        if (shown.wait_for(5s) != std::future_status::ready) {
            ADD_FAILURE() << "the dialog was not dismissed";
            Win32TestPressKey(box, VK_RETURN);
        }
        EXPECT_EQ(shown.get(), IDOK);
        EXPECT_TRUE(x.WaitUntilGone(title));
    }
}

} // namespace
