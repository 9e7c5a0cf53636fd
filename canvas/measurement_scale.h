// MeasurementScale: what a ruler's length means. The scale is held in millimetres per image pixel,
// so that a length reads the same at every zoom: either from a calibration (a reference ruler of a
// known length, converted through the zoom at which it was drawn) or from the image's Pixel
// Spacing (0028,0030) when it has one and no calibration was made. Without either, lengths are
// given in image pixels. The canvas turns window lengths into image pixels through the size the
// frame is shown at before asking. Qt-free; the canvas keeps one per tile and a new load starts it
// afresh.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// (0028,0030): the distance between the centres of adjacent rows and of adjacent columns, in mm.
struct PixelSpacing {
    double row = 0.0; // vertical: mm from one row to the next
    double column = 0.0; // horizontal: mm from one column to the next
};

// The spacing of an image whose (0028,0030) values read `row` and `column` (0 for a value that is
// missing): nothing unless the row value is a plausible spacing (positive, finite, at most a metre);
// a missing or implausible column value takes the row value (square pixels).
std::optional<PixelSpacing> PixelSpacingFrom(double row, double column);

// Placeholders shown while a shape is started, before it has a measurement.
inline constexpr const char* ANGLE_PLACEHOLDER = "000.0";

// An angle label: "%3.1f" of degrees.
std::string FormatAngle(double degrees);

// The longest leading decimal number of `text` (blanks before it allowed); 0 when the text does
// not start with a number.
double LeadingNumber(std::string_view text);

enum class LengthUnit { Pixels, Millimetres };

class MeasurementScale {
public:
    // Forgets any scale: lengths are in pixels again.
    void Reset();
    // The image's own spacing; a later calibration takes precedence.
    void SetPixelSpacing(const PixelSpacing& spacing);
    // A reference `imagePixels` long is `millimetres` long. Refuses (false, nothing changed) a
    // reference without length, or a length that is not positive or not finite: a scale of zero
    // would read every later ruler as 0.0mm.
    bool Calibrate(double imagePixels, double millimetres);

    LengthUnit Unit() const { return m_known ? LengthUnit::Millimetres : LengthUnit::Pixels; }
    bool Calibrated() const { return m_calibrated; }

    // The length of an image-pixel displacement (dx, dy) in the label unit: millimetres when the
    // scale is known, image pixels otherwise.
    double Measure(double dx, double dy) const;

    // A ruler label: "%3.1fmm" of the length in millimetres, "%3.1fpx" of it in image pixels.
    std::string FormatLength(double dx, double dy) const;
    // "000.0mm" or "000.0px", by the unit.
    std::string Placeholder() const;

private:
    bool m_known = false;
    bool m_calibrated = false;
    double m_mmPerColumn = 1.0; // millimetres per image pixel, horizontally
    double m_mmPerRow = 1.0; // and vertically
};

} // namespace velmora
