// Text values as UTF-8: the bytes of a value decoded by the data set's Specific Character Set
// (0008,0005), single-byte sets, ISO 2022 code extensions with escape sequences, UTF-8, GB18030
// and GBK (PS3.5 section 6.1, Annexes H, I, J). Every text the program shows goes through
// DecodeText; the conversions themselves are glibc's iconv.
#pragma once

#include "toolkit/element_tree.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmora {

class DataSet;

// One value's bytes (as GetString gives them: split at '\', padding trimmed) as UTF-8.
// `characterSets` are the values of (0008,0005) in force, `vr` the element's VR: PN, LO, SH,
// ST, LT, UT and UC decode by the character sets (PN component groups each on their own, with
// trailing empty groups dropped); other VRs, and values without a known character set, come out
// as UTF-8 when their bytes are valid UTF-8 and as Latin-1 otherwise. Bytes that the declared
// set cannot decode are shown as Latin-1: the result never holds a replacement character.
std::string DecodeText(std::string_view bytes, uint16_t vr, std::span<const std::string> characterSets);

// The values of the (0008,0005) in force at `id`: the one of the innermost enclosing item that
// has its own, else the top-level one; empty when there is none.
std::vector<std::string> CharacterSetsAt(DataSet& dataSet, ElementId id);

// CharacterSetsAt for a walk over many elements of a data set that does not change meanwhile
// (dump, the tags window): each level is searched once, so the walk stays linear however many
// elements a level holds.
class CharacterSetLookup {
public:
    explicit CharacterSetLookup(DataSet& dataSet)
        : m_dataSet(dataSet)
    {
    }
    // As CharacterSetsAt(dataSet, id); valid until the lookup is destroyed.
    const std::vector<std::string>& At(ElementId id);

private:
    DataSet& m_dataSet;
    // Per level (the item whose elements were searched, NO_ELEMENT for the top level): the
    // character sets in force there.
    std::unordered_map<ElementId, std::vector<std::string>> m_byLevel;
    const std::vector<std::string> m_none;
};

// DataSet::GetString(id, index) decoded by DecodeText with CharacterSetsAt(id); nothing when
// GetString gives null.
std::optional<std::string> GetText(DataSet& dataSet, ElementId id, uint32_t index);
// Every value of `id` decoded so, read in one pass (DataSet::GetStrings); empty when none.
std::vector<std::string> GetTexts(DataSet& dataSet, ElementId id);
std::vector<std::string> GetTexts(DataSet& dataSet, ElementId id, CharacterSetLookup& lookup);

} // namespace velmora
