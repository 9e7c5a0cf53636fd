// TagDictionary: the first matching row in table order, found through a hash of the single-tag
// rows plus the few masked rows that could match a tag's top byte, checked in table order.
#include "toolkit/tag_dictionary.h"

#include "toolkit/vr_code.h"

#include <new>

namespace velmora {
namespace {

// Group lengths (element 0000) all find the row of (0000,0000).
constexpr Tag Normalise(Tag tag)
{
    return TagElement(tag) == 0 ? 0 : tag;
}

// Fibonacci hashing: the top bits of the product spread consecutive tags over the table.
constexpr uint32_t SlotOf(Tag tag, uint32_t shift)
{
    return (tag * 0x9E3779B1u) >> shift;
}

} // namespace

ResultCode TagDictionary::Install(const TagRow* rows, int32_t count)
{
    m_rows = nullptr;
    m_count = 0;
    m_exact.clear();
    for (auto& list : m_masked)
        list.clear();
    if (count < 0 || (rows == nullptr && count > 0))
        return ERROR_GENERAL_PARAMETER;
    m_shift = 32;
    try {
        // At most half full, so probe runs stay short; at least 2 slots.
        uint32_t bits = 1;
        while ((1u << bits) < 2u * static_cast<uint32_t>(count) && bits < 31)
            ++bits;
        m_exact.assign(size_t { 1 } << bits, Slot { 0, -1 });
        m_shift = 32 - bits;
        const uint32_t slotMask = (1u << bits) - 1;
        for (int32_t i = 0; i < count; ++i) {
            const TagRow& row = rows[i];
            if (row.mask == 0xFFFFFFFFu) {
                uint32_t slot = SlotOf(row.tag, m_shift);
                while (m_exact[slot].index >= 0 && m_exact[slot].tag != row.tag)
                    slot = (slot + 1) & slotMask;
                if (m_exact[slot].index < 0) // a later duplicate never replaces the first row
                    m_exact[slot] = Slot { row.tag, i };
            } else if ((row.mask >> 24) == 0xFFu) {
                // The row matches only tags whose top byte equals its own.
                m_masked[row.tag >> 24].push_back(i);
            } else {
                for (auto& list : m_masked)
                    list.push_back(i);
            }
        }
    } catch (const std::bad_alloc&) {
        m_exact.clear();
        for (auto& list : m_masked)
            list.clear();
        return ERROR_MEMORY_ALLOC;
    }
    m_rows = rows;
    m_count = count;
    return SUCCESS;
}

const TagRow* TagDictionary::Row(int32_t index) const
{
    return (index >= 0 && index < m_count) ? &m_rows[index] : nullptr;
}

int32_t TagDictionary::FindExact(Tag tag) const
{
    if (m_exact.empty())
        return -1;
    const uint32_t slotMask = static_cast<uint32_t>(m_exact.size() - 1);
    for (uint32_t slot = SlotOf(tag, m_shift);; slot = (slot + 1) & slotMask) {
        const Slot& entry = m_exact[slot];
        if (entry.index < 0 || entry.tag == tag)
            return entry.index;
    }
}

int32_t TagDictionary::IndexOf(Tag tag) const
{
    tag = Normalise(tag);
    const int32_t best = FindExact(tag);
    for (const int32_t i : m_masked[tag >> 24]) {
        if (best >= 0 && i > best)
            break;
        if ((tag & m_rows[i].mask) == m_rows[i].tag)
            return i;
    }
    return best;
}

int32_t TagDictionary::IndexOfByScan(Tag tag) const
{
    tag = Normalise(tag);
    for (int32_t i = 0; i < m_count; ++i) {
        if ((tag & m_rows[i].mask) == m_rows[i].tag)
            return i;
    }
    return -1;
}

uint16_t TagDictionary::VrOf(int32_t index) const
{
    const TagRow* row = Row(index);
    return row ? row->vr : vr::UN;
}

std::string_view TagDictionary::VmOf(int32_t index) const
{
    const TagRow* row = Row(index);
    return (row && row->vm) ? std::string_view(row->vm) : std::string_view();
}

std::string_view TagDictionary::NameOf(int32_t index) const
{
    const TagRow* row = Row(index);
    return (row && row->name) ? std::string_view(row->name) : std::string_view("Unknown");
}

TagDictionary& GlobalTagDictionary()
{
    static TagDictionary dictionary;
    return dictionary;
}

} // namespace velmora
