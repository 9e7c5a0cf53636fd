// RleDecoder: DICOM RLE Lossless (PS3.5 Annex G). A frame is one fragment: a 64-byte header of
// sixteen little-endian 32-bit values (segment count, then up to fifteen segment offsets), and
// one PackBits-coded segment per byte plane, most significant byte plane of a sample first.
// Output is native layout: colour-by-pixel or colour-by-plane, wider samples little-endian.
// Resumable: Decode may stop at an output limit and continue on the next call. Qt-free.
#pragma once

#include "toolkit/result_code.h"

#include <cstdint>
#include <span>

namespace velmora {

struct RleLayout {
    uint32_t samplesPerPixel = 1;
    uint32_t bitsAllocated = 8; // 8, 16 or 32
    uint32_t planarConfiguration = 0; // 0 colour-by-pixel, 1 colour-by-plane
};

class RleDecoder {
public:
    // Maximum segments a header may list.
    static constexpr uint32_t MAX_SEGMENTS = 15;
    static constexpr uint32_t HEADER_BYTES = 64;

    // Forgets any decode in progress.
    void Reset();

    // Decodes `fragment` (the whole compressed frame) into `output` (the whole frame), writing
    // at most `limit` more bytes in this call. SUCCESS when every segment is done; PENDING when
    // the limit stopped it (call again to continue); ERROR_GENERAL_FAILURE for a malformed
    // header, a segment count that does not fit the layout, or an output that is not a whole
    // number of pixels. Bytes a short segment leaves unwritten keep their previous value.
    ResultCode Decode(std::span<const uint8_t> fragment, std::span<uint8_t> output, const RleLayout& layout,
        uint64_t limit = UINT64_MAX);

    // Compressed bytes consumed; the fragment's length once the frame is done.
    uint32_t ReadPosition() const { return m_readPosition; }

private:
    ResultCode Start(std::span<const uint8_t> fragment, std::span<uint8_t> output, const RleLayout& layout);

    bool m_started = false;
    uint32_t m_segmentCount = 0;
    uint32_t m_segment = 0; // segment in progress (0-based)
    uint32_t m_readPosition = 0; // next control or literal byte
    uint32_t m_segmentEnd = 0; // end of the segment in progress
    uint64_t m_written = 0; // bytes of this segment's plane written
    uint64_t m_planeBytes = 0; // bytes each segment fills
    uint32_t m_planar = 0;
    uint32_t m_runRemainder = 0; // bytes of an interrupted run still to write
    uint8_t m_runValue = 0;
    uint32_t m_literalRemainder = 0; // bytes of an interrupted literal still to copy
    uint32_t m_offsets[MAX_SEGMENTS + 1] = {};
};

} // namespace velmora
