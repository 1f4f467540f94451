#include "frame_damage.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>

namespace win32_layer {
namespace {

constexpr size_t kMostPlaces = 32; // more places collapse into their bounding box

// A place on the surface, and what it is known to hold (0: anything).
struct Place {
    PixelRect rect;
    uint64_t content;
};

// What the surface carries as its user data. Outside drawn, every pixel has the
// colour of the last whole fill, when it is known: those in waiting only once their
// fill is done. Waiting places never overlap drawn ones.
struct SurfaceDamage {
    std::optional<COLORREF> uniform; // the colour of the last whole fill, if known
    std::vector<Place> drawn;        // drawn on since the last whole fill
    std::vector<Place> waiting;      // still to be filled with uniform
    bool wholeChanged = true;        // since the last published frame
    std::vector<PixelRect> changed;  // since the last published frame, unless wholeChanged
};

const cairo_user_data_key_t kDamageKey{};

SurfaceDamage* DamageOf(cairo_surface_t* surface) {
    return static_cast<SurfaceDamage*>(cairo_surface_get_user_data(surface, &kDamageKey));
}

void FreeDamage(void* damage) {
    delete static_cast<SurfaceDamage*>(damage);
}

bool IsEmpty(const PixelRect& rect) {
    return rect.left >= rect.right || rect.top >= rect.bottom;
}

bool Overlap(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// The smallest rectangle holding both.
PixelRect Union(const PixelRect& a, const PixelRect& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

// Adds a rectangle to a list that stays short.
void AddRect(std::vector<PixelRect>& rects, const PixelRect& rect) {
    rects.push_back(rect);
    if (rects.size() > kMostPlaces) {
        PixelRect box = rects.front();
        for (const PixelRect& each : rects) {
            box = Union(box, each);
        }
        rects = {box};
    }
}

// Adds a place to a list that stays short; a collapsed list knows no content.
void AddPlace(std::vector<Place>& places, const Place& place) {
    places.push_back(place);
    if (places.size() > kMostPlaces) {
        PixelRect box = places.front().rect;
        for (const Place& each : places) {
            box = Union(box, each.rect);
        }
        places = {{box, 0}};
    }
}

void NoteChanged(SurfaceDamage& damage, const PixelRect& rect) {
    if (!damage.wholeChanged) {
        AddRect(damage.changed, rect);
    }
}

// The value cairo stores for an opaque colour on a client surface, found once per
// colour by painting one pixel.
uint32_t SurfacePixel(COLORREF colour) {
    static auto* lock = new std::mutex;
    static auto* pixels = new std::map<COLORREF, uint32_t>;
    std::lock_guard hold(*lock);
    auto found = pixels->find(colour);
    if (found != pixels->end()) {
        return found->second;
    }
    cairo_surface_t* one = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    cairo_t* cr = cairo_create(one);
    cairo_set_source_rgb(cr, GetRValue(colour) / 255.0, GetGValue(colour) / 255.0,
                         GetBValue(colour) / 255.0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(one);
    const uint32_t pixel = *reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(one));
    cairo_surface_destroy(one);
    return (*pixels)[colour] = pixel;
}

// Sets every pixel of rect to colour, as an opaque cairo fill of it would.
void Fill(cairo_surface_t* surface, const PixelRect& rect, COLORREF colour) {
    const uint32_t pixel = SurfacePixel(colour);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    cairo_surface_flush(surface);
    for (int row = rect.top; row < rect.bottom; ++row) {
        auto* line = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(row) * stride);
        std::fill(line + rect.left, line + rect.right, pixel);
    }
    cairo_surface_mark_dirty_rectangle(surface, rect.left, rect.top, rect.right - rect.left,
                                       rect.bottom - rect.top);
}

// Does the waiting fills that overlap rect, or all of them.
void FillWaiting(cairo_surface_t* surface, SurfaceDamage& damage, const PixelRect* rect) {
    auto due = [rect](const Place& place) { return rect == nullptr || Overlap(place.rect, *rect); };
    for (const Place& place : damage.waiting) {
        if (due(place)) {
            Fill(surface, place.rect, *damage.uniform);
            NoteChanged(damage, place.rect);
        }
    }
    damage.waiting.erase(std::remove_if(damage.waiting.begin(), damage.waiting.end(), due),
                         damage.waiting.end());
}

// Before a drawing call that may change the pixels of rect: does the fills still
// waiting there.
void PrepareToDraw(cairo_surface_t* surface, const PixelRect& rect) {
    SurfaceDamage* damage = DamageOf(surface);
    if (damage != nullptr) {
        FillWaiting(surface, *damage, &rect);
    }
}

// After a drawing call changed at most the pixels of rect, which now hold content
// when it is not 0.
void NoteDrawn(cairo_surface_t* surface, const PixelRect& rect, uint64_t content) {
    SurfaceDamage* damage = DamageOf(surface);
    if (damage == nullptr || IsEmpty(rect)) {
        return;
    }
    for (Place& place : damage->drawn) {
        if (Overlap(place.rect, rect)) {
            place.content = 0;
        }
    }
    AddPlace(damage->drawn, {rect, content});
    NoteChanged(*damage, rect);
}

} // namespace

void TrackSurface(cairo_surface_t* surface, COLORREF colour) {
    auto* damage = new SurfaceDamage;
    damage->uniform = colour;
    if (cairo_surface_set_user_data(surface, &kDamageKey, damage, FreeDamage) !=
        CAIRO_STATUS_SUCCESS) {
        delete damage;
    }
}

PixelRect CoveringRect(cairo_surface_t* surface, double left, double top, double right,
                       double bottom, int margin) {
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    const auto cut = [margin](double value, int high, bool down) {
        const double whole = down ? std::floor(value) - margin : std::ceil(value) + margin;
        return static_cast<int>(std::clamp<double>(whole, 0, high));
    };
    return {cut(left, width, true), cut(top, height, true), cut(right, width, false),
            cut(bottom, height, false)};
}

void DrawWithinSteps(cairo_surface_t* surface, const PixelRect& rect, uint64_t (*draw)(void*),
                     void* data) {
    PrepareToDraw(surface, rect);
    NoteDrawn(surface, rect, draw(data));
}

void PrepareToDrawEverywhere(cairo_surface_t* surface) {
    SurfaceDamage* damage = DamageOf(surface);
    if (damage == nullptr) {
        return;
    }
    FillWaiting(surface, *damage, nullptr);
    damage->uniform.reset();
    damage->drawn.clear();
    damage->wholeChanged = true;
    damage->changed.clear();
}

std::optional<COLORREF> PlainColour(cairo_surface_t* surface, const PixelRect& rect) {
    SurfaceDamage* damage = DamageOf(surface);
    if (damage == nullptr || !damage->uniform) {
        return std::nullopt;
    }
    for (const Place& place : damage->drawn) {
        if (Overlap(place.rect, rect)) {
            return std::nullopt;
        }
    }
    return damage->uniform;
}

bool StillHolds(cairo_surface_t* surface, const PixelRect& rect, uint64_t content) {
    SurfaceDamage* damage = DamageOf(surface);
    if (damage == nullptr || content == 0 || !PlainColour(surface, rect)) {
        return false;
    }
    auto same = damage->waiting.end();
    for (auto place = damage->waiting.begin(); place != damage->waiting.end(); ++place) {
        if (place->rect == rect && place->content == content) {
            same = place;
        } else if (Overlap(place->rect, rect)) {
            return false;
        }
    }
    if (same == damage->waiting.end()) {
        return false;
    }
    damage->waiting.erase(same);
    AddPlace(damage->drawn, {rect, content});
    return true;
}

bool FillWhole(cairo_surface_t* surface, COLORREF colour) {
    SurfaceDamage* damage = DamageOf(surface);
    if (damage == nullptr) {
        return true;
    }
    if (damage->uniform != colour) {
        damage->uniform = colour;
        damage->drawn.clear();
        damage->waiting.clear();
        damage->wholeChanged = true;
        damage->changed.clear();
        return true;
    }
    for (const Place& place : damage->drawn) {
        AddPlace(damage->waiting, place);
    }
    damage->drawn.clear();
    return false;
}

void FinishPaint(cairo_surface_t* surface) {
    SurfaceDamage* damage = DamageOf(surface);
    if (damage != nullptr) {
        FillWaiting(surface, *damage, nullptr);
    }
}

FrameChanges TakeChanges(cairo_surface_t* surface) {
    SurfaceDamage* damage = DamageOf(surface);
    if (damage == nullptr) {
        return {true, {}};
    }
    FrameChanges changes{damage->wholeChanged, {}};
    changes.rects.swap(damage->changed);
    damage->wholeChanged = false;
    return changes;
}

} // namespace win32_layer
