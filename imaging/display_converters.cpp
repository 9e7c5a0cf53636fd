// DisplayBitmap converters: raw rows of every photometric interpretation into the bitmap.
// Each works on raw bytes [converted, received + length) and advances `converted`.
#include "imaging/display_bitmap.h"
#include "imaging/pixel_layout.h"
#include "imaging/window_row.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace velmora {

namespace {

uint8_t ClampByte(int32_t v)
{
    return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// A numerator in thousandths to a byte: rounded to the nearest, clamped to 0..255; a numerator
// below -500 can only give 0, so the division is an unsigned one.
inline uint8_t Thousandths(int32_t n)
{
    // Branch-free: colour data is noisy enough to defeat branch prediction.
    n += 500;
    const uint32_t positive = static_cast<uint32_t>(n & ~(n >> 31));
    const uint32_t q = positive / 1000;
    const uint32_t over = 0u - static_cast<uint32_t>(q > 255);
    return static_cast<uint8_t>((q & ~over) | (255u & over));
}

// PS3.3 C.7.6.3.1.2: YBR_FULL (and the JFIF YCbCr of JPEG frames, the same full range) to RGB:
// R = Y + 1.402 Cr', G = Y - 0.344136 Cb' - 0.714136 Cr', B = Y + 1.772 Cb' with Cb' = Cb - 128
// and Cr' = Cr - 128, in thousandths.
inline void YbrToBgr(int32_t y, int32_t cb, int32_t cr, uint8_t* out)
{
    const int32_t yy = 1000 * y;
    cb -= 128;
    cr -= 128;
    out[2] = Thousandths(yy + 1402 * cr);
    out[1] = Thousandths(yy - 344 * cb - 714 * cr);
    out[0] = Thousandths(yy + 1772 * cb);
}

// The first-mapped value of a table; signed data maps signed values (descriptor SS).
int64_t FirstMapped(const LookupTable& table, bool signedData)
{
    if (signedData && table.firstMapped > 32767 && table.firstMapped < 65536)
        return static_cast<int64_t>(table.firstMapped) - 65536;
    return table.firstMapped;
}

int32_t MapThrough(const LookupTable& table, int64_t first, int32_t value)
{
    const int64_t last = first + static_cast<int64_t>(table.entries.size()) - 1;
    return table.entries[static_cast<size_t>(std::clamp<int64_t>(value, first, last) - first)];
}

} // namespace

bool DisplayBitmap::Convert(uint32_t length, std::array<uint8_t, 1024>& table)
{
    if (m_description == nullptr || !HasBitmap() || m_sourceRowBytes == 0)
        return false;
    const ImageDescription& d = *m_description;
    // Colour converters write three bytes per pixel; grey ones one.
    const bool colour = m_bitCount == 24;
    switch (d.photometricCode) {
    case PHOTOMETRIC_MONOCHROME1:
    case PHOTOMETRIC_MONOCHROME2:
        return d.samplesPerPixel == 1 && ConvertMonochrome(length, table);
    case PHOTOMETRIC_PALETTE_COLOR:
        if (d.samplesPerPixel != 1)
            return false;
        if (colour)
            return ConvertPalette24(length);
        // Indexes of a byte each (packed one-bit data has no palette conversion).
        return m_sourceRowBytes == d.columns && ConvertPalette(length, table);
    case PHOTOMETRIC_RGB:
        return colour && d.samplesPerPixel == 3 && ConvertRgb(length);
    case PHOTOMETRIC_ARGB:
    case PHOTOMETRIC_CMYK:
        return colour && d.samplesPerPixel == 4 && ConvertCmykArgb(length);
    case PHOTOMETRIC_YBR_FULL_422:
    case PHOTOMETRIC_YBR_FULL:
        if (d.samplesPerPixel == 3)
            return colour && (d.IsSubsampled422() ? ConvertYbr422(length) : ConvertYbr(length));
        // Not three samples: shown as grey, from the first (luminance) sample.
        if (d.samplesPerPixel == 1)
            return ConvertMonochrome(length, table);
        return ConvertGreyFirstSample(length);
    default:
        return false;
    }
}

bool DisplayBitmap::ConvertMonochrome(uint32_t length, std::array<uint8_t, 1024>&)
{
    const ImageDescription& d = *m_description;
    if (m_bitCount != 8)
        return false;
    if ((d.modalityLut.Present() || d.voiLut.Present()) && !d.bothTables && d.bitsAllocated >= 8
        && d.bitsAllocated <= 16)
        return ConvertMonochromeTable(length);
    if (d.floatSamples)
        return ConvertMonochromeFloat(length);
    if (d.bitsAllocated == 1)
        return ConvertMonochrome1(length);
    if (d.bitsAllocated == 32)
        return ConvertMonochrome32(length);
    if (d.displayDepth == 8 && d.bitsAllocated <= 8)
        return ConvertMonochrome8(length);
    if (d.bitsAllocated > 8 && d.bitsAllocated <= 16)
        return ConvertMonochrome16(length);
    return false;
}

bool DisplayBitmap::ConvertMonochromeTable(uint32_t length)
{
    ImageDescription& d = *m_description;
    const uint32_t columns = d.columns; // a local: the byte stores cannot change it
    const bool signedData = d.pixelRepresentation == 1;
    if (m_converted == 0) {
        const LookupTable& ranged = d.voiLut.Present() ? d.voiLut : d.modalityLut;
        m_tableMinimum = 65536;
        m_tableMaximum = 0;
        for (uint16_t v : ranged.entries) {
            m_tableMinimum = std::min<int32_t>(m_tableMinimum, v);
            m_tableMaximum = std::max<int32_t>(m_tableMaximum, v);
        }
        d.pixelMinimum = m_tableMinimum;
        d.pixelMaximum = m_tableMaximum;
        d.minimumKnown = d.maximumKnown = true;
    }
    const SampleReader reader(d);
    const uint32_t sampleBytes = reader.Wide() ? 2 : 1;
    const int64_t modalityFirst = FirstMapped(d.modalityLut, signedData);
    // The VOI LUT maps modality output (unsigned) or, without a modality LUT, stored values.
    const int64_t voiFirst = FirstMapped(d.voiLut, signedData && !d.modalityLut.Present());
    const int32_t span = m_tableMaximum - m_tableMinimum;
    const bool invert = d.photometricCode == PHOTOMETRIC_MONOCHROME1;
    const uint32_t rows = (m_received + length - m_converted) / m_sourceRowBytes;
    const uint32_t firstRow = m_converted / m_sourceRowBytes;
    const uint8_t* src = d.pixelBuffer.data() + m_converted;
    for (uint32_t r = 0; r < rows && firstRow + r < d.rows; ++r) {
        uint8_t* out = BitmapRow(firstRow + r);
        for (uint32_t c = 0; c < columns; ++c, src += sampleBytes) {
            int32_t v = reader(src);
            if (d.modalityLut.Present())
                v = MapThrough(d.modalityLut, modalityFirst, v);
            if (d.voiLut.Present())
                v = MapThrough(d.voiLut, voiFirst, v);
            // A table whose entries are all equal shows black.
            const uint8_t byte = span <= 0
                ? 0
                : ClampByte(static_cast<int32_t>((static_cast<int64_t>(v) - m_tableMinimum) * 255 / span));
            out[c] = invert && span > 0 ? static_cast<uint8_t>(255 - byte) : byte;
        }
    }
    m_converted += rows * m_sourceRowBytes;
    return true;
}

bool DisplayBitmap::ConvertMonochrome8(uint32_t length)
{
    ImageDescription& d = *m_description;
    d.pixelMinimum = 0;
    d.pixelMaximum = 255;
    d.minimumKnown = d.maximumKnown = true;
    const uint32_t rows = (m_received + length - m_converted) / m_sourceRowBytes;
    const uint32_t firstRow = m_converted / m_sourceRowBytes;
    const uint8_t* src = d.pixelBuffer.data() + m_converted;
    const bool invert = d.photometricCode == PHOTOMETRIC_MONOCHROME1;
    for (uint32_t r = 0; r < rows && firstRow + r < d.rows; ++r) {
        uint8_t* out = BitmapRow(firstRow + r);
        std::memcpy(out, src + static_cast<size_t>(r) * m_sourceRowBytes, d.columns);
        if (invert)
            for (uint32_t i = 0; i < m_stride; ++i)
                out[i] = static_cast<uint8_t>(255 - out[i]);
    }
    m_converted += rows * m_sourceRowBytes;
    return true;
}

namespace {

// Output byte of every stored sample, indexed by its stored bits ((word >> shift) & mask): 0 at
// or below lo, 255 at or above hi, (v - lo) * 255 / (hi - lo) between, reversed for MONOCHROME1.
// Filled in value order with an exact running quotient instead of a division per entry.
// `map` holds Mask() + 1 entries.
void FillWindowTable(const SampleReader& reader, int32_t lo, int32_t hi, bool invert, std::span<uint8_t> map)
{
    const uint32_t size = static_cast<uint32_t>(map.size());
    const int64_t span = static_cast<int64_t>(hi) - lo;
    auto fill = [&](uint32_t firstIndex, int32_t firstValue, uint32_t count) {
        int64_t v = firstValue;
        uint32_t i = 0;
        for (; i < count && v <= lo; ++i, ++v)
            map[firstIndex + i] = 0;
        int64_t quotient = 0, remainder = 0;
        if (i < count && v < hi) {
            const int64_t n = (v - lo) * 255;
            quotient = n / span;
            remainder = n % span;
        }
        for (; i < count && v < hi; ++i, ++v) {
            map[firstIndex + i] = static_cast<uint8_t>(quotient);
            remainder += 255;
            while (remainder >= span) {
                remainder -= span;
                ++quotient;
            }
        }
        for (; i < count; ++i)
            map[firstIndex + i] = 255;
    };
    if (reader.Signed()) {
        // Stored bits from size / 2 up are the negative values.
        const uint32_t half = size / 2;
        fill(half, -static_cast<int32_t>(half), half);
        fill(0, 0, half);
    } else {
        fill(0, 0, size);
    }
    if (invert)
        for (uint8_t& byte : map)
            byte = static_cast<uint8_t>(255 - byte);
}

// One row of 16-bit words through the window table: the stored bits of each word index it.
// Shifted is false for stored bits at the bottom of the word, which spares the shift.
template <bool Shifted>
void LookUpRow(
    const uint8_t* src, uint8_t* out, uint32_t columns, const uint8_t* table, uint32_t shift, uint32_t mask)
{
    const auto index
        = [&](uint16_t word) { return (Shifted ? static_cast<uint32_t>(word) >> shift : word) & mask; };
    uint32_t c = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight looked-up bytes gathered in a register and stored at once.
        for (; c + 8 <= columns; c += 8) {
            uint16_t words[8];
            std::memcpy(words, src + 2 * static_cast<size_t>(c), sizeof words);
            uint64_t packed = 0;
            for (uint32_t k = 0; k < 8; ++k)
                packed |= static_cast<uint64_t>(table[index(words[k])]) << (8 * k);
            std::memcpy(out + c, &packed, sizeof packed);
        }
    }
    for (; c < columns; ++c) {
        uint16_t word;
        std::memcpy(&word, src + 2 * static_cast<size_t>(c), 2);
        out[c] = table[index(word)];
    }
}

} // namespace

