// Fuzzes the JPEG glue of every library build. The first byte chooses the build; the frame
// header sizes the output (at most 4 MB), as the image description would.
#include "imaging/jpeg_decoder.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace velmora;
    if (size < 1)
        return 0;
    const uint8_t choice = data[0];
    const std::span<const uint8_t> stream(data + 1, size - 1);
    JpegFrameHeader header;
    size_t frame = 4096;
    if (ReadJpegFrameHeader(stream, header))
        frame = size_t(header.lines) * header.columns * header.components * 2;
    if (frame == 0 || frame > (size_t(4) << 20))
        return 0;
    std::vector<uint8_t> output(frame);
    JpegResult result;
    switch (choice & 7) {
    case 0:
        result = DecodeJpegTurbo8(stream, output);
        break;
    case 1:
        result = DecodeJpegIjg8(stream, output);
        break;
    case 2:
        result = DecodeJpegIjg12(stream, output);
        break;
    case 3:
        result = DecodeJpegIjg16(stream, output);
        break;
    default:
        result = DecodeJpeg(stream, (choice & 1) ? 16 : 8, output);
        break;
    }
    if (result.written > output.size())
        __builtin_trap();
    unsigned sum = 0;
    for (uint8_t b : output)
        sum += b;
    return sum == 0xFFFFFFFFu ? 1 : 0;
}
