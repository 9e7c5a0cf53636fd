// Segmented palette colour lookup table data (0028,1221)-(0028,1223) expanded to plain entries,
// PS3.3 C.7.9.2: discrete (opcode 0), linear (1) and indirect (2) segments. Qt-free.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

// Exactly `count` entries; entries the data does not reach (or malformed data) are 0.
std::vector<uint16_t> ExpandSegmentedPalette(std::span<const uint16_t> words, uint32_t count);

} // namespace velmora
