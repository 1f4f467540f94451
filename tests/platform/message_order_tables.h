// Which messages a window procedure gets, and in what order, for each thing the
// program does to its window: tables of expected sequences, checked against our
// layer (message_order_test.cpp) and against Windows' own user32 under Wine
// (tests/wine/message_order_check.cpp). Only the messages named by MessageName are
// compared: a real window gets many more (activation, frame, position), which the
// program leaves to DefWindowProcA.
#ifndef TOBRISK_TESTS_PLATFORM_MESSAGE_ORDER_TABLES_H
#define TOBRISK_TESTS_PLATFORM_MESSAGE_ORDER_TABLES_H

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win32.h"

using Sequence = std::vector<std::string>;

// What each program that checks the tables provides.
// A key press as the display delivers it: WM_KEYDOWN posted to the window's thread.
bool PressKey(HWND window, WPARAM key);
// The display's close request: WM_CLOSE posted to the window's thread.
bool RequestClose(HWND window);
// Handles every message waiting for the calling thread, without waiting for more.
void DispatchPending();
// Makes the next CreateWindowExA fail before the window gets any message.
void FailNextCreateWindow();
// Decides a message before the recording procedure's default handling: returns
// true and sets *result to handle it; null for none.
using MessageHandler = std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)>;
void SetMessageHandler(MessageHandler handler);
// Records a check made in the middle of an action.
void ExpectInAction(bool holds, const char* what);
// Whether the tables are checked against Windows' own user32 rather than our layer.
bool OnWindows();

// The class whose procedure records the messages, and one that does not exist.
inline constexpr const char* kTestClass = "test-wnd";
inline constexpr const char* kMissingClass = "no-such-class";

// Registers kTestClass with procedure and background, as the program registers its
// window's class. Returns the class atom, 0 on failure.
inline ATOM RegisterRecordingClass(WNDPROC procedure, HBRUSH background) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = procedure;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = kTestClass;
    return RegisterClassExA(&windowClass);
}

// A message's name as the sequences write it (keys, characters and the quit with
// their code), or empty for a message the tables do not speak of.
inline std::string MessageName(UINT message, WPARAM wParam) {
    static const struct {
        UINT message;
        const char* name;
        bool withCode;
    } kNames[] = {
        {WM_CREATE, "WM_CREATE", false},
        {WM_DESTROY, "WM_DESTROY", false},
        {WM_PAINT, "WM_PAINT", false},
        {WM_CLOSE, "WM_CLOSE", false},
        {WM_QUIT, "WM_QUIT", true},
        {WM_ERASEBKGND, "WM_ERASEBKGND", false},
        {WM_KEYDOWN, "WM_KEYDOWN", true},
        {WM_CHAR, "WM_CHAR", true},
        {WM_LBUTTONDOWN, "WM_LBUTTONDOWN", false},
        {WM_LBUTTONUP, "WM_LBUTTONUP", false},
        {WM_USER, "WM_USER", false},
        {WM_USER + 1, "WM_USER+1", false},
    };
    for (const auto& known : kNames) {
        if (known.message == message) {
            char code[16];
            std::snprintf(code, sizeof code, " 0x%02X", static_cast<unsigned>(wParam));
            return std::string(known.name) + (known.withCode ? code : "");
        }
    }
    return "";
}

// What happens around CreateWindowExA.
struct CreationCase {
    const char* name;
    std::function<void()> prepare; // run before CreateWindowExA
    const char* className;
    bool created; // CreateWindowExA returns a window
    Sequence expected;
};

inline const std::vector<CreationCase>& CreationCases() {
    static const std::vector<CreationCase> cases = {
        {"plain creation", [] {}, kTestClass, true, {"WM_CREATE"}},
        {"WM_CREATE returns -1",
         [] {
             SetMessageHandler([](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
                 *result = -1;
                 return message == WM_CREATE;
             });
         },
         kTestClass,
         false,
         {"WM_CREATE"}},
        {"creation made to fail", [] { FailNextCreateWindow(); }, kTestClass, false, {}},
        {"unknown class", [] {}, kMissingClass, false, {}},
    };
    return cases;
}

