// Fuzzes RleDecoder. The first two bytes choose the layout and size (at most 64 x 64 pixels);
// the rest is the fragment. Every frame is decoded twice: at once and in small steps, which
// must agree.
#include "imaging/rle_decoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace velmora;
    if (size < 2)
        return 0;
    const uint8_t shape = data[0];
    const uint32_t side = 1 + (data[1] & 63);
    RleLayout layout;
    layout.samplesPerPixel = (shape & 1) ? 3 : 1;
    static const uint32_t bits[] = { 8, 16, 32, 8 };
    layout.bitsAllocated = bits[(shape >> 1) & 3];
    layout.planarConfiguration = (shape >> 3) & 1;
    const uint32_t columns = side;
    const uint32_t rows = 1 + ((shape >> 4) * side) / 15;
    const size_t frame = size_t(rows) * columns * layout.samplesPerPixel * (layout.bitsAllocated / 8);
    const std::span<const uint8_t> fragment(data + 2, size - 2);

    std::vector<uint8_t> whole(frame, 0);
    RleDecoder once;
    const ResultCode first = once.Decode(fragment, whole, layout);

    std::vector<uint8_t> stepped(frame, 0);
    RleDecoder steps;
    ResultCode result = PENDING;
    for (int i = 0; result == PENDING && i < 1000000; ++i)
        result = steps.Decode(fragment, stepped, layout, 1 + (shape & 7) * 5);
    if (result != first || whole != stepped)
        std::abort();

    unsigned sum = 0;
    for (uint8_t b : whole)
        sum += b;
    return sum == 0xFFFFFFFFu ? 1 : 0;
}
