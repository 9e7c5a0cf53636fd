// Files of the deflated transfer syntax keep group 0002 as it is and compress everything after
// it with raw deflate. The reader inflates such a body, either into a temporary file that it
// then parses, or straight into the parser when only the labels of the file are wanted.
#pragma once

#include "toolkit/disk_file.h"
#include "toolkit/result_code.h"

#include <cstdint>
#include <functional>

namespace velmora {

// Inflation stops at this many times the compressed size (but is always allowed 64 MiB): real
// files stay far below it, while a few hundred kilobytes crafted to inflate to gigabytes would
// otherwise fill the temporary folder or memory.
inline constexpr uint64_t MAX_INFLATION_RATIO = 250;
inline constexpr uint64_t MIN_INFLATION_ALLOWANCE = 64ull << 20;

// Receives inflated bytes; false stops the inflation (not an error).
using InflatedSink = std::function<bool(const uint8_t* bytes, uint32_t length)>;

// Inflates `source` from `bodyStart` to its end into `sink`. SUCCESS also when the body ends
// early (a truncated file keeps what was inflated) or the sink stops; ERROR_FILE_FORMAT when
// the body is not a deflate stream or is corrupt; ERROR_MEMORY_FULL when it inflates beyond the
// ratio above (or beyond 4 GiB, the most a data set of 32-bit lengths can describe).
ResultCode InflateBody(DiskFile& source, uint64_t bodyStart, const InflatedSink& sink);

// Writes bytes [0, bodyStart) of `source` to `target` (an open, empty file), then the inflated
// rest of `source`; results as above, plus ERROR_FILE_WRITE. On failure `target` must not be used.
ResultCode InflateBodyToFile(DiskFile& source, uint64_t bodyStart, DiskFile& target);

} // namespace velmora
