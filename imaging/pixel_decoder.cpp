// PixelDecoder: collects one compressed frame and runs the decoder its compression kind names.
#include "imaging/pixel_decoder.h"

#include "imaging/jpeg2000_decoder.h"
#include "imaging/jpeg_decoder.h"
#include "imaging/jpeg_ls_decoder.h"
#include "imaging/rle_decoder.h"
#include "toolkit/uid_dictionary.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace velmora {

struct PixelDecoder::RleProgress {
    RleDecoder decoder;
};

PixelCodec CodecForCompression(int32_t compressionKind)
{
    using Kind = CompressionKind;
    const uint32_t kind = static_cast<uint32_t>(compressionKind) & transfer_property::COMPRESSION_MASK;
    auto value = [](Kind k) { return static_cast<uint32_t>(k); };
    if (kind >= value(Kind::JPEG_LOSSY_1) && kind <= value(Kind::JPEG_LOSSLESS))
        return PixelCodec::Jpeg;
    if (kind == value(Kind::JPEG_LS_LOSSY) || kind == value(Kind::JPEG_LS_LOSSLESS))
        return PixelCodec::JpegLs;
    if (kind == value(Kind::RLE_LOSSLESS))
        return PixelCodec::Rle;
    if (kind == value(Kind::JPEG_2000_LOSSLESS) || kind == value(Kind::JPEG_2000_ANY))
        return PixelCodec::Jpeg2000;
    return PixelCodec::None;
}

PixelDecoder::PixelDecoder() = default;
PixelDecoder::~PixelDecoder() = default;
PixelDecoder::PixelDecoder(PixelDecoder&&) noexcept = default;
PixelDecoder& PixelDecoder::operator=(PixelDecoder&&) noexcept = default;

ResultCode PixelDecoder::Init(
    int32_t compressionKind, uint32_t bitsAllocated, uint32_t samplesPerPixel, uint32_t compressedLength)
{
    // The buffers keep their memory: the next frame is usually the same size (stepping, cine).
    m_compressed.clear();
    m_rle.reset();
    m_compressionKind = compressionKind;
    m_bitsAllocated = bitsAllocated;
    m_samplesPerPixel = samplesPerPixel;
    m_capacity = compressedLength;
    m_readPosition = 0;
    m_handedOver = 0;
    m_decodedLength = 0;
    m_colourSpace = PIXEL_COLOUR_UNKNOWN;
    try {
        m_compressed.reserve(compressedLength);
    } catch (const std::bad_alloc&) {
        m_capacity = 0;
        return ERROR_GENERAL_FAILURE;
    } catch (const std::length_error&) {
        m_capacity = 0;
        return ERROR_GENERAL_FAILURE;
    }
    if (m_jpegLs)
        m_jpegLs->Reset();
    return SUCCESS;
}

ResultCode PixelDecoder::Append(const uint8_t* bytes, uint32_t length)
{
    if (!bytes || length == 0 || m_compressed.size() >= m_capacity)
        return ERROR_GENERAL_PARAMETER;
    const size_t n = std::min<size_t>(length, m_capacity - m_compressed.size());
    try {
        m_compressed.insert(m_compressed.end(), bytes, bytes + n);
    } catch (const std::bad_alloc&) {
        return ERROR_MEMORY_ALLOC;
    }
    return SUCCESS;
}

