#include "toolkit/text_case.h"

#include <cstddef>

namespace velmora {

namespace {

// The code point starting at `text[i]`, advancing `i` past it. A byte that does not begin a
// well-formed sequence is returned on its own, offset above the Unicode range so that it only
// ever equals the same byte.
uint32_t NextCodePoint(std::string_view text, size_t& i)
{
    constexpr uint32_t kRawByte = 0x110000;
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    const size_t length = lead < 0x80 ? 1
        : (lead >> 5) == 0x6          ? 2
        : (lead >> 4) == 0xE          ? 3
        : (lead >> 3) == 0x1E         ? 4
                                      : 0;
    if (length == 1 || length == 0 || i + length > text.size()) {
        ++i;
        return length == 1 ? lead : kRawByte + lead;
    }
    uint32_t c = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return kRawByte + lead;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    i += length;
    return c;
}

} // namespace

uint32_t FoldCase(uint32_t c)
{
    const auto inRange = [c](uint32_t first, uint32_t last) { return c >= first && c <= last; };
    const bool even = (c & 1) == 0;
    if (inRange('A', 'Z') || (inRange(0xC0, 0xDE) && c != 0xD7))
        return c + 0x20;
    // Latin Extended-A: pairs, the capital first, except where the run shifts by one.
    if ((inRange(0x100, 0x12F) || inRange(0x132, 0x137) || inRange(0x14A, 0x177)) && even)
        return c + 1;
    if ((inRange(0x139, 0x148) || inRange(0x179, 0x17E)) && !even)
        return c + 1;
    if (c == 0x178)
        return 0xFF; // Ÿ
    if (c == 0x17F)
        return 's'; // long s
    // Greek: capitals with tonos, then the plain and dialytika capitals, final sigma.
    if (c == 0x386)
        return 0x3AC;
    if (inRange(0x388, 0x38A))
        return c + 0x25;
    if (c == 0x38C)
        return 0x3CC;
    if (inRange(0x38E, 0x38F))
        return c + 0x3F;
    if (inRange(0x391, 0x3AB) && c != 0x3A2)
        return c + 0x20;
    if (c == 0x3C2)
        return 0x3C3;
    // Cyrillic: Ѐ to Џ, then А to Я.
    if (inRange(0x400, 0x40F))
        return c + 0x50;
    if (inRange(0x410, 0x42F))
        return c + 0x20;
    if (inRange(0xFF21, 0xFF3A)) // fullwidth Ａ to Ｚ
        return c + 0x20;
    return c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldCase(NextCodePoint(a, i)) != FoldCase(NextCodePoint(b, j)))
            return false;
    }
    return i == a.size() && j == b.size();
}

} // namespace velmora
