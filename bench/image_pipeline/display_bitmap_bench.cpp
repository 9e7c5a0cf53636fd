// Display bitmap throughput on a 512 x 512 frame: every converter (items/s = pixels/s), the
// memcpy of the same raw bytes as the yardstick, brightness/contrast steps on 8- and 24-bit
// bitmaps beside a memcpy of the 24-bit bitmap.
#include "imaging/display_bitmap.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <random>
#include <vector>

namespace velmora {
namespace {

constexpr uint32_t SIDE = 512;

ImageDescription Describe(int32_t code, uint32_t bits, uint32_t samples, uint32_t planar = 0)
{
    ImageDescription d;
    d.columns = d.rows = SIDE;
    d.bitsAllocated = bits;
    d.bitsStored = bits == 16 ? 12 : 8;
    d.highBit = d.bitsStored - 1;
    d.samplesPerPixel = samples;
    d.planarConfiguration = planar;
    d.photometricCode = code;
    const bool grey = code == PHOTOMETRIC_MONOCHROME1 || code == PHOTOMETRIC_MONOCHROME2;
    d.greyscale = grey;
    d.displayDepth = grey ? (bits == 16 ? 16 : 8) : 24;
    d.windowCenter = d.windowWidth = d.rescaleIntercept = d.rescaleSlope = ABSENT_REAL;
    if (code == PHOTOMETRIC_PALETTE_COLOR) {
        d.displayDepth = 8;
        d.largestPaletteCount = 256;
        for (LookupTable* t : { &d.redPalette, &d.greenPalette, &d.bluePalette }) {
            t->entryCount = 256;
            for (int i = 0; i < 256; ++i)
                t->entries.push_back(static_cast<uint16_t>(i * 257));
        }
    }
    return d;
}

std::vector<uint8_t> RawFrame(const ImageDescription& d)
{
    std::vector<uint8_t> raw(
        static_cast<size_t>(SIDE) * SIDE * d.samplesPerPixel * ((d.bitsAllocated + 7) / 8));
    std::mt19937 random(1);
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<uint8_t>(random());
    if (d.bitsAllocated == 16)
        for (size_t i = 1; i < raw.size(); i += 2)
            raw[i] &= 0x0F; // 12 bits stored
    return raw;
}

void Convert(benchmark::State& state, int32_t code, uint32_t bits, uint32_t samples, uint32_t planar)
{
    ImageDescription d = Describe(code, bits, samples, planar);
    const std::vector<uint8_t> raw = RawFrame(d);
    DisplayBitmap bitmap;
    for (auto _ : state) {
        d.minimumKnown = d.maximumKnown = false; // scan the range every time, as a new frame does
        bitmap.Attach(&d);
        bitmap.Begin(Progressive::Yes, static_cast<uint32_t>(raw.size()));
        for (size_t offset = 0; offset < raw.size(); offset += 1048576)
            bitmap.Append(
                raw.data() + offset, static_cast<uint32_t>(std::min<size_t>(1048576, raw.size() - offset)));
        benchmark::DoNotOptimize(bitmap.Bits().data());
    }
    state.SetItemsProcessed(state.iterations() * SIDE * SIDE);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(raw.size()));
}

void Memcpy(benchmark::State& state, size_t bytesPerPixel)
{
    std::vector<uint8_t> from(SIDE * SIDE * bytesPerPixel, 7), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * SIDE * SIDE);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(from.size()));
}

void Adjust(benchmark::State& state, int32_t code)
{
    ImageDescription d = Describe(code, 8, code == PHOTOMETRIC_RGB ? 3 : 1);
    const std::vector<uint8_t> raw = RawFrame(d);
    DisplayBitmap bitmap;
    bitmap.Attach(&d);
    bitmap.Begin(Progressive::Yes, 0);
    bitmap.Append(raw.data(), static_cast<uint32_t>(raw.size()));
    bitmap.MarkComplete();
    int32_t step = 1;
    for (auto _ : state) {
        bitmap.Brightness(step);
        step = -step;
        benchmark::DoNotOptimize(bitmap.ColourTable().data());
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(Memcpy, raw_8bit, 1);
BENCHMARK_CAPTURE(Memcpy, raw_16bit, 2);
BENCHMARK_CAPTURE(Memcpy, raw_24bit, 3);
BENCHMARK_CAPTURE(Convert, monochrome_8bit, PHOTOMETRIC_MONOCHROME2, 8, 1, 0);
BENCHMARK_CAPTURE(Convert, monochrome_16bit, PHOTOMETRIC_MONOCHROME2, 16, 1, 0);
BENCHMARK_CAPTURE(Convert, monochrome1_16bit, PHOTOMETRIC_MONOCHROME1, 16, 1, 0);
BENCHMARK_CAPTURE(Convert, palette_8bit, PHOTOMETRIC_PALETTE_COLOR, 8, 1, 0);
BENCHMARK_CAPTURE(Convert, rgb_by_pixel, PHOTOMETRIC_RGB, 8, 3, 0);
BENCHMARK_CAPTURE(Convert, rgb_by_plane, PHOTOMETRIC_RGB, 8, 3, 1);
BENCHMARK_CAPTURE(Convert, rgb_48bit, PHOTOMETRIC_RGB, 16, 3, 0);
BENCHMARK_CAPTURE(Convert, ybr_by_pixel, PHOTOMETRIC_YBR_FULL, 8, 3, 0);
BENCHMARK_CAPTURE(Convert, ybr_by_plane, PHOTOMETRIC_YBR_FULL, 8, 3, 1);
BENCHMARK_CAPTURE(Convert, cmyk, PHOTOMETRIC_CMYK, 8, 4, 0);
BENCHMARK_CAPTURE(Convert, argb, PHOTOMETRIC_ARGB, 8, 4, 0);
BENCHMARK_CAPTURE(Adjust, brightness_8bit_table, PHOTOMETRIC_MONOCHROME2);
BENCHMARK_CAPTURE(Adjust, brightness_24bit_pixels, PHOTOMETRIC_RGB);

} // namespace
} // namespace velmora

BENCHMARK_MAIN();