ResultCode PixelDecoder::Append(std::span<const uint8_t> bytes)
{
    if (bytes.size() > UINT32_MAX)
        return ERROR_GENERAL_PARAMETER;
    return Append(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

void PixelDecoder::SetLayout(uint32_t planarConfiguration, uint32_t frameSize)
{
    m_planarConfiguration = planarConfiguration;
    m_frameSize = frameSize;
    m_readPosition = 0;
    m_rle.reset();
}

namespace {

// Samples of 8 bits or fewer decoded as bytes for an image of 16 bits allocated: little-endian
// words, as the JPEG builds for wide samples give them.
bool WidenToWords(std::vector<uint8_t>& output, uint32_t& decodedLength)
{
    const size_t samples = decodedLength;
    try {
        if (output.size() < 2 * samples)
            output.resize(2 * samples);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t i = samples; i-- > 0;) {
        output[2 * i] = output[i];
        output[2 * i + 1] = 0;
    }
    decodedLength = static_cast<uint32_t>(2 * samples);
    return true;
}

} // namespace

ResultCode PixelDecoder::Decode(std::vector<uint8_t>& output, uint32_t& decodedLength, int32_t& colourSpace)
{
    const uint32_t received = static_cast<uint32_t>(m_compressed.size());
    if (m_readPosition == m_capacity || received < m_readPosition)
        return SUCCESS;
    const PixelCodec codec = CodecForCompression(m_compressionKind);
    if (received != m_capacity) {
        // The JPEG-LS decoder takes a stream in pieces, except for colour-by-pixel colour frames.
        const bool waits
            = codec != PixelCodec::JpegLs || (m_samplesPerPixel == 3 && m_planarConfiguration == 0);
        if (waits)
            return PENDING;
    }

    if (codec == PixelCodec::JpegLs) {
        if (!m_jpegLs)
            m_jpegLs = std::make_unique<JpegLsDecoder>();
        m_jpegLs->SetMaxOutputBytes(m_frameSize != 0 ? m_frameSize : JpegLsDecoder::DEFAULT_MAX_OUTPUT_BYTES);
        // The decoder keeps its own copy of the stream; hand it only the bytes it has not seen.
        const std::span<const uint8_t> fresh = std::span<const uint8_t>(m_compressed).subspan(m_handedOver);
        const ResultCode result = m_jpegLs->Decode(fresh, output, m_planarConfiguration, decodedLength);
        m_handedOver = m_compressed.size();
        if (result == SUCCESS && m_bitsAllocated > 8 && m_jpegLs->FrameInfo().precision <= 8
            && !WidenToWords(output, decodedLength))
            return ERROR_MEMORY_ALLOC;
        if (result == SUCCESS) {
            m_readPosition = m_capacity;
            m_compressed.clear();
        }
        return result;
    }
    if (codec == PixelCodec::None)
        return ERROR_GENERAL_FAILURE;

    try {
        if (output.size() < m_frameSize)
            output.resize(m_frameSize);
    } catch (const std::bad_alloc&) {
        return ERROR_MEMORY_ALLOC;
    }
    decodedLength = m_frameSize;
    const std::span<uint8_t> frame(output.data(), m_frameSize);
    const std::span<const uint8_t> stream(m_compressed);
    switch (codec) {
    case PixelCodec::Rle: {
        if (m_frameSize == 0)
            return ERROR_GENERAL_FAILURE;
        if (!m_rle)
            m_rle = std::make_unique<RleProgress>();
        const RleLayout layout { std::max<uint32_t>(m_samplesPerPixel, 1), m_bitsAllocated,
            m_planarConfiguration };
        const ResultCode result = m_rle->decoder.Decode(stream, frame, layout, m_frameSize);
        m_readPosition = m_rle->decoder.ReadPosition();
        if (result != PENDING)
            m_rle.reset();
        return result;
    }
    case PixelCodec::Jpeg: {
        const JpegResult result = DecodeJpeg(stream, m_bitsAllocated, frame);
        colourSpace = result.colourSpace;
        return result.result;
    }
    case PixelCodec::Jpeg2000:
        return DecodeJpeg2000(stream, frame).result;
    default:
        return ERROR_GENERAL_FAILURE;
    }
}

ResultCode PixelDecoder::Decode()
{
    return Decode(m_output, m_decodedLength, m_colourSpace);
}

std::vector<uint8_t> PixelDecoder::TakeOutput()
{
    std::vector<uint8_t> output = std::move(m_output);
    output.resize(m_decodedLength);
    m_output.clear();
    m_decodedLength = 0;
    return output;
}

} // namespace velmora
