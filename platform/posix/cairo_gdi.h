// Device contexts for painting, drawn with cairo. Internal to platform/posix.
#ifndef TOBRISK_PLATFORM_CAIRO_GDI_H
#define TOBRISK_PLATFORM_CAIRO_GDI_H

#include <cairo.h>

#include <string>
#include <string_view>
#include <vector>

#include "win32.h"

namespace win32_layer {

// Opens a device context that draws on the surface, with the stock black pen,
// white brush and system font selected. A logged context writes its calls (and
// "BeginPaint") to the GDI log. Takes its own reference on the surface.
HDC OpenPaintDC(cairo_surface_t* surface, bool logged);
// Closes a device context ("EndPaint" in the log); stale handles are ignored.
void ClosePaintDC(HDC dc);
// Fills the whole surface of the context with the brush's colour. False for a
// stale context or brush, or the null brush.
bool FillWithBrush(HDC dc, HBRUSH brush);
// Runs draw with the cairo context of a device context (for the layer's own
// drawing). False for a stale context.
bool DrawWithCairo(HDC dc, void (*draw)(cairo_t* cr, void* data), void* data);
// Keeps a log of the drawing calls from now on, or stops keeping it.
void KeepGdiLog(bool keep);
// The drawing calls logged since the last take ("SelectObject pen(6,0x000000)", ...).
std::vector<std::string> TakeGdiLog();
// How many pens, brushes and fonts were created and not deleted.
int LiveGdiObjects();
// Deletes every drawing object and device context, clears the log and stops keeping it.
void ResetGdi();
// The text of Windows' single-byte strings (taken as Latin-1) in UTF-8, NUL as space.
std::string Latin1ToUtf8(std::string_view text);

} // namespace win32_layer

#endif
