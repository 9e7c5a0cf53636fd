// TagDictionary: the first matching row in table order, found through an index of single-tag
// rows plus the few masked rows that could match a tag's top byte, checked in table order.
#include "toolkit/tag_dictionary.h"

#include "toolkit/vr_code.h"

#include <algorithm>
#include <new>

namespace velmora {
namespace {

// Group lengths (element 0000) all find the row of (0000,0000).
constexpr Tag Normalise(Tag tag) { return TagElement(tag) == 0 ? 0 : tag; }

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
    try {
        for (int32_t i = 0; i < count; ++i) {
            const TagRow& row = rows[i];
            if (row.mask == 0xFFFFFFFFu) {
                m_exact.emplace_back(row.tag, i);
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
    std::sort(m_exact.begin(), m_exact.end());
    m_rows = rows;
    m_count = count;
    return SUCCESS;
}

const TagRow* TagDictionary::Row(int32_t index) const
{
    return (index >= 0 && index < m_count) ? &m_rows[index] : nullptr;
}

int32_t TagDictionary::IndexOf(Tag tag) const
{
    tag = Normalise(tag);
    int32_t best = -1;
    const auto exact = std::lower_bound(m_exact.begin(), m_exact.end(), std::pair<uint32_t, int32_t>(tag, -1));
    if (exact != m_exact.end() && exact->first == tag)
        best = exact->second;
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
