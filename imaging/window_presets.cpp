// WindowPresets: the presets table and the windows derived from a frame.
#include "imaging/window_presets.h"

#include "imaging/frame_attributes.h"
#include "imaging/pixel_layout.h"
#include "toolkit/data_set.h"

#include <array>
#include <cmath>
#include <string>

namespace velmora {

namespace {

constexpr uint32_t TAG_MODALITY = 0x00080060;
constexpr uint32_t TAG_RESCALE_TYPE = 0x00281054;

// The first value of the text element `id`; nullopt when absent.
std::optional<std::string> Text(DataSet& dataSet, ElementId id)
{
    if (id == NO_ELEMENT)
        return std::nullopt;
    char* text = dataSet.GetString(id, 0);
    std::string value = text != nullptr ? text : "";
    DataSet::FreeString(text);
    return value;
}

// Rescaled value of stored value `v`.
double Rescaled(const ImageDescription& d, double v)
{
    double intercept = 0.0, slope = 1.0;
    UsableRescale(d, intercept, slope);
    return v * slope + intercept;
}

} // namespace

std::span<const WindowPreset> WindowPresets()
{
    static constexpr std::array<WindowPreset, 5> presets { {
        { "Brain", { 40.0, 80.0 } },
        { "Soft tissue", { 40.0, 400.0 } },
        { "Lung", { -600.0, 1500.0 } },
        { "Bone", { 300.0, 2000.0 } },
        { "Abdomen", { 50.0, 350.0 } },
    } };
    return presets;
}

bool IsWindowed(const ImageDescription& d)
{
    const bool grey
        = d.photometricCode == PHOTOMETRIC_MONOCHROME1 || d.photometricCode == PHOTOMETRIC_MONOCHROME2;
    const bool tables = (d.modalityLut.Present() || d.voiLut.Present()) && !d.bothTables;
    const bool deep = d.bitsAllocated == 32 || (d.bitsAllocated > 8 && d.bitsAllocated <= 16 && !tables);
    return grey && d.samplesPerPixel == 1 && deep;
}

bool RescalesToHounsfield(DataSet& dataSet, const ImageDescription& d, uint32_t frame)
{
    double intercept = 0.0, slope = 1.0;
    if (!IsWindowed(d) || !UsableRescale(d, intercept, slope))
        return false;
    if (const std::optional<std::string> type
        = Text(dataSet, FindFrameAttribute(dataSet, TAG_RESCALE_TYPE, frame)))
        return *type == "HU";
    return Text(dataSet, dataSet.FindElement(NO_ELEMENT, TAG_MODALITY, true)).value_or("") == "CT";
}

WindowValues FrameRangeWindow(const ImageDescription& d)
{
    const double low = Rescaled(d, d.pixelMinimum - 0.25);
    const double high = Rescaled(d, d.pixelMaximum + 0.25);
    return { (low + high) / 2.0, std::fabs(high - low) };
}

std::optional<WindowValues> ShownWindow(const ImageDescription& d)
{
    if (!IsWindowed(d) || !d.minimumKnown || !d.maximumKnown)
        return std::nullopt;
    int64_t lo = d.pixelMinimum, hi = d.pixelMaximum;
    WindowRange(d, lo, hi);
    const double low = Rescaled(d, static_cast<double>(lo)), high = Rescaled(d, static_cast<double>(hi));
    return WindowValues { (low + high) / 2.0, std::fabs(high - low) };
}

WindowUnits UnitsOf(const ImageDescription& d)
{
    double intercept = 0.0, slope = 1.0;
    UsableRescale(d, intercept, slope);
    const bool whole = !d.floatSamples && std::trunc(slope) == slope && std::trunc(intercept) == intercept;
    return whole ? WindowUnits::Whole : WindowUnits::Fractional;
}

WindowValues AdjustedWindow(WindowValues window, int32_t brightnessTotal, int32_t contrastTotal)
{
    // As DisplayBitmap adjusts an 8-bit colour table: grey + B, then the distance from mid-grey
    // times (k / 1000)^2, with B = total * 255 / 1000 rounded and k = 1000 + contrast total.
    const int64_t b = (static_cast<int64_t>(brightnessTotal) * 255 + 500) / 1000;
    const double k = (1000.0 + contrastTotal) / 1000.0;
    const double scale = k * k;
    WindowValues adjusted = window;
    adjusted.center = window.center - static_cast<double>(b) * window.width / 255.0;
    if (scale > 0.0)
        adjusted.width = window.width / scale;
    return adjusted;
}

} // namespace velmora
