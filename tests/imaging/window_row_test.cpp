// WindowRow16 against the window ramp computed by hand in integers: every 16-bit word, in each
// layout of stored bits, under spans where single-precision quotients fall next to an integer.
#include "imaging/pixel_layout.h"
#include "imaging/window_row.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmora {
namespace {

struct Layout {
    uint32_t bitsStored, highBit, representation;
};

ImageDescription Describe(const Layout& layout)
{
    ImageDescription d;
    d.columns = 65536;
    d.rows = 1;
    d.bitsAllocated = 16;
    d.bitsStored = layout.bitsStored;
    d.highBit = layout.highBit;
    d.pixelRepresentation = layout.representation;
    d.samplesPerPixel = 1;
    return d;
}

int64_t StoredValue(uint32_t word, const Layout& layout)
{
    const uint32_t shift = layout.highBit + 1 - layout.bitsStored;
    const uint32_t mask = (1u << layout.bitsStored) - 1;
    int64_t v = (word >> shift) & mask;
    if (layout.representation == 1 && (v >> (layout.bitsStored - 1)) != 0)
        v -= int64_t { mask } + 1;
    return v;
}

void ExpectIntegerRamp(const std::vector<uint8_t>& words, const Layout& layout, const WindowRamp& ramp)
{
    SCOPED_TRACE("bits " + std::to_string(layout.bitsStored) + "/" + std::to_string(layout.highBit)
        + " signed " + std::to_string(layout.representation) + " window " + std::to_string(ramp.lo) + ".."
        + std::to_string(ramp.hi) + (ramp.invert ? " inverted" : ""));
    const ImageDescription d = Describe(layout);
    const SampleReader reader(d);
    std::vector<uint8_t> out(65536 + 1, 0xCC);
    // Every row length up to two blocks, then the whole table of words in one row.
    for (uint32_t columns = 1; columns <= 33; ++columns) {
        WindowRow16(words.data() + 2 * 1000, out.data(), columns, reader, ramp);
        ASSERT_EQ(out[columns], 0xCC) << "wrote past " << columns << " columns";
    }
    WindowRow16(words.data(), out.data(), 65536, reader, ramp);
    const int64_t span = int64_t { ramp.hi } - ramp.lo;
    for (uint32_t w = 0; w < 65536; ++w) {
        const int64_t x = std::clamp<int64_t>(StoredValue(w, layout) - ramp.lo, 0, span);
        const int64_t level = x * 255 / span;
        ASSERT_EQ(out[w], ramp.invert ? 255 - level : level) << "word " << w;
    }
    EXPECT_EQ(out[65536], 0xCC);
}

TEST(WindowRowTest, EveryWordMatchesTheIntegerRamp)
{
    if (!WindowRowVectorised(WindowRamp { 0, 1, false }))
        GTEST_SKIP() << "no vector instructions on this processor";
    std::vector<uint8_t> words(2 * 65536);
    for (uint32_t w = 0; w < 65536; ++w) {
        words[2 * w] = static_cast<uint8_t>(w);
        words[2 * w + 1] = static_cast<uint8_t>(w >> 8);
    }
    // Each layout of stored bits under windows inside and beyond its values, with and without
    // the reversal: spans of 1, small primes, 2^16 - 1 and 2^16 (a collapsed 16-bit window).
    const Layout layouts[] = { { 16, 15, 0 }, { 16, 15, 1 }, { 12, 11, 0 }, { 12, 11, 1 }, { 12, 15, 1 },
        { 10, 12, 0 }, { 8, 7, 1 } };
    const WindowRamp ramps[] = { { 0, 1, false }, { -5, 65531, false }, { 0, 65536, true },
        { -32768, 32767, false }, { 100, 40087, true }, { -1000, 1003, false }, { 2047, 2048, true },
        { -40000, -39000, false }, { 1, 256, false }, { 3, 7, true } };
    for (const Layout& layout : layouts)
        for (const WindowRamp& ramp : ramps)
            ExpectIntegerRamp(words, layout, ramp);
    // Every span up to 2,048 and every 997th beyond it, on the words of the window itself: the
    // single-precision quotient comes out one above or one below the floor for some of them, so
    // both corrections are needed.
    const SampleReader reader(Describe(Layout { 16, 15, 0 }));
    std::vector<uint8_t> out(65537);
    for (int32_t span = 1; span <= 65536; span += span < 2048 ? 1 : 997) {
        const WindowRamp ramp { 65536 - span, 65536, span % 2 == 1 };
        WindowRow16(words.data() + 2 * ramp.lo, out.data(), static_cast<uint32_t>(span), reader, ramp);
        for (int32_t x = 0; x < span; ++x) {
            const int64_t level = int64_t { x } * 255 / span;
            ASSERT_EQ(out[x], ramp.invert ? 255 - level : level) << "span " << span << " x " << x;
        }
    }
}

} // namespace
} // namespace velmora
