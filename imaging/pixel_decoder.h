// PixelDecoder: turns one encapsulated frame (RLE, JPEG, JPEG-LS or JPEG 2000) into the raw
// layout of native pixel data, so that the display bitmap treats both alike. Sits in the imaging
// layer under ImageSource (which reads the frame) and above the codecs (rle_decoder,
// jpeg_decoder, jpeg_ls_decoder, jpeg2000_decoder). Qt-free.
//
// Calling order for one frame: Init, Append (once or more), SetLayout, Decode.
//   PixelDecoder decoder;
//   decoder.Init(kind, bitsAllocated, samplesPerPixel, compressed.size());
//   decoder.Append(compressed.data(), compressed.size());
//   decoder.SetLayout(planarConfiguration, frameSize);
//   if (decoder.Decode() == SUCCESS) use(decoder.Output());
//
// Decoded layout: samples as the image stores them (no colour conversion), 8-bit samples as
// bytes, wider samples as little-endian 16-bit words, colour-by-pixel or colour-by-plane as the
// planar configuration says.
#pragma once

#include "toolkit/result_code.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace velmora {

class JpegLsDecoder;

// Colour-space codes Decode reports for JPEG frames (PhotometricCode values); 0 when unknown.
enum PixelColourSpace : int32_t {
    PIXEL_COLOUR_UNKNOWN = 0,
    PIXEL_COLOUR_RGB = 3,
    PIXEL_COLOUR_YBR_FULL_422 = 7,
};

// Which decoder a compression kind (bits 20-31 of the transfer syntax properties) selects.
enum class PixelCodec { None, Jpeg, JpegLs, Rle, Jpeg2000 };
PixelCodec CodecForCompression(int32_t compressionKind);

class PixelDecoder {
public:
    PixelDecoder();
    ~PixelDecoder();
    PixelDecoder(const PixelDecoder&) = delete;
    PixelDecoder& operator=(const PixelDecoder&) = delete;
    PixelDecoder(PixelDecoder&&) noexcept;
    PixelDecoder& operator=(PixelDecoder&&) noexcept;

    // Starts a frame: empties the buffers (keeping their memory for frames to come) and reserves
    // the announced compressed length.
    // SUCCESS, or ERROR_GENERAL_FAILURE when the buffer cannot be allocated.
    ResultCode Init(
        int32_t compressionKind, uint32_t bitsAllocated, uint32_t samplesPerPixel, uint32_t compressedLength);

    // Adds compressed bytes; more than announced are cut off. ERROR_GENERAL_PARAMETER for null
    // bytes, a zero length or no room left; ERROR_MEMORY_ALLOC when the buffer cannot grow.
    ResultCode Append(const uint8_t* bytes, uint32_t length);
    ResultCode Append(std::span<const uint8_t> bytes);

    // Planar configuration (0 colour-by-pixel, 1 colour-by-plane) and the decoded bytes expected
    // (rows x columns x samples x bits allocated / 8). Restarts an interrupted RLE decode.
    void SetLayout(uint32_t planarConfiguration, uint32_t frameSize);

    // Decodes into `output` (grown to the frame size when smaller). SUCCESS; PENDING when not all
    // announced bytes are present (JPEG-LS: when its stream ends early; append the rest and call
    // again); ERROR_GENERAL_FAILURE for a malformed or unsupported frame; ERROR_MEMORY_ALLOC.
    // `decodedLength` receives the bytes written, `colourSpace` a PixelColourSpace for JPEG.
    // A frame already decoded (and a Decode before any bytes were announced) gives SUCCESS and
    // leaves both untouched.
    ResultCode Decode(std::vector<uint8_t>& output, uint32_t& decodedLength, int32_t& colourSpace);

    // The same, into the decoder's own output buffer (see Output, TakeOutput).
    ResultCode Decode();
    std::span<const uint8_t> Output() const { return { m_output.data(), m_decodedLength }; }
    std::vector<uint8_t> TakeOutput(); // the decoded bytes, resized to the decoded length
    uint32_t DecodedLength() const { return m_decodedLength; }
    int32_t ColourSpace() const { return m_colourSpace; }

    int32_t CompressionKind() const { return m_compressionKind; }
    uint32_t Received() const { return static_cast<uint32_t>(m_compressed.size()); }
    uint32_t Capacity() const { return m_capacity; }
    uint32_t FrameSize() const { return m_frameSize; }

private:
    int32_t m_compressionKind = 0;
    uint32_t m_capacity = 0;
    uint32_t m_planarConfiguration = 0;
    uint32_t m_samplesPerPixel = 0;
    uint32_t m_bitsAllocated = 0;
    uint32_t m_frameSize = 0;
    uint32_t m_readPosition = 0; // RLE: compressed bytes consumed; equals capacity when done
    uint32_t m_decodedLength = 0;
    size_t m_handedOver = 0; // JPEG-LS: compressed bytes already given to its decoder
    int32_t m_colourSpace = PIXEL_COLOUR_UNKNOWN;
    std::vector<uint8_t> m_compressed;
    std::vector<uint8_t> m_output;
    struct RleProgress;
    std::unique_ptr<RleProgress> m_rle;
    std::unique_ptr<JpegLsDecoder> m_jpegLs;
};

} // namespace velmora
