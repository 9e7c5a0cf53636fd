// What the reader accepts beyond the standard because the peers read such files too: each
// tolerance a file needed is recorded by the parse (DataSet::Tolerances), so that tools can
// say so instead of passing over it in silence.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmora {

enum ReadTolerance : uint32_t {
    // The transfer syntax says explicit VR but the first element after group 0002 has no VR (its
    // two VR bytes are not upper-case letters): the body is read as implicit VR.
    TOLERATED_IMPLICIT_BODY = 0x1,
    // Values of odd length are read as they stand.
    TOLERATED_ODD_LENGTH = 0x2,
    // Eight zero bytes where an element should start (tag (0000,0000), length 0, never a real
    // element): the data set ends there, so trailing zero padding is not read as elements.
    TOLERATED_ZERO_PADDING = 0x4,
    // The transfer syntax says implicit VR (or there is none) but the first element after group
    // 0002 carries a known VR where an implicit length would be: the body is read as explicit VR.
    TOLERATED_EXPLICIT_BODY = 0x8,
    // With TOLERATED_EXPLICIT_BODY, in a file without group 0002: the first tag's group has the
    // byte order of big-endian (0x0800 for 0x0008), so the data set is read as big-endian.
    TOLERATED_BIG_ENDIAN_BODY = 0x10,
    // A damaged delimiter: a data element directly inside a sequence (where only items belong),
    // or an item directly inside an item, closes the container before it; an item outside any
    // sequence ends the data set.
    TOLERATED_MISPLACED_ITEM = 0x20,
};

inline constexpr ReadTolerance kReadTolerances[] = { TOLERATED_IMPLICIT_BODY, TOLERATED_ODD_LENGTH,
    TOLERATED_ZERO_PADDING, TOLERATED_EXPLICIT_BODY, TOLERATED_BIG_ENDIAN_BODY, TOLERATED_MISPLACED_ITEM };

// A one-line description of `tolerance` for warnings.
constexpr std::string_view ToleranceText(ReadTolerance tolerance)
{
    switch (tolerance) {
    case TOLERATED_IMPLICIT_BODY:
        return "the transfer syntax says explicit VR but the data set is implicit VR; read as implicit";
    case TOLERATED_ODD_LENGTH:
        return "values of odd length; read as they stand";
    case TOLERATED_ZERO_PADDING:
        return "zero bytes where an element should start; the data set ends there";
    case TOLERATED_EXPLICIT_BODY:
        return "the data set is explicit VR where implicit VR was expected (the transfer syntax says so, "
               "or there is none); read as explicit";
    case TOLERATED_BIG_ENDIAN_BODY:
        return "no group 0002 and a first tag in big-endian byte order; read as big-endian";
    case TOLERATED_MISPLACED_ITEM:
        return "a data element or item where a damaged delimiter should have closed its sequence or "
               "item; the container is closed before it (outside any sequence, the data set ends there)";
    }
    return {};
}

} // namespace velmora
