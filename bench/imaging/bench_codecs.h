// Encoders and bare library decode loops for the decoder benchmark; each library build lives in
// its own translation unit (their headers share include guards).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::bench {

// libjpeg-turbo: baseline encode of 8-bit interleaved samples, and its plain decode loop with
// the same settings as our glue (memory source, no colour conversion).
std::vector<uint8_t> TurboEncode(const std::vector<uint8_t>& samples, int width, int height, int components);
size_t TurboDecode(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output);

// The 12-bit IJG build: lossless (selection value 1) encode of 16-bit words, and its plain
// decode loop.
std::vector<uint8_t> Ijg12EncodeLossless(const std::vector<uint16_t>& samples, int width, int height);
size_t Ijg12Decode(const std::vector<uint8_t>& stream, std::vector<uint8_t>& output);

} // namespace velmora::bench
