// ImageDescription: release and small helpers.
#include "imaging/image_description.h"

#include <algorithm>
#include <utility>

namespace velmora {

const char* PhotometricName(int32_t code)
{
    switch (code) {
    case PHOTOMETRIC_MONOCHROME1:
        return "MONOCHROME1";
    case PHOTOMETRIC_MONOCHROME2:
        return "MONOCHROME2";
    case PHOTOMETRIC_PALETTE_COLOR:
        return "PALETTE COLOR";
    case PHOTOMETRIC_RGB:
        return "RGB";
    case PHOTOMETRIC_ARGB:
        return "ARGB";
    case PHOTOMETRIC_CMYK:
        return "CMYK";
    case PHOTOMETRIC_YBR_FULL_422:
        return "YBR_FULL_422";
    case PHOTOMETRIC_YBR_FULL:
        return "YBR_FULL";
    default:
        return "";
    }
}

uint16_t LookupTable::Map(int32_t value) const
{
    if (entries.empty())
        return 0;
    const int64_t first = firstMapped;
    const int64_t last = first + static_cast<int64_t>(entries.size()) - 1;
    const int64_t index = std::clamp<int64_t>(value, first, last) - first;
    return entries[static_cast<size_t>(index)];
}

void ImageDescription::Release()
{
    ByteBuffer kept = std::move(pixelBuffer);
    kept.clear();
    *this = ImageDescription {};
    pixelBuffer = std::move(kept);
}

bool ImageDescription::IsSubsampled422() const
{
    return compressionKind == 0 && photometricCode == PHOTOMETRIC_YBR_FULL_422 && samplesPerPixel == 3
        && bitsAllocated == 8;
}

} // namespace velmora
