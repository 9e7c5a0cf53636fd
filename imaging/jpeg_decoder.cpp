// Choosing a JPEG build for a frame (ITU-T T.81 B.2.2 frame header) and dispatching to its glue.
#include "imaging/jpeg_decoder.h"

namespace velmora {

bool ReadJpegFrameHeader(std::span<const uint8_t> stream, JpegFrameHeader& header)
{
    const size_t size = stream.size();
    if (size < 4 || stream[0] != 0xFF || stream[1] != 0xD8)
        return false;
    size_t pos = 2;
    while (pos + 4 <= size) {
        if (stream[pos] != 0xFF)
            return false;
        const uint8_t marker = stream[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        const size_t length = size_t(stream[pos + 2]) << 8 | stream[pos + 3];
        if (length < 2)
            return false;
        // SOF0..SOF15 except DHT (C4), JPG (C8) and DAC (CC).
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (length < 8 || pos + 2 + 8 > size)
                return false;
            const uint8_t* p = stream.data() + pos + 4;
            header.process = marker - 0xC0u;
            header.precision = p[0];
            header.lines = uint32_t(p[1]) << 8 | p[2];
            header.columns = uint32_t(p[3]) << 8 | p[4];
            header.components = p[5];
            header.lossless
                = header.process == 3 || header.process == 7 || header.process == 11 || header.process == 15;
            return true;
        }
        if (marker == 0xDA || marker == 0xD9)
            return false;
        pos += 2 + length;
    }
    return false;
}

bool ChooseJpegBuild(uint32_t bitsAllocated, const JpegFrameHeader& header, JpegBuild& build)
{
    if (bitsAllocated == 8) {
        build = header.lossless ? JpegBuild::Ijg8 : JpegBuild::Turbo8;
        return true;
    }
    if (bitsAllocated == 16) {
        // Lossless precisions above 12 keep every bit through the 16-bit build.
        build = header.lossless && header.precision > 12 ? JpegBuild::Ijg16 : JpegBuild::Ijg12;
        return true;
    }
    return false;
}

JpegResult DecodeJpeg(std::span<const uint8_t> stream, uint32_t bitsAllocated, std::span<uint8_t> output)
{
    JpegFrameHeader header;
    ReadJpegFrameHeader(stream, header); // an unreadable header fails inside the library
    JpegBuild build;
    if (!ChooseJpegBuild(bitsAllocated, header, build))
        return {};
    switch (build) {
    case JpegBuild::Turbo8:
        return DecodeJpegTurbo8(stream, output);
    case JpegBuild::Ijg8:
        return DecodeJpegIjg8(stream, output);
    case JpegBuild::Ijg12:
        return DecodeJpegIjg12(stream, output);
    case JpegBuild::Ijg16:
        return DecodeJpegIjg16(stream, output);
    }
    return {};
}

} // namespace velmora
