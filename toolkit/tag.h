// Attribute tags: uint32 group << 16 | element, written (gggg,eeee) in hexadecimal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace velmora {

using Tag = uint32_t;

constexpr Tag MakeTag(uint16_t group, uint16_t element)
{
    return (static_cast<uint32_t>(group) << 16) | element;
}

constexpr uint16_t TagGroup(Tag tag)
{
    return static_cast<uint16_t>(tag >> 16);
}
constexpr uint16_t TagElement(Tag tag)
{
    return static_cast<uint16_t>(tag & 0xFFFFu);
}

// "(gggg,eeee)" in lower-case hexadecimal.
inline std::string TagText(Tag tag)
{
    char text[12];
    std::snprintf(text, sizeof text, "(%04x,%04x)", static_cast<unsigned>(TagGroup(tag)),
        static_cast<unsigned>(TagElement(tag)));
    return text;
}

// Tags the toolkit itself relies on.
namespace tags {
inline constexpr Tag GROUP_LENGTH = MakeTag(0x0000, 0x0000);
inline constexpr Tag TRANSFER_SYNTAX_UID = MakeTag(0x0002, 0x0010);
inline constexpr Tag PIXEL_DATA = MakeTag(0x7FE0, 0x0010);
inline constexpr Tag ITEM = MakeTag(0xFFFE, 0xE000);
inline constexpr Tag ITEM_DELIMITATION = MakeTag(0xFFFE, 0xE00D);
inline constexpr Tag SEQUENCE_DELIMITATION = MakeTag(0xFFFE, 0xE0DD);
} // namespace tags

} // namespace velmora