bool DisplayBitmap::ConvertMonochrome16(uint32_t length)
{
    ImageDescription& d = *m_description;
    if (m_received + length < m_total)
        return true; // the window needs the whole frame's range
    const SampleReader reader(d);
    const uint8_t* raw = d.pixelBuffer.data();
    int32_t scannedLo = 0, scannedHi = 0;
    ScanPixelRange(d, reader, raw, m_total, scannedLo, scannedHi);
    int64_t windowLo = scannedLo, windowHi = scannedHi;
    WindowRange(d, windowLo, windowHi);
    // Within the scanned range, or 0..2^(bits stored) when the window collapsed: 32-bit values.
    const int32_t lo = static_cast<int32_t>(windowLo), hi = static_cast<int32_t>(windowHi);
    const bool invert = (d.photometricCode == PHOTOMETRIC_MONOCHROME1) != WindowReversed(d);
    const uint32_t rows = d.rows, columns = d.columns, rowBytes = m_sourceRowBytes;
    const WindowRamp ramp { lo, hi, invert };
    if (WindowRowVectorised(ramp)) {
        for (uint32_t r = 0; r < rows; ++r)
            WindowRow16(raw + static_cast<size_t>(r) * rowBytes, BitmapRow(r), columns, reader, ramp);
        m_converted = m_total;
        return true;
    }
    const uint32_t shift = reader.Shift();
    const uint32_t mask = reader.Mask();
    // Every possible word through the reader and the window once; then one look-up per pixel.
    // The table is the bitmap's own, kept from frame to frame: as small as the stored bits allow,
    // so that 12-bit data looks up in 4 KB that stay in the first-level cache.
    m_windowTable.resize(static_cast<size_t>(mask) + 1);
    FillWindowTable(reader, lo, hi, invert, m_windowTable);
    const uint8_t* table = m_windowTable.data();
    for (uint32_t r = 0; r < rows; ++r) {
        const uint8_t* src = raw + static_cast<size_t>(r) * rowBytes;
        uint8_t* out = BitmapRow(r);
        if (shift == 0)
            LookUpRow<false>(src, out, columns, table, 0, mask);
        else
            LookUpRow<true>(src, out, columns, table, shift, mask);
    }
    m_converted = m_total;
    return true;
}

