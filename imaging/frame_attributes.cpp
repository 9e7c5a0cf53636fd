// FrameAttributes: the top level, then the shared group, then frame k's per-frame group.
#include "imaging/frame_attributes.h"

#include "toolkit/data_set.h"

namespace velmora {

namespace {

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
    if (index == 0)
        return NO_ELEMENT;
    for (ElementId child = dataSet.FirstChild(sequence); child != NO_ELEMENT;
         child = dataSet.NextSibling(child))
        if (dataSet.GetTag(child) == TAG_ITEM && --index == 0)
            return child;
    return NO_ELEMENT;
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

} // namespace velmora
