// VrDictionary: for each value representation its value kind, unit size and encoding flags,
// with a direct code index and in-place byte-order conversion of values.
// One process-wide instance, empty until the start-up installs the built-in rows.
#pragma once

#include "toolkit/result_code.h"
#include "toolkit/vr_code.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace velmora {

enum class VrKind : int32_t {
    AGE = 0,
    NAME = 1,
    DATE = 2,
    TIME = 3,
    DATE_TIME = 4,
    STRING = 5,
    TAG = 6,
    SINT1 = 7,
    UINT1 = 8,
    SINT2 = 9,
    UINT2 = 10,
    SINT4 = 11,
    UINT4 = 12,
    FLOAT4 = 13,
    FLOAT8 = 14,
    SEQUENCE = 15,
    // 64-bit integers of the VRs newer than the dictionary (SV, UV, OV).
    SINT8 = 16,
    UINT8 = 17,
};

// Encoding flags of a VR, a bit set.
enum class VrFlags : uint32_t {
    NONE = 0,
    DELIMITER = 0x01, // several values separated by '\'
    FIXED = 0x02, // values have a fixed size
    SWAP = 0x04, // multi-byte units change order between little- and big-endian encodings
    BINARY = 0x08, // binary numbers, not text
    LEFT_20 = 0x10, // leading spaces are padding
    RIGHT_20 = 0x20, // trailing spaces are padding; odd values are padded with a space
    RIGHT_00 = 0x40, // values are padded with NUL
};

constexpr VrFlags operator|(VrFlags a, VrFlags b)
{
    return static_cast<VrFlags>(static_cast<uint32_t>(a) | static_cast<uint32_t>(b));
}
constexpr VrFlags operator&(VrFlags a, VrFlags b)
{
    return static_cast<VrFlags>(static_cast<uint32_t>(a) & static_cast<uint32_t>(b));
}
// True when every bit of `flag` is set in `flags`.
constexpr bool HasFlag(VrFlags flags, VrFlags flag)
{
    return (flags & flag) == flag && flag != VrFlags::NONE;
}

struct VrRow {
    uint16_t code; // first letter in the high byte
    const char* name; // "Unsigned Short"
    int32_t unitSize; // bytes per value unit
    VrKind kind;
    VrFlags flags;
};

enum class ByteOrder { Little, Big };

class VrDictionary {
public:
    // Points the dictionary at caller-owned rows and builds the code index. ERROR_MEMORY_ALLOC
    // when the index cannot be allocated, ERROR_GENERAL_PARAMETER for a negative count or a null
    // array with rows; after a failure every code answers -1.
    ResultCode Install(const VrRow* rows, int32_t count);

    int32_t Count() const { return m_count; }
    const VrRow* Row(int32_t index) const; // null for an index without a row

    // Row index of a VR code, -1 when the dictionary has no such VR.
    int32_t IndexOf(uint16_t code) const
    {
        const uint32_t offset = static_cast<uint32_t>(code) - m_smallest;
        return offset < m_index.size() ? m_index[offset] : -1;
    }
    // Queries by row index; -1 (or any index without a row) answers as an unknown VR does:
    // single bytes (UINT1, unit size 1) that are BINARY and never swapped.
    VrKind KindOf(int32_t index) const;
    VrFlags FlagsOf(int32_t index) const;
    int32_t UnitSizeOf(int32_t index) const;
    uint16_t CodeOf(int32_t index) const; // 0 for -1
    std::string_view NameOf(int32_t index) const; // "" for -1

    // The row of `code` for reading its values: the dictionary's, else the row of a VR added to
    // the standard after the dictionary's edition (OD, OL, OV, SV, UC, UR, UV); null for any
    // other code. IndexOf stays -1 for the newer VRs: they are not rows of this dictionary.
    const VrRow* RowOf(uint16_t code) const;

    // Converts the byte order of `length` bytes of a value of the VR at `index` in place. Does
    // nothing for -1, null data, an undefined length (0xFFFFFFFF), equal orders or a VR without
    // SWAP. Units are 2 bytes for TAG (each half of a tag separately) and the unit size
    // otherwise; a partial unit at the end is left alone.
    void Swap(int32_t index, void* data, uint32_t length, ByteOrder from, ByteOrder to) const;
    // The same by VR code, also for the binary VRs newer than the dictionary (OD, OL, OV, SV,
    // UV), whose numbers change byte order as their older siblings' do.
    void SwapValue(uint16_t code, void* data, uint32_t length, ByteOrder from, ByteOrder to) const;
    // True when values of `code` change between little- and big-endian encodings.
    bool Swaps(uint16_t code) const { return SwapUnitOf(code) > 1; }

private:
    // Bytes per swapped unit of `code`: 2 for TAG, the unit size of a VR with SWAP, 1 otherwise.
    int32_t SwapUnitOf(uint16_t code) const;

    const VrRow* m_rows = nullptr;
    int32_t m_count = 0;
    uint32_t m_smallest = 0;
    std::vector<int32_t> m_index; // row index per (code - smallest), -1 where no row
};

// The process-wide dictionary.
VrDictionary& GlobalVrDictionary();

} // namespace velmora
