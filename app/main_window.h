// The program's only window: its procedure draws the four bars and runs the
// shutdown sequence on WM_DESTROY.
#ifndef TOBRISK_MAIN_WINDOW_H
#define TOBRISK_MAIN_WINDOW_H

#include "win32.h"

constexpr const char* kMainWindowClass = "wnd-001";
constexpr const char* kMainWindowCaption = "Tobrisk";

// The window procedure of the class "wnd-001". Runs on the UI thread only.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
