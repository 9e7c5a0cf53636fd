#include "canvas/measurement_scale.h"

#include "toolkit/data_set.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velmora {

namespace {

constexpr uint32_t TAG_PIXEL_SPACING = 0x00280030;
// A spacing above a metre per pixel is no pixel spacing but a damaged value.
constexpr double LARGEST_SPACING = 1000.0;

std::optional<double> SpacingValue(DataSet& dataSet, ElementId id, uint32_t index)
{
    char* text = dataSet.GetString(id, index);
    if (!text)
        return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    const bool whole = end != text && *end == '\0';
    DataSet::FreeString(text);
    if (!whole || !std::isfinite(value) || value <= 0.0 || value > LARGEST_SPACING)
        return std::nullopt;
    return value;
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::optional<PixelSpacing> ReadPixelSpacing(DataSet& dataSet)
{
    const ElementId id = dataSet.FindElement(NO_ELEMENT, TAG_PIXEL_SPACING, true);
    if (id < 0)
        return std::nullopt;
    const std::optional<double> row = SpacingValue(dataSet, id, 0);
    if (!row)
        return std::nullopt;
    char* second = dataSet.GetString(id, 1);
    const bool hasSecond = second != nullptr;
    DataSet::FreeString(second);
    if (!hasSecond)
        return PixelSpacing { *row, *row };
    const std::optional<double> column = SpacingValue(dataSet, id, 1);
    if (!column)
        return std::nullopt;
    return PixelSpacing { *row, *column };
}

std::string FormatAngle(double degrees)
{
    return Format("%3.1f", degrees);
}

double LeadingNumber(std::string_view text)
{
    std::string copy(text);
    const char* begin = copy.c_str();
    char* end = nullptr;
    // strtod takes the longest leading number after blanks; reject its words ("inf", "nan") and
    // hexadecimal forms, which nobody types as a length.
    const char* first = begin;
    while (std::isspace(static_cast<unsigned char>(*first)))
        ++first;
    const char* digits = first + ((*first == '+' || *first == '-') ? 1 : 0);
    if (!(std::isdigit(static_cast<unsigned char>(*digits))
            || (*digits == '.' && std::isdigit(static_cast<unsigned char>(digits[1])))))
        return 0.0;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        return 0.0;
    const double value = std::strtod(begin, &end);
    return end == begin || !std::isfinite(value) ? 0.0 : value;
}

void MeasurementScale::Reset()
{
    *this = MeasurementScale {};
}

void MeasurementScale::SetPixelSpacing(const PixelSpacing& spacing)
{
    if (m_calibrated || !(spacing.row > 0.0) || !(spacing.column > 0.0) || !std::isfinite(spacing.row)
        || !std::isfinite(spacing.column))
        return;
    m_known = true;
    m_mmPerRow = spacing.row;
    m_mmPerColumn = spacing.column;
}

bool MeasurementScale::Calibrate(double windowPixels, double zoom, double millimetres)
{
    if (!(windowPixels > 0.0) || !(zoom > 0.0) || !std::isfinite(windowPixels) || !std::isfinite(zoom)
        || !(millimetres >= 0.0) || !std::isfinite(millimetres))
        return false;
    const double imagePixels = windowPixels / zoom;
    if (!(imagePixels > 0.0))
        return false;
    m_known = true;
    m_calibrated = true;
    m_mmPerRow = m_mmPerColumn = millimetres / imagePixels;
    return true;
}

double MeasurementScale::ImagePixels(double dx, double dy, double zoom)
{
    if (!(zoom > 0.0))
        zoom = 1.0;
    return std::sqrt(dx * dx + dy * dy) / zoom;
}

double MeasurementScale::Measure(double dx, double dy, double zoom) const
{
    if (!m_known)
        return ImagePixels(dx, dy, zoom);
    if (!(zoom > 0.0))
        zoom = 1.0;
    const double x = dx / zoom * m_mmPerColumn, y = dy / zoom * m_mmPerRow;
    return std::sqrt(x * x + y * y);
}

std::string MeasurementScale::FormatLength(double dx, double dy, double zoom) const
{
    return Format(m_known ? "%3.1fmm" : "%3.1fpx", Measure(dx, dy, zoom));
}

std::string MeasurementScale::Placeholder() const
{
    return m_known ? "000.0mm" : "000.0px";
}

} // namespace velmora
