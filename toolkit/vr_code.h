// VR codes: a value representation as a uint16, first letter in the high byte ("UN" is 0x554E).
// Small and dependency-free so that every layer can name VRs without the dictionary.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

constexpr uint16_t VrCode(char first, char second)
{
    return static_cast<uint16_t>((static_cast<uint8_t>(first) << 8) | static_cast<uint8_t>(second));
}

// The two letters of a VR code ("UN" for 0x554E); bytes that are not printable come out as '?'.
inline std::string VrCodeText(uint16_t code)
{
    // A space would split the field in two in a dump line.
    auto letter = [](unsigned byte) { return (byte > 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '?'; };
    return std::string { letter(code >> 8), letter(code & 0xFFu) };
}

// Codes of the value representations the toolkit knows, named by their letters.
namespace vr {
inline constexpr uint16_t AE = VrCode('A', 'E');
inline constexpr uint16_t AS = VrCode('A', 'S');
inline constexpr uint16_t AT = VrCode('A', 'T');
inline constexpr uint16_t CS = VrCode('C', 'S');
inline constexpr uint16_t DA = VrCode('D', 'A');
inline constexpr uint16_t DS = VrCode('D', 'S');
inline constexpr uint16_t DT = VrCode('D', 'T');
inline constexpr uint16_t FD = VrCode('F', 'D');
inline constexpr uint16_t FL = VrCode('F', 'L');
inline constexpr uint16_t IS = VrCode('I', 'S');
inline constexpr uint16_t LO = VrCode('L', 'O');
inline constexpr uint16_t LT = VrCode('L', 'T');
inline constexpr uint16_t OB = VrCode('O', 'B');
inline constexpr uint16_t OF = VrCode('O', 'F');
inline constexpr uint16_t OW = VrCode('O', 'W');
inline constexpr uint16_t PN = VrCode('P', 'N');
inline constexpr uint16_t SH = VrCode('S', 'H');
inline constexpr uint16_t SL = VrCode('S', 'L');
inline constexpr uint16_t SQ = VrCode('S', 'Q');
inline constexpr uint16_t SS = VrCode('S', 'S');
inline constexpr uint16_t ST = VrCode('S', 'T');
inline constexpr uint16_t TM = VrCode('T', 'M');
inline constexpr uint16_t UI = VrCode('U', 'I');
inline constexpr uint16_t UL = VrCode('U', 'L');
inline constexpr uint16_t UN = VrCode('U', 'N');
inline constexpr uint16_t US = VrCode('U', 'S');
inline constexpr uint16_t UT = VrCode('U', 'T');
// Added to the standard after the dictionary's edition (PS3.5 Table 6.2-1).
inline constexpr uint16_t OD = VrCode('O', 'D');
inline constexpr uint16_t OL = VrCode('O', 'L');
inline constexpr uint16_t OV = VrCode('O', 'V');
inline constexpr uint16_t SV = VrCode('S', 'V');
inline constexpr uint16_t UC = VrCode('U', 'C');
inline constexpr uint16_t UR = VrCode('U', 'R');
inline constexpr uint16_t UV = VrCode('U', 'V');
} // namespace vr

} // namespace velmora
