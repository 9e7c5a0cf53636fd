// DisplayBitmap: every converter on byte buffers built here, the windowing rules, adjustments,
// invert and reflection, progressive appends and painting through an in-memory target.
#include "imaging/display_bitmap.h"
#include "imaging/segmented_palette.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace velmora {
namespace {

ImageDescription Mono(uint32_t columns, uint32_t rows, uint32_t bits, int32_t code = PHOTOMETRIC_MONOCHROME2)
{
    ImageDescription d;
    d.columns = columns;
    d.rows = rows;
    d.bitsAllocated = bits;
    d.bitsStored = bits;
    d.highBit = bits - 1;
    d.samplesPerPixel = 1;
    d.photometricCode = code;
    std::strcpy(d.photometric, PhotometricName(code));
    d.greyscale = true;
    d.displayDepth = bits > 8 ? 16 : 8;
    d.windowCenter = d.windowWidth = d.rescaleIntercept = d.rescaleSlope = ABSENT_REAL;
    return d;
}

ImageDescription Colour(
    uint32_t columns, uint32_t rows, int32_t code, uint32_t samples, uint32_t planar = 0, uint32_t bits = 8)
{
    ImageDescription d = Mono(columns, rows, bits, code);
    d.greyscale = false;
    d.samplesPerPixel = samples;
    d.planarConfiguration = planar;
    d.displayDepth = 24;
    return d;
}

std::vector<uint8_t> Words(std::initializer_list<int> values)
{
    std::vector<uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<uint8_t>(v & 0xFF));
        out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    }
    return out;
}

// Loads `raw` as the tile does: progressive, frame size as quantum, one piece.
bool Load(DisplayBitmap& bitmap, ImageDescription& d, const std::vector<uint8_t>& raw)
{
    bitmap.Attach(&d);
    if (bitmap.Begin(Progressive::Yes, bitmap.Total()) != SUCCESS)
        return false;
    return bitmap.Append(raw.data(), static_cast<uint32_t>(raw.size()));
}

// The displayed colour of bitmap pixel (x, y) as blue, green, red.
std::array<uint8_t, 3> Pixel(const DisplayBitmap& bitmap, int x, int y)
{
    const uint8_t* row = bitmap.Bits().data() + static_cast<size_t>(y) * bitmap.Stride();
    if (bitmap.BitCount() == 8) {
        const uint8_t* e = &bitmap.ColourTable()[row[x] * 4];
        return { e[0], e[1], e[2] };
    }
    return { row[3 * x], row[3 * x + 1], row[3 * x + 2] };
}

uint8_t Grey(const DisplayBitmap& bitmap, int x, int y)
{
    return Pixel(bitmap, x, y)[0];
}

