// MeasurementScale: lengths in image pixels or millimetres, calibration, the image's Pixel
// Spacing, and the number typed into the calibration dialog.
#include "canvas/measurement_scale.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace velmora;

TEST(MeasurementScale, WithoutScaleLengthsAreImagePixels)
{
    MeasurementScale scale;
    EXPECT_EQ(scale.Unit(), LengthUnit::Pixels);
    EXPECT_EQ(scale.FormatLength(100, 0), "100.0px");
    EXPECT_EQ(scale.FormatLength(30, -40), "50.0px");
    EXPECT_EQ(scale.FormatLength(0, 0), "0.0px");
    EXPECT_EQ(scale.FormatLength(2.96, 0), "3.0px");
    EXPECT_EQ(scale.Placeholder(), "000.0px");
}

TEST(MeasurementScale, Calibration)
{
    MeasurementScale scale;
    // A reference 200 image pixels long is 50 mm: 0.25 mm per image pixel.
    ASSERT_TRUE(scale.Calibrate(200, 50));
    EXPECT_TRUE(scale.Calibrated());
    EXPECT_EQ(scale.Unit(), LengthUnit::Millimetres);
    EXPECT_EQ(scale.FormatLength(100, 0), "25.0mm");
    EXPECT_EQ(scale.FormatLength(0, 100), "25.0mm");
    EXPECT_EQ(scale.Placeholder(), "000.0mm");
    ASSERT_TRUE(scale.Calibrate(10, 1));
    EXPECT_EQ(scale.FormatLength(1, 0), "0.1mm");
}

TEST(MeasurementScale, CalibrationRefusals)
{
    MeasurementScale scale;
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [pixels, mm] :
        { std::pair { 0.0, 50.0 }, { -5.0, 50.0 }, { 100.0, -1.0 }, { 100.0, 0.0 }, { 100.0, inf },
            { inf, 10.0 }, { std::nan(""), 1.0 }, { 100.0, std::nan("") } }) {
        EXPECT_FALSE(scale.Calibrate(pixels, mm)) << pixels << " " << mm;
        EXPECT_EQ(scale.Unit(), LengthUnit::Pixels);
        EXPECT_FALSE(scale.Calibrated());
    }
    EXPECT_TRUE(scale.Calibrate(100, 1e-3));
    EXPECT_EQ(scale.FormatLength(100, 0), "0.0mm");
}

TEST(MeasurementScale, PixelSpacingPerAxisAndCalibrationWins)
{
    MeasurementScale scale;
    scale.SetPixelSpacing({ 0.5, 0.25 }); // rows 0.5 mm apart, columns 0.25 mm apart
    EXPECT_EQ(scale.Unit(), LengthUnit::Millimetres);
    EXPECT_FALSE(scale.Calibrated());
    EXPECT_EQ(scale.FormatLength(100, 0), "25.0mm"); // horizontal: column spacing
    EXPECT_EQ(scale.FormatLength(0, 100), "50.0mm"); // vertical: row spacing
    EXPECT_EQ(scale.FormatLength(0, -50), "25.0mm");
    ASSERT_TRUE(scale.Calibrate(100, 10));
    EXPECT_EQ(scale.FormatLength(0, 100), "10.0mm");
    scale.SetPixelSpacing({ 2, 2 }); // a calibration is not overridden
    EXPECT_EQ(scale.FormatLength(0, 100), "10.0mm");
    scale.Reset();
    EXPECT_EQ(scale.FormatLength(0, 100), "100.0px");
    scale.SetPixelSpacing({ 0, 1 }); // not a spacing
    EXPECT_EQ(scale.Unit(), LengthUnit::Pixels);
}

TEST(MeasurementScale, AngleText)
{
    EXPECT_EQ(FormatAngle(90.0), "90.0");
    EXPECT_EQ(FormatAngle(0.0), "0.0");
    EXPECT_EQ(FormatAngle(179.96), "180.0");
    EXPECT_STREQ(ANGLE_PLACEHOLDER, "000.0");
}

TEST(MeasurementScale, LeadingNumberOfTheTypedLength)
{
    const std::pair<const char*, double> rows[] = { { "50", 50 }, { " 12.5 mm", 12.5 }, { "3e1", 30 },
        { ".5", 0.5 }, { "-4", -4 }, { "7,5", 7 }, { "abc", 0 }, { "", 0 }, { "mm 5", 0 }, { "inf", 0 },
        { "nan", 0 }, { "0x10", 0 }, { "1e999", 0 }, { ".", 0 }, { "+2", 2 } };
    for (const auto& [text, value] : rows)
        EXPECT_EQ(LeadingNumber(text), value) << text;
}

TEST(MeasurementScale, PixelSpacingFromTheImageValues)
{
    struct Row {
        double row, column;
        bool valid;
        double expectRow, expectColumn;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const Row rows[] = {
        { 0.5, 0.25, true, 0.5, 0.25 },
        { 0.7, 0.0, true, 0.7, 0.7 }, // one value: square pixels
        { 0.7, -1.0, true, 0.7, 0.7 },
        { 0.7, inf, true, 0.7, 0.7 },
        { 0.0, 0.5, false, 0, 0 },
        { -1.0, 1.0, false, 0, 0 },
        { std::nan(""), 1.0, false, 0, 0 },
        { 5000.0, 5000.0, false, 0, 0 },
        { inf, 1.0, false, 0, 0 },
    };
    for (const Row& row : rows) {
        const auto spacing = PixelSpacingFrom(row.row, row.column);
        ASSERT_EQ(spacing.has_value(), row.valid) << row.row << " " << row.column;
        if (spacing) {
            EXPECT_EQ(spacing->row, row.expectRow);
            EXPECT_EQ(spacing->column, row.expectColumn);
        }
    }
}
