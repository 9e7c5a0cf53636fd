// Internal to the imaging layer: one row of 16-bit greyscale samples through the window ramp,
// sixteen samples at a time. Each byte is floor(clamp(v - lo, 0, hi - lo) * 255 / (hi - lo)),
// reversed when inverted: exactly the values the display bitmap's window table holds, computed
// instead of looked up (the look-ups, one load and one shift per pixel, were most of the time
// spent stepping through native frames). Qt-free.
#pragma once

#include <cstdint>

namespace velmora {

class SampleReader;

// The window ends in stored values and the sample layout the ramp is applied to.
struct WindowRamp {
    int32_t lo = 0;
    int32_t hi = 0;
    bool invert = false;
};

// True when this build computes rows with vector instructions and `ramp` is one the exact
// single-precision arithmetic covers (1 <= hi - lo <= 65536, so every product stays below 2^24).
// Otherwise the caller looks the samples up in its table.
bool WindowRowVectorised(const WindowRamp& ramp);

// `columns` little-endian 16-bit words from `src` to `columns` bytes at `out`; each word's stored
// bits read as `reader` reads them. Call only when WindowRowVectorised(ramp).
void WindowRow16(
    const uint8_t* src, uint8_t* out, uint32_t columns, const SampleReader& reader, const WindowRamp& ramp);

} // namespace velmora
