// PaintTarget: the drawing surface DisplayBitmap::Paint blits through, so that the imaging layer
// stays free of any windowing system. The platform layer implements it on a tile's framebuffer;
// tests implement it in memory. Qt-free.
#pragma once

#include <cstdint>

namespace velmora {

// A rectangle in pixels: [left, right) x [top, bottom).
struct PixelRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    // Inside with the right and bottom edges excluded.
    bool Contains(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
    PixelRect Offset(int32_t dx, int32_t dy) const
    {
        return { left + dx, top + dy, right + dx, bottom + dy };
    }
    bool operator==(const PixelRect&) const = default;
};

// A read-only view of a device-independent bitmap: top-down rows of `stride` bytes (a multiple
// of 4). 8 bits per pixel: each byte indexes `colourTable`, 256 entries of 4 bytes (blue, green,
// red, 0). 24 bits per pixel: blue, green, red bytes per pixel, `colourTable` null.
struct DibView {
    const uint8_t* bits = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitCount = 0; // 8 or 24
    uint32_t stride = 0;
    const uint8_t* colourTable = nullptr; // 1,024 bytes for 8-bit bitmaps
};

class PaintTarget {
public:
    virtual ~PaintTarget() = default;

    // Copies `source` pixels from `sourceRect` (inside the bitmap) scaled into `destination`
    // (target pixels, may extend past the target; draw only what lies inside both `clip` and the
    // target). Nearest-neighbour, no smoothing or blending (a colour-on-colour stretch): the
    // destination pixel (x, y) takes the source pixel
    //   sx = sourceRect.left + floor((x - destination.left + 0.5) * sourceRect.Width() / destination.Width())
    //   sy = sourceRect.top  + floor((y - destination.top  + 0.5) * sourceRect.Height() /
    //   destination.Height())
    // A rectangle with a zero or negative size draws nothing and succeeds. Returns false only
    // when the target cannot draw at all.
    virtual bool StretchBlit(const DibView& source, const PixelRect& sourceRect, const PixelRect& destination,
        const PixelRect& clip)
        = 0;
};

// Reference implementation of the StretchBlit rule into a 32-bit 0xAARRGGBB buffer of
// `width` x `height` pixels (row length `width`); alpha is set to 0xFF. Used by tests and by
// velmora-tool; a platform target may use it or its own equivalent.
bool StretchBlitToArgb(uint32_t* pixels, int32_t width, int32_t height, const DibView& source,
    const PixelRect& sourceRect, const PixelRect& destination, const PixelRect& clip);

} // namespace velmora
