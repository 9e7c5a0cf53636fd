// TagDictionary: for each standard attribute (with wildcard masks for repeating groups) its VR,
// value multiplicity and name. A row matches tag t when t & mask equals the row's tag; a look-up
// answers the first matching row in table order, and every group length (element 0000) finds
// row 0. One process-wide instance, empty until the start-up installs the built-in rows.
#pragma once

#include "toolkit/result_code.h"
#include "toolkit/tag.h"

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velmora {

struct TagRow {
    uint32_t tag; // with the masked-out digits zero: (60xx,3000) is 0x60003000
    uint32_t mask; // 0xFFFFFFFF for one tag
    uint16_t vr; // VR code
    const char* vm; // value multiplicity: "1", "1-n", "2-2n", ...
    const char* name; // "Pixel Data"
};

class TagDictionary {
public:
    // Points the dictionary at caller-owned rows and builds its look-up index.
    // ERROR_MEMORY_ALLOC when the index cannot be allocated, ERROR_GENERAL_PARAMETER for a
    // negative count or a null array with rows; the dictionary is empty after a failure.
    ResultCode Install(const TagRow* rows, int32_t count);

    int32_t Count() const { return m_count; }
    const TagRow* Row(int32_t index) const; // null for an index without a row

    // The first row in table order whose tag equals tag & mask (group lengths: row 0's), or -1.
    int32_t IndexOf(Tag tag) const;
    // The same answer by scanning every row; the reference the index is checked against.
    int32_t IndexOfByScan(Tag tag) const;

    // Queries by row index; -1 gives the neutral answer noted.
    uint16_t VrOf(int32_t index) const; // "UN"
    std::string_view VmOf(int32_t index) const; // ""
    std::string_view NameOf(int32_t index) const; // "Unknown"

private:
    const TagRow* m_rows = nullptr;
    int32_t m_count = 0;
    struct Slot {
        uint32_t tag;
        int32_t index; // -1: empty slot
    };
    int32_t FindExact(Tag tag) const;

    // Open-addressed hash of the single-tag rows: the first row in table order of each tag.
    std::vector<Slot> m_exact;
    uint32_t m_shift = 32;
    // Masked rows that can match a tag with a given top byte, each list in table order.
    std::array<std::vector<int32_t>, 256> m_masked;
};

// The process-wide dictionary.
TagDictionary& GlobalTagDictionary();

} // namespace velmora
