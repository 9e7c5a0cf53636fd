// Frame layout, sample reading and the 16-bit window rules.
#include "imaging/pixel_layout.h"

#include "imaging/display_bitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmora {

FrameLayout FrameLayout::Of(const ImageDescription& d)
{
    FrameLayout layout;
    // 1 to 16 bits in any layout; 32 bits for a single greyscale sample (dose grids) and for
    // colour samples (shown from their top stored bits); never for palette indexes.
    const bool wordOf32 = d.bitsAllocated == 32
        && (d.samplesPerPixel == 1
            || (d.samplesPerPixel >= 3 && d.photometricCode != PHOTOMETRIC_PALETTE_COLOR));
    // Float and Double Float Pixel Data: one sample of 32 or 64 bits.
    const bool floats
        = d.floatSamples && d.samplesPerPixel == 1 && (d.bitsAllocated == 32 || d.bitsAllocated == 64);
    if (d.floatSamples != floats)
        return layout;
    if (d.rows == 0 || d.columns == 0 || d.bitsAllocated == 0
        || (d.bitsAllocated > 16 && !wordOf32 && !floats) || d.samplesPerPixel == 0 || d.samplesPerPixel > 4)
        return layout;
    if (static_cast<uint64_t>(d.rows) * d.columns > MAX_BITMAP_PIXELS)
        return layout;
    layout.sampleBytes = (d.bitsAllocated + 7) / 8;
    uint64_t rowBytes;
    if (d.bitsAllocated == 1) {
        // Bits packed across rows, least significant bit first (PS3.5 8.1.1): one frame.
        if (d.samplesPerPixel != 1)
            return layout;
        const uint64_t total = (static_cast<uint64_t>(d.rows) * d.columns + 7) / 8;
        layout.rowBytes = static_cast<uint32_t>((d.columns + 7) / 8);
        layout.totalBytes = static_cast<uint32_t>(total);
        layout.planeBytes = layout.totalBytes;
        layout.bitmapBitCount = 8;
        layout.bitmapStride = (d.columns + 3) & ~3u;
        layout.valid = true;
        return layout;
    }
    if (d.IsSubsampled422()) {
        if (d.columns % 2 != 0)
            return layout;
        rowBytes = 2ull * d.columns;
    } else {
        rowBytes = static_cast<uint64_t>(layout.sampleBytes) * d.samplesPerPixel * d.columns;
    }
    const uint64_t total = rowBytes * d.rows;
    if (total > UINT32_MAX / 2)
        return layout;
    layout.rowBytes = static_cast<uint32_t>(rowBytes);
    layout.totalBytes = static_cast<uint32_t>(total);
    layout.planeBytes = static_cast<uint32_t>(static_cast<uint64_t>(layout.sampleBytes) * d.columns * d.rows);
    if (d.greyscale)
        layout.bitmapBitCount = 8;
    else if (d.photometricCode == PHOTOMETRIC_PALETTE_COLOR)
        layout.bitmapBitCount = (layout.sampleBytes == 1 && d.largestPaletteCount <= 256) ? 8 : 24;
    else
        layout.bitmapBitCount = d.displayDepth == 8 ? 8 : 24;
    layout.bitmapStride
        = static_cast<uint32_t>((static_cast<uint64_t>(d.columns) * (layout.bitmapBitCount / 8) + 3) & ~3ull);
    layout.valid = true;
    return layout;
}

SampleReader::SampleReader(const ImageDescription& d)
{
    m_wide = d.bitsAllocated > 8;
    const uint32_t width = m_wide ? 16 : 8;
    m_signed = d.pixelRepresentation == 1;
    m_bitsStored = (d.bitsStored == 0 || d.bitsStored > width) ? width : d.bitsStored;
    if (d.bitsStored != d.bitsAllocated && m_bitsStored < width) {
        m_masked = true;
        const int64_t shift = static_cast<int64_t>(d.highBit) - m_bitsStored + 1;
        m_shift = static_cast<uint32_t>(std::clamp<int64_t>(shift, 0, width - m_bitsStored));
        m_mask = (1u << m_bitsStored) - 1;
        m_signBit = 1u << (m_bitsStored - 1);
    }
}

namespace {

// Smallest and largest sample of `count` 16-bit words. Every sample is brought into a signed
// 16-bit lane (unsigned ones offset by 32768), so that eight samples take one minimum and one
// maximum instruction.
template <bool kSigned>
void ScanWords(const uint8_t* raw, uint32_t count, const SampleReader& reader, int32_t& lo, int32_t& hi)
{
    const uint32_t shift = reader.Shift();
    const uint16_t mask = static_cast<uint16_t>(reader.Mask());
    const uint32_t extend = 16 - reader.BitsStored();
    int16_t mn = INT16_MAX, mx = INT16_MIN;
    uint32_t i = 0;
#if defined(__SSE2__)
    const __m128i masks = _mm_set1_epi16(static_cast<int16_t>(mask));
    const __m128i shiftCount = _mm_cvtsi32_si128(static_cast<int>(shift));
    const __m128i extendCount = _mm_cvtsi32_si128(static_cast<int>(extend));
    const __m128i bias = _mm_set1_epi16(INT16_MIN);
    __m128i lows = _mm_set1_epi16(INT16_MAX), highs = _mm_set1_epi16(INT16_MIN);
    for (; i + 8 <= count; i += 8) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + 2 * static_cast<size_t>(i)));
        v = _mm_and_si128(_mm_srl_epi16(v, shiftCount), masks);
        v = kSigned ? _mm_sra_epi16(_mm_sll_epi16(v, extendCount), extendCount) : _mm_xor_si128(v, bias);
        lows = _mm_min_epi16(lows, v);
        highs = _mm_max_epi16(highs, v);
    }
    int16_t laneLows[8], laneHighs[8];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(laneLows), lows);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(laneHighs), highs);
    mn = *std::min_element(laneLows, laneLows + 8);
    mx = *std::max_element(laneHighs, laneHighs + 8);
