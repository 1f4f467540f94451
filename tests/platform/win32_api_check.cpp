// A small Win32 program that calls every function of the platform layer the way
// the program does. It is compiled against the real <windows.h> by
// tools/check-windows-compile, and against the POSIX layer by the Linux build,
// where it runs under Xvfb: it opens a window, paints it, and a worker thread
// invalidates it and closes it; the exit code is 0 when all of that worked.
#include <cstdint>

#include "hid_report_library.h"
#include "win32.h"

// The HID report library's operations, stubbed: the Windows check links the
// device code, which calls them, without the library itself.
extern "C" {
HidHandle OpenHidHandle(uint16_t, uint16_t) {
    return HID_NO_DEVICE;
}
int32_t ReadReport(HidHandle, uint8_t*, uint32_t*) {
    return -1;
}
int32_t WriteReport(HidHandle, uint8_t*, uint32_t*) {
    return -1;
}
void CloseHidHandle(HidHandle) {}
}

namespace {

HPEN linePen;
HBRUSH whiteBrush;
HFONT labelFont;

// Invalidates the window, then closes it the way a user would.
void __cdecl CloseLater(void* argument) {
    HWND window = static_cast<HWND>(argument);
    Sleep(200);
    InvalidateRect(window, nullptr, TRUE);
    SendMessageA(window, WM_CLOSE, 0, 0);
}

// Draws a label and a bar with the objects made at WM_CREATE.
void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SelectObject(dc, whiteBrush);
    SelectObject(dc, labelFont);
    TextOutA(dc, 20, 20, "Win32 API check  ", 15);
    SelectObject(dc, linePen);
    MoveToEx(dc, 20, 60, nullptr);
    LineTo(dc, 200, 60);
    EndPaint(window, &paint);
}

// The window procedure: the program's shape, with WM_CLOSE handled here.
LRESULT CALLBACK CheckWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        linePen = CreatePen(PS_SOLID, 5, RGB(200, 0, 0));
        whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
        labelFont = CreateFontA(16, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                                "System");
        return 0;
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            SendMessageA(window, WM_DESTROY, 0, 0);
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        DeleteObject(linePen);
        DeleteObject(whiteBrush);
        DeleteObject(labelFont);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "api-check-001");
    if (mutex == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
        return 3;
    }
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    Sleep(2);
    QueryPerformanceCounter(&now);
    if (frequency.QuadPart <= 0 || now.QuadPart <= start.QuadPart) {
        MessageBoxA(nullptr, "The performance counter stands still.", nullptr, MB_OK);
        return 2;
    }
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = CheckWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = "api-check-001";
    RegisterClassExA(&windowClass);
    HWND window = CreateWindowExA(0, "api-check-001", "Win32 API check", WS_OVERLAPPEDWINDOW, 10,
                                  10, 320, 200, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return 4;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    if (_beginthread(CloseLater, 0, window) == static_cast<uintptr_t>(-1)) {
        return 5;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
