// Labels drawn again and again. A program that repaints its window many times a
// second draws the same labels at the same places every time, each over the plain
// background its erase left. What such a TextOutA leaves on the surface depends
// only on how it is drawn (the font, the ink, the box behind the text, the
// alignment), the text, the place and the pixels it is drawn over, so the pixels it
// gave are kept under all of these, and the same call over the same plain
// background copies them back instead of drawing the glyphs again: pixel for pixel
// what drawing gives. The layer draws every text in black on an opaque white box,
// from the top left of its cell (it has no SetTextColor, SetBkMode or
// SetTextAlign); the key holds those all the same, so that a text drawn any other
// way can never be served another's pixels.
//
// Thread-safe. Internal to platform/posix.
#ifndef TOBRISK_PLATFORM_TEXT_CACHE_H
#define TOBRISK_PLATFORM_TEXT_CACHE_H

#include <cairo.h>

#include <string>

#include "frame_damage.h"
#include "win32.h"

namespace win32_layer {

// One TextOutA: the size of the surface it is drawn on, the font's look, how the
// text is drawn, the text and where its cell starts.
struct TextKey {
    int surfaceWidth, surfaceHeight;
    std::string face;
    bool bold, italic;
    int height;
    COLORREF ink; // the text's colour
    COLORREF box; // the colour of the box behind it, when opaque
    bool opaque;  // the box is filled (OPAQUE), or the text drawn alone (TRANSPARENT)
    UINT align;   // how (x, y) places the text (TA_ flags)
    std::string text;
    int x, y;
    bool operator<(const TextKey& other) const;
};

// When the same text was kept and the place it covers
// is plain background of the colour it was drawn over: puts its pixels there
// (unless they are still there, frame_damage.h), notes the place as drawn with it,
// and returns true.
bool RestoreText(cairo_surface_t* surface, const TextKey& key);

// Keeps the pixels of drawn, where key was just drawn over plain background, and
// returns what names that content (never 0).
uint64_t KeepText(cairo_surface_t* surface, const TextKey& key, COLORREF background,
                  const PixelRect& drawn);

// Forgets every kept text.
void ForgetTexts();

} // namespace win32_layer

#endif
