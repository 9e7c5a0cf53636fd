// VrDictionary: a direct index from VR code to row, and byte-order conversion by VR.
#include "toolkit/vr_dictionary.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace velmora {
namespace {

// Reverses the bytes of each of `units` values of type T; the data need not be aligned.
template <typename T, typename Reverse> void SwapUnits(uint8_t* bytes, size_t units, Reverse reverse)
{
    for (size_t i = 0; i < units; ++i) {
        T value;
        std::memcpy(&value, bytes + i * sizeof(T), sizeof(T));
        value = reverse(value);
        std::memcpy(bytes + i * sizeof(T), &value, sizeof(T));
    }
}

// The VRs added to the standard after the dictionary's edition, as PS3.5 Table 6.2-1 defines them.
// UC is multi-valued text with trailing padding only; UR one value, no character set.
constexpr VrFlags kBinaryNumbers = VrFlags::FIXED | VrFlags::SWAP | VrFlags::BINARY;
constexpr VrRow kNewerRows[] = {
    { vr::OD, "Other Double", 8, VrKind::FLOAT8, kBinaryNumbers },
    { vr::OL, "Other Long", 4, VrKind::UINT4, kBinaryNumbers },
    { vr::OV, "Other 64-bit Very Long", 8, VrKind::UINT8, kBinaryNumbers },
    { vr::SV, "Signed 64-bit Very Long", 8, VrKind::SINT8, kBinaryNumbers },
    { vr::UC, "Unlimited Characters", 1, VrKind::STRING, VrFlags::DELIMITER | VrFlags::RIGHT_20 },
    { vr::UR, "Universal Resource Identifier or Locator", 1, VrKind::STRING, VrFlags::RIGHT_20 },
    { vr::UV, "Unsigned 64-bit Very Long", 8, VrKind::UINT8, kBinaryNumbers },
};

} // namespace

ResultCode VrDictionary::Install(const VrRow* rows, int32_t count)
{
    m_rows = nullptr;
    m_count = 0;
    m_smallest = 0;
    m_index.clear();
    if (count < 0 || (rows == nullptr && count > 0))
        return ERROR_GENERAL_PARAMETER;
    if (count == 0)
        return SUCCESS;

    uint32_t smallest = rows[0].code;
    uint32_t largest = rows[0].code;
    for (int32_t i = 1; i < count; ++i) {
        smallest = std::min<uint32_t>(smallest, rows[i].code);
        largest = std::max<uint32_t>(largest, rows[i].code);
    }
    try {
        m_index.assign(largest - smallest + 1, -1);
    } catch (const std::bad_alloc&) {
        m_index.clear();
        return ERROR_MEMORY_ALLOC;
    }
    // Later rows with the same code win, as each row's index is stored in turn.
    for (int32_t i = 0; i < count; ++i)
        m_index[rows[i].code - smallest] = i;
    m_rows = rows;
    m_count = count;
    m_smallest = smallest;
    return SUCCESS;
}

const VrRow* VrDictionary::Row(int32_t index) const
{
    return (index >= 0 && index < m_count) ? &m_rows[index] : nullptr;
}

VrKind VrDictionary::KindOf(int32_t index) const
{
    const VrRow* row = Row(index);
    return row ? row->kind : VrKind::UINT1;
}

VrFlags VrDictionary::FlagsOf(int32_t index) const
{
    const VrRow* row = Row(index);
    return row ? row->flags : VrFlags::BINARY;
}

int32_t VrDictionary::UnitSizeOf(int32_t index) const
{
    const VrRow* row = Row(index);
    return row ? row->unitSize : 1;
}

uint16_t VrDictionary::CodeOf(int32_t index) const
{
    const VrRow* row = Row(index);
    return row ? row->code : 0;
}

std::string_view VrDictionary::NameOf(int32_t index) const
{
    const VrRow* row = Row(index);
    return (row && row->name) ? std::string_view(row->name) : std::string_view();
}

const VrRow* VrDictionary::RowOf(uint16_t code) const
{
    if (const VrRow* row = Row(IndexOf(code)))
        return row;
    for (const VrRow& row : kNewerRows)
        if (row.code == code)
            return &row;
    return nullptr;
}

int32_t VrDictionary::SwapUnitOf(uint16_t code) const
{
    const VrRow* row = RowOf(code);
    if (row == nullptr || !HasFlag(row->flags, VrFlags::SWAP))
        return 1;
    // An attribute tag is two 16-bit numbers, each swapped on its own.
    return row->kind == VrKind::TAG ? 2 : row->unitSize;
}

void VrDictionary::Swap(int32_t index, void* data, uint32_t length, ByteOrder from, ByteOrder to) const
{
    const VrRow* row = Row(index);
    if (row != nullptr)
        SwapValue(row->code, data, length, from, to);
}

void VrDictionary::SwapValue(uint16_t code, void* data, uint32_t length, ByteOrder from, ByteOrder to) const
{
    const int32_t unit = SwapUnitOf(code);
    if (data == nullptr || length == 0xFFFFFFFFu || from == to || unit < 2)
        return;
    auto* bytes = static_cast<uint8_t*>(data);
    const size_t units = length / static_cast<uint32_t>(unit);
    switch (unit) {
    case 2:
        SwapUnits<uint16_t>(bytes, units, [](uint16_t v) { return __builtin_bswap16(v); });
        break;
    case 4:
        SwapUnits<uint32_t>(bytes, units, [](uint32_t v) { return __builtin_bswap32(v); });
        break;
    case 8:
        SwapUnits<uint64_t>(bytes, units, [](uint64_t v) { return __builtin_bswap64(v); });
        break;
    default:
        for (size_t i = 0; i < units; ++i) {
            uint8_t* first = bytes + i * static_cast<size_t>(unit);
            std::reverse(first, first + unit);
        }
    }
}

VrDictionary& GlobalVrDictionary()
{
    static VrDictionary dictionary;
    return dictionary;
}

} // namespace velmora
