// What a paint changed on a window's client surface, so that only that much is
// filled, copied and put on the display.
//
// Every paint of the program erases the whole client area and draws the same few
// labels and some bars: frame after frame, nearly every pixel stays as it was. Each
// client surface remembers whether everything but the places drawn on since its
// last whole fill still has that fill's colour. A whole fill in the same colour
// then only has to cover those places, and even that waits: each waiting place is
// filled just before a drawing call touches it, or when the paint ends. A label
// drawn again exactly where it stood, over the same background (text_cache.h),
// needs neither its fill nor its glyphs: its pixels are already there. The pixels
// always come out as if the whole surface had been filled at once.
//
// Drawing calls say where they may change pixels (with a margin for anti-aliasing)
// and draw through DrawWithin, which does the waiting fills there first and notes
// the place afterwards; what a frame changed is the union of those places.
//
// A surface is used by its window's thread only (between BeginPaint and EndPaint,
// and when the frame is published), so nothing here takes a lock. Internal to
// platform/posix.
#ifndef TOBRISK_PLATFORM_FRAME_DAMAGE_H
#define TOBRISK_PLATFORM_FRAME_DAMAGE_H

#include <cairo.h>

#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

#include "win32.h"

namespace win32_layer {

// Pixels from (left, top) up to but not including (right, bottom).
struct PixelRect {
    int left, top, right, bottom;
    bool operator==(const PixelRect&) const = default;
};

// What changed since the frame was last published.
struct FrameChanges {
    bool whole;                   // all of it may have changed
    std::vector<PixelRect> rects; // else these rectangles may have, inside the surface
};

// Starts tracking a client surface that is all of one colour; until its first
// frame is published, all of it counts as changed.
void TrackSurface(cairo_surface_t* surface, COLORREF colour);

// The whole pixels from (left, top) to (right, bottom), in device coordinates,
// widened by margin on every side and cut to the surface.
PixelRect CoveringRect(cairo_surface_t* surface, double left, double top, double right,
                       double bottom, int margin);

// Draws on the surface within rect, the one way a drawing call changes part of it:
// does the fills still waiting in rect, runs draw, which changes no pixel outside
// rect, then notes rect as drawn. draw returns nothing, or a content other than 0
// when rect now holds exactly that content (a kept label, text_cache.h) and
// nothing else.
template <typename Draw>
void DrawWithin(cairo_surface_t* surface, const PixelRect& rect, Draw&& draw);

// The first pixel of each row of an image surface: rows[y][x] is pixel (x, y).
struct PixelRows {
    unsigned char* data;
    int stride;
    uint32_t* operator[](int row) const {
        return reinterpret_cast<uint32_t*>(data + static_cast<size_t>(row) * stride);
    }
};

// The same for a call that sets the pixels of rect itself: write gets the
// surface's rows, and cairo learns of the change.
template <typename Write>
void SetPixelsWithin(cairo_surface_t* surface, const PixelRect& rect, Write&& write);

// Before a drawing call that may change any pixel of the surface: does every
// waiting fill and forgets what the surface knew.
void PrepareToDrawEverywhere(cairo_surface_t* surface);

// The colour of every pixel of rect when the surface knows it is all that colour
// there (nothing was drawn on it since the last whole fill); else nothing.
std::optional<COLORREF> PlainColour(cairo_surface_t* surface, const PixelRect& rect);

// Whether rect still holds exactly content from before the last whole fill, which
// has not reached it yet and would reach nothing else of it: then drawing content
// there again changes nothing, and that fill need not happen. When so, takes rect
// as drawn with content.
bool StillHolds(cairo_surface_t* surface, const PixelRect& rect, uint64_t content);

// A fill of the whole surface with colour. Returns true when the caller has to
// paint all of it now; false when the surface knows it is that colour but where
// drawn on, and fills those places when they are drawn on next or the paint ends.
bool FillWhole(cairo_surface_t* surface, COLORREF colour);

// At the end of a paint: does every fill still waiting.
void FinishPaint(cairo_surface_t* surface);

// What changed since the last call, and starts counting afresh.
FrameChanges TakeChanges(cairo_surface_t* surface);

// DrawWithin's steps around a draw that returns its content.
void DrawWithinSteps(cairo_surface_t* surface, const PixelRect& rect, uint64_t (*draw)(void*),
                     void* data);

template <typename Draw>
void DrawWithin(cairo_surface_t* surface, const PixelRect& rect, Draw&& draw) {
    DrawWithinSteps(
        surface, rect,
        [](void* data) -> uint64_t {
            Draw& call = *static_cast<std::remove_reference_t<Draw>*>(data);
            if constexpr (std::is_void_v<decltype(call())>) {
                call();
                return 0;
            } else {
                return call();
            }
        },
        &draw);
}

template <typename Write>
void SetPixelsWithin(cairo_surface_t* surface, const PixelRect& rect, Write&& write) {
    DrawWithin(surface, rect, [&] {
        cairo_surface_flush(surface);
        const PixelRows rows{cairo_image_surface_get_data(surface),
                             cairo_image_surface_get_stride(surface)};
        const auto marked = [&] {
            cairo_surface_mark_dirty_rectangle(surface, rect.left, rect.top, rect.right - rect.left,
                                               rect.bottom - rect.top);
        };
        if constexpr (std::is_void_v<decltype(write(rows))>) {
            write(rows);
            marked();
        } else {
            const uint64_t content = write(rows);
            marked();
            return content;
        }
    });
}

} // namespace win32_layer

#endif
