// RLE Lossless decoding, DICOM PS3.5 Annex G.
#include "imaging/rle_decoder.h"

#include <algorithm>
#include <cstring>

namespace velmora {

namespace {

uint32_t ReadLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Where segment `segment` writes: its first output byte and the distance between its bytes.
// Segments come sample by sample, most significant byte plane first (G.2); the output keeps
// each sample's bytes little-endian.
struct Placement {
    uint64_t base;
    uint64_t stride;
};

Placement PlaceSegment(uint32_t segment, const RleLayout& layout, uint64_t pixels)
{
    const uint64_t bytesPerSample = layout.bitsAllocated / 8;
    const uint64_t sample = segment / bytesPerSample;
    const uint64_t byteInSample = bytesPerSample - 1 - segment % bytesPerSample;
    if (layout.planarConfiguration == 1)
        return { sample * pixels * bytesPerSample + byteInSample, bytesPerSample };
    return { sample * bytesPerSample + byteInSample, layout.samplesPerPixel * bytesPerSample };
}

// Writes `count` bytes from `source` (or `count` copies of `value` when source is null) to the
// plane positions starting at `index`.
void Emit(uint8_t* out, Placement place, uint64_t index, const uint8_t* source, uint8_t value, uint64_t count)
{
    uint8_t* p = out + place.base + index * place.stride;
    if (place.stride == 1) {
        if (source)
            std::memcpy(p, source, count);
        else
            std::memset(p, value, count);
        return;
    }
    const uint64_t stride = place.stride;
    if (source) {
        for (uint64_t i = 0; i < count; ++i, p += stride)
            *p = source[i];
    } else {
        for (uint64_t i = 0; i < count; ++i, p += stride)
            *p = value;
    }
}

// The hot loop for whole runs and literals that fit the plane and the budget, with the byte
// stride fixed at compile time. Stops before the first control byte it cannot finish, leaving
// that one to the careful loop. Returns the output bytes written; advances `position`.
template <uint64_t Stride>
uint64_t FastSegment(const uint8_t* in, uint32_t& position, uint32_t end, uint8_t* out, uint64_t room)
{
    const uint8_t* ip = in + position;
    const uint8_t* const iend = in + end;
    uint8_t* op = out;
    uint64_t left = room;
    while (ip < iend) {
        const uint8_t control = *ip;
        if (control < 128) {
            const uint64_t n = uint64_t(control) + 1;
            if (n > left || n > uint64_t(iend - ip - 1))
                break;
            ++ip;
            if constexpr (Stride == 1) {
                std::memcpy(op, ip, n);
                op += n;
            } else {
                for (uint64_t i = 0; i < n; ++i, op += Stride)
                    *op = ip[i];
            }
            ip += n;
            left -= n;
        } else if (control > 128) {
            const uint64_t n = 257 - uint64_t(control);
            if (n > left || ip + 1 >= iend)
                break;
            const uint8_t value = ip[1];
            ip += 2;
            if constexpr (Stride == 1) {
                std::memset(op, value, n);
                op += n;
            } else {
                for (uint64_t i = 0; i < n; ++i, op += Stride)
                    *op = value;
            }
            left -= n;
        } else {
            ++ip;
        }
    }
    position = static_cast<uint32_t>(ip - in);
    return room - left;
}

uint64_t FastSegment(
    const uint8_t* in, uint32_t& position, uint32_t end, uint8_t* out, uint64_t room, uint64_t stride)
{
    switch (stride) {
    case 1:
        return FastSegment<1>(in, position, end, out, room);
    case 2:
        return FastSegment<2>(in, position, end, out, room);
    case 3:
        return FastSegment<3>(in, position, end, out, room);
    case 4:
        return FastSegment<4>(in, position, end, out, room);
    case 6:
        return FastSegment<6>(in, position, end, out, room);
    default:
        return 0; // the careful loop handles the rarer layouts
    }
}

} // namespace

void RleDecoder::Reset()
{
    *this = RleDecoder();
}

ResultCode RleDecoder::Start(
    std::span<const uint8_t> fragment, std::span<uint8_t> output, const RleLayout& layout)
{
    if (fragment.size() < HEADER_BYTES || fragment.size() > UINT32_MAX)
        return ERROR_GENERAL_FAILURE;
    if (layout.bitsAllocated != 8 && layout.bitsAllocated != 16 && layout.bitsAllocated != 32)
        return ERROR_GENERAL_FAILURE;
    const uint32_t samples = std::max<uint32_t>(layout.samplesPerPixel, 1);
    const uint64_t pixelBytes = uint64_t(samples) * (layout.bitsAllocated / 8);
    const uint32_t count = ReadLe32(fragment.data());
    // One segment per byte plane of every sample; anything else would misplace the planes.
    if (count == 0 || count > MAX_SEGMENTS || count != pixelBytes)
        return ERROR_GENERAL_FAILURE;
    if (output.empty() || output.size() % pixelBytes != 0)
        return ERROR_GENERAL_FAILURE;
    const uint32_t length = static_cast<uint32_t>(fragment.size());
    for (uint32_t s = 0; s < count; ++s) {
        const uint32_t offset = ReadLe32(fragment.data() + 4 + 4 * s);
        if (offset < HEADER_BYTES || offset > length || (s > 0 && offset < m_offsets[s - 1]))
            return ERROR_GENERAL_FAILURE;
        m_offsets[s] = offset;
    }
    m_offsets[count] = length;
    m_segmentCount = count;
    m_segment = 0;
    m_readPosition = m_offsets[0];
    m_segmentEnd = m_offsets[1];
    m_written = 0;
    m_planeBytes = output.size() / pixelBytes;
    m_planar = layout.planarConfiguration;
    m_runRemainder = 0;
    m_literalRemainder = 0;
    m_started = true;
    return SUCCESS;
}

ResultCode RleDecoder::Decode(
    std::span<const uint8_t> fragment, std::span<uint8_t> output, const RleLayout& layout, uint64_t limit)
{
    if (!m_started) {
        if (ResultCode result = Start(fragment, output, layout); result != SUCCESS) {
            Reset();
            return result;
        }
    }
    // The caller must hand the same fragment and frame on every call of one decode.
    if (fragment.size() != m_offsets[m_segmentCount] || output.size() != m_planeBytes * m_segmentCount
        || layout.planarConfiguration != m_planar) {
        Reset();
        return ERROR_GENERAL_FAILURE;
    }

    const uint8_t* in = fragment.data();
    uint8_t* out = output.data();
    uint64_t budget = limit;
    while (m_segment < m_segmentCount) {
        const Placement place = PlaceSegment(m_segment, layout, m_planeBytes);
        uint64_t room = m_planeBytes - m_written;
        // Finish a run or literal that the previous call's limit interrupted.
        if (m_runRemainder > 0 || m_literalRemainder > 0) {
            if (budget == 0)
                return PENDING;
            if (m_runRemainder > 0) {
                const uint64_t n = std::min<uint64_t>({ m_runRemainder, room, budget });
                Emit(out, place, m_written, nullptr, m_runValue, n);
                m_written += n;
                budget -= n;
                m_runRemainder = n == room ? 0 : m_runRemainder - static_cast<uint32_t>(n);
            } else {
                const uint64_t available = m_segmentEnd - m_readPosition;
                const uint64_t n = std::min<uint64_t>({ m_literalRemainder, room, budget, available });
                Emit(out, place, m_written, in + m_readPosition, 0, n);
                m_written += n;
                budget -= n;
                m_readPosition += static_cast<uint32_t>(n);
                m_literalRemainder
                    = (n == room || n == available) ? 0 : m_literalRemainder - static_cast<uint32_t>(n);
            }
            room = m_planeBytes - m_written;
        }
        // PackBits (G.3.1): 0..127 copies n + 1 literal bytes, 129..255 repeats the next byte
        // 257 - n times, 128 does nothing. Output beyond the plane is dropped, and a plane that
        // is full ends its segment: encoders may pad a segment to an even length.
        if (room > 0 && budget > 0 && m_readPosition < m_segmentEnd) {
            const uint64_t n = FastSegment(in, m_readPosition, m_segmentEnd,
                out + place.base + m_written * place.stride, std::min(room, budget), place.stride);
            m_written += n;
            budget -= n;
            room -= n;
        }
        while (room > 0 && m_readPosition < m_segmentEnd) {
            if (budget == 0)
                return PENDING;
            const uint8_t control = in[m_readPosition++];
            if (control < 128) {
                const uint64_t want = uint64_t(control) + 1;
                const uint64_t available = m_segmentEnd - m_readPosition;
                const uint64_t n = std::min<uint64_t>({ want, room, budget, available });
                Emit(out, place, m_written, in + m_readPosition, 0, n);
                m_written += n;
                budget -= n;
                m_readPosition += static_cast<uint32_t>(n);
                if (n < want && n < room && n < available)
                    m_literalRemainder = static_cast<uint32_t>(want - n);
            } else if (control > 128) {
                if (m_readPosition >= m_segmentEnd)
                    break;
                const uint8_t value = in[m_readPosition++];
                const uint64_t want = 257 - uint64_t(control);
                const uint64_t n = std::min<uint64_t>({ want, room, budget });
                Emit(out, place, m_written, nullptr, value, n);
                m_written += n;
                budget -= n;
                if (n < want && n < room) {
                    m_runRemainder = static_cast<uint32_t>(want - n);
                    m_runValue = value;
                }
            }
            room = m_planeBytes - m_written;
        }
        if (m_runRemainder > 0 || m_literalRemainder > 0)
            return PENDING;
        ++m_segment;
        m_written = 0;
        if (m_segment < m_segmentCount) {
            m_readPosition = m_offsets[m_segment];
            m_segmentEnd = m_offsets[m_segment + 1];
        }
    }
    m_readPosition = m_offsets[m_segmentCount];
    m_started = false;
    return SUCCESS;
}

} // namespace velmora
