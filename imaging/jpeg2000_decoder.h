// JPEG 2000 decoding through OpenJPEG, from memory. Accepts a code stream (and, as a courtesy,
// a JP2 file wrapper). Output: component 0's samples first, then component 1 and so on, each
// sample in (precision + 7) / 8 bytes, most significant byte first, at most the output's size.
// Qt-free.
#pragma once

#include "toolkit/result_code.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace velmora {

struct Jpeg2000Result {
    ResultCode result = ERROR_GENERAL_FAILURE;
    size_t written = 0;
};

// Decodes `stream` into `output`. An image whose samples would not fit the output is refused
// before decoding, so a hostile header cannot make the library allocate for it.
Jpeg2000Result DecodeJpeg2000(std::span<const uint8_t> stream, std::span<uint8_t> output);

} // namespace velmora