// One bit per pixel: 0 black, 1 white (reversed for MONOCHROME1).
bool DisplayBitmap::ConvertMonochrome1(uint32_t length)
{
    ImageDescription& d = *m_description;
    const uint32_t columns = d.columns; // a local: the byte stores cannot change it
    if (m_received + length < m_total)
        return true;
    d.pixelMinimum = 0;
    d.pixelMaximum = 1;
    d.minimumKnown = d.maximumKnown = true;
    const uint8_t* raw = d.pixelBuffer.data();
    const uint8_t one = d.photometricCode == PHOTOMETRIC_MONOCHROME1 ? 0 : 255;
    uint64_t bit = 0;
    for (uint32_t r = 0; r < d.rows; ++r) {
        uint8_t* out = BitmapRow(r);
        for (uint32_t c = 0; c < columns; ++c, ++bit)
            out[c] = (raw[bit >> 3] >> (bit & 7)) & 1 ? one : static_cast<uint8_t>(255 - one);
    }
    m_converted = m_total;
    return true;
}

// 32-bit samples (dose grids): windowed like the 16-bit path, in 64-bit arithmetic, so that
// unsigned samples above 2^31 keep their order.
bool DisplayBitmap::ConvertMonochrome32(uint32_t length)
{
    ImageDescription& d = *m_description;
    const uint32_t columns = d.columns; // a local: the byte stores cannot change it
    if (m_received + length < m_total)
        return true;
    const uint8_t* raw = d.pixelBuffer.data();
    const bool signedData = d.pixelRepresentation == 1;
    const uint32_t pixels = d.rows * d.columns;
    auto sample = [&](uint32_t i) -> int64_t {
        uint32_t v;
        std::memcpy(&v, raw + 4 * static_cast<size_t>(i), 4);
        return signedData ? int64_t { static_cast<int32_t>(v) } : int64_t { v };
    };
    int64_t lo, hi;
    if (d.minimumKnown && d.maximumKnown) {
        lo = d.pixelMinimum;
        hi = d.pixelMaximum;
    } else {
        lo = signedData ? INT32_MAX : UINT32_MAX;
        hi = signedData ? INT32_MIN : 0;
        for (uint32_t i = 0; i < pixels; ++i) {
            const int64_t v = sample(i);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        d.pixelMinimum = lo;
        d.pixelMaximum = hi;
        d.minimumKnown = d.maximumKnown = true;
    }
    WindowRange(d, lo, hi);
    const int64_t span = hi - lo;
    const bool invert = (d.photometricCode == PHOTOMETRIC_MONOCHROME1) != WindowReversed(d);
    for (uint32_t r = 0; r < d.rows; ++r) {
        uint8_t* out = BitmapRow(r);
        for (uint32_t c = 0; c < columns; ++c) {
            const int64_t v = sample(r * d.columns + c);
            uint8_t byte = v <= lo ? 0 : v >= hi ? 255 : static_cast<uint8_t>((v - lo) * 255 / span);
            out[c] = invert ? static_cast<uint8_t>(255 - byte) : byte;
        }
    }
    m_converted = m_total;
    return true;
}

// Float and Double Float Pixel Data (parametric maps): the file's window, else the frame's range
// (NaN and infinities left out), mapped as the integer paths map: 0 at or below the low end,
// 255 at or above the high end, (v - low) x 255 / (high - low) between.
bool DisplayBitmap::ConvertMonochromeFloat(uint32_t length)
{
    const ImageDescription& d = *m_description;
    const uint32_t columns = d.columns; // a local: the byte stores cannot change it
    if (m_received + length < m_total)
        return true;
    const uint8_t* raw = d.pixelBuffer.data();
    const bool doubles = d.bitsAllocated == 64;
    auto sample = [raw, doubles](size_t i) -> double {
        if (doubles) {
            double v;
            std::memcpy(&v, raw + 8 * i, 8);
            return v;
        }
        float v;
        std::memcpy(&v, raw + 4 * i, 4);
        return v;
    };
    const size_t pixels = static_cast<size_t>(d.rows) * columns;
    double low, high;
    if (!FileWindow(d, low, high)) {
        low = std::numeric_limits<double>::infinity();
        high = -low;
        for (size_t i = 0; i < pixels; ++i) {
            const double v = sample(i);
            if (std::isfinite(v)) {
                low = std::min(low, v);
                high = std::max(high, v);
            }
        }
        if (!(low <= high))
            low = high = 0.0; // nothing finite: black
    }
    const double span = high - low;
    // (v - low) * 255 / span; near the largest doubles that overflows, and the same fraction is
    // taken in halves instead. A window with an infinite end shows black between its ends.
    const auto level = [low, high, span](double v) -> uint8_t {
        double scaled = (v - low) * 255.0 / span;
        if (!(scaled < 256.0))
            scaled = (v / 2 - low / 2) / (high / 2 - low / 2) * 255.0;
        return scaled >= 0.0 && scaled < 256.0 ? static_cast<uint8_t>(scaled) : 0;
    };
    const bool invert = (d.photometricCode == PHOTOMETRIC_MONOCHROME1) != WindowReversed(d);
    for (uint32_t r = 0; r < d.rows; ++r) {
        uint8_t* out = BitmapRow(r);
        for (uint32_t c = 0; c < columns; ++c) {
            const double v = sample(static_cast<size_t>(r) * columns + c);
            const uint8_t byte = !(v > low) ? 0 : v >= high ? 255 : level(v);
            out[c] = invert ? static_cast<uint8_t>(255 - byte) : byte;
        }
    }
    m_converted = m_total;
    return true;
}

bool DisplayBitmap::ConvertPalette(uint32_t length, std::array<uint8_t, 1024>& table)
{
    const ImageDescription& d = *m_description;
    const LookupTable& red = d.redPalette;
    const LookupTable& green = d.greenPalette;
    const LookupTable& blue = d.bluePalette;
    if (m_converted == 0 && blue.entryCount <= 256 && red.Present() && green.Present() && blue.Present()) {
        int32_t lo = 65535, hi = 0;
        for (const LookupTable* t : { &blue, &green, &red })
            for (uint16_t v : t->entries) {
                lo = std::min<int32_t>(lo, v);
                hi = std::max<int32_t>(hi, v);
            }
        const int32_t count = static_cast<int32_t>(blue.entries.size());
        const uint32_t first = blue.firstMapped % 65536;
        if (lo == hi) {
            for (int32_t i = 0; i < count && i < 256; ++i)
                table[i * 4] = table[i * 4 + 1] = table[i * 4 + 2] = 0;
        } else {
            auto scaled = [&](const LookupTable& t, uint32_t e) {
                return static_cast<uint8_t>(
                    (MapThrough(t, t.firstMapped, static_cast<int32_t>(e)) - lo) * 255 / (hi - lo));
            };
            for (int32_t i = 0; i < count; ++i) {
                const uint32_t e = (first + static_cast<uint32_t>(i)) % 65536;
                if (e >= 256)
                    break;
                table[e * 4 + 2] = scaled(red, e);
                table[e * 4 + 1] = scaled(green, e);
                table[e * 4 + 0] = scaled(blue, e);
            }
        }
        if (first < 256) {
            const uint32_t last = std::min<uint32_t>(255, first + static_cast<uint32_t>(count) - 1);
            for (uint32_t e = 0; e < first; ++e)
                std::memcpy(&table[e * 4], &table[first * 4], 4);
            for (uint32_t e = last + 1; e < 256; ++e)
                std::memcpy(&table[e * 4], &table[last * 4], 4);
        }
    }
    const uint32_t rows = (m_received + length - m_converted) / m_sourceRowBytes;
    const uint32_t firstRow = m_converted / m_sourceRowBytes;
    const uint8_t* src = d.pixelBuffer.data() + m_converted;
    for (uint32_t r = 0; r < rows && firstRow + r < d.rows; ++r)
        std::memcpy(BitmapRow(firstRow + r), src + static_cast<size_t>(r) * m_sourceRowBytes, d.columns);
    m_converted += rows * m_sourceRowBytes;
    return true;
}

// PALETTE COLOR with more than 256 entries (or 16-bit indexes): every index through the three
// palettes to 24-bit colour, scaled over the palettes' common range as the 8-bit path does.
bool DisplayBitmap::ConvertPalette24(uint32_t length)
{
    const ImageDescription& d = *m_description;
    const uint32_t columns = d.columns; // a local: the byte stores cannot change it
    const LookupTable& red = d.redPalette;
    const LookupTable& green = d.greenPalette;
    const LookupTable& blue = d.bluePalette;
    if (!red.Present() || !green.Present() || !blue.Present())
        return false;
    const bool wide = d.bitsAllocated > 8;
    const uint32_t indexes = wide ? 65536 : 256;
    // Built once per frame: a frame arriving in pieces smaller than a row, and every reconversion
    // (invert, reflection, adjustment), use the same palettes.
    if (!m_paletteMapReady || m_paletteMap.size() != indexes * 3) {
        m_paletteMapReady = true;
        int32_t lo = 65535, hi = 0;
        for (const LookupTable* t : { &blue, &green, &red })
            for (uint16_t v : t->entries) {
                lo = std::min<int32_t>(lo, v);
                hi = std::max<int32_t>(hi, v);
            }
        m_paletteMap.assign(indexes * 3, 0);
        if (hi > lo)
            for (uint32_t i = 0; i < indexes; ++i) {
                const int32_t index = static_cast<int32_t>(i);
                m_paletteMap[i * 3 + 0] = static_cast<uint8_t>(
                    (MapThrough(blue, blue.firstMapped, index) - lo) * 255 / (hi - lo));
                m_paletteMap[i * 3 + 1] = static_cast<uint8_t>(
                    (MapThrough(green, green.firstMapped, index) - lo) * 255 / (hi - lo));
                m_paletteMap[i * 3 + 2]
                    = static_cast<uint8_t>((MapThrough(red, red.firstMapped, index) - lo) * 255 / (hi - lo));
            }
    }
    const uint32_t rows = (m_received + length - m_converted) / m_sourceRowBytes;
    const uint32_t firstRow = m_converted / m_sourceRowBytes;
    const uint8_t* src = d.pixelBuffer.data() + m_converted;
    for (uint32_t r = 0; r < rows && firstRow + r < d.rows; ++r) {
        uint8_t* out = BitmapRow(firstRow + r);
        for (uint32_t c = 0; c < columns; ++c) {
            const uint32_t index = wide ? (src[2 * c] | src[2 * c + 1] << 8) : src[c];
            std::memcpy(out + 3 * c, &m_paletteMap[index * 3], 3);
        }
        src += m_sourceRowBytes;
    }
    m_converted += rows * m_sourceRowBytes;
    return true;
}

namespace {

// The byte a colour sample shows: the sample itself when it is one byte, otherwise the top eight
// of its stored bits (the high byte when every bit is stored; bits 4 to 11 of 12 bits stored from
// bit 0). Wide samples are little-endian.
class ShownByte {
public:
    ShownByte(const ImageDescription& d, uint32_t sampleBytes)
        : m_bytes(sampleBytes)
    {
        const uint32_t allocated = 8 * sampleBytes;
        const uint32_t stored = (d.bitsStored == 0 || d.bitsStored > allocated) ? allocated : d.bitsStored;
        const uint32_t low = (d.highBit < allocated && d.highBit + 1 >= stored) ? d.highBit + 1 - stored : 0;
        if (sampleBytes > 1) {
            m_shift = low + (stored > 8 ? stored - 8 : 0);
            m_mask = stored >= 8 ? 0xFF : (1u << stored) - 1;
        }
    }
    uint32_t Bytes() const { return m_bytes; }
    uint8_t operator()(const uint8_t* sample) const
    {
        uint32_t v = 0;
        for (uint32_t i = m_bytes; i-- > 0;)
            v = v << 8 | sample[i];
        return static_cast<uint8_t>((v >> m_shift) & m_mask);
    }

private:
    uint32_t m_bytes;
    uint32_t m_shift = 0;
    uint32_t m_mask = 0xFF;
};

// One row of RGB pixels by pixel into the bitmap's BGR order; byte samples are plain byte moves.
void RgbRowToBgr(const uint8_t* src, uint8_t* out, uint32_t columns, const ShownByte& shown)
{
    const uint32_t sb = shown.Bytes();
    if (sb == 1) {
        for (uint32_t c = 0; c < columns; ++c) {
            out[3 * c + 0] = src[3 * c + 2];
            out[3 * c + 1] = src[3 * c + 1];
            out[3 * c + 2] = src[3 * c];
        }
        return;
    }
    for (uint32_t c = 0; c < columns; ++c) {
        const uint8_t* px = src + 3 * sb * static_cast<size_t>(c);
        out[3 * c + 0] = shown(px + 2 * sb);
        out[3 * c + 1] = shown(px + sb);
        out[3 * c + 2] = shown(px);
    }
}

} // namespace

bool DisplayBitmap::ConvertRgb(uint32_t length)
{
    const ImageDescription& d = *m_description;
    const uint32_t columns = d.columns; // a local: the byte stores cannot change it
    const uint32_t sb = m_sourceRowBytes / (3 * d.columns); // 1, 2 or 4
    const ShownByte shown(d, sb);
    const uint8_t* raw = d.pixelBuffer.data();
    if (d.planarConfiguration == 1) {
        if (sb == 1) {
            // Plane bytes land as they arrive: the planes appear one after the other.
            const uint32_t end = m_received + length;
            uint32_t i = m_converted;
            while (i < end) {
                const uint32_t p = i / m_planeBytes;
                uint32_t k = i - p * m_planeBytes;
                const uint32_t stop = std::min(end, (p + 1) * m_planeBytes);
                uint32_t row = k / columns, col = k % columns;
                while (i < stop) {
                    // The rest of this row, or of what has arrived.
                    const uint32_t n = std::min(columns - col, stop - i);
                    uint8_t* out = BitmapRow(row) + (2 - p) + 3 * static_cast<size_t>(col);
                    const uint8_t* in = raw + i;
                    for (uint32_t c = 0; c < n; ++c)
                        out[3 * c] = in[c];
                    i += n;
                    col = 0;
                    ++row;
                }
            }
            m_converted = end;
            return true;
        }
        if (m_received + length < m_total)
            return true;
        for (uint32_t r = 0; r < d.rows; ++r) {
            uint8_t* out = BitmapRow(r);
            for (uint32_t c = 0; c < columns; ++c) {
                const uint8_t* px = raw + (static_cast<size_t>(r) * d.columns + c) * sb;
                out[3 * c + 2] = shown(px);
                out[3 * c + 1] = shown(px + m_planeBytes);
                out[3 * c + 0] = shown(px + 2 * static_cast<size_t>(m_planeBytes));
            }
        }
        m_converted = m_total;
        return true;
    }
    const uint32_t rows = (m_received + length - m_converted) / m_sourceRowBytes;
    const uint32_t firstRow = m_converted / m_sourceRowBytes;
    const uint8_t* src = raw + m_converted;
    for (uint32_t r = 0; r < rows && firstRow + r < d.rows; ++r) {
        RgbRowToBgr(src, BitmapRow(firstRow + r), columns, shown);
        src += m_sourceRowBytes;
    }
    m_converted += rows * m_sourceRowBytes;
    return true;
}

namespace {

// One row of YBR_FULL pixels by pixel into BGR, as RgbRowToBgr does for RGB.
void YbrRowToBgr(const uint8_t* src, uint8_t* out, uint32_t columns, const ShownByte& shown)
{
    const uint32_t sb = shown.Bytes();
    if (sb == 1) {
        for (uint32_t c = 0; c < columns; ++c)
            YbrToBgr(src[3 * c], src[3 * c + 1], src[3 * c + 2], out + 3 * c);
        return;
    }
    for (uint32_t c = 0; c < columns; ++c) {
        const uint8_t* px = src + 3 * sb * static_cast<size_t>(c);
        YbrToBgr(shown(px), shown(px + sb), shown(px + 2 * sb), out + 3 * c);
    }
}

} // namespace

bool DisplayBitmap::ConvertYbr(uint32_t length)
{
    const ImageDescription& d = *m_description;
    const uint32_t columns = d.columns; // a local: the byte stores cannot change it
    const uint32_t sb = m_sourceRowBytes / (3 * d.columns);
    const ShownByte shown(d, sb);
    const uint8_t* raw = d.pixelBuffer.data();
    if (d.planarConfiguration == 1) {
        if (m_received + length < m_total)
            return true;
        for (uint32_t r = 0; r < d.rows; ++r) {
            uint8_t* out = BitmapRow(r);
            for (uint32_t c = 0; c < columns; ++c) {
                const uint8_t* px = raw + (static_cast<size_t>(r) * d.columns + c) * sb;
                YbrToBgr(shown(px), shown(px + m_planeBytes),
                    shown(px + 2 * static_cast<size_t>(m_planeBytes)), out + 3 * c);
            }
        }
        m_converted = m_total;
        return true;
    }
    const uint32_t rows = (m_received + length - m_converted) / m_sourceRowBytes;
    const uint32_t firstRow = m_converted / m_sourceRowBytes;
    const uint8_t* src = raw + m_converted;
    for (uint32_t r = 0; r < rows && firstRow + r < d.rows; ++r) {
        YbrRowToBgr(src, BitmapRow(firstRow + r), columns, shown);
        src += m_sourceRowBytes;
    }
    m_converted += rows * m_sourceRowBytes;
    return true;
}

// Native YBR_FULL_422: Y1 Y2 Cb Cr per pair of pixels (PS3.3 C.7.6.3.1.2); both pixels of a pair
// share its Cb and Cr.
bool DisplayBitmap::ConvertYbr422(uint32_t length)
{
    const ImageDescription& d = *m_description;
    const uint32_t rows = (m_received + length - m_converted) / m_sourceRowBytes;
    const uint32_t firstRow = m_converted / m_sourceRowBytes;
    const uint8_t* src = d.pixelBuffer.data() + m_converted;
    for (uint32_t r = 0; r < rows && firstRow + r < d.rows; ++r) {
        uint8_t* out = BitmapRow(firstRow + r);
        for (uint32_t c = 0; c + 1 < d.columns; c += 2) {
            const uint8_t* group = src + 2 * c;
            YbrToBgr(group[0], group[2], group[3], out + 3 * c);
            YbrToBgr(group[1], group[2], group[3], out + 3 * (c + 1));
        }
        src += m_sourceRowBytes;
    }
    m_converted += rows * m_sourceRowBytes;
    return true;
}

// CMYK: R = (255 - C)(255 - K) / 255 and likewise; ARGB: the alpha sample is dropped.
bool DisplayBitmap::ConvertCmykArgb(uint32_t length)
{
    const ImageDescription& d = *m_description;
    const uint32_t columns = d.columns; // a local: the byte stores cannot change it
    const uint32_t sb = m_sourceRowBytes / (4 * d.columns);
    const ShownByte shown(d, sb);
    const bool cmyk = d.photometricCode == PHOTOMETRIC_CMYK;
    const uint8_t* raw = d.pixelBuffer.data();
    auto put = [cmyk](uint8_t s0, uint8_t s1, uint8_t s2, uint8_t s3, uint8_t* out) {
        if (cmyk) {
            out[2] = static_cast<uint8_t>((255 - s0) * (255 - s3) / 255);
            out[1] = static_cast<uint8_t>((255 - s1) * (255 - s3) / 255);
            out[0] = static_cast<uint8_t>((255 - s2) * (255 - s3) / 255);
        } else {
            out[2] = s1;
            out[1] = s2;
            out[0] = s3;
        }
    };
    if (d.planarConfiguration == 1) {
        if (m_received + length < m_total)
            return true;
        const size_t plane = m_planeBytes;
        for (uint32_t r = 0; r < d.rows; ++r) {
            uint8_t* out = BitmapRow(r);
            for (uint32_t c = 0; c < columns; ++c) {
                const uint8_t* px = raw + (static_cast<size_t>(r) * d.columns + c) * sb;
                put(shown(px), shown(px + plane), shown(px + 2 * plane), shown(px + 3 * plane), out + 3 * c);
            }
        }
        m_converted = m_total;
        return true;
    }
    const uint32_t rows = (m_received + length - m_converted) / m_sourceRowBytes;
    const uint32_t firstRow = m_converted / m_sourceRowBytes;
    const uint8_t* src = raw + m_converted;
    for (uint32_t r = 0; r < rows && firstRow + r < d.rows; ++r) {
        uint8_t* out = BitmapRow(firstRow + r);
        for (uint32_t c = 0; c < columns; ++c) {
            const uint8_t* px = src + 4 * sb * static_cast<size_t>(c);
            put(shown(px), shown(px + sb), shown(px + 2 * sb), shown(px + 3 * sb), out + 3 * c);
        }
        src += m_sourceRowBytes;
    }
    m_converted += rows * m_sourceRowBytes;
    return true;
}

// YBR with other than three samples: grey from the first sample (its top stored bits).
bool DisplayBitmap::ConvertGreyFirstSample(uint32_t length)
{
    const ImageDescription& d = *m_description;
    const uint32_t columns = d.columns; // a local: the byte stores cannot change it
    if (m_bitCount != 8)
        return false;
    const uint32_t spp = d.samplesPerPixel;
    const uint32_t sb = m_sourceRowBytes / (spp * d.columns);
    const ShownByte shown(d, sb);
    const uint8_t* raw = d.pixelBuffer.data();
    if (d.planarConfiguration == 1) {
        if (m_received + length < m_total)
            return true;
        for (uint32_t r = 0; r < d.rows; ++r) {
            uint8_t* out = BitmapRow(r);
            for (uint32_t c = 0; c < columns; ++c)
                out[c] = shown(raw + (static_cast<size_t>(r) * d.columns + c) * sb);
        }
        m_converted = m_total;
        return true;
    }
    const uint32_t rows = (m_received + length - m_converted) / m_sourceRowBytes;
    const uint32_t firstRow = m_converted / m_sourceRowBytes;
    const uint8_t* src = raw + m_converted;
    for (uint32_t r = 0; r < rows && firstRow + r < d.rows; ++r) {
        uint8_t* out = BitmapRow(firstRow + r);
        for (uint32_t c = 0; c < columns; ++c)
            out[c] = shown(src + static_cast<size_t>(spp) * sb * c);
        src += m_sourceRowBytes;
    }
    m_converted += rows * m_sourceRowBytes;
    return true;
}

} // namespace velmora
