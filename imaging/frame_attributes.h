// FrameAttributes: where the value of an image attribute for one frame is found. Enhanced
// multi-frame images (Enhanced CT, MR, PET, segmentations ...) keep rescale, window, pixel
// spacing and plane position in functional group macros rather than at the top level: the
// Shared Functional Groups Sequence (5200,9229) holds the values of every frame, item k of the
// Per-frame Functional Groups Sequence (5200,9230) those of frame k (PS3.3 C.7.6.16). A dose
// grid (RT Dose) gives one position and places its frames by an offset vector instead. The
// description, the overlay and the ruler all look values up here. Imaging layer. Qt-free.
#pragma once

#include "toolkit/element_tree.h"

#include <array>
#include <cstdint>
#include <optional>

namespace velmora {

class DataSet;

// True when the top level holds a Shared or a Per-frame Functional Groups Sequence.
bool HasFunctionalGroups(const DataSet& dataSet);

// The element holding `tag` for `frame` (1-based): the top-level element when there is one;
// else the one in a macro of the shared functional groups item; else the one in a macro of
// per-frame item `frame`. Within a group item, each macro sequence's first item is searched.
// NO_ELEMENT when none of them holds it.
ElementId FindFrameAttribute(const DataSet& dataSet, uint32_t tag, uint32_t frame);

// True when the frames of `dataSet` lie on the planes of a Grid Frame Offset Vector (3004,000C)
// at its top level, of two values or more, rather than at positions of their own (functional
// groups): a multi-frame dose grid. Its Image Position (Patient) and any Slice Location are then
// the first frame's only.
bool HasGridFrameOffsets(DataSet& dataSet);

// Image Position (Patient) (0020,0032) of frame `frame` (1-based) of such a grid: for frame 1
// the position itself; for the others the position moved along the normal (row x column) of
// Image Orientation (Patient) (0020,0037) by offset `frame` minus the first offset. PS3.3
// C.8.8.3.2: a first offset of 0 makes the offsets relative to that position; a first offset
// equal to its z, with an orientation of 1\0\0\0\1\0, makes them patient z coordinates; both
// give this plane. Nothing when a value needed is absent or no number (so only frame 1 without
// an orientation), the orientation has no normal, or no offset is given for the frame.
std::optional<std::array<double, 3>> GridFramePosition(DataSet& dataSet, uint32_t frame);

} // namespace velmora
