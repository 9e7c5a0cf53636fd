// Files of the deflated transfer syntax keep group 0002 as it is and compress everything after
// it with raw deflate. The reader inflates such a body into a temporary file and parses that.
#pragma once

#include "toolkit/disk_file.h"

#include <cstdint>

namespace velmora {

// Writes bytes [0, bodyStart) of `source` to `target` (an open, empty file), then the inflated
// rest of `source`. A body that ends early keeps what was inflated (a truncated file); a body
// that is not a deflate stream at all, or is corrupt, gives false and `target` must not be used.
// Output stops at 4 GiB, the most a data set of 32-bit lengths can describe.
bool InflateBody(DiskFile& source, uint64_t bodyStart, DiskFile& target);

} // namespace velmora
