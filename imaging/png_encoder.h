// PNG encoding of a display bitmap, for velmora-tool render and golden-image tests: grey when
// every colour the bitmap uses is grey, RGB otherwise. Uncompressed deflate blocks keep it small
// and dependency-free; the files are larger than a compressing encoder's. Qt-free.
#pragma once

#include "imaging/paint_target.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora {

// The PNG file of `bitmap`; empty for a view without pixels.
std::vector<uint8_t> EncodePng(const DibView& bitmap);

// CRC-32 (ISO 3309, as PNG chunks use it).
uint32_t PngCrc32(const uint8_t* data, std::size_t length, uint32_t crc = 0);

} // namespace velmora
