// The entry function: single instance, the remote session (opened, proved, lit),
// the sampler, the window and the message loop, with the start-up failure paths
// and exit codes.
#include <cstdio>

#include "device_state.h"
#include "gyro_sampler.h"
#include "main_window.h"
#include "remote_session.h"
#include "win32.h"

namespace {

enum ExitCode { kExitNormal = 0, kExitFailure = 1 };

void ShowError(const char* text) {
    MessageBoxA(nullptr, text, nullptr, MB_OK);
}

void RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassExA(&windowClass);
}

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExA(0, kMainWindowClass, kMainWindowCaption, WS_OVERLAPPEDWINDOW, 10, 10, 520,
                           420, nullptr, nullptr, instance, nullptr);
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // The lock stays held, never closed, until the process ends.
    if (CreateMutexA(nullptr, TRUE, kInstanceLockName) == nullptr) {
        return kExitFailure;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        return kExitNormal;
    }

    // Open, mode, probe (its failure told before the remote is let go), LEDs.
    if (OpenSession(ShowError) != SessionStart::Streaming) {
        return kExitFailure;
    }
    _beginthread(SamplerThread, 0, nullptr);

    RegisterMainWindowClass(instance);
    const HWND window = CreateMainWindow(instance);
    if (window == nullptr) {
        std::fputs("tobrisk: cannot create the main window (is a display available?)\n", stderr);
        EndSession();
        return kExitFailure;
    }
    deviceState.mainWindow = window;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return RunMessageLoop();
}
