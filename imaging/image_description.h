// ImageDescription: the flat record of one image's geometry, sample layout, photometric code,
// look-up tables, window and rescale values, and the raw pixel buffer the display bitmap fills.
// ImageSource::Describe fills it from a data set; DisplayBitmap reads it for every conversion and
// caches the scanned pixel range in it. Sits in the imaging layer above the toolkit. Qt-free.
#pragma once

#include "imaging/byte_buffer.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace velmora {

// A real-valued attribute that is not present holds exactly this value (0x7FEFFFFFFFFFFFFF);
// consumers compare with it, never with a tolerance.
inline constexpr double ABSENT_REAL = std::numeric_limits<double>::max();
inline bool IsAbsent(double value)
{
    return value == ABSENT_REAL;
}

// (0028,0004) Photometric Interpretation as a code. 6 and 8 are never produced.
enum PhotometricCode : int32_t {
    PHOTOMETRIC_MONOCHROME1 = 0,
    PHOTOMETRIC_MONOCHROME2 = 1,
    PHOTOMETRIC_PALETTE_COLOR = 2,
    PHOTOMETRIC_RGB = 3,
    PHOTOMETRIC_ARGB = 4,
    PHOTOMETRIC_CMYK = 5,
    PHOTOMETRIC_YBR_FULL_422 = 7,
    PHOTOMETRIC_YBR_FULL = 9,
};

// The text of a code ("MONOCHROME2"); "" for a value that is no code.
const char* PhotometricName(int32_t code);

// One stored look-up table: a palette, a modality LUT or a VOI LUT.
struct LookupTable {
    std::vector<uint16_t> entries; // empty when the table is absent
    int32_t entryCount = 0; // a stored 0 means 65,536
    uint32_t firstMapped = 0; // the first stored pixel value the table maps
    uint32_t bitsPerEntry = 0;

    bool Present() const { return !entries.empty(); }
    // The entry for a stored value: clamped to [first mapped, first mapped + count - 1].
    uint16_t Map(int32_t value) const;
    void Clear() { *this = LookupTable {}; }
};

struct ImageDescription {
    bool greyscale = false; // shown through an 8-bit grey bitmap
    uint32_t columns = 0;
    uint32_t rows = 0;
    uint32_t bitsAllocated = 0;
    uint32_t bitsStored = 0;
    uint32_t samplesPerPixel = 0; // at least 1 once described
    uint32_t highBit = 0;
    uint32_t pixelRepresentation = 0; // 0 unsigned, 1 signed
    uint32_t planarConfiguration = 0; // 0 colour-by-pixel, 1 colour-by-plane
    int32_t displayDepth = 0; // 8, 16 or 24
    char photometric[32] = {}; // the (0028,0004) text, NUL-terminated
    int32_t photometricCode = 0; // PhotometricCode
    int32_t compressionKind = 0; // DataSet::GetCompression; 0 = native
    bool floatSamples = false; // Float (32-bit) or Double Float (64-bit) Pixel Data: IEEE samples

    ByteBuffer pixelBuffer; // raw frame bytes collected by DisplayBitmap (owned)
    uint8_t* bitmapBits = nullptr; // the display bitmap's pixel memory (borrowed)

    LookupTable redPalette; // (0028,1101) / (0028,1201)
    LookupTable bluePalette; // (0028,1103) / (0028,1203)
    LookupTable greenPalette; // (0028,1102) / (0028,1202)
    LookupTable voiLut; // first item of (0028,3010)
    LookupTable modalityLut; // first item of (0028,3000)

    uint32_t largestPaletteCount = 0;
    uint32_t smallestFirstMapped = 0;
    bool bothTables = false; // both modality and VOI LUT were read

    // Cached scanned range (DisplayBitmap fills it); 64-bit so that unsigned 32-bit samples fit.
    int64_t pixelMinimum = 0;
    bool minimumKnown = false;
    int64_t pixelMaximum = 0;
    bool maximumKnown = false;

    double windowCenter = 0.0;
    double windowWidth = 0.0;
    double rescaleIntercept = 0.0;
    double rescaleSlope = 0.0;

    // Empties the pixel buffer (its memory is kept for the next frame), frees all five tables
    // and sets every other field to zero.
    void Release();

    // True for native YBR_FULL_422 with 8-bit samples: two bytes per pixel (Y1 Y2 Cb Cr per pair
    // of pixels, PS3.3 C.7.6.3.1.2). Decoded (compressed) frames come as three samples per pixel.
    bool IsSubsampled422() const;
};

} // namespace velmora
