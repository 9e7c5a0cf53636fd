// Fuzzes the JPEG 2000 glue with a 1 MB output, as a frame of that size would give it.
#include "imaging/jpeg2000_decoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace velmora;
    std::vector<uint8_t> output(size_t(1) << 20);
    const Jpeg2000Result result = DecodeJpeg2000(std::span<const uint8_t>(data, size), output);
    if (result.written > output.size())
        __builtin_trap();
    unsigned sum = 0;
    for (size_t i = 0; i < result.written; ++i)
        sum += output[i];
    return sum == 0xFFFFFFFFu ? 1 : 0;
}
