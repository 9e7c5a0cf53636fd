// ElementText: one node of a data set as text, the fields `velmora-tool dump` prints and the tags
// window shows: tag, VR, value length, dictionary name and the value for the VRs that show one.
// One formatting for both, so the two never disagree. Sits in the toolkit above DataSet.
#pragma once

#include "toolkit/character_set.h"
#include "toolkit/data_set.h"

#include <cstdint>
#include <string>

namespace velmora {

struct ElementText {
    int32_t depth = 0; // 0 at the top level
    std::string tag; // "(gggg,eeee)", lower-case hex
    std::string vr; // two letters
    std::string length; // decimal, or "undefined"
    std::string name; // the tag dictionary's name, or "Unknown"
    // Text VRs: every value joined by '\'; binary numbers of at most 16 units: '\'-joined
    // decimals (AT as a tag). Empty for bulk data and containers. Control characters become '.'.
    std::string value;
};

// The text of node `id` (the tag dictionary must be installed).
ElementText DescribeElement(DataSet& dataSet, ElementId id);
// The same within a walk over the data set: `lookup` finds each level's character sets once.
ElementText DescribeElement(DataSet& dataSet, ElementId id, CharacterSetLookup& lookup);

// "<2 spaces per depth>(gggg,eeee) VR LENGTH NAME[ = VALUE]", no line end.
std::string FormatElementLine(const ElementText& text);

} // namespace velmora
