#include "text_cache.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace win32_layer {
namespace {

constexpr size_t kMostTexts = 64; // beyond it the cache starts afresh

// The pixels a text left.
struct KeptText {
    uint64_t content;             // names these pixels; never 0
    COLORREF background;          // the plain colour it was drawn over
    PixelRect drawn;              // where it may have set pixels
    std::vector<uint32_t> pixels; // drawn's pixels, row after row
};

// Every kept text, beside the lock that guards them. Never destroyed.
struct KeptTexts {
    std::mutex lock;
    std::map<TextKey, KeptText> texts;
};
KeptTexts& Texts() {
    static auto* texts = new KeptTexts;
    return *texts;
}

// The first pixel of a row of the surface.
uint32_t* Row(cairo_surface_t* surface, int row) {
    unsigned char* data = cairo_image_surface_get_data(surface);
    return reinterpret_cast<uint32_t*>(data + static_cast<size_t>(row) *
                                                  cairo_image_surface_get_stride(surface));
}

} // namespace

bool TextKey::operator<(const TextKey& other) const {
    return std::tie(surfaceWidth, surfaceHeight, face, bold, italic, height, ink, box, opaque,
                    align, text, x, y) < std::tie(other.surfaceWidth, other.surfaceHeight,
                                                  other.face, other.bold, other.italic,
                                                  other.height, other.ink, other.box, other.opaque,
                                                  other.align, other.text, other.x, other.y);
}

bool RestoreText(cairo_surface_t* surface, const TextKey& key) {
    std::lock_guard hold(Texts().lock);
    const auto found = Texts().texts.find(key);
    if (found == Texts().texts.end()) {
        return false;
    }
    const KeptText& kept = found->second;
    const PixelRect& drawn = kept.drawn;
    if (PlainColour(surface, drawn) != kept.background) {
        return false;
    }
    if (StillHolds(surface, drawn, kept.content)) {
        return true;
    }
    SetPixelsWithin(surface, drawn, [&](const PixelRows& rows) {
        const int width = drawn.right - drawn.left;
        for (int row = drawn.top; row < drawn.bottom; ++row) {
            const uint32_t* from =
                kept.pixels.data() + static_cast<size_t>(row - drawn.top) * width;
            std::copy(from, from + width, rows[row] + drawn.left);
        }
        return kept.content;
    });
    return true;
}

uint64_t KeepText(cairo_surface_t* surface, const TextKey& key, COLORREF background,
                  const PixelRect& drawn) {
    static uint64_t lastContent = 0;
    std::lock_guard hold(Texts().lock);
    if (Texts().texts.size() >= kMostTexts) {
        Texts().texts.clear();
    }
    KeptText kept{++lastContent, background, drawn, {}};
    const int width = drawn.right - drawn.left;
    cairo_surface_flush(surface);
    for (int row = drawn.top; row < drawn.bottom; ++row) {
        const uint32_t* from = Row(surface, row) + drawn.left;
        kept.pixels.insert(kept.pixels.end(), from, from + width);
    }
    const uint64_t content = kept.content;
    Texts().texts[key] = std::move(kept);
    return content;
}

void ForgetTexts() {
    std::lock_guard hold(Texts().lock);
    Texts().texts.clear();
}

} // namespace win32_layer
