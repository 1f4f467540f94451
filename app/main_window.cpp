#include "main_window.h"

#include <cstdint>

#include "device_state.h"
#include "remote_session.h"

namespace {

// The window's drawing objects, from WM_CREATE to WM_DESTROY. UI thread only.
struct DrawingObjects {
    HPEN blackPen;    // selected first; the gyro bar
    HPEN redPen;      // the X bar
    HPEN greenPen;    // the Y bar
    HPEN bluePen;     // the Z bar
    HBRUSH whiteBrush;
    HFONT labelFont;
};

DrawingObjects drawing;
bool shutdownSequenceRan;  // set by the first WM_DESTROY after WM_CREATE

// Characters drawn of each 21-character label. Deliberate: the last one, a space,
// has never been drawn; the labels' boxes on screen depend on it.
constexpr int kLabelLength = 20;
constexpr int kBarOriginX = 250;

// One row of the display: its label and its bar.
struct DisplayRow {
    const char* label;
    int labelX;
    int labelY;
    HPEN DrawingObjects::*pen;
    int barY;
    int32_t (*barLength)();
};

int32_t AccelerationBar(uint8_t value) {
    return (static_cast<int32_t>(value) - 128) * 5;
}

const DisplayRow kRows[] = {
    {"X-axis Acceleration  ", 200, 30, &DrawingObjects::redPen, 50,
     [] { return AccelerationBar(deviceState.accelX); }},
    {"Y-axis Acceleration  ", 200, 80, &DrawingObjects::greenPen, 100,
     [] { return AccelerationBar(deviceState.accelY); }},
    {"Z-axis Acceleration  ", 200, 130, &DrawingObjects::bluePen, 150,
     [] { return AccelerationBar(deviceState.accelZ); }},
    {"Gyro Rotation        ", 200, 230, &DrawingObjects::blackPen, 250,
     [] { return deviceState.gyroValue.load(); }},
};

void CreateDrawingObjects() {
    shutdownSequenceRan = false;
    drawing.blackPen = CreatePen(PS_SOLID, 6, RGB(0, 0, 0));
    drawing.redPen = CreatePen(PS_SOLID, 5, RGB(200, 0, 0));
    drawing.greenPen = CreatePen(PS_SOLID, 5, RGB(0, 200, 0));
    drawing.bluePen = CreatePen(PS_SOLID, 5, RGB(0, 0, 200));
    drawing.whiteBrush = CreateSolidBrush(RGB(255, 255, 255));
    drawing.labelFont = CreateFontA(16, 0, 0, 0, 0, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0,
                                    "System");
}

void DeleteDrawingObjects() {
    DeleteObject(drawing.blackPen);
    DeleteObject(drawing.whiteBrush);
    DeleteObject(drawing.labelFont);
    DeleteObject(drawing.redPen);
    DeleteObject(drawing.greenPen);
    DeleteObject(drawing.bluePen);
}

// Draws the four labels and then the four bars from the current device state.
void PaintBars(HDC dc) {
    SelectObject(dc, drawing.blackPen);
    SelectObject(dc, drawing.whiteBrush);
    SelectObject(dc, drawing.labelFont);
    for (const DisplayRow& row : kRows) {
        TextOutA(dc, row.labelX, row.labelY, row.label, kLabelLength);
    }
    for (const DisplayRow& row : kRows) {
        SelectObject(dc, drawing.*row.pen);
        MoveToEx(dc, kBarOriginX, row.barY, nullptr);
        LineTo(dc, kBarOriginX + row.barLength(), row.barY);
    }
}

void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    // After the shutdown sequence the objects are gone; the window only validates.
    if (!shutdownSequenceRan) {
        PaintBars(dc);
    }
    EndPaint(window, &paint);
}

// The shutdown sequence. A second WM_DESTROY finds it done and does nothing more.
void ShutDown() {
    if (shutdownSequenceRan) {
        return;
    }
    shutdownSequenceRan = true;
    DeleteDrawingObjects();
    PostQuitMessage(0);
    EndSession();
}

} // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        CreateDrawingObjects();
        return 0;
    case WM_DESTROY:
        ShutDown();
        return 0;
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            SendMessageA(window, WM_DESTROY, 0, 0);
        }
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
