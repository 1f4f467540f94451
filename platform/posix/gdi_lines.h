// Lines as GDI draws them on a client surface: pixel centres on whole coordinates,
// no anti-aliasing, one-pixel lines without their last pixel, wider ones with round
// caps. Internal to platform/posix.
//
// A bar chart draws a few wide horizontal lines every frame, and stroking them
// with cairo costs more than the rest of the frame. Row by row, the pixels of such
// a line are one span from a little before its left end to a little after its right
// end, and those little bits are the same for every line of that pen and direction.
// So cairo strokes one line of each pen and direction once, the spans are learned
// from its pixels, and every longer line of that pen and direction is set span by
// span: the same pixels as cairo's stroke. Every other line is stroked with cairo,
// and so is every line of a pen wider than 64 pixels, which only a scratch surface
// too large to pay for (or to have at all) would learn. A pen so wide that it covers
// the whole surface is stroked as one just wide enough to.
//
// Thread-safe: the learned spans are shared under a lock of their own.
#ifndef TOBRISK_PLATFORM_GDI_LINES_H
#define TOBRISK_PLATFORM_GDI_LINES_H

#include <cairo.h>

#include "win32.h"

namespace win32_layer {

// Draws the line from `from` to `to` with a solid pen of width (0 counts as 1) and
// colour on cr's surface, and notes what it may have changed (frame_damage.h).
void DrawLine(cairo_t* cr, int width, COLORREF colour, POINT from, POINT to);

// Forgets the learned spans.
void ForgetLineSpans();

} // namespace win32_layer

#endif
