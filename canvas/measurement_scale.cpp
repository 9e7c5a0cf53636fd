#include "canvas/measurement_scale.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velmora {

namespace {

// A spacing above a metre per pixel is no pixel spacing but a damaged value.
constexpr double LARGEST_SPACING = 1000.0;

bool Plausible(double spacing)
{
    return std::isfinite(spacing) && spacing > 0.0 && spacing <= LARGEST_SPACING;
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::optional<PixelSpacing> PixelSpacingFrom(double row, double column)
{
    if (!Plausible(row))
        return std::nullopt;
    return PixelSpacing { row, Plausible(column) ? column : row };
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

bool MeasurementScale::Calibrate(double imagePixels, double millimetres)
{
    if (!(imagePixels > 0.0) || !std::isfinite(imagePixels) || !(millimetres > 0.0)
        || !std::isfinite(millimetres))
        return false;
    m_known = true;
    m_calibrated = true;
    m_mmPerRow = m_mmPerColumn = millimetres / imagePixels;
    return true;
}

double MeasurementScale::Measure(double dx, double dy) const
{
    if (m_known) {
        dx *= m_mmPerColumn;
        dy *= m_mmPerRow;
    }
    return std::sqrt(dx * dx + dy * dy);
}

std::string MeasurementScale::FormatLength(double dx, double dy) const
{
    return Format(m_known ? "%3.1fmm" : "%3.1fpx", Measure(dx, dy));
}

std::string MeasurementScale::Placeholder() const
{
    return m_known ? "000.0mm" : "000.0px";
}

} // namespace velmora
