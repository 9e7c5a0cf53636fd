// WindowPresets: the fixed windows a reader picks by key (brain, soft tissue, lung, bone,
// abdomen, in Hounsfield units), which images they apply to, the frame's own range as a window,
// and the window a greyscale frame is shown with. Every window here is a centre and width in
// the modality's rescaled units; the display bitmap maps it to stored values with its one window
// formula. Sits in the imaging layer beside DisplayBitmap. Qt-free.
#pragma once

#include "imaging/image_description.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace velmora {

class DataSet;

struct WindowValues {
    double center = 0.0;
    double width = 0.0;
    bool operator==(const WindowValues&) const = default;
};

struct WindowPreset {
    std::string_view name;
    WindowValues window; // Hounsfield units
};

// Brain 80/40, soft tissue 400/40, lung 1500/-600, bone 2000/300, abdomen 350/50 (width/level).
std::span<const WindowPreset> WindowPresets();

// Which window the tiles show: the file's own, the frame's minimum to maximum, or a preset.
enum class WindowMode : uint8_t { File, FrameRange, Preset };
struct WindowChoice {
    WindowMode mode = WindowMode::File;
    uint32_t preset = 0; // index into WindowPresets() when mode is Preset
    bool operator==(const WindowChoice&) const = default;
};

// True for frames the bitmap windows: one greyscale sample of 9 to 16 or 32 bits, not mapped
// through a modality or VOI table.
bool IsWindowed(const ImageDescription& description);

// True when frame `frame` (1-based), described by `description`, is windowed and its rescale
// gives Hounsfield units: slope and intercept present, and Rescale Type (0028,1054) "HU", or no
// Rescale Type and Modality (0008,0060) "CT" (whose rescale is defined to give HU).
bool RescalesToHounsfield(DataSet& dataSet, const ImageDescription& description, uint32_t frame);

// The window from the frame's minimum to its maximum (the cached pixel range, which must be
// known), a quarter of a stored step wider on each side so the formula's rounding keeps both ends.
WindowValues FrameRangeWindow(const ImageDescription& description);

// The window the bitmap applies to a windowed frame whose range is known, in rescaled units:
// the file's window, a set one or the formula's default, narrowed to the frame's range.
std::optional<WindowValues> ShownWindow(const ImageDescription& description);

// How a window's values read in the frame's units: Whole when every rescaled value is a whole
// number (integer samples, whole slope and intercept, as CT's Hounsfield units), Fractional
// otherwise (a fractional slope as PET's, float samples).
enum class WindowUnits : uint8_t { Whole, Fractional };
WindowUnits UnitsOf(const ImageDescription& description);

// The window that `window` followed by the display bitmap's brightness and contrast totals amounts
// to: brightness moves the centre by its grey levels' share of the width, contrast divides the
// width by its scale. Unchanged when both totals are 0; a contrast scale of 0 keeps the width.
WindowValues AdjustedWindow(WindowValues window, int32_t brightnessTotal, int32_t contrastTotal);

} // namespace velmora
