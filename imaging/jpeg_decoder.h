// JPEG decoding through the IJG 6b interface: libjpeg-turbo for 8-bit lossy frames, and the
// IJG builds with the lossless extension (8, 12 and 16-bit samples) for 12-bit lossy and all
// lossless frames. Each build's glue lives in its own translation unit (jpeg_decoder_*.cpp),
// because the builds' headers share include guards; the library's error exit long-jumps only
// within that file. Components come out as stored (no colour conversion); 8-bit samples as
// bytes, wider ones as little-endian 16-bit words, colour-by-pixel, rows top-down. Qt-free.
#pragma once

#include "toolkit/result_code.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora {

// The frame header (SOFn) of a JPEG stream, read without the library.
struct JpegFrameHeader {
    uint32_t process = 0; // n of SOFn: 0, 1, 2 DCT; 3, 7, 11, 15 lossless
    uint32_t precision = 0; // sample precision P
    uint32_t lines = 0;
    uint32_t columns = 0;
    uint32_t components = 0;
    bool lossless = false;
};

// Finds the first SOF marker. False when the stream holds none before SOS or its end.
bool ReadJpegFrameHeader(std::span<const uint8_t> stream, JpegFrameHeader& header);

enum class JpegBuild { Turbo8, Ijg8, Ijg12, Ijg16 };

// The build for a frame, by the image's bits allocated and the stream's own header:
// 8 -> libjpeg-turbo (lossy) or the 8-bit IJG build (lossless); 16 -> the 12-bit build, or the
// 16-bit build for lossless precisions above 12. False for anything no build supports.
bool ChooseJpegBuild(uint32_t bitsAllocated, const JpegFrameHeader& header, JpegBuild& build);

struct JpegResult {
    ResultCode result = ERROR_GENERAL_FAILURE;
    int32_t colourSpace = 0; // PixelColourSpace, 8-bit builds only
    size_t written = 0; // output bytes written
};

// Decodes a whole JPEG stream with one build into `output`; fails when the image does not fit.
JpegResult DecodeJpegTurbo8(std::span<const uint8_t> stream, std::span<uint8_t> output);
JpegResult DecodeJpegIjg8(std::span<const uint8_t> stream, std::span<uint8_t> output);
JpegResult DecodeJpegIjg12(std::span<const uint8_t> stream, std::span<uint8_t> output);
JpegResult DecodeJpegIjg16(std::span<const uint8_t> stream, std::span<uint8_t> output);

// Chooses the build and decodes.
JpegResult DecodeJpeg(std::span<const uint8_t> stream, uint32_t bitsAllocated, std::span<uint8_t> output);

} // namespace velmora
