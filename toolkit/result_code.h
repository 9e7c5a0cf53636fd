// Result codes: the toolkit's error vocabulary. Every operation that can fail returns one;
// 0 is SUCCESS, PENDING means an incremental producer has more to give. Never thrown.
#pragma once

#include <cstdint>

namespace velmora {

enum ResultCode : int32_t {
#define X(code, name, message) name = code,
#include "toolkit/result_codes.def"
#undef X
};

} // namespace velmora
