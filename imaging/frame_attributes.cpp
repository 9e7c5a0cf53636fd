// FrameAttributes: the top level, then the shared group, then frame k's per-frame group.
#include "imaging/frame_attributes.h"

#include "toolkit/character_set.h"
#include "toolkit/data_set.h"
#include "toolkit/decimal_string.h"

#include <cmath>
#include <vector>

namespace velmora {

namespace {

constexpr uint32_t TAG_IMAGE_POSITION = 0x00200032;
constexpr uint32_t TAG_IMAGE_ORIENTATION = 0x00200037;
constexpr uint32_t TAG_GRID_FRAME_OFFSETS = 0x3004000C;
constexpr uint32_t TAG_SHARED_FUNCTIONAL_GROUPS = 0x52009229;
constexpr uint32_t TAG_PER_FRAME_FUNCTIONAL_GROUPS = 0x52009230;
constexpr uint32_t TAG_ITEM = 0xFFFEE000;

ElementId TopLevel(const DataSet& dataSet, uint32_t tag)
{
    return dataSet.FindElement(NO_ELEMENT, tag, true);
}

// Item `index` (1-based) of `sequence`, delimiters not counted; NO_ELEMENT past its end.
ElementId Item(const DataSet& dataSet, ElementId sequence, uint32_t index)
{
    return index == 0 ? NO_ELEMENT : dataSet.NthChildWithTag(sequence, TAG_ITEM, index - 1);
}

// `tag` in the first item of one of the macro sequences of a functional group item.
ElementId InGroupItem(const DataSet& dataSet, ElementId groupItem, uint32_t tag)
{
    if (groupItem == NO_ELEMENT)
        return NO_ELEMENT;
    for (ElementId macro = dataSet.FirstChild(groupItem); macro != NO_ELEMENT;
         macro = dataSet.NextSibling(macro)) {
        const ElementId first = dataSet.FirstChild(Item(dataSet, macro, 1));
        if (first == NO_ELEMENT)
            continue;
        const ElementId found = dataSet.FindElement(first, tag, true);
        if (found != NO_ELEMENT)
            return found;
    }
    return NO_ELEMENT;
}

// The values of decimal string `id`, at least `count` of them; nothing when it is absent, holds
// fewer, or one of them is no number.
std::optional<std::vector<double>> Numbers(DataSet& dataSet, ElementId id, size_t count)
{
    if (id == NO_ELEMENT)
        return std::nullopt;
    std::vector<double> numbers;
    for (const std::string& text : GetTexts(dataSet, id)) {
        const std::optional<double> number = ParseDecimalString(text);
        if (!number)
            return std::nullopt;
        numbers.push_back(*number);
    }
    if (numbers.size() < count)
        return std::nullopt;
    return numbers;
}

} // namespace

bool HasFunctionalGroups(const DataSet& dataSet)
{
    return TopLevel(dataSet, TAG_SHARED_FUNCTIONAL_GROUPS) != NO_ELEMENT
        || TopLevel(dataSet, TAG_PER_FRAME_FUNCTIONAL_GROUPS) != NO_ELEMENT;
}

ElementId FindFrameAttribute(const DataSet& dataSet, uint32_t tag, uint32_t frame)
{
    if (const ElementId top = TopLevel(dataSet, tag); top != NO_ELEMENT)
        return top;
    const ElementId shared = Item(dataSet, TopLevel(dataSet, TAG_SHARED_FUNCTIONAL_GROUPS), 1);
    if (const ElementId found = InGroupItem(dataSet, shared, tag); found != NO_ELEMENT)
        return found;
    const ElementId perFrame = Item(dataSet, TopLevel(dataSet, TAG_PER_FRAME_FUNCTIONAL_GROUPS), frame);
    return InGroupItem(dataSet, perFrame, tag);
}

bool HasGridFrameOffsets(DataSet& dataSet)
{
    const ElementId offsets = TopLevel(dataSet, TAG_GRID_FRAME_OFFSETS);
    return offsets != NO_ELEMENT && !HasFunctionalGroups(dataSet) && GetTexts(dataSet, offsets).size() >= 2;
}

std::optional<std::array<double, 3>> GridFramePosition(DataSet& dataSet, uint32_t frame)
{
    const auto position = Numbers(dataSet, FindFrameAttribute(dataSet, TAG_IMAGE_POSITION, frame), 3);
    if (frame == 0 || !position)
        return std::nullopt;
    // The grid's position is its first frame's, whatever the offsets and the orientation say.
    if (frame == 1) {
        const std::vector<double>& p = *position;
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            return std::nullopt;
        return std::array { p[0], p[1], p[2] };
    }
    const auto offsets = Numbers(dataSet, TopLevel(dataSet, TAG_GRID_FRAME_OFFSETS), frame);
    const auto cosines = Numbers(dataSet, FindFrameAttribute(dataSet, TAG_IMAGE_ORIENTATION, frame), 6);
    if (!offsets || !cosines)
        return std::nullopt;
    const std::vector<double>& r = *cosines; // row, then column direction
    const std::array<double, 3> normal
        = { r[1] * r[5] - r[2] * r[4], r[2] * r[3] - r[0] * r[5], r[0] * r[4] - r[1] * r[3] };
    const double length = std::hypot(normal[0], normal[1], normal[2]);
    if (!(length > 0.0) || !std::isfinite(length))
        return std::nullopt;
    const double along = ((*offsets)[frame - 1] - offsets->front()) / length;
    std::array<double, 3> placed;
    for (size_t axis = 0; axis < 3; ++axis) {
        placed[axis] = (*position)[axis] + along * normal[axis];
        if (!std::isfinite(placed[axis]))
            return std::nullopt;
    }
    return placed;
}

} // namespace velmora
