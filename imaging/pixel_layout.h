// Internal to the imaging layer: the byte layout of one raw frame as the display bitmap sees it,
// stored-sample reading (signedness, bits stored, high bit) and the 16-bit window rules shared by
// the converters. Qt-free.
#pragma once

#include "imaging/image_description.h"

#include <cstdint>

namespace velmora {

struct FrameLayout {
    bool valid = false; // geometry the bitmap can show
    uint32_t sampleBytes = 0; // 1 or 2
    uint32_t rowBytes = 0; // one raw row (colour-by-pixel) as stored
    uint32_t planeBytes = 0; // one colour plane
    uint32_t totalBytes = 0; // one raw frame
    int32_t bitmapBitCount = 0; // 8 or 24
    uint32_t bitmapStride = 0; // bytes per bitmap row, a multiple of 4

    static FrameLayout Of(const ImageDescription& description);
};

// Reads one stored greyscale sample: 8 or 16 bits, shifted by the high bit and limited to the
// bits stored when they differ from the bits allocated, sign-extended for signed data.
class SampleReader {
public:
    explicit SampleReader(const ImageDescription& description);
    int32_t operator()(const uint8_t* sample) const
    {
        uint32_t raw = m_wide ? static_cast<uint32_t>(sample[0] | sample[1] << 8) : sample[0];
        if (m_masked) {
            raw = (raw >> m_shift) & m_mask;
            if (m_signed && (raw & m_signBit))
                return static_cast<int32_t>(raw) - static_cast<int32_t>(m_signBit << 1);
            return static_cast<int32_t>(raw);
        }
        if (m_signed)
            return m_wide ? static_cast<int16_t>(raw) : static_cast<int8_t>(raw);
        return static_cast<int32_t>(raw);
    }
    // Same result for a raw 16-bit word (or byte).
    int32_t FromWord(uint32_t word) const
    {
        const uint8_t bytes[2] = { static_cast<uint8_t>(word), static_cast<uint8_t>(word >> 8) };
        return (*this)(bytes);
    }
    bool Wide() const { return m_wide; }
    bool Masked() const { return m_masked; }
    bool Signed() const { return m_signed; }
    // For 16-bit samples as one formula: index = (word >> Shift()) & Mask() is the sample's
    // stored bits (Mask() = 2^BitsStored() - 1); signed samples sign-extend from BitsStored().
    uint32_t Shift() const { return m_masked ? m_shift : 0; }
    uint32_t Mask() const { return (1u << m_bitsStored) - 1; }
    uint32_t BitsStored() const { return m_bitsStored; }

private:
    bool m_wide = false;
    bool m_signed = false;
    bool m_masked = false;
    uint32_t m_shift = 0;
    uint32_t m_mask = 0;
    uint32_t m_signBit = 0;
    uint32_t m_bitsStored = 8;
};

// The pixel range of a greyscale frame: the description's cache when both flags are set,
// otherwise scanned (minimum starting at 2^(bits stored - 1), maximum at 0) and cached.
void ScanPixelRange(ImageDescription& description, const SampleReader& reader, const uint8_t* raw,
    uint32_t totalBytes, int32_t& lo, int32_t& hi);

// The modality rescale when both values are present, finite and the slope is not 0: sets
// `intercept` and `slope` and returns true; otherwise leaves them and returns false.
bool UsableRescale(const ImageDescription& description, double& intercept, double& slope);

// The file's window in stored values, [low, high]: center -/+ width / 2 with the rescale undone
// when intercept and slope are both present. False when the file has no window.
bool FileWindow(const ImageDescription& description, double& low, double& high);

// True when the file's window runs the other way in stored values: with a negative rescale slope
// the highest stored value is the lowest rescaled one, which a window (PS3.3 C.11.2.1.2 windows
// the rescaled values) shows darkest. The levels are then reversed as for MONOCHROME1.
bool WindowReversed(const ImageDescription& description);

// Narrows [lo, hi] (the pixel range) to the window in stored values (the file's, else one made
// from the range); a window that collapses to one value becomes 0..2^bits stored.
void WindowRange(const ImageDescription& description, int64_t& lo, int64_t& hi);

} // namespace velmora
