// The test interface of the POSIX Win32 layer, over what the layer's parts offer
// inside platform/posix. Only tests link it (tobrisk_platform_testing).
#include "win32_test_support.h"

#include <cairo.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "cairo_gdi.h"
#include "display.h"
#include "kernel.h"
#include "layer_reset.h"
#include "message_box.h"
#include "message_queue.h"
#include "window_table.h"

using namespace win32_layer;

namespace {

// Whether the next CreateWindowExA is to fail.
std::atomic<bool> failNextCreate{false};

} // namespace

// Test executables link with --wrap for CreateWindowExA (see platform/CMakeLists.txt):
// the program's calls come here, and go on to the layer's own unless a failure was
// asked for.
extern "C" HWND __real_CreateWindowExA(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND,
                                       HMENU, HINSTANCE, LPVOID);

extern "C" HWND __wrap_CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName,
                                       DWORD style, int x, int y, int width, int height,
                                       HWND parent, HMENU menu, HINSTANCE instance,
                                       LPVOID parameter) {
    if (failNextCreate.exchange(false)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return __real_CreateWindowExA(exStyle, className, windowName, style, x, y, width, height,
                                  parent, menu, instance, parameter);
}

void Win32TestReset() {
    ResetLayer();
    failNextCreate = false;
}

void Win32TestUseHeadlessDisplay() {
    ChooseHeadlessDisplay();
    KeepGdiLog(true);
}

bool Win32TestPressKey(HWND window, UINT virtualKey) {
    return DeliverKeyDown(window, virtualKey);
}

bool Win32TestRequestClose(HWND window) {
    return DeliverCloseRequest(window);
}

bool Win32TestClick(HWND window, int x, int y) {
    return DeliverMouseButton(window, WM_LBUTTONDOWN, x, y) &&
           DeliverMouseButton(window, WM_LBUTTONUP, x, y);
}

Win32TestWindowInfo Win32TestGetWindowInfo(HWND window) {
    const std::optional<WindowFacts> facts = FactsOfWindow(window);
    if (!facts) {
        return Win32TestWindowInfo{false, "", "", 0, 0, 0, 0, false, false};
    }
    return Win32TestWindowInfo{true,          facts->caption, facts->className,
                               facts->x,      facts->y,       facts->width,
                               facts->height, facts->visible, facts->needsPaint};
}

Win32TestImage Win32TestClientPixels(HWND window) {
    Win32TestImage image{0, 0, {}};
    ShownFrame(window, image.width, image.height, image.pixels);
    return image;
}

bool Win32TestSaveClientPng(HWND window, const char* path) {
    Win32TestImage image = Win32TestClientPixels(window);
    if (image.pixels.empty()) {
        return false;
    }
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, image.width, image.height);
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int row = 0; row < image.height; ++row) {
        std::memcpy(data + static_cast<size_t>(row) * stride,
                    image.pixels.data() + static_cast<size_t>(row) * image.width,
                    static_cast<size_t>(image.width) * 4);
    }
    cairo_surface_mark_dirty(surface);
    bool saved = cairo_surface_write_to_png(surface, path) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return saved;
}

std::vector<std::string> Win32TestTakeGdiLog() {
    return TakeGdiLog();
}

int Win32TestLiveGdiObjects() {
    return LiveGdiObjects();
}

void Win32TestFailNextCreateWindow() {
    failNextCreate = true;
}

std::vector<std::string> Win32TestMessageBoxTexts() {
    return MessageBoxTextsShown();
}

void Win32TestHoldMessageBoxes(bool hold) {
    HoldMessageBoxes(hold);
}

HWND Win32TestWaitForMessageBox(int timeoutMs) {
    return WaitForMessageBox(timeoutMs);
}

RECT Win32TestMessageBoxButton(HWND box) {
    return MessageBoxButton(box);
}

int Win32TestDispatchPending() {
    return DispatchPendingMessages();
}

int Win32TestPendingSends() {
    return PendingSendCount();
}

bool Win32TestWaitForThreads(int timeoutMs) {
    return WaitUntilNoThreadRuns(timeoutMs);
}

int Win32TestRunningThreads() {
    return RunningThreadCount();
}

void Win32TestSetLockFolder(const char* folder) {
    SetLockFolder(folder != nullptr ? folder : "");
}

const char* Win32TestUsePrivateLockFolder() {
    static std::mutex lock;
    static std::string* folder = nullptr;
    std::lock_guard hold(lock);
    if (folder == nullptr) {
        folder = new std::string("/tmp/tobrisk-test-locks-XXXXXX");
        if (mkdtemp(folder->data()) == nullptr) {
            std::perror("win32: mkdtemp");
            std::abort();
        }
        // At exit: the lock files (held or not) and the folder go.
        std::atexit([] {
            std::string command = "rm -rf '" + *folder + "'";
            if (std::system(command.c_str()) != 0) {
                std::fprintf(stderr, "win32: cannot remove %s\n", folder->c_str());
            }
        });
    }
    SetLockFolder(*folder);
    return folder->c_str();
}

// Under LeakSanitizer: fontconfig keeps the patterns it resolves for each font face
// for the life of the process, with no pointer to them left that the sanitizer can
// see. They are bounded by the number of faces and are not leaks of this layer.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
