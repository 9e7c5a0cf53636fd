// Digest: type 0 is CRC-8 with polynomial 0x07 (x^8 + x^2 + x + 1), MSB first, initial value 0,
// no final XOR, computed byte by byte through a table derived from the polynomial.
#include "toolkit/digest.h"

namespace velmora {
namespace {

constexpr std::array<uint8_t, 256> MakeCrc8Table()
{
    std::array<uint8_t, 256> table {};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80u) ? ((crc << 1) ^ 0x07u) : (crc << 1);
        table[byte] = static_cast<uint8_t>(crc);
    }
    return table;
}

constexpr std::array<uint8_t, 256> kCrc8Table = MakeCrc8Table();

uint8_t Crc8Step(uint8_t crc, const uint8_t* bytes, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        crc = kCrc8Table[crc ^ bytes[i]];
    return crc;
}

} // namespace

ResultCode Digest::SetType(int32_t type)
{
    if (type < 0 || type > HIGHEST_TYPE) {
        m_type = -1;
        return ERROR_GENERAL_PARAMETER;
    }
    if (type != CRC8) {
        m_type = -1;
        return ERROR_GENERAL_NOT_IMPLEMENTED;
    }
    m_type = type;
    Reset();
    return SUCCESS;
}

void Digest::Reset()
{
    m_state.fill(0);
    m_totalLength = 0;
    m_restart = false;
}

ResultCode Digest::Update(const void* bytes, uint32_t length)
{
    if (m_type < 0)
        return ERROR_GENERAL_INIT;
    if (bytes == nullptr && length > 0)
        return ERROR_GENERAL_PARAMETER;
    if (m_restart)
        Reset();
    m_state[0] = Crc8Step(m_state[0], static_cast<const uint8_t*>(bytes), length);
    m_totalLength += length;
    return SUCCESS;
}

ResultCode Digest::Update(std::span<const uint8_t> bytes)
{
    if (bytes.size() > 0xFFFFFFFFu)
        return ERROR_GENERAL_PARAMETER;
    return Update(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

ResultCode Digest::Final()
{
    if (m_type < 0)
        return ERROR_GENERAL_INIT;
    // CRC-8 of type 0 has no final XOR; completing only marks the next Update as a new start.
    m_restart = true;
    return SUCCESS;
}

uint8_t Digest::Crc8(std::span<const uint8_t> bytes)
{
    return Crc8Step(0, bytes.data(), bytes.size());
}

} // namespace velmora
