// Fuzzes JpegLsDecoder with whole streams and with the stream given in two pieces, which must
// give the same result. Frames are capped at 1 MB of output.
#include "imaging/jpeg_ls_decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace velmora;
    if (size < 1)
        return 0;
    const uint32_t planar = data[0] & 1;
    const std::span<const uint8_t> stream(data + 1, size - 1);

    JpegLsDecoder whole;
    whole.SetMaxOutputBytes(size_t(1) << 20);
    std::vector<uint8_t> output;
    uint32_t length = 0;
    const ResultCode result = whole.Decode(stream, output, planar, length);
    if (length > output.size())
        std::abort();

    JpegLsDecoder pieces;
    pieces.SetMaxOutputBytes(size_t(1) << 20);
    std::vector<uint8_t> output2;
    uint32_t length2 = 0;
    const size_t split = stream.size() / 2;
    ResultCode result2 = pieces.Decode(stream.subspan(0, split), output2, planar, length2);
    if (result2 == PENDING)
        result2 = pieces.Decode(stream.subspan(split), output2, planar, length2);
    if (result2 == SUCCESS && result == SUCCESS
        && (length2 != length || !std::equal(output.begin(), output.begin() + length, output2.begin())))
        std::abort();

    unsigned sum = 0;
    for (uint32_t i = 0; i < length; ++i)
        sum += output[i];
    return sum == 0xFFFFFFFFu ? 1 : 0;
}
