// OverlayFacts: what the corner overlay tells about an image (who, which study and series, where
// in the series, the window and zoom shown, the slice), read from the data set while a tile loads
// it (text decoded to UTF-8 by its character set), and the four corners' lines composed from
// them; the painter draws them. Sits in the imaging layer above the toolkit. Qt-free.
#pragma once

#include "imaging/window_presets.h"

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class DataSet;

struct OverlayFacts {
    std::string patientName; // (0010,0010), its components separated by single spaces
    std::string patientId; // (0010,0020)
    std::string studyDate; // (0008,0020), DateText
    std::string studyDescription; // (0008,1030)
    std::string seriesNumber; // (0020,0011)
    std::string seriesDescription; // (0008,103E)
    std::string instanceNumber; // (0020,0013)
    std::string sliceLocation; // (0020,1041), MillimetreText; empty when absent
    std::string imagePosition; // (0020,0032), MillimetreText of its three values; empty when absent
};

// Reads the facts of `frame` (1-based) of `dataSet`: top-level elements, else, in an enhanced
// multi-frame image, the frame's functional groups (its plane position); in a dose grid, the
// frame's plane from the grid's offsets, without a slice location. Absent elements leave fields
// empty.
OverlayFacts ReadOverlayFacts(DataSet& dataSet, uint32_t frame = 1);

// What the tile adds: the image's place in its series (1-based; 0 when unknown), the window it
// shows (none for frames that are not windowed) and the units it reads in, and its zoom.
struct OverlayView {
    int32_t imageIndex = 0;
    int32_t imageCount = 0;
    std::optional<WindowValues> window;
    WindowUnits units = WindowUnits::Whole;
    double zoom = 1.0;
};

// The overlay's forms of stored values; a value that does not parse is given back as stored.
// A date, DA "YYYYMMDD" or the older "YYYY.MM.DD", as "YYYY-MM-DD".
std::string DateText(std::string_view date);
// Decimal strings (DS) in millimetres with two decimals, joined by ", ", then " mm" when every one
// parsed: "-77.2040634155" gives "-77.20 mm".
std::string MillimetreText(std::span<const std::string> values);
// Computed values in the same form.
std::string MillimetreText(std::span<const double> values);
// "W: w L: l": whole numbers in Whole units, else four significant digits of the width.
std::string WindowText(WindowValues window, WindowUnits units);

// Top-left, top-right, bottom-left, bottom-right; empty lines are left out.
enum class Corner : uint8_t { TopLeft = 0, TopRight = 1, BottomLeft = 2, BottomRight = 3 };
using CornerLines = std::array<std::vector<std::string>, 4>;

// Top-left: patient name, patient ID. Top-right: study date, study description. Bottom-left:
// "Se: N description", "Im: N / count". Bottom-right: "W: w L: l", "Zoom: z%" (whole percent),
// then the slice location ("Loc: l mm") or, without one, the position ("Pos: x, y, z mm").
CornerLines ComposeCorners(const OverlayFacts& facts, const OverlayView& view);

} // namespace velmora