#endif
    for (; i < count; ++i) {
        uint16_t word;
        std::memcpy(&word, raw + 2 * static_cast<size_t>(i), 2);
        const uint16_t bits = static_cast<uint16_t>((word >> shift) & mask);
        const int16_t v = kSigned ? static_cast<int16_t>(static_cast<int16_t>(bits << extend) >> extend)
                                  : static_cast<int16_t>(bits ^ 0x8000);
        mn = std::min(mn, v);
        mx = std::max(mx, v);
    }
    lo = kSigned ? mn : static_cast<int32_t>(mn) + 32768;
    hi = kSigned ? mx : static_cast<int32_t>(mx) + 32768;
}

} // namespace

void ScanPixelRange(ImageDescription& d, const SampleReader& reader, const uint8_t* raw, uint32_t totalBytes,
    int32_t& lo, int32_t& hi)
{
    if (d.minimumKnown && d.maximumKnown) {
        // Scanned from samples of at most 16 bits: within 32-bit range.
        lo = static_cast<int32_t>(d.pixelMinimum);
        hi = static_cast<int32_t>(d.pixelMaximum);
        return;
    }
    lo = 1 << (reader.BitsStored() - 1);
    hi = 0;
    const uint32_t step = reader.Wide() ? 2 : 1;
    if (reader.Wide()) {
        const uint32_t count = totalBytes / 2;
        int32_t mn = 0, mx = 0;
        if (reader.Signed())
            ScanWords<true>(raw, count, reader, mn, mx);
        else
            ScanWords<false>(raw, count, reader, mn, mx);
        if (count > 0) {
            lo = std::min(lo, mn);
            hi = std::max(hi, mx);
        }
    } else {
        for (uint32_t i = 0; i < totalBytes; i += step) {
            const int32_t v = reader(raw + i);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    d.pixelMinimum = lo;
    d.pixelMaximum = hi;
    d.minimumKnown = d.maximumKnown = true;
}

namespace {

// [low, high] of a window in stored values: (center - intercept -/+ width / 2) / slope, the ends
// ordered (a negative slope swaps them).
void WindowEnds(double center, double width, double intercept, double slope, double& low, double& high)
{
    const double a = ((center - intercept) - width * 0.5) / slope;
    const double b = ((center - intercept) + width * 0.5) / slope;
    low = std::min(a, b);
    high = std::max(a, b);
}

} // namespace

bool UsableRescale(const ImageDescription& d, double& intercept, double& slope)
{
    if (IsAbsent(d.rescaleIntercept) || IsAbsent(d.rescaleSlope) || d.rescaleSlope == 0.0
        || !std::isfinite(d.rescaleSlope) || !std::isfinite(d.rescaleIntercept))
        return false;
    intercept = d.rescaleIntercept;
    slope = d.rescaleSlope;
    return true;
}

bool FileWindow(const ImageDescription& d, double& low, double& high)
{
    if (IsAbsent(d.windowWidth) || IsAbsent(d.windowCenter))
        return false;
    double intercept = 0.0, slope = 1.0;
    UsableRescale(d, intercept, slope);
    WindowEnds(d.windowCenter, d.windowWidth, intercept, slope, low, high);
    return true;
}

bool WindowReversed(const ImageDescription& d)
{
    double intercept = 0.0, slope = 1.0;
    return !IsAbsent(d.windowWidth) && !IsAbsent(d.windowCenter) && UsableRescale(d, intercept, slope)
        && slope < 0.0;
}

void WindowRange(const ImageDescription& d, int64_t& lo, int64_t& hi)
{
    double low, high;
    if (IsAbsent(d.windowWidth))
        WindowEnds(static_cast<double>(hi / 2), static_cast<double>(hi), 0.0, 1.0, low, high);
    else if (IsAbsent(d.windowCenter))
        WindowEnds(static_cast<double>((lo + hi) / 2), static_cast<double>(hi - lo), 0.0, 1.0, low, high);
    else
        FileWindow(d, low, high);
    // Ends far outside any sample's range are cut to +/-2^53, where doubles are still exact.
    auto toInt = [](double v) -> int64_t {
        if (std::isnan(v))
            return 0;
        constexpr double kLimit = 9007199254740992.0;
        return static_cast<int64_t>(std::trunc(std::clamp(v, -kLimit, kLimit)));
    };
    lo = std::max(lo, toInt(low));
    hi = std::min(hi, toInt(high));
    if (lo == hi) {
        lo = 0;
        const uint32_t bits
            = (d.bitsStored == 0 || d.bitsStored > d.bitsAllocated) ? d.bitsAllocated : d.bitsStored;
        hi = int64_t { 1 } << std::clamp<uint32_t>(bits, 1, 30);
    }
}

} // namespace velmora
