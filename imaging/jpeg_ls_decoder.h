// JpegLsDecoder: our own decoder of JPEG-LS code streams (ITU-T T.87 / ISO 14495-1): lossless
// and near-lossless, precisions 2 to 16, interleave modes none, line and sample, restart
// markers, LSE preset parameters. Streams that need an LSE mapping table are refused.
// Output is native pixel layout: precisions up to 8 bits as bytes, wider ones as little-endian
// 16-bit words, colour-by-pixel or colour-by-plane as the planar configuration says.
// Incremental: a stream that ends early gives PENDING and the decoder keeps a copy of it; a later
// call with the rest of the stream finishes the frame. A whole stream is decoded where it lies.
// Qt-free.
#pragma once

#include "toolkit/result_code.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace velmora {

struct JpegLsFrameInfo {
    uint32_t precision = 0; // P: samples are below 2^P
    uint32_t lines = 0;
    uint32_t columns = 0;
    uint32_t components = 0;
    uint32_t nearLossless = 0; // NEAR of the scans (0 lossless)
    uint32_t interleaveMode = 0; // of the first scan: 0 none, 1 line, 2 sample
    uint32_t maximumValue = 0; // MAXVAL in force for the first scan
};

class JpegLsDecoder {
public:
    // Largest decoded frame accepted, checked against the frame header before allocating.
    static constexpr size_t DEFAULT_MAX_OUTPUT_BYTES = size_t(1) << 30;

    JpegLsDecoder();
    ~JpegLsDecoder();
    JpegLsDecoder(const JpegLsDecoder&) = delete;
    JpegLsDecoder& operator=(const JpegLsDecoder&) = delete;
    JpegLsDecoder(JpegLsDecoder&&) noexcept;
    JpegLsDecoder& operator=(JpegLsDecoder&&) noexcept;

    void SetMaxOutputBytes(size_t bytes) { m_maxOutputBytes = bytes; }

    // Adds `bytes` to the stream held and decodes it into `output` (resized to the frame).
    // SUCCESS: the frame is complete, `decodedLength` is its size, the held stream is dropped.
    // PENDING: the stream ended early; `decodedLength` counts the samples' bytes decoded so far.
    // ERROR_GENERAL_FAILURE: malformed or unsupported stream (state dropped);
    // ERROR_MEMORY_ALLOC: the frame is larger than the limit or memory ran out.
    ResultCode Decode(std::span<const uint8_t> bytes, std::vector<uint8_t>& output,
        uint32_t planarConfiguration, uint32_t& decodedLength);

    // Drops the held stream and any decode in progress.
    void Reset();

    // The frame header and first scan of the last stream decoded (or partly decoded).
    const JpegLsFrameInfo& FrameInfo() const { return m_info; }

private:
    std::vector<uint8_t> m_stream;
    JpegLsFrameInfo m_info;
    size_t m_maxOutputBytes = DEFAULT_MAX_OUTPUT_BYTES;
};

// Decodes one whole stream; PENDING when it is truncated.
ResultCode DecodeJpegLs(std::span<const uint8_t> stream, std::vector<uint8_t>& output,
    uint32_t planarConfiguration, uint32_t& decodedLength, JpegLsFrameInfo* info = nullptr);

} // namespace velmora
