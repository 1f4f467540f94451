// The Win32 subset the program uses, declared with Win32's own names, types and
// constants and implemented by this layer on POSIX systems.
//
// Handles (windows, drawing objects, device contexts, mutexes) are opaque values
// that the layer checks on every call: a stale or unknown handle makes the call
// fail the way Windows fails it, never touches freed memory.
#ifndef TOBRISK_WIN32_H
#define TOBRISK_WIN32_H

#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define APIENTRY
#ifndef __cdecl
#define __cdecl
#endif

typedef int BOOL;
typedef int INT;
typedef unsigned int UINT;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef int64_t LONGLONG;
typedef intptr_t LONG_PTR;
typedef uintptr_t UINT_PTR;
typedef uintptr_t ULONG_PTR;
typedef WORD ATOM;
typedef DWORD COLORREF;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef void* HANDLE;

typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

struct HWND__;
struct HINSTANCE__;
struct HICON__;
struct HBRUSH__;
struct HPEN__;
struct HFONT__;
struct HDC__;
struct HMENU__;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;
typedef struct HICON__* HICON;
typedef HICON HCURSOR;
typedef struct HBRUSH__* HBRUSH;
typedef struct HPEN__* HPEN;
typedef struct HFONT__* HFONT;
typedef struct HDC__* HDC;
typedef struct HMENU__* HMENU;
typedef void* HGDIOBJ;

#define TRUE 1
#define FALSE 0

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT, *LPPOINT;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart; // the whole 64-bit count
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagWNDCLASSEXA {
    UINT cbSize;            // must be sizeof(WNDCLASSEXA)
    UINT style;             // CS_ flags
    WNDPROC lpfnWndProc;    // the window procedure
    int cbClsExtra;         // extra class bytes (none are provided)
    int cbWndExtra;         // extra window bytes (none are provided)
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;   // erases the client area in BeginPaint; may be NULL
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;   // compared without regard to case
    HICON hIconSm;
} WNDCLASSEXA;

typedef struct tagMSG {
    HWND hwnd;     // NULL for a thread message (WM_QUIT)
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;    // milliseconds on a monotonic clock
    POINT pt;
} MSG, *LPMSG;

typedef struct tagPAINTSTRUCT {
    HDC hdc;
    BOOL fErase;      // TRUE when the background still needs erasing
    RECT rcPaint;     // always the whole client area here
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

typedef struct tagCREATESTRUCTA {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCSTR lpszName;
    LPCSTR lpszClass;
    DWORD dwExStyle;
} CREATESTRUCTA;

#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((ULONG_PTR)(l)) >> 16) & 0xffff))
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#define RGB(r, g, b)                                                                          \
    ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((WORD)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))

// Last-error codes.
#define ERROR_SUCCESS 0L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L

// Window messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_USER 0x0400

// Virtual key codes ('0' to '9' and 'A' to 'Z' are their ASCII codes).
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_F1 0x70
#define VK_F12 0x7B

// Class and window styles, show commands.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define WS_OVERLAPPED 0x00000000L
#define WS_MAXIMIZEBOX 0x00010000L
#define WS_MINIMIZEBOX 0x00020000L
#define WS_THICKFRAME 0x00040000L
#define WS_SYSMENU 0x00080000L
#define WS_CAPTION 0x00C00000L
#define WS_VISIBLE 0x10000000L
#define WS_OVERLAPPEDWINDOW                                                                   \
    (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)
#define CW_USEDEFAULT ((int)0x80000000)
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5
#define SW_SHOWDEFAULT 10

// Message boxes.
#define MB_OK 0x00000000L
#define MB_ICONERROR 0x00000010L
#define IDOK 1

// Stock icon and cursor.
#define IDI_APPLICATION MAKEINTRESOURCEA(32512)
#define IDC_ARROW MAKEINTRESOURCEA(32512)

// Drawing.
#define PS_SOLID 0
#define PS_NULL 5
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1

// The functions have C linkage, as <windows.h> gives them: their symbols are their
// plain names.
#ifdef __cplusplus
extern "C" {
#endif

// The program's entry, called by this layer's main() (library tobrisk_platform_entry)
// with an instance handle, NULL, an empty command line and SW_SHOWDEFAULT.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand);

// ---- kernel ----

// Creates or opens a named mutex. The name is held for the calling user by a lock
// that the system drops when the process ends, however it ends. Returns a handle;
// GetLastError() is then ERROR_ALREADY_EXISTS when another process of the user, or
// an earlier call in this process, holds the name, else 0. Returns NULL when the
// lock cannot be created. The initial-owner flag and attributes are accepted and
// have no further effect: the name stays held until the process ends.
HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES attributes, BOOL initialOwner, LPCSTR name);
// The calling thread's last-error code.
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD code);
// Counts per second of the performance counter (a monotonic clock).
BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency);
// The current count of the performance counter.
BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count);
// Suspends the calling thread for at least the given milliseconds (0: yields).
void WINAPI Sleep(DWORD milliseconds);
// Starts a detached thread running start(argument). stackSize 0 means the default.
// Returns a nonzero value that identifies the thread while it runs, or
// (uintptr_t)-1 when no thread could be started. There is no way to kill a thread:
// a worker is stopped by a flag it checks and a bounded wait for it.
uintptr_t _beginthread(void(__cdecl* start)(void*), unsigned stackSize, void* argument);