// Something done to a created window, what the procedure gets meanwhile, and
// whether the window still exists afterwards. Where our layer knowingly departs
// from Windows, onWindows is what Windows gives: Windows erases a window that
// ShowWindow shows at once, inside the call, where the layer leaves the erase to
// the WM_PAINT that follows (the program draws its whole client area on every
// paint, so the pixels are the same); and InvalidateRect(NULL) repaints every
// window on Windows, where the layer refuses it (the program never calls it so).
struct OrderCase {
    const char* name;
    std::function<void(HWND)> act;
    Sequence expected;
    bool survives;
    std::optional<Sequence> onWindows = std::nullopt;

    const Sequence& Expected() const { return OnWindows() && onWindows ? *onWindows : expected; }
};

inline const std::vector<OrderCase>& OrderCases() {
    static const std::vector<OrderCase> cases = {
        {"ShowWindow then UpdateWindow paint at once, with erase",
         [](HWND w) {
             ShowWindow(w, SW_SHOWDEFAULT);
             UpdateWindow(w);
             UpdateWindow(w);
             DispatchPending();
         },
         {"WM_PAINT", "WM_ERASEBKGND"},
         true,
         Sequence{"WM_ERASEBKGND", "WM_PAINT"}},
        {"UpdateWindow on a hidden window paints nothing",
         [](HWND w) {
             InvalidateRect(w, nullptr, TRUE);
             UpdateWindow(w);
             DispatchPending();
         },
         {},
         true},
        {"a hidden window is painted once it is shown",
         [](HWND w) {
             InvalidateRect(w, nullptr, TRUE);
             DispatchPending();
             ShowWindow(w, SW_SHOW);
             DispatchPending();
         },
         {"WM_PAINT", "WM_ERASEBKGND"},
         true,
         Sequence{"WM_ERASEBKGND", "WM_PAINT"}},
        {"InvalidateRect without erase paints without WM_ERASEBKGND",
         [](HWND w) {
             ShowWindow(w, SW_SHOW);
             UpdateWindow(w);
             InvalidateRect(w, nullptr, FALSE);
             DispatchPending();
         },
         {"WM_PAINT", "WM_ERASEBKGND", "WM_PAINT"},
         true,
         Sequence{"WM_ERASEBKGND", "WM_PAINT", "WM_PAINT"}},
        {"InvalidateRect with a null window invalidates nothing",
         [](HWND w) {
             ShowWindow(w, SW_SHOW);
             UpdateWindow(w);
             ExpectInAction(InvalidateRect(nullptr, nullptr, TRUE) == (OnWindows() ? TRUE : FALSE),
                            "InvalidateRect(NULL) fails on the layer, repaints all on Windows");
             DispatchPending();
         },
         {"WM_PAINT", "WM_ERASEBKGND"},
         true,
         Sequence{"WM_ERASEBKGND", "WM_PAINT", "WM_ERASEBKGND", "WM_PAINT"}},
        {"a sent WM_DESTROY destroys nothing",
         [](HWND w) { SendMessageA(w, WM_DESTROY, 0, 0); },
         {"WM_DESTROY"},
         true},
        {"WM_CLOSE through DefWindowProcA destroys the window",
         [](HWND w) { SendMessageA(w, WM_CLOSE, 0, 0); },
         {"WM_CLOSE", "WM_DESTROY"},
         false},
        {"DestroyWindow sends WM_DESTROY once",
         [](HWND w) {
             ExpectInAction(DestroyWindow(w), "the first DestroyWindow succeeds");
             ExpectInAction(!DestroyWindow(w), "the second DestroyWindow fails");
         },
         {"WM_DESTROY"},
         false},
        {"the display's close request arrives as WM_CLOSE",
         [](HWND w) {
             ShowWindow(w, SW_SHOW);
             UpdateWindow(w);
             RequestClose(w);
             DispatchPending();
         },
         {"WM_PAINT", "WM_ERASEBKGND", "WM_CLOSE", "WM_DESTROY"},
         false,
         Sequence{"WM_ERASEBKGND", "WM_PAINT", "WM_CLOSE", "WM_DESTROY"}},
        {"Esc arrives as WM_KEYDOWN with VK_ESCAPE, then its WM_CHAR",
         [](HWND w) {
             PressKey(w, VK_ESCAPE);
             DispatchPending();
         },
         {"WM_KEYDOWN 0x1B", "WM_CHAR 0x1B"},
         true},
        {"a key that types nothing gives no WM_CHAR",
         [](HWND w) {
             PressKey(w, VK_F1);
             DispatchPending();
         },
         {"WM_KEYDOWN 0x70"},
         true},
        {"nothing reaches a destroyed window",
         [](HWND w) {
             DestroyWindow(w);
             ExpectInAction(SendMessageA(w, WM_USER, 0, 0) == 0, "SendMessageA gives 0");
             ExpectInAction(!InvalidateRect(w, nullptr, TRUE), "InvalidateRect fails");
             ExpectInAction(!ShowWindow(w, SW_SHOW), "ShowWindow fails");
             ExpectInAction(!PressKey(w, VK_ESCAPE), "a key press is not delivered");
             DispatchPending();
         },
         {"WM_DESTROY"},
         false},
    };
    return cases;
}

