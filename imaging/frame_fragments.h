// Frame grouping for encapsulated pixel data: decides which fragments (the items after the basic
// offset table) make up each frame. Independent of DataSet: the caller describes each fragment
// by its length and its first (and, if it can, last) few bytes. Used by ImageSource to count and
// read frames. Qt-free.
//
// Rules (DICOM PS3.5 Annex A.4), with N the Number of Frames and F the number of fragments:
// - N >= F: one fragment per frame (the common case, read exactly as before).
// - A basic offset table with N offsets (any count when N is absent), the first 0, increasing,
//   each on a fragment boundary, decides.
// - The codec's start markers decide when they name N frames (any number when N is absent): a
//   JPEG / JPEG-LS frame starts with SOI (FFD8), a JPEG 2000 frame with SOC SIZ (FF4F FF51) or a
//   JP2 signature box, an RLE frame with its header (1 to 15 segments, the first at offset 64).
//   Failing that, JPEG end markers (EOI, FFD9) at fragment ends.
// - N = 1: every fragment belongs to the one frame.
// - When nothing decides: one fragment per frame.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace velmora {

// One fragment (Item of encapsulated Pixel Data, not counting the basic offset table).
struct FragmentInfo {
    uint32_t length = 0; // value length of the item
    std::array<uint8_t, 8> head {}; // its first bytes (as many as headLength says)
    uint8_t headLength = 0;
    std::array<uint8_t, 4> tail {}; // its last bytes, optional (tailLength 0 when not read)
    uint8_t tailLength = 0;
};

// One frame: fragments [firstFragment, firstFragment + fragmentCount), 0-based.
struct FrameExtent {
    uint32_t firstFragment = 0;
    uint32_t fragmentCount = 0;
    bool operator==(const FrameExtent&) const = default;
};

// How many leading bytes of a fragment GroupFragments can use (read at most this many).
inline constexpr uint32_t FRAGMENT_HEAD_BYTES = 8;
inline constexpr uint32_t FRAGMENT_TAIL_BYTES = 4;

// Groups fragments into frames. `basicOffsetTable`: the table's 32-bit offsets (empty when the
// table is empty); `numberOfFrames`: Number of Frames (0028,0008), 0 when absent;
// `compressionKind`: the data set's compression kind (selects the start markers).
// Returns one extent per frame, in order; empty when there are no fragments.
std::vector<FrameExtent> GroupFragments(std::span<const uint32_t> basicOffsetTable,
    std::span<const FragmentInfo> fragments, uint32_t numberOfFrames, int32_t compressionKind);

// Parses a basic offset table's value (little-endian 32-bit offsets; a trailing partial word is
// ignored).
std::vector<uint32_t> ParseBasicOffsetTable(std::span<const uint8_t> value);

} // namespace velmora
