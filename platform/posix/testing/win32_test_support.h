// The test interface of the POSIX Win32 layer: choose the headless display, drive
// windows as a display would, read what was drawn, and reset the layer between
// tests that run WinMain many times in one process. Used by tests only (target
// tobrisk_platform_testing); the program never calls it. Every function is
// thread-safe.
#ifndef TOBRISK_WIN32_TEST_SUPPORT_H
#define TOBRISK_WIN32_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "win32.h"

// Forgets everything: destroys every window without messages, forgets classes,
// queues and quit requests, releases threads blocked in SendMessageA (they get 0),
// deletes every drawing object, releases the named mutexes, clears the GDI log, the
// message box record and the test settings below (all but the lock folder), and
// closes the display. Handles from before stay invalid for good.
void Win32TestReset();

// Makes this process use the headless display from now on (until the next reset).
// Call it before the first window or message box.
void Win32TestUseHeadlessDisplay();

// Queues a key press for the window as a display delivers it: WM_KEYDOWN with the
// virtual key, posted to the window's thread. False for a stale window.
bool Win32TestPressKey(HWND window, UINT virtualKey);
// Queues a close request (the title bar's close button): WM_CLOSE, posted.
bool Win32TestRequestClose(HWND window);
// Queues a left click at client coordinates: WM_LBUTTONDOWN then WM_LBUTTONUP.
bool Win32TestClick(HWND window, int x, int y);

// What the layer knows of a window.
struct Win32TestWindowInfo {
    bool exists;          // false for a stale handle (then nothing else is set)
    std::string caption;  // as created
    std::string className;
    int x, y;             // position as created
    int width, height;    // client area
    bool visible;
    bool needsPaint;      // invalid and waiting for WM_PAINT
};
Win32TestWindowInfo Win32TestGetWindowInfo(HWND window);

// The client area as last painted (after EndPaint), one 0x00RRGGBB word per pixel,
// row by row. Empty for a stale window.
struct Win32TestImage {
    int width;
    int height;
    std::vector<uint32_t> pixels;
    // The pixel at (x, y); 0xFFFFFFFF outside the image.
    uint32_t At(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) {
            return 0xFFFFFFFFu;
        }
        return pixels[static_cast<size_t>(y) * width + x];
    }
};
Win32TestImage Win32TestClientPixels(HWND window);
// Saves the client area as last painted as a PNG file. False on failure.
bool Win32TestSaveClientPng(HWND window, const char* path);

// Returns and clears the log of drawing calls, one line per call with its arguments:
// "CreatePen pen(6,0x000000)", "SelectObject font(16,\"System\")",
// "TextOutA 200 30 \"X-axis Acceleration \"", "MoveToEx 250 50", "LineTo 255 50",
// "DeleteObject brush(0xFFFFFF)", "BeginPaint", "EndPaint". A stale handle is
// written "invalid", a stock object by its name ("BLACK_PEN").
std::vector<std::string> Win32TestTakeGdiLog();
// Pens, brushes and fonts created and not yet deleted (stock objects not counted).
int Win32TestLiveGdiObjects();

// Makes the next CreateWindowExA fail (return NULL) before it creates anything.
void Win32TestFailNextCreateWindow();

// Every text shown by MessageBoxA since the last reset, in order.
std::vector<std::string> Win32TestMessageBoxTexts();
// On the headless display, message boxes stay up (a window with an OK button)
// until a test dismisses them, instead of returning at once.
void Win32TestHoldMessageBoxes(bool hold);
// Waits up to timeoutMs for a message box to be on screen and returns its window,
// or NULL.
HWND Win32TestWaitForMessageBox(int timeoutMs);
// The OK button of an open message box, in its client coordinates.
RECT Win32TestMessageBoxButton(HWND box);

// Handles every message waiting for the calling thread (sent, posted, paint) as a
// GetMessageA, TranslateMessage, DispatchMessageA loop would, without waiting and
// without taking a pending WM_QUIT. Returns the number of messages dispatched.
int Win32TestDispatchPending();
// Messages sent from other threads that wait to be handled, in all threads.
int Win32TestPendingSends();

// Waits up to timeoutMs until every thread started by _beginthread has returned.
bool Win32TestWaitForThreads(int timeoutMs);
// Threads started by _beginthread that have not returned yet.
int Win32TestRunningThreads();

// Makes CreateMutexA keep its lock files in this folder (which must exist) instead
// of $XDG_RUNTIME_DIR or /tmp/tobrisk-locks-<uid>. NULL goes back to the usual
// folder. The choice is kept across Win32TestReset.
void Win32TestSetLockFolder(const char* folder);
// Makes CreateMutexA use a private folder of this process (created on the first
// call, removed at exit), so that test processes running at the same time, or the
// real program, never hold the same names. Returns the folder.
const char* Win32TestUsePrivateLockFolder();

#endif
