// Rules of the DICOM encoding shared by the reader, the writer and the element tree: which tags are
// items and delimiters, and which VRs carry the long explicit header.
#pragma once

#include "toolkit/tag.h"
#include "toolkit/vr_code.h"

#include <cstdint>

namespace velmora {

inline bool IsDelimiter(uint32_t tag)
{
    return tag == tags::ITEM_DELIMITATION || tag == tags::SEQUENCE_DELIMITATION;
}

inline bool IsItemOrDelimiter(uint32_t tag)
{
    return tag == tags::ITEM || IsDelimiter(tag);
}

// VRs whose explicit header has two reserved bytes and a 32-bit length. Besides OB, OF, OW, SQ,
// UN and UT this includes the VRs added to the standard later (OD, OL, OV, SV, UC, UR, UV): files
// using them are common, and reading or writing their headers as 8 bytes would derail a parse.
inline bool HasLongHeader(uint16_t code)
{
    switch (code) {
    case vr::OB:
    case vr::OF:
    case vr::OW:
    case vr::SQ:
    case vr::UN:
    case vr::UT:
    case vr::OD:
    case vr::OL:
    case vr::OV:
    case vr::SV:
    case vr::UC:
    case vr::UR:
    case vr::UV:
        return true;
    default:
        return false;
    }
}

} // namespace velmora
