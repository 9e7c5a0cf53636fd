// Building small explicit VR little-endian DICOM files byte by byte, for benchmarks that generate
// their own input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora::bench {

inline void Put16(std::vector<uint8_t>& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(std::vector<uint8_t>& b, uint32_t v)
{
    Put16(b, v & 0xFFFFu);
    Put16(b, v >> 16);
}

// One short-header element; odd values are padded (UI with NUL, others with a space).
inline void Element(std::vector<uint8_t>& b, uint16_t g, uint16_t e, const char* vr, std::string value)
{
    if (value.size() % 2 != 0)
        value.push_back(vr[0] == 'U' && vr[1] == 'I' ? '\0' : ' ');
    Put16(b, g);
    Put16(b, e);
    b.insert(b.end(), vr, vr + 2);
    Put16(b, static_cast<uint32_t>(value.size()));
    b.insert(b.end(), value.begin(), value.end());
}

inline void Us(std::vector<uint8_t>& b, uint16_t g, uint16_t e, uint16_t v)
{
    Element(b, g, e, "US", std::string { static_cast<char>(v & 0xFF), static_cast<char>(v >> 8) });
}

} // namespace velmora::bench
