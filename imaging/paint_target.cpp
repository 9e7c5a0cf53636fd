// Reference nearest-neighbour stretch into a 32-bit ARGB buffer.
#include "imaging/paint_target.h"

#include <algorithm>

namespace velmora {

bool StretchBlitToArgb(uint32_t* pixels, int32_t width, int32_t height, const DibView& source,
    const PixelRect& sourceRect, const PixelRect& destination, const PixelRect& clip)
{
    if (pixels == nullptr || source.bits == nullptr)
        return false;
    if (sourceRect.Width() <= 0 || sourceRect.Height() <= 0 || destination.Width() <= 0
        || destination.Height() <= 0)
        return true;
    if (sourceRect.left < 0 || sourceRect.top < 0 || sourceRect.right > source.width
        || sourceRect.bottom > source.height)
        return false;
    if (source.bitCount == 8 && source.colourTable == nullptr)
        return false;
    const int32_t x0 = std::max({ 0, clip.left, destination.left });
    const int32_t x1 = std::min({ width, clip.right, destination.right });
    const int32_t y0 = std::max({ 0, clip.top, destination.top });
    const int32_t y1 = std::min({ height, clip.bottom, destination.bottom });
    const int64_t sw = sourceRect.Width(), sh = sourceRect.Height();
    const int64_t dw = destination.Width(), dh = destination.Height();
    for (int32_t y = y0; y < y1; ++y) {
        const int64_t sy = sourceRect.top + ((2 * (y - destination.top) + 1) * sh) / (2 * dh);
        const uint8_t* row = source.bits + static_cast<size_t>(sy) * source.stride;
        uint32_t* out = pixels + static_cast<size_t>(y) * width;
        for (int32_t x = x0; x < x1; ++x) {
            const int64_t sx = sourceRect.left + ((2 * (x - destination.left) + 1) * sw) / (2 * dw);
            const uint8_t* bgr = source.bitCount == 8 ? source.colourTable + 4 * row[sx] : row + 3 * sx;
            out[x] = 0xFF000000u | uint32_t(bgr[2]) << 16 | uint32_t(bgr[1]) << 8 | bgr[0];
        }
    }
    return true;
}

} // namespace velmora