// ---- user ----

// Registers a window class for this process. Returns a nonzero atom, or 0 (with
// the last error) when cbSize is wrong, the procedure or name is missing, or the
// name is taken.
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* windowClass);
// Creates a top-level window of a registered class. The width and height are those
// of the client area. WM_CREATE is sent (on the calling thread) before it returns.
// Returns NULL when the class is unknown, no display can be opened, or WM_CREATE
// returns -1 (the window is then destroyed, without WM_DESTROY as on Windows). The window
// belongs to the calling thread. Parent and menu are ignored.
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style,
                            int x, int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID parameter);
// Shows (any command but SW_HIDE) or hides the window; showing invalidates it.
// Returns whether it was visible before.
BOOL WINAPI ShowWindow(HWND window, int command);
// Sends WM_PAINT at once when the window is visible and needs painting.
BOOL WINAPI UpdateWindow(HWND window);
// Retrieves the next message of the calling thread, waiting for one. Sent messages
// are handled inside the call and never returned; then posted messages are
// returned in order; then WM_QUIT (the result is 0, wParam the exit code); then
// WM_PAINT for a visible window that needs painting. Returns nonzero for any other
// message; -1 when a window or range filter is given (only NULL, 0, 0 is provided).
BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax);
// Posts WM_CHAR after a WM_KEYDOWN for a key that types a character. Returns
// whether it posted one.
BOOL WINAPI TranslateMessage(const MSG* message);
// Calls the procedure of the message's window; 0 for a stale or NULL window.
LRESULT WINAPI DispatchMessageA(const MSG* message);
// Calls the window's procedure and returns its result. On the owner thread the
// call is direct; from another thread the message is queued and the caller blocks
// (still handling messages sent to its own windows) until the owner has handled it
// inside its message retrieval. Returns 0 at once when the window is stale or its
// thread has ended, and 0 when the window is destroyed before it handled the message.
LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Makes the calling thread's next retrieval return WM_QUIT once nothing posted is left.
void WINAPI PostQuitMessage(int exitCode);
// Marks the whole client area for painting (the rectangle is not used) and wakes
// the owner thread; callable from any thread. Any number of calls before the next
// paint give one WM_PAINT. Returns FALSE, and marks nothing, for a NULL or stale window.
BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase);
// Default handling: WM_CLOSE destroys the window; WM_ERASEBKGND fills the client
// area with the class brush and returns 1 (0 without a brush); WM_PAINT validates
// the window; every other message gives 0.
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Starts painting the window on its owner thread: validates it and, when the
// invalidation asked for it, sends WM_ERASEBKGND. Returns the device context,
// or NULL for a stale window or from another thread.
HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint);
// Ends painting and shows the frame on the display.
BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint);
// Shows a modal box with the text and an OK button and returns IDOK once it is
// dismissed (Enter, Esc, the button or closing it). Without a display the text is
// written to standard error and IDOK is returned at once. The owner is not disabled.
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
// The stock icons and cursors (instance NULL, a predefined ID); NULL otherwise.
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name);
// Destroys a window of the calling thread: hides it, sends WM_DESTROY, then frees
// it; messages still being sent to it from other threads return 0. FALSE for a
// stale window or a window of another thread.
BOOL WINAPI DestroyWindow(HWND window);

// ---- gdi ----

// A stock pen, brush or font; stock objects are never deleted.
HGDIOBJ WINAPI GetStockObject(int object);
// A pen of the style (PS_SOLID or PS_NULL), width (0 and 1: one pixel; wider pens
// have round caps and joins) and 0x00BBGGRR colour.
HPEN WINAPI CreatePen(int style, int width, COLORREF colour);
HBRUSH WINAPI CreateSolidBrush(COLORREF colour);
// A font of the given cell height (a negative height is the character height, 0 is
// 16) and face; "System" is a plain bold sans face; a weight of 600 or more is
// bold. Width, angles, underline, strike-out, character set, precision, quality and
// pitch are accepted and not used.
HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCSTR faceName);
// Selects a pen, brush or font into the device context. Returns the object it
// replaces, or NULL for a stale context or object.
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
// Draws exactly count characters (bytes taken as Latin-1), the cell's top-left at
// (x, y), black on a white box (the default opaque mode).
BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int count);
// Moves the current position; the previous one goes to previous when it is not NULL.
BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous);
// Draws a line with the selected pen from the current position to (x, y), clipped
// to the client area, and moves there. A one-pixel line leaves out its last pixel.
BOOL WINAPI LineTo(HDC dc, int x, int y);
// Deletes a pen, brush or font. TRUE for a stock object (nothing happens); FALSE
// for a stale handle.
BOOL WINAPI DeleteObject(HGDIOBJ object);

#ifdef __cplusplus
}
#endif

#endif
