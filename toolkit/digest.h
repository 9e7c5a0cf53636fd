// Digest: a checksum computed over bytes fed in pieces, selected by a type number. The toolkit
// uses type 0, CRC-8 (polynomial 0x07, not reflected, initial value 0, no final XOR), to choose
// the bucket of a UID. Types 1 to 14 (other CRCs, MD5, SHA-1, RIPEMD-160) are not provided.
#pragma once

#include "toolkit/result_code.h"

#include <array>
#include <cstdint>
#include <span>

namespace velmora {

class Digest {
public:
    static constexpr int32_t CRC8 = 0;
    static constexpr int32_t HIGHEST_TYPE = 14;

    // Selects the algorithm and initialises its state. ERROR_GENERAL_PARAMETER for a type
    // outside 0-14, ERROR_GENERAL_NOT_IMPLEMENTED for types 1-14; after either the object has
    // no valid type.
    ResultCode SetType(int32_t type);
    int32_t Type() const { return m_type; }

    // Feeds bytes. ERROR_GENERAL_INIT when no valid type is set (or for null data with a
    // non-zero length: ERROR_GENERAL_PARAMETER). After Final the next Update starts anew.
    ResultCode Update(const void* bytes, uint32_t length);
    ResultCode Update(std::span<const uint8_t> bytes);
    // Completes the computation once; later calls do nothing until the next Update.
    ResultCode Final();
    // The first state byte; for type 0 the CRC-8.
    const uint8_t* Result() const { return m_state.data(); }

    // CRC-8 of type 0 over the bytes in one call.
    static uint8_t Crc8(std::span<const uint8_t> bytes);

private:
    void Reset();

    int32_t m_type = -1;
    std::array<uint8_t, 20> m_state {};
    uint64_t m_totalLength = 0;
    bool m_restart = false;
};

} // namespace velmora
