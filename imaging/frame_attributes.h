// FrameAttributes: where the value of an image attribute for one frame is found. Enhanced
// multi-frame images (Enhanced CT, MR, PET, segmentations ...) keep rescale, window, pixel
// spacing and plane position in functional group macros rather than at the top level: the
// Shared Functional Groups Sequence (5200,9229) holds the values of every frame, item k of the
// Per-frame Functional Groups Sequence (5200,9230) those of frame k (PS3.3 C.7.6.16). The
// description, the overlay and the ruler all look values up here. Imaging layer. Qt-free.
#pragma once

#include "toolkit/element_tree.h"

#include <cstdint>

namespace velmora {

class DataSet;

// True when the top level holds a Shared or a Per-frame Functional Groups Sequence.
bool HasFunctionalGroups(const DataSet& dataSet);

// The element holding `tag` for `frame` (1-based): the top-level element when there is one;
// else the one in a macro of the shared functional groups item; else the one in a macro of
// per-frame item `frame`. Within a group item, each macro sequence's first item is searched.
// NO_ELEMENT when none of them holds it.
ElementId FindFrameAttribute(const DataSet& dataSet, uint32_t tag, uint32_t frame);

} // namespace velmora