// A message loop run until GetMessageA returns 0: what it retrieves, what the
// procedure gets meanwhile, and whether a paint is still due after the quit.
struct RetrievalCase {
    const char* name;
    MessageHandler handler;            // the procedure's own handling, or null
    std::function<void(HWND)> prepare; // run on a fresh window before the loop
    Sequence retrieved;                // what GetMessageA returned, the quit last
    int exitCode;                      // the quit's wParam
    std::vector<std::string> handled;  // what the procedure got, or nothing to check
    bool paintDue;                     // the next GetMessageA returns its WM_PAINT
};

inline const std::vector<RetrievalCase>& RetrievalCases() {
    static const std::vector<RetrievalCase> cases = {
        {"posted messages come before the quit, and the quit before the paint",
         nullptr,
         [](HWND w) {
             ShowWindow(w, SW_SHOW);
             UpdateWindow(w);
             InvalidateRect(w, nullptr, TRUE);
             PressKey(w, 'A');
             PostQuitMessage(7);
         },
         {"WM_KEYDOWN 0x41", "WM_CHAR 0x61", "WM_QUIT 0x07"},
         7,
         {"WM_KEYDOWN 0x41", "WM_CHAR 0x61"},
         true},
        // The program's shape: WM_DESTROY posts the quit; Esc sends WM_DESTROY to itself.
        {"a quit posted by the destroy handler ends the loop",
         [](HWND window, UINT message, WPARAM wParam, LPARAM, LRESULT* result) {
             *result = 0;
             if (message == WM_DESTROY) {
                 PostQuitMessage(0);
                 return true;
             }
             if (message == WM_KEYDOWN) {
                 if (wParam == VK_ESCAPE) {
                     SendMessageA(window, WM_DESTROY, 0, 0);
                 }
                 return true;
             }
             return false;
         },
         [](HWND w) {
             ShowWindow(w, SW_SHOWDEFAULT);
             UpdateWindow(w);
             PressKey(w, VK_ESCAPE);
         },
         {"WM_KEYDOWN 0x1B", "WM_CHAR 0x1B", "WM_QUIT 0x00"},
         0,
         {"WM_KEYDOWN 0x1B", "WM_DESTROY", "WM_CHAR 0x1B"},
         false},
    };
    return cases;
}

#endif