TEST(DisplayBitmapTest, EightBitMonochromeKeepsItsBytes)
{
    ImageDescription d = Mono(3, 2, 8);
    DisplayBitmap bitmap;
    const std::vector<uint8_t> raw { 0, 10, 200, 255, 7, 128 };
    ASSERT_TRUE(Load(bitmap, d, raw));
    EXPECT_EQ(bitmap.BitCount(), 8);
    EXPECT_EQ(bitmap.Stride(), 4u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(bitmap.Bits()[(i / 3) * 4 + i % 3], raw[i]);
    EXPECT_EQ(d.pixelMinimum, 0);
    EXPECT_EQ(d.pixelMaximum, 255);

    ImageDescription m1 = Mono(3, 2, 8, PHOTOMETRIC_MONOCHROME1);
    DisplayBitmap inverse;
    ASSERT_TRUE(Load(inverse, m1, raw));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(inverse.Bits()[(i / 3) * 4 + i % 3], 255 - raw[i]);
}

TEST(DisplayBitmapTest, SixteenBitWindowRules)
{
    struct Case {
        const char* name;
        double center, width, intercept, slope;
        uint32_t bitsStored, highBit;
        std::vector<int> samples;
        std::vector<uint8_t> expected;
    };
    const double A = ABSENT_REAL;
    const std::vector<Case> cases {
        // No window, range 0..4095: center 2047, width 4095 -> lo 0, hi 4094.
        { "no window", A, A, A, A, 12, 11, { 0, 4095, 4094, 2047 }, { 0, 255, 255, 2047 * 255 / 4094 } },
        // CT window 40/400 with intercept -1024: 864..1264 in stored values.
        { "ct window", 40, 400, -1024, 1, 16, 15, { 0, 864, 1064, 1264, 3000 }, { 0, 0, 127, 255, 255 } },
        // Slope without intercept: 0 and 1 are used.
        { "slope only", 100, 100, A, 2, 16, 15, { 0, 50, 100, 150, 1000 }, { 0, 0, 127, 255, 255 } },
        // Center absent: the range decides.
        { "center absent", A, 100, A, A, 16, 15, { 10, 20, 30 }, { 0, 127, 255 } },
        // A window collapsing to one value maps 0..2^bits stored.
        { "collapsed", 1000, 1, A, A, 12, 11, { 1000, 1000 }, { 62, 62 } },
        // 12 of 16 bits with high bit 11: the top bits are masked away.
        { "masked", A, A, A, A, 12, 11, { 0xF000, 0xF000 | 4095, 0 }, { 0, 255, 0 } },
        // High bit 15: shifted right by 4 first.
        { "shifted", A, A, A, A, 12, 15, { 0, 4095 << 4, 0x0F }, { 0, 255, 0 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t n = static_cast<uint32_t>(c.samples.size());
        ImageDescription d = Mono(n, 1, 16);
        d.bitsStored = c.bitsStored;
        d.highBit = c.highBit;
        d.windowCenter = c.center;
        d.windowWidth = c.width;
        d.rescaleIntercept = c.intercept;
        d.rescaleSlope = c.slope;
        DisplayBitmap bitmap;
        std::vector<uint8_t> raw;
        for (int v : c.samples) {
            const auto w = Words({ v });
            raw.insert(raw.end(), w.begin(), w.end());
        }
        ASSERT_TRUE(Load(bitmap, d, raw));
        for (uint32_t i = 0; i < n; ++i)
            EXPECT_EQ(bitmap.Bits()[i], c.expected[i]) << "sample " << i;

        // MONOCHROME1 shows 255 minus the MONOCHROME2 output.
        ImageDescription m1 = d;
        m1.photometricCode = PHOTOMETRIC_MONOCHROME1;
        m1.minimumKnown = m1.maximumKnown = false;
        m1.pixelBuffer.clear();
        DisplayBitmap inverse;
        ASSERT_TRUE(Load(inverse, m1, raw));
        for (uint32_t i = 0; i < n; ++i)
            EXPECT_EQ(inverse.Bits()[i], 255 - c.expected[i]);
    }
}

TEST(DisplayBitmapTest, SixteenBitOutputMatchesTheFormulaOnEverySample)
{
    // Every stored value of 12-bit signed and unsigned data under several windows, the stored
    // bits at the bottom of the word (other bits set above them) or at the top (bits below).
    struct Window {
        double center, width;
    };
    for (uint32_t shift : { 0u, 4u })
        for (uint32_t representation : { 0u, 1u })
            for (const Window w : { Window { ABSENT_REAL, ABSENT_REAL }, Window { 300, 7 },
                     Window { -100, 1001 }, Window { 2000, 3001 } }) {
                ImageDescription d = Mono(4096, 1, 16);
                d.bitsStored = 12;
                d.highBit = 11 + shift;
                d.pixelRepresentation = representation;
                d.windowCenter = w.center;
                d.windowWidth = w.width;
                std::vector<uint8_t> raw;
                for (int i = 0; i < 4096; ++i) {
                    const int word = shift == 0 ? i | 0xA000 : (i << shift) | 0x5;
                    raw.push_back(static_cast<uint8_t>(word));
                    raw.push_back(static_cast<uint8_t>(word >> 8));
                }
                DisplayBitmap bitmap;
                ASSERT_TRUE(Load(bitmap, d, raw));
                int64_t lo = representation ? -2048 : 0, hi = representation ? 2047 : 4095;
                double center = w.center, width = w.width;
                if (IsAbsent(width)) {
                    center = static_cast<double>(hi / 2);
                    width = static_cast<double>(hi);
                }
                lo = std::max<int64_t>(lo, static_cast<int64_t>(center - width * 0.5));
                hi = std::min<int64_t>(hi, static_cast<int64_t>(center + width * 0.5));
                for (int i = 0; i < 4096; ++i) {
                    const int64_t v = representation && i >= 2048 ? i - 4096 : i;
                    const int64_t want = v <= lo ? 0 : v >= hi ? 255 : (v - lo) * 255 / (hi - lo);
                    ASSERT_EQ(bitmap.Bits()[i], want)
                        << "value " << v << " window " << w.center << "/" << w.width << " shift " << shift;
                }
            }
}

TEST(DisplayBitmapTest, SignedSamplesKeepTheirSign)
{
    ImageDescription d = Mono(3, 1, 16);
    d.pixelRepresentation = 1;
    d.bitsStored = 12;
    d.highBit = 11;
    DisplayBitmap bitmap;
    ASSERT_TRUE(Load(bitmap, d, Words({ 0x0FFF /* -1 */, 0x07FF /* 2047 */, 0x0800 /* -2048 */ })));
    EXPECT_EQ(d.pixelMinimum, -2048);
    EXPECT_EQ(d.pixelMaximum, 2047);
}

TEST(DisplayBitmapTest, SixteenBitRangeIgnoresBitsOutsideTheStoredOnes)
{
    // Random words (overlay bits above and below the stored ones included) in every layout of
    // stored bits, a count that is no multiple of eight: the range and the output follow only
    // the stored bits.
    struct Layout {
        uint32_t bitsStored, highBit;
    };
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    for (uint32_t representation : { 0u, 1u })
        for (const Layout layout :
            { Layout { 8, 7 }, Layout { 12, 11 }, Layout { 12, 13 }, Layout { 15, 14 }, Layout { 16, 15 } }) {
            SCOPED_TRACE(std::to_string(layout.bitsStored) + "/" + std::to_string(layout.highBit) + " signed "
                + std::to_string(representation));
            ImageDescription d = Mono(4099, 1, 16);
            d.bitsStored = layout.bitsStored;
            d.highBit = layout.highBit;
            d.pixelRepresentation = representation;
            const uint32_t shift = layout.highBit + 1 - layout.bitsStored;
            const uint32_t mask = (1u << layout.bitsStored) - 1;
            std::vector<uint8_t> raw;
            std::vector<int32_t> values;
            for (uint32_t i = 0; i < d.columns; ++i) {
                const uint16_t word = static_cast<uint16_t>(next() >> 9);
                raw.push_back(static_cast<uint8_t>(word));
                raw.push_back(static_cast<uint8_t>(word >> 8));
                int32_t v = static_cast<int32_t>((word >> shift) & mask);
                if (representation && (v >> (layout.bitsStored - 1)))
                    v -= static_cast<int32_t>(mask) + 1;
                values.push_back(v);
            }
            const int32_t lo = *std::min_element(values.begin(), values.end());
            const int32_t hi = *std::max_element(values.begin(), values.end());
            // A window of exactly the range stretches [lo, hi] over the bytes.
            d.windowCenter = lo + (hi - lo) / 2.0;
            d.windowWidth = hi - lo;
            DisplayBitmap bitmap;
            ASSERT_TRUE(Load(bitmap, d, raw));
            EXPECT_EQ(d.pixelMinimum, lo);
            EXPECT_EQ(d.pixelMaximum, hi);
            for (uint32_t i = 0; i < d.columns; ++i)
                ASSERT_EQ(bitmap.Bits()[i], static_cast<int64_t>(values[i] - lo) * 255 / (hi - lo)) << i;
        }
}

TEST(DisplayBitmapTest, OneBitPixelsArePackedAcrossRows)
{
    // 1 1 0 / 0 0 0 / 0 0 1, least significant bit first.
    ImageDescription d = Mono(3, 3, 1);
    d.displayDepth = 8;
    DisplayBitmap bitmap;
    bitmap.Attach(&d);
    EXPECT_EQ(bitmap.Total(), 2u);
    ASSERT_TRUE(Load(bitmap, d, { 0x03, 0x01 }));
    const uint8_t expected[9] = { 255, 255, 0, 0, 0, 0, 0, 0, 255 };
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(Grey(bitmap, i % 3, i / 3), expected[i]) << i;
    bitmap.MarkComplete();
    ASSERT_EQ(bitmap.ReflectX(), SUCCESS);
    EXPECT_EQ(Grey(bitmap, 0, 0), 0);
    EXPECT_EQ(Grey(bitmap, 2, 0), 255);
    EXPECT_EQ(Grey(bitmap, 0, 2), 255);
    ASSERT_EQ(bitmap.ReflectY(), SUCCESS);
    EXPECT_EQ(Grey(bitmap, 0, 0), 255);
    EXPECT_EQ(Grey(bitmap, 2, 2), 255);
    ASSERT_EQ(bitmap.Invert(), SUCCESS);
    EXPECT_EQ(Grey(bitmap, 0, 0), 0);
}

TEST(DisplayBitmapTest, ThirtyTwoBitSamplesAreWindowed)
{
    struct Case {
        const char* name;
        uint32_t representation;
        double center, width; // A for none
        std::array<uint32_t, 3> samples;
        std::array<uint8_t, 3> grey;
    };
    const double A = ABSENT_REAL;
    const std::vector<Case> cases {
        // Min-max 0..2,000,000: 1,000,000 -> 127.
        { "unsigned", 0, A, A, { 0, 1000000, 2000000 }, { 0, 127, 255 } },
        // Above 2^31 (DCMTK's word-swapped dose grids): 1e9..4e9, (3e9 - 1e9) * 255 / 3e9 = 170.
        { "unsigned above 2^31", 0, A, A, { 1000000000u, 3000000000u, 4000000000u }, { 0, 170, 255 } },
        // Window 2e9..4e9 inside 1e9..4.2e9: (3.5e9 - 2e9) * 255 / 2e9 = 191.
        { "unsigned window above 2^31", 0, 3e9, 2e9, { 1000000000u, 3500000000u, 4200000000u },
            { 0, 191, 255 } },
        // Signed without a window: stretched from 0 to the maximum, 1e9 * 255 / 2e9 = 127.
        { "signed", 1, A, A, { static_cast<uint32_t>(-2000000000), 1000000000u, 2000000000u },
            { 0, 127, 255 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageDescription d = Mono(3, 1, 32);
        d.displayDepth = 8;
        d.pixelRepresentation = c.representation;
        d.windowCenter = c.center;
        d.windowWidth = c.width;
        std::vector<uint8_t> raw;
        for (uint32_t v : c.samples)
            for (int b = 0; b < 4; ++b)
                raw.push_back(static_cast<uint8_t>(v >> (8 * b)));
        DisplayBitmap bitmap;
        ASSERT_TRUE(Load(bitmap, d, raw));
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(Grey(bitmap, x, 0), c.grey[x]) << "pixel " << x;
        bitmap.MarkComplete();
        ASSERT_EQ(bitmap.Invert(), SUCCESS);
        EXPECT_EQ(Grey(bitmap, 0, 0), 255 - c.grey[0]);
        ASSERT_EQ(bitmap.Invert(), SUCCESS);
        EXPECT_EQ(std::vector<uint8_t>(d.pixelBuffer.begin(), d.pixelBuffer.begin() + 12), raw);
    }
}

// Float and Double Float Pixel Data: the file's window, else the finite range of the frame.
TEST(DisplayBitmapTest, FloatSamplesAreWindowed)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> values { -1.5, 0.0, 0.5, 1.5, nan, std::numeric_limits<double>::infinity() };
    for (uint32_t bits : { 32u, 64u }) {
        SCOPED_TRACE(bits);
        std::vector<uint8_t> raw;
        for (double v : values) {
            uint8_t bytes[8];
            if (bits == 32) {
                const float f = static_cast<float>(v);
                std::memcpy(bytes, &f, 4);
            } else {
                std::memcpy(bytes, &v, 8);
            }
            raw.insert(raw.end(), bytes, bytes + bits / 8);
        }
        ImageDescription d = Mono(6, 1, bits);
        d.floatSamples = true;
        d.displayDepth = 8;
        DisplayBitmap bitmap;
        ASSERT_TRUE(Load(bitmap, d, raw));
        // Range -1.5..1.5: (v + 1.5) x 255 / 3.
        EXPECT_EQ(std::vector<uint8_t>(bitmap.Bits().begin(), bitmap.Bits().begin() + 6),
            (std::vector<uint8_t> { 0, 127, 170, 255, 0, 255 }));
        // Window 0 / 2: -1..1.
        d.windowCenter = 0.0;
        d.windowWidth = 2.0;
        ASSERT_TRUE(Load(bitmap, d, raw));
        EXPECT_EQ(std::vector<uint8_t>(bitmap.Bits().begin(), bitmap.Bits().begin() + 6),
            (std::vector<uint8_t> { 0, 127, 191, 255, 0, 255 }));
    }
    // Doubles from the lowest to the largest: the span overflows, the levels do not. The range
    // is -M..M, so 0 is half way (127) and M / 2 three quarters (191).
    const double most = std::numeric_limits<double>::max();
    std::vector<uint8_t> raw(4 * 8);
    const double extremes[] = { -most, 0.0, most / 2, most };
    std::memcpy(raw.data(), extremes, sizeof extremes);
    ImageDescription d = Mono(4, 1, 64);
    d.floatSamples = true;
    d.displayDepth = 8;
    DisplayBitmap bitmap;
    ASSERT_TRUE(Load(bitmap, d, raw));
    EXPECT_EQ(std::vector<uint8_t>(bitmap.Bits().begin(), bitmap.Bits().begin() + 4),
        (std::vector<uint8_t> { 0, 127, 191, 255 }));
}

// MONOCHROME1 shows 255 minus the MONOCHROME2 grey on every monochrome path; the MONOCHROME2
// values are worked out by hand in each row.
TEST(DisplayBitmapTest, MonochromeOneReversesEveryPath)
{
    struct Case {
        const char* name;
        ImageDescription d;
        std::vector<uint8_t> raw;
        std::vector<uint8_t> monochrome2;
    };
    auto longs = [](std::initializer_list<uint32_t> values) {
        std::vector<uint8_t> out;
        for (uint32_t v : values)
            for (int b = 0; b < 4; ++b)
                out.push_back(static_cast<uint8_t>(v >> (8 * b)));
        return out;
    };
    ImageDescription eight = Mono(3, 1, 8);
    ImageDescription window = Mono(3, 1, 16);
    window.windowCenter = 100; // 50..150
    window.windowWidth = 100;
    ImageDescription table = Mono(4, 1, 16);
    table.modalityLut.entries = { 100, 200, 300, 400 };
    table.modalityLut.entryCount = 4;
    table.modalityLut.firstMapped = 10;
    ImageDescription voi = Mono(3, 1, 8);
    voi.voiLut.entries = { 0, 1000, 4000 };
    voi.voiLut.entryCount = 3;
    ImageDescription oneBit = Mono(3, 3, 1);
    oneBit.displayDepth = 8;
    ImageDescription thirtyTwo = Mono(3, 1, 32);
    thirtyTwo.displayDepth = 8;
    // Window 800/400 on rescaled values 1000 - v: stored 0..400 with 0 white.
    ImageDescription negativeSlope = window;
    negativeSlope.windowCenter = 800;
    negativeSlope.windowWidth = 400;
    negativeSlope.rescaleIntercept = 1000;
    negativeSlope.rescaleSlope = -1;
    ImageDescription negativeSlope32 = negativeSlope;
    negativeSlope32.bitsAllocated = negativeSlope32.bitsStored = 32;
    negativeSlope32.highBit = 31;
    negativeSlope32.displayDepth = 8;
    const std::vector<Case> cases {
        { "8-bit", eight, { 0, 10, 255 }, { 0, 10, 255 } },
        // (v - 50) * 255 / 100: 75 -> 63.
        { "16-bit window", window, Words({ 40, 75, 150 }), { 0, 63, 255 } },
        // Entries 100..400: (v - 100) * 255 / 300 for 100, 200, 300, 400.
        { "modality table", table, Words({ 0, 11, 12, 99 }), { 0, 85, 170, 255 } },
        // Entries 0..4000: 1000 -> 63.
        { "voi table", voi, { 0, 1, 2 }, { 0, 63, 255 } },
        // 1 1 0 / 0 0 0 / 0 0 1, least significant bit first.
        { "1-bit", oneBit, { 0x03, 0x01 }, { 255, 255, 0, 0, 0, 0, 0, 0, 255 } },
        // Min-max 0..2,000,000: 1,000,000 -> 127.
        { "32-bit", thirtyTwo, longs({ 0, 1000000, 2000000 }), { 0, 127, 255 } },
        // Reversed as MONOCHROME1 is: 255 - (100 - 0) * 255 / 400 = 192.
        { "16-bit window, negative slope", negativeSlope, Words({ 0, 100, 400 }), { 255, 192, 0 } },
        { "32-bit window, negative slope", negativeSlope32, longs({ 0, 100, 400 }), { 255, 192, 0 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const int32_t code : { PHOTOMETRIC_MONOCHROME2, PHOTOMETRIC_MONOCHROME1 }) {
            ImageDescription d = c.d;
            d.photometricCode = code;
            DisplayBitmap bitmap;
            ASSERT_TRUE(Load(bitmap, d, c.raw));
            for (size_t i = 0; i < c.monochrome2.size(); ++i) {
                const int x = static_cast<int>(i % d.columns), y = static_cast<int>(i / d.columns);
                const int want = code == PHOTOMETRIC_MONOCHROME1 ? 255 - c.monochrome2[i] : c.monochrome2[i];
                EXPECT_EQ(Grey(bitmap, x, y), want)
                    << "pixel " << i << (code ? " MONOCHROME2" : " MONOCHROME1");
            }
        }
    }
}

// A window reaching past the pixel range is clamped to the range, which is then stretched over
// the grey levels: MR_small's 600/1600 on data 127..2145 maps 127..1400, so 500 shows as
// (500 - 127) * 255 / 1273 = 74 where PS3.3 C.11.2.1.2 gives ((500 - 599.5) / 1599 + 0.5) * 255
// = 112. Inside the range both agree (render_matches_dcmtk.py).
TEST(DisplayBitmapTest, WindowPastThePixelRangeIsClampedToIt)
{
    ImageDescription d = Mono(4, 1, 16);
    d.windowCenter = 600;
    d.windowWidth = 1600;
    DisplayBitmap bitmap;
    ASSERT_TRUE(Load(bitmap, d, Words({ 127, 500, 1400, 2145 })));
    EXPECT_EQ(Grey(bitmap, 0, 0), 0);
    EXPECT_EQ(Grey(bitmap, 1, 0), 74);
    EXPECT_EQ(Grey(bitmap, 2, 0), 255);
    EXPECT_EQ(Grey(bitmap, 3, 0), 255);
}

TEST(DisplayBitmapTest, TablePathMapsThroughTheLuts)
{
    ImageDescription d = Mono(4, 1, 16);
    d.modalityLut.entries = { 100, 200, 300, 400 };
    d.modalityLut.entryCount = 4;
    d.modalityLut.firstMapped = 10;
    DisplayBitmap bitmap;
    // Below the first mapped value clamps to the first entry; above the last to the last.
    ASSERT_TRUE(Load(bitmap, d, Words({ 0, 11, 12, 99 })));
    EXPECT_EQ(bitmap.TableMinimum(), 100);
    EXPECT_EQ(bitmap.TableMaximum(), 400);
    EXPECT_EQ(bitmap.Bits()[0], 0);
    EXPECT_EQ(bitmap.Bits()[1], 85);
    EXPECT_EQ(bitmap.Bits()[2], 170);
    EXPECT_EQ(bitmap.Bits()[3], 255);

    // A table whose entries are all equal shows black.
    ImageDescription flat = Mono(2, 1, 8);
    flat.voiLut.entries = { 7, 7 };
    flat.voiLut.entryCount = 2;
    DisplayBitmap black;
    ASSERT_TRUE(Load(black, flat, { 0, 1 }));
    EXPECT_EQ(black.Bits()[0], 0);
    EXPECT_EQ(black.Bits()[1], 0);
}

TEST(DisplayBitmapTest, PaletteBuildsTheColourTable)
{
    ImageDescription d = Colour(3, 1, PHOTOMETRIC_PALETTE_COLOR, 1);
    d.displayDepth = 8;
    d.largestPaletteCount = 2;
    for (LookupTable* t : { &d.redPalette, &d.greenPalette, &d.bluePalette }) {
        t->entryCount = 2;
        t->firstMapped = 1;
        t->bitsPerEntry = 16;
    }
    d.redPalette.entries = { 0, 65535 };
    d.greenPalette.entries = { 65535, 0 };
    d.bluePalette.entries = { 0, 0 };
    DisplayBitmap bitmap;
    ASSERT_TRUE(Load(bitmap, d, { 0, 1, 2 }));
    EXPECT_EQ(bitmap.BitCount(), 8);
    // Entry 0 is below the first mapped value: it copies entry 1 (green).
    EXPECT_EQ(Pixel(bitmap, 0, 0), (std::array<uint8_t, 3> { 0, 255, 0 }));
    EXPECT_EQ(Pixel(bitmap, 1, 0), (std::array<uint8_t, 3> { 0, 255, 0 }));
    EXPECT_EQ(Pixel(bitmap, 2, 0), (std::array<uint8_t, 3> { 0, 0, 255 }));
    // Entries above the last mapped value copy the last (red); entry 0 copies entry 1.
    const auto& table = bitmap.ColourTable();
    for (int e : { 3, 128, 255 })
        EXPECT_EQ((std::array<uint8_t, 3> { table[e * 4], table[e * 4 + 1], table[e * 4 + 2] }),
            (std::array<uint8_t, 3> { 0, 0, 255 }))
            << "entry " << e;
    EXPECT_EQ(
        (std::array<uint8_t, 3> { table[0], table[1], table[2] }), (std::array<uint8_t, 3> { 0, 255, 0 }));
}

TEST(DisplayBitmapTest, LargePaletteMapsToTwentyFourBits)
{
    ImageDescription d = Colour(2, 1, PHOTOMETRIC_PALETTE_COLOR, 1, 0, 16);
    d.largestPaletteCount = 65536;
    for (LookupTable* t : { &d.redPalette, &d.greenPalette, &d.bluePalette }) {
        t->entryCount = 65536;
        t->entries.assign(65536, 0);
    }
    d.redPalette.entries[1000] = 65535;
    d.bluePalette.entries[40000] = 65535;
    DisplayBitmap bitmap;
    ASSERT_TRUE(Load(bitmap, d, Words({ 1000, 40000 })));
    EXPECT_EQ(bitmap.BitCount(), 24);
    EXPECT_EQ(Pixel(bitmap, 0, 0), (std::array<uint8_t, 3> { 0, 0, 255 }));
    EXPECT_EQ(Pixel(bitmap, 1, 0), (std::array<uint8_t, 3> { 255, 0, 0 }));
}

TEST(DisplayBitmapTest, ColourConverters)
{
    using Bgr = std::array<uint8_t, 3>;
    struct Case {
        const char* name;
        ImageDescription d;
        std::vector<uint8_t> raw;
        std::vector<Bgr> expected;
    };
    auto stored = [](ImageDescription d, uint32_t bitsStored, uint32_t highBit) {
        d.bitsStored = bitsStored;
        d.highBit = highBit;
        return d;
    };
    const std::vector<Case> cases {
        { "rgb by pixel", Colour(2, 1, PHOTOMETRIC_RGB, 3), { 1, 2, 3, 4, 5, 6 },
            { { 3, 2, 1 }, { 6, 5, 4 } } },
        { "rgb by plane", Colour(2, 1, PHOTOMETRIC_RGB, 3, 1), { 1, 4, 2, 5, 3, 6 },
            { { 3, 2, 1 }, { 6, 5, 4 } } },
        { "rgb 48-bit by high byte", Colour(1, 1, PHOTOMETRIC_RGB, 3, 0, 16),
            Words({ 0x1100, 0x22FF, 0x3301 }), { { 0x33, 0x22, 0x11 } } },
        // 12 bits stored show their top eight (bits 4 to 11); the bits above are not the sample's.
        { "rgb 12 of 16 bits", stored(Colour(2, 1, PHOTOMETRIC_RGB, 3, 0, 16), 12, 11),
            Words({ 0xFFF0, 0x0800, 0x0010, 0x0123, 0xA456, 0x0789 }),
            { { 0x01, 0x80, 0xFF }, { 0x78, 0x45, 0x12 } } },
        // High bit 15: the stored bits are 4 to 15, the low four not the sample's.
        { "rgb 12 of 16 bits by plane, high bit 15", stored(Colour(1, 1, PHOTOMETRIC_RGB, 3, 1, 16), 12, 15),
            Words({ 0xFF0F, 0x800A, 0x010F }), { { 0x01, 0x80, 0xFF } } },
        // Y 100, Cb 90, Cr 200 in 12 bits (x 16), the top four bits set in Y: as "ybr full" below.
        { "ybr full 12 of 16 bits", stored(Colour(1, 1, PHOTOMETRIC_YBR_FULL, 3, 0, 16), 12, 11),
            Words({ 0xF000 | 1600, 1440, 3200 }), { { 33, 62, 201 } } },
        // Full range (PS3.3 C.7.6.3.1.2): neutral chroma keeps Y as it is. With Y 100, Cb 90,
        // Cr 200: R = 100 + 1.402 * 72 = 200.9, G = 100 + 0.344136 * 38 - 0.714136 * 72 = 61.7,
        // B = 100 - 1.772 * 38 = 32.7, rounded. Extremes are clamped: Y 255, Cb 0, Cr 255 gives
        // R 433 -> 255, G 255 + 0.344136 * 128 - 0.714136 * 127 = 208.4, B 255 - 1.772 * 128 = 28.2;
        // Y 0, Cb 255, Cr 0 gives R -179 -> 0, G -43.7 + 91.4 = 47.7, B 1.772 * 127 = 225.0.
        { "ybr full", Colour(5, 1, PHOTOMETRIC_YBR_FULL, 3),
            { 16, 128, 128, 236, 128, 128, 100, 90, 200, 255, 0, 255, 0, 255, 0 },
            { { 16, 16, 16 }, { 236, 236, 236 }, { 33, 62, 201 }, { 28, 208, 255 }, { 225, 48, 0 } } },
        { "ybr full by plane", Colour(1, 1, PHOTOMETRIC_YBR_FULL, 3, 1), { 100, 90, 200 },
            { { 33, 62, 201 } } },
        { "argb", Colour(1, 1, PHOTOMETRIC_ARGB, 4), { 9, 10, 20, 30 }, { { 30, 20, 10 } } },
        { "cmyk", Colour(2, 1, PHOTOMETRIC_CMYK, 4), { 255, 0, 0, 0, 0, 0, 0, 255 },
            { { 255, 255, 0 }, { 0, 0, 0 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageDescription d = c.d;
        DisplayBitmap bitmap;
        ASSERT_TRUE(Load(bitmap, d, c.raw));
        EXPECT_EQ(bitmap.BitCount(), 24);
        for (size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_EQ(Pixel(bitmap, static_cast<int>(i), 0), c.expected[i]) << "pixel " << i;
    }
}

TEST(DisplayBitmapTest, NativeYbr422SharesChromaPerPair)
{
    ImageDescription d = Colour(2, 2, PHOTOMETRIC_YBR_FULL_422, 3);
    d.compressionKind = 0;
    DisplayBitmap bitmap;
    bitmap.Attach(&d);
    EXPECT_EQ(bitmap.Total(), 8u); // two bytes per pixel
    const std::vector<uint8_t> raw { 16, 236, 128, 128, 100, 100, 90, 200 };
    ASSERT_TRUE(Load(bitmap, d, raw));
    EXPECT_EQ(Pixel(bitmap, 0, 0), (std::array<uint8_t, 3> { 16, 16, 16 }));
    EXPECT_EQ(Pixel(bitmap, 1, 0), (std::array<uint8_t, 3> { 236, 236, 236 }));
    EXPECT_EQ(Pixel(bitmap, 0, 1), (std::array<uint8_t, 3> { 33, 62, 201 }));
    EXPECT_EQ(Pixel(bitmap, 1, 1), Pixel(bitmap, 0, 1));

    // Mirrored: the pairs swap and so do the two Y values in each pair.
    bitmap.MarkComplete();
    ASSERT_EQ(bitmap.ReflectX(), SUCCESS);
    EXPECT_EQ(Pixel(bitmap, 0, 0), (std::array<uint8_t, 3> { 236, 236, 236 }));
    EXPECT_EQ(Pixel(bitmap, 1, 0), (std::array<uint8_t, 3> { 16, 16, 16 }));

    // A decoded (compressed) YBR_FULL_422 frame is three samples per pixel.
    ImageDescription decoded = Colour(2, 1, PHOTOMETRIC_YBR_FULL_422, 3);
    decoded.compressionKind = 1 << 20;
    DisplayBitmap full;
    full.Attach(&decoded);
    EXPECT_EQ(full.Total(), 6u);
}

TEST(DisplayBitmapTest, YbrWithoutThreeSamplesIsGrey)
{
    ImageDescription d = Colour(2, 1, PHOTOMETRIC_YBR_FULL, 2);
    d.displayDepth = 8;
    d.greyscale = true;
    DisplayBitmap bitmap;
    ASSERT_TRUE(Load(bitmap, d, { 50, 1, 60, 2 }));
    EXPECT_EQ(bitmap.BitCount(), 8);
    EXPECT_EQ(Grey(bitmap, 0, 0), 50);
    EXPECT_EQ(Grey(bitmap, 1, 0), 60);
}

TEST(DisplayBitmapTest, ColourByPlaneOnPaddedRows)
{
    // 3 x 3 columns = 9 bytes per row, padded to 12.
    ImageDescription d = Colour(3, 2, PHOTOMETRIC_RGB, 3, 1);
    std::vector<uint8_t> raw(18);
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<uint8_t>(i + 1);
    // The planes arrive one after the other, in pieces that end inside rows and planes too.
    for (size_t piece : { 6u, 1u, 4u, 5u, 7u, 18u }) {
        SCOPED_TRACE(piece);
        DisplayBitmap bitmap;
        bitmap.Attach(&d);
        ASSERT_EQ(bitmap.Begin(Progressive::Yes, 0), SUCCESS);
        for (size_t at = 0; at < raw.size(); at += piece)
            ASSERT_TRUE(
                bitmap.Append(raw.data() + at, static_cast<uint32_t>(std::min(piece, raw.size() - at))));
        EXPECT_EQ(bitmap.Stride(), 12u);
        for (int k = 0; k < 6; ++k) {
            const auto px = Pixel(bitmap, k % 3, k / 3);
            EXPECT_EQ(px[2], raw[k]);
            EXPECT_EQ(px[1], raw[6 + k]);
            EXPECT_EQ(px[0], raw[12 + k]);
        }
    }
}

TEST(DisplayBitmapTest, PiecesAndRefusals)
{
    // A frame of 1,048,577 bytes read in pieces of 1,048,576: the second piece takes one byte.
    ImageDescription d = Mono(1048577, 1, 8);
    DisplayBitmap bitmap;
    bitmap.Attach(&d);
    ASSERT_EQ(bitmap.Begin(Progressive::Yes, bitmap.Total()), SUCCESS);
    std::vector<uint8_t> piece(1048576, 9);
    EXPECT_TRUE(bitmap.Append(piece.data(), 1048576));
    EXPECT_EQ(bitmap.RowsAfter(), 0u);
    EXPECT_TRUE(bitmap.Append(piece.data(), 1048576));
    EXPECT_EQ(bitmap.Received(), 1048577u);
    EXPECT_EQ(bitmap.RowsAfter(), 1u);
    EXPECT_EQ(d.pixelBuffer.size(), 1048577u); // one allocation of the frame size
    EXPECT_FALSE(bitmap.Append(piece.data(), 1)); // beyond the frame
    bitmap.MarkComplete();
    EXPECT_FALSE(bitmap.Append(piece.data(), 1)); // after completion
    EXPECT_FALSE(bitmap.Append(nullptr, 1));

    // Descriptions the bitmap cannot show take no piece.
    struct Bad {
        const char* name;
        uint32_t columns, rows, bits, samples;
    };
    for (const Bad& b : { Bad { "zero rows", 4, 0, 8, 1 }, Bad { "zero columns", 0, 4, 8, 1 },
             Bad { "bits 0", 4, 4, 0, 1 }, Bad { "bits 32 colour", 4, 4, 32, 3 },
             Bad { "huge", 70000, 70000, 16, 1 }, Bad { "samples 3 monochrome", 4, 4, 8, 3 } }) {
        SCOPED_TRACE(b.name);
        ImageDescription bad = Mono(b.columns, b.rows, 8);
        bad.bitsAllocated = b.bits;
        bad.samplesPerPixel = b.samples;
        DisplayBitmap refused;
        refused.Attach(&bad);
        refused.Begin(Progressive::Yes, 0);
        std::vector<uint8_t> bytes(64, 1);
        EXPECT_FALSE(refused.Append(bytes.data(), 64));
    }
}

// A next frame of the same shape is written over the last one in place (no new memory); rows
// it never reaches show black once it is marked complete, and row padding stays zero.
TEST(DisplayBitmapTest, NextFrameOfTheSameShapeReusesTheBitmap)
{
    ImageDescription d = Mono(3, 4, 8);
    DisplayBitmap bitmap;
    auto at = [&](int x, int y) { return bitmap.Bits()[static_cast<size_t>(y) * bitmap.Stride() + x]; };
    ASSERT_TRUE(Load(bitmap, d, std::vector<uint8_t>(12, 200)));
    const uint8_t* bits = bitmap.Bits().data();
    const uint8_t* raw = d.pixelBuffer.data();

    ASSERT_TRUE(Load(bitmap, d, std::vector<uint8_t>(12, 90)));
    EXPECT_EQ(bitmap.Bits().data(), bits);
    EXPECT_EQ(d.pixelBuffer.data(), raw);
    EXPECT_EQ(at(2, 3), 90);

    bitmap.Attach(&d);
    ASSERT_EQ(bitmap.Begin(Progressive::Yes, bitmap.Total()), SUCCESS);
    ASSERT_TRUE(bitmap.Append(std::vector<uint8_t>(6, 7)));
    EXPECT_EQ(bitmap.Bits().data(), bits);
    bitmap.MarkComplete();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(at(x, y), y < 2 ? 7 : 0) << x << "," << y;
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(at(3, y), 0) << "padding of row " << y;

    // A piece read into PieceRoom is taken in place; the room never reaches past the frame.
    bitmap.Attach(&d);
    ASSERT_EQ(bitmap.Begin(Progressive::Yes, bitmap.Total()), SUCCESS);
    std::span<uint8_t> room = bitmap.PieceRoom(100);
    ASSERT_EQ(room.size(), 12u);
    EXPECT_EQ(room.data(), raw);
    std::fill(room.begin(), room.begin() + 9, 33);
    ASSERT_TRUE(bitmap.Append(room.data(), 9));
    room = bitmap.PieceRoom(100);
    ASSERT_EQ(room.size(), 3u);
    std::fill(room.begin(), room.end(), 44);
    ASSERT_TRUE(bitmap.Append(room));
    EXPECT_EQ(at(0, 0), 33);
    EXPECT_EQ(at(2, 3), 44);
    EXPECT_TRUE(bitmap.PieceRoom(1).empty());

    // Another shape gets a bitmap of its own.
    ImageDescription wide = Mono(5, 4, 8);
    ASSERT_TRUE(Load(bitmap, wide, std::vector<uint8_t>(20, 1)));
    EXPECT_EQ(bitmap.Stride(), 8u);
    EXPECT_EQ(bitmap.Bits()[5], 0);
}

TEST(DisplayBitmapTest, ArgbWithWrongSampleCountIsRefused)
{
    ImageDescription d = Colour(2, 1, PHOTOMETRIC_ARGB, 3);
    DisplayBitmap bitmap;
    EXPECT_FALSE(Load(bitmap, d, { 1, 2, 3, 4, 5, 6 }));
    EXPECT_TRUE(d.pixelBuffer.empty());
}

TEST(DisplayBitmapTest, BrightnessAndContrastOnTheColourTable)
{
    ImageDescription d = Mono(2, 1, 8);
    DisplayBitmap bitmap;
    ASSERT_TRUE(Load(bitmap, d, { 0, 200 }));
    const std::vector<uint8_t> bits(bitmap.Bits().begin(), bitmap.Bits().end());
    const auto original = bitmap.ColourTable();
    EXPECT_EQ(bitmap.Contrast(10), ERROR_GENERAL_FAILURE); // not complete
    bitmap.MarkComplete();
    EXPECT_EQ(bitmap.Contrast(101), ERROR_GENERAL_FAILURE);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(bitmap.Contrast(100), SUCCESS);
    EXPECT_EQ(bitmap.ContrastTotal(), 500);
    // Factor 2.25 about mid-grey: 200 -> ((145 * 2.25e6 + 255e6) >> 1) / 1e6 = 290 -> 255.
    EXPECT_EQ(bitmap.ColourTable()[200 * 4], 255);
    EXPECT_EQ(bitmap.ColourTable()[140 * 4], 155); // ((25*2250000 + 255e6) >> 1) / 1e6 = 155
    EXPECT_TRUE(std::equal(bits.begin(), bits.end(), bitmap.Bits().begin())); // pixels untouched
    ASSERT_EQ(bitmap.Brightness(5), SUCCESS);
    ASSERT_EQ(bitmap.Brightness(-5), SUCCESS);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(bitmap.Contrast(-100), SUCCESS);
    EXPECT_EQ(bitmap.ColourTable(), original);
    // Dragging right by 5 and back shows the image as before.
    ASSERT_EQ(bitmap.Brightness(5), SUCCESS);
    EXPECT_NE(bitmap.ColourTable(), original);
    ASSERT_EQ(bitmap.Brightness(-5), SUCCESS);
    EXPECT_EQ(bitmap.ColourTable(), original);
}

TEST(DisplayBitmapTest, BrightnessOnTwentyFourBitPixels)
{
    ImageDescription d = Colour(1, 1, PHOTOMETRIC_RGB, 3);
    DisplayBitmap bitmap;
    ASSERT_TRUE(Load(bitmap, d, { 10, 100, 250 }));
    bitmap.MarkComplete();
    ASSERT_EQ(bitmap.Brightness(2), SUCCESS); // (2*255 + 50) / 100 = 5 grey levels
    EXPECT_EQ(Pixel(bitmap, 0, 0), (std::array<uint8_t, 3> { 255, 105, 15 }));
    ASSERT_EQ(bitmap.Brightness(-2), SUCCESS);
    EXPECT_EQ(Pixel(bitmap, 0, 0), (std::array<uint8_t, 3> { 250, 100, 10 }));
}

TEST(DisplayBitmapTest, InvertAndReflect)
{
    ImageDescription d = Mono(3, 3, 8);
    const std::vector<uint8_t> raw { 1, 2, 3, 4, 5, 6, 7, 8, 9 };
    DisplayBitmap bitmap;
    ASSERT_TRUE(Load(bitmap, d, raw));
    EXPECT_EQ(bitmap.Invert(), ERROR_GENERAL_FAILURE); // not complete
    bitmap.MarkComplete();
    ASSERT_EQ(bitmap.ReflectX(), SUCCESS);
    EXPECT_EQ(std::vector<uint8_t>(d.pixelBuffer.begin(), d.pixelBuffer.begin() + 9),
        (std::vector<uint8_t> { 3, 2, 1, 6, 5, 4, 9, 8, 7 }));
    EXPECT_EQ(Grey(bitmap, 0, 2), 9);
    ASSERT_EQ(bitmap.ReflectY(), SUCCESS);
    EXPECT_EQ(std::vector<uint8_t>(d.pixelBuffer.begin(), d.pixelBuffer.begin() + 9),
        (std::vector<uint8_t> { 9, 8, 7, 6, 5, 4, 3, 2, 1 }));
    ASSERT_EQ(bitmap.Invert(), SUCCESS);
    EXPECT_EQ(Grey(bitmap, 0, 0), 255 - 9);
    ASSERT_EQ(bitmap.Invert(), SUCCESS);
    EXPECT_EQ(std::vector<uint8_t>(d.pixelBuffer.begin(), d.pixelBuffer.begin() + 9),
        (std::vector<uint8_t> { 9, 8, 7, 6, 5, 4, 3, 2, 1 }));

    // 16-bit: the adjustment survives the reconversion, applied to the negative; inverting
    // twice gives the adjusted picture back and never touches the raw data.
    ImageDescription wide = Mono(3, 1, 16);
    const auto words = Words({ 100, 2000, 4000 });
    DisplayBitmap w;
    ASSERT_TRUE(Load(w, wide, words));
    w.MarkComplete();
    ASSERT_EQ(w.Brightness(40), SUCCESS);
    const std::array<uint8_t, 3> adjusted[3] = { Pixel(w, 0, 0), Pixel(w, 1, 0), Pixel(w, 2, 0) };
    ASSERT_EQ(w.Invert(), SUCCESS);
    EXPECT_EQ(w.BrightnessTotal(), 40);
    EXPECT_GT(Grey(w, 0, 0), Grey(w, 2, 0));
    EXPECT_EQ(Grey(w, 2, 0), 10); // black plus 40 x 255 / 1000
    ASSERT_EQ(w.Invert(), SUCCESS);
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(Pixel(w, x, 0), adjusted[x]);
    EXPECT_EQ(std::vector<uint8_t>(wide.pixelBuffer.begin(), wide.pixelBuffer.begin() + 6), words);
}

TEST(DisplayBitmapTest, InvertPaletteInvertsEntries)
{
    ImageDescription d = Colour(1, 1, PHOTOMETRIC_PALETTE_COLOR, 1);
    d.displayDepth = 8;
    d.largestPaletteCount = 1;
    for (LookupTable* t : { &d.redPalette, &d.greenPalette, &d.bluePalette }) {
        t->entryCount = 2;
        t->entries = { 0, 1000 };
    }
    d.greenPalette.entries = { 1000, 0 };
    DisplayBitmap bitmap;
    ASSERT_TRUE(Load(bitmap, d, { 0 }));
    EXPECT_EQ(Pixel(bitmap, 0, 0), (std::array<uint8_t, 3> { 0, 255, 0 }));
    bitmap.MarkComplete();
    ASSERT_EQ(bitmap.Invert(), SUCCESS);
    EXPECT_EQ(Pixel(bitmap, 0, 0), (std::array<uint8_t, 3> { 255, 0, 255 }));
}

// Every layout the display shows: Invert gives 255 minus the plain picture in every channel of
// every pixel and leaves the raw frame as decoded; a second Invert gives the plain bitmap back
// byte for byte. Samples are pseudo-random words, bits outside the stored ones included.
TEST(DisplayBitmapTest, InvertIsTheExactNegativeOfEveryLayout)
{
    const double A = ABSENT_REAL;
    struct Case {
        const char* name;
        ImageDescription d;
    };
    auto mono = [&](uint32_t bits, uint32_t stored, uint32_t high, bool signedData, int32_t code = 1) {
        ImageDescription d = Mono(7, 5, bits, code);
        d.bitsStored = stored;
        d.highBit = high;
        d.pixelRepresentation = signedData ? 1 : 0;
        return d;
    };
    auto windowed = [](ImageDescription d, double center, double width, double intercept, double slope) {
        d.windowCenter = center;
        d.windowWidth = width;
        d.rescaleIntercept = intercept;
        d.rescaleSlope = slope;
        return d;
    };
    auto ramp = [](uint32_t count, uint32_t first, uint32_t step, uint32_t bits) {
        LookupTable t;
        t.entryCount = static_cast<int32_t>(count);
        t.firstMapped = first;
        t.bitsPerEntry = bits;
        for (uint32_t i = 0; i < count; ++i)
            t.entries.push_back(static_cast<uint16_t>((i * step) % (1u << bits)));
        return t;
    };
    auto withLuts = [&](ImageDescription d, bool modality, bool voi) {
        if (modality)
            d.modalityLut = ramp(4096, 0, 7, 16);
        if (voi)
            d.voiLut = ramp(300, 100, 3, 12);
        d.bothTables = modality && voi;
        return d;
    };
    auto floats = [&](uint32_t bits, double center, double width, int32_t code = 1) {
        ImageDescription d = windowed(mono(bits, bits, bits - 1, false, code), center, width, A, A);
        d.floatSamples = true;
        d.displayDepth = 8;
        return d;
    };
    auto palette = [&](uint32_t bits, uint32_t count) {
        ImageDescription d = Colour(7, 5, PHOTOMETRIC_PALETTE_COLOR, 1, 0, bits);
        d.displayDepth = count <= 256 ? 8 : 24;
        d.largestPaletteCount = count;
        d.redPalette = ramp(count, 0, 257, 16);
        d.greenPalette = ramp(count, 0, 1001, 16);
        d.bluePalette = ramp(count, 3, 99, 16);
        return d;
    };
    const std::vector<Case> cases {
        { "8 bits", mono(8, 8, 7, false) },
        { "8 bits MONOCHROME1", mono(8, 8, 7, false, 0) },
        { "8 bits signed, 6 stored", mono(8, 6, 5, true) },
        { "8 bits through a modality LUT", withLuts(mono(8, 8, 7, false), true, false) },
        { "12 in 16, high bit 11", mono(16, 12, 11, false) },
        { "12 in 16, high bit 15", mono(16, 12, 15, false) },
        { "12 in 16 signed", mono(16, 12, 11, true) },
        { "16 signed", mono(16, 16, 15, true) },
        { "16 signed, CT window", windowed(mono(16, 16, 15, true), 40, 400, -1024, 1) },
        { "12 in 16, window, MONOCHROME1", windowed(mono(16, 12, 11, false, 0), 2000, 1500, A, A) },
        { "16, negative slope", windowed(mono(16, 16, 15, false), 100, 400, 1000, -2) },
        { "16, width without center", windowed(mono(16, 16, 15, false), A, 300, A, A) },
        { "16, collapsed window", windowed(mono(16, 16, 15, false), 7, 1, A, A) },
        { "16, modality LUT", withLuts(mono(16, 12, 11, false), true, false) },
        { "16, VOI LUT", withLuts(mono(16, 12, 11, true), false, true) },
        { "16, both LUTs", withLuts(mono(16, 12, 11, false), true, true) },
        { "16, VOI LUT, MONOCHROME1", withLuts(mono(16, 16, 15, false, 0), false, true) },
        { "16, flat VOI LUT", withLuts(mono(16, 16, 15, false), false, false) },
        { "1 bit", mono(1, 1, 0, false) },
        { "1 bit MONOCHROME1", mono(1, 1, 0, false, 0) },
        { "32 bits signed", mono(32, 32, 31, true) },
        { "float", floats(32, A, A) },
        { "double, windowed, MONOCHROME1", floats(64, 0.25, 0.5, 0) },
        { "palette, 8-bit indexes", palette(8, 256) },
        { "palette, 16-bit indexes", palette(16, 4096) },
        { "RGB by pixel", Colour(7, 5, PHOTOMETRIC_RGB, 3, 0) },
        { "RGB by plane", Colour(7, 5, PHOTOMETRIC_RGB, 3, 1) },
        { "RGB, 16 bits", Colour(7, 5, PHOTOMETRIC_RGB, 3, 0, 16) },
        { "RGB, 32 bits", Colour(7, 5, PHOTOMETRIC_RGB, 3, 0, 32) },
        { "RGB, 32 bits by plane", Colour(7, 5, PHOTOMETRIC_RGB, 3, 1, 32) },
        { "YBR_FULL", Colour(7, 5, PHOTOMETRIC_YBR_FULL, 3, 1) },
        { "CMYK", Colour(7, 5, PHOTOMETRIC_CMYK, 4, 0) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ImageDescription d = c.d;
        if (std::string(c.name) == "16, flat VOI LUT") {
            d.voiLut = ramp(10, 0, 0, 16);
            d.bothTables = false;
        }
        DisplayBitmap bitmap;
        bitmap.Attach(&d);
        std::vector<uint8_t> raw(bitmap.Total());
        uint32_t seed = 12345;
        for (uint8_t& byte : raw) {
            seed = seed * 1103515245 + 12345;
            byte = static_cast<uint8_t>(seed >> 16);
        }
        ASSERT_TRUE(Load(bitmap, d, raw));
        bitmap.MarkComplete();
        const std::vector<uint8_t> bits(bitmap.Bits().begin(), bitmap.Bits().end());
        const auto table = bitmap.ColourTable();
        std::vector<std::array<uint8_t, 3>> plain;
        for (uint32_t y = 0; y < d.rows; ++y)
            for (uint32_t x = 0; x < d.columns; ++x)
                plain.push_back(Pixel(bitmap, x, y));

        ASSERT_EQ(bitmap.Invert(), SUCCESS);
        EXPECT_TRUE(std::equal(raw.begin(), raw.end(), d.pixelBuffer.begin()));
        size_t wrong = 0;
        for (uint32_t y = 0; y < d.rows; ++y)
            for (uint32_t x = 0; x < d.columns; ++x) {
                const auto shown = Pixel(bitmap, x, y);
                const auto& before = plain[y * d.columns + x];
                for (int k = 0; k < 3; ++k)
                    wrong += shown[k] + before[k] != 255;
            }
        EXPECT_EQ(wrong, 0u);

        ASSERT_EQ(bitmap.Invert(), SUCCESS);
        EXPECT_TRUE(std::equal(bits.begin(), bits.end(), bitmap.Bits().begin(), bitmap.Bits().end()));
        EXPECT_EQ(bitmap.ColourTable(), table);
        EXPECT_TRUE(std::equal(raw.begin(), raw.end(), d.pixelBuffer.begin()));

        // Mirror and flip show the plain picture reflected, whatever the pixel size.
        ASSERT_EQ(bitmap.ReflectX(), SUCCESS);
        ASSERT_EQ(bitmap.ReflectY(), SUCCESS);
        size_t misplaced = 0;
        for (uint32_t y = 0; y < d.rows; ++y)
            for (uint32_t x = 0; x < d.columns; ++x)
                misplaced += Pixel(bitmap, d.columns - 1 - x, d.rows - 1 - y) != plain[y * d.columns + x];
        EXPECT_EQ(misplaced, 0u);
    }
}

class MemoryTarget : public PaintTarget {
public:
    MemoryTarget(int w, int h)
        : width(w)
        , height(h)
        , pixels(static_cast<size_t>(w) * h, 0)
    {
    }
    bool StretchBlit(
        const DibView& source, const PixelRect& from, const PixelRect& to, const PixelRect& clip) override
    {
        calls.push_back({ from, to });
        return StretchBlitToArgb(pixels.data(), width, height, source, from, to, clip);
    }
    int width, height;
    std::vector<uint32_t> pixels;
    std::vector<std::pair<PixelRect, PixelRect>> calls;
};

TEST(DisplayBitmapTest, PaintFullAndProgressive)
{
    ImageDescription d = Mono(2, 4, 8);
    DisplayBitmap bitmap;
    bitmap.Attach(&d);
    ASSERT_EQ(bitmap.Begin(Progressive::Yes, 8), SUCCESS);
    const std::vector<uint8_t> raw { 0, 255, 10, 20, 30, 40, 50, 60 };
    ASSERT_TRUE(bitmap.Append(raw.data(), 5)); // two rows complete, half a row waits
    EXPECT_EQ(bitmap.RowsBefore(), 0u);
    EXPECT_EQ(bitmap.RowsAfter(), 2u);
    MemoryTarget target(4, 8);
    const PixelRect rect { 0, 0, 4, 8 };
    ASSERT_EQ(bitmap.Paint(&target, &rect, PaintMode::Progressive), SUCCESS);
    EXPECT_EQ(target.calls.back().first, (PixelRect { 0, 0, 2, 2 }));
    EXPECT_EQ(target.calls.back().second, (PixelRect { 0, 0, 4, 4 }));
    EXPECT_EQ(target.pixels[0], 0xFF000000u);
    EXPECT_EQ(target.pixels[3], 0xFFFFFFFFu);
    EXPECT_EQ(target.pixels[4 * 5], 0u); // not painted yet
    ASSERT_TRUE(bitmap.Append(raw.data() + 5, 3));
    EXPECT_EQ(bitmap.RowsBefore(), 2u);
    ASSERT_EQ(bitmap.Paint(&target, &rect, PaintMode::Progressive), SUCCESS);
    EXPECT_EQ(target.calls.back().second, (PixelRect { 0, 4, 4, 8 }));
    EXPECT_EQ(target.pixels[4 * 7 + 3], 0xFF3C3C3Cu);
    ASSERT_EQ(bitmap.Paint(&target, &rect, PaintMode::Full), SUCCESS);
    EXPECT_EQ(target.calls.back().first, (PixelRect { 0, 0, 2, 4 }));
    EXPECT_EQ(bitmap.Paint(nullptr, &rect, PaintMode::Full), ERROR_GENERAL_FAILURE);
    EXPECT_EQ(bitmap.Paint(&target, nullptr, PaintMode::Full), ERROR_GENERAL_FAILURE);
}

TEST(SegmentedPaletteTest, ExpandsDiscreteLinearAndIndirectSegments)
{
    // Discrete 0, 10; linear to 40 in 3 steps; indirect: repeat the first (discrete) segment.
    const std::vector<uint16_t> words { 0, 2, 0, 10, 1, 3, 40, 2, 1, 0, 0 };
    EXPECT_EQ(ExpandSegmentedPalette(words, 8), (std::vector<uint16_t> { 0, 10, 20, 30, 40, 0, 10, 0 }));
    EXPECT_EQ(ExpandSegmentedPalette({}, 3), (std::vector<uint16_t> { 0, 0, 0 }));
    // An indirect segment pointing at itself does not recurse.
    const std::vector<uint16_t> loop { 2, 1, 0, 0 };
    EXPECT_EQ(ExpandSegmentedPalette(loop, 2).size(), 2u);
}

} // namespace
} // namespace velmora
