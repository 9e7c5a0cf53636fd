// MeasurementScale: lengths in image pixels or millimetres through the zoom, calibration, the
// image's Pixel Spacing, and the number typed into the calibration dialog.
#include "canvas/measurement_scale.h"
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/vr_code.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

using namespace velmora;

TEST(MeasurementScale, WithoutScaleLengthsAreImagePixels)
{
    MeasurementScale scale;
    EXPECT_EQ(scale.Unit(), LengthUnit::Pixels);
    EXPECT_EQ(scale.FormatLength(100, 0, 1.0), "100.0px");
    EXPECT_EQ(scale.FormatLength(100, 0, 2.0), "50.0px"); // 100 window pixels at 200 %
    EXPECT_EQ(scale.FormatLength(30, 40, 0.5), "100.0px");
    EXPECT_EQ(scale.FormatLength(0, 0, 1.0), "0.0px");
    EXPECT_EQ(scale.FormatLength(3, 0, 1.0), "3.0px");
    EXPECT_EQ(scale.Placeholder(), "000.0px");
    EXPECT_EQ(scale.FormatLength(10, 0, 0.0), "10.0px"); // no zoom is taken as 100 %
}

TEST(MeasurementScale, CalibrationHoldsAcrossZoom)
{
    MeasurementScale scale;
    // A reference 200 window pixels long at 100 % is 50 mm: 0.25 mm per image pixel.
    ASSERT_TRUE(scale.Calibrate(200, 1.0, 50));
    EXPECT_TRUE(scale.Calibrated());
    EXPECT_EQ(scale.Unit(), LengthUnit::Millimetres);
    EXPECT_EQ(scale.FormatLength(100, 0, 1.0), "25.0mm");
    EXPECT_EQ(scale.Placeholder(), "000.0mm");
    // The same anatomy shown at 200 % covers twice the window pixels and reads the same.
    EXPECT_EQ(scale.FormatLength(200, 0, 2.0), "25.0mm");
    // A calibration made at 50 %: 100 window pixels are 200 image pixels.
    ASSERT_TRUE(scale.Calibrate(100, 0.5, 50));
    EXPECT_EQ(scale.FormatLength(100, 0, 1.0), "25.0mm");
    EXPECT_EQ(scale.FormatLength(1, 0, 1.0), "0.2mm");
}

TEST(MeasurementScale, CalibrationRefusals)
{
    MeasurementScale scale;
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [pixels, zoom, mm] : { std::tuple { 0.0, 1.0, 50.0 }, { -5.0, 1.0, 50.0 },
             { 100.0, 0.0, 50.0 }, { 100.0, -1.0, 50.0 }, { 100.0, 1.0, -1.0 }, { 100.0, 1.0, inf },
             { inf, 1.0, 10.0 }, { std::nan(""), 1.0, 1.0 }, { 100.0, 1.0, std::nan("") } }) {
        EXPECT_FALSE(scale.Calibrate(pixels, zoom, mm)) << pixels << " " << zoom << " " << mm;
        EXPECT_EQ(scale.Unit(), LengthUnit::Pixels);
    }
    // Zero millimetres is taken: every later ruler reads 0.0mm, as typed.
    EXPECT_TRUE(scale.Calibrate(100, 1.0, 0.0));
    EXPECT_EQ(scale.FormatLength(100, 0, 1.0), "0.0mm");
}

TEST(MeasurementScale, PixelSpacingPerAxisAndCalibrationWins)
{
    MeasurementScale scale;
    scale.SetPixelSpacing({ 0.5, 0.25 }); // rows 0.5 mm apart, columns 0.25 mm apart
    EXPECT_EQ(scale.Unit(), LengthUnit::Millimetres);
    EXPECT_FALSE(scale.Calibrated());
    EXPECT_EQ(scale.FormatLength(100, 0, 1.0), "25.0mm"); // horizontal: column spacing
    EXPECT_EQ(scale.FormatLength(0, 100, 1.0), "50.0mm"); // vertical: row spacing
    EXPECT_EQ(scale.FormatLength(0, 100, 2.0), "25.0mm");
    ASSERT_TRUE(scale.Calibrate(100, 1.0, 10));
    EXPECT_EQ(scale.FormatLength(0, 100, 1.0), "10.0mm");
    scale.SetPixelSpacing({ 2, 2 }); // a calibration is not overridden
    EXPECT_EQ(scale.FormatLength(0, 100, 1.0), "10.0mm");
    scale.Reset();
    EXPECT_EQ(scale.FormatLength(0, 100, 1.0), "100.0px");
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

class PixelSpacingFromDataSet : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(InstallBuiltInTables(), SUCCESS); }
    void Spacing(const char* text)
    {
        const ElementId id = m_ds.InsertElement(-1, 0x00280030, VrCode('D', 'S'), false, 0);
        ASSERT_GE(id, 0);
        ASSERT_EQ(m_ds.AppendValue(id, text, static_cast<uint32_t>(std::strlen(text))), SUCCESS);
    }
    DataSet m_ds;
};

TEST_F(PixelSpacingFromDataSet, Absent)
{
    EXPECT_FALSE(ReadPixelSpacing(m_ds).has_value());
}

TEST_F(PixelSpacingFromDataSet, RowThenColumn)
{
    Spacing("0.5\\0.25");
    const auto spacing = ReadPixelSpacing(m_ds);
    ASSERT_TRUE(spacing.has_value());
    EXPECT_DOUBLE_EQ(spacing->row, 0.5);
    EXPECT_DOUBLE_EQ(spacing->column, 0.25);
}

TEST_F(PixelSpacingFromDataSet, OneValueServesBoth)
{
    Spacing("0.7 ");
    const auto spacing = ReadPixelSpacing(m_ds);
    ASSERT_TRUE(spacing.has_value());
    EXPECT_DOUBLE_EQ(spacing->row, 0.7);
    EXPECT_DOUBLE_EQ(spacing->column, 0.7);
}

TEST_F(PixelSpacingFromDataSet, DamagedValuesAreNoSpacing)
{
    for (const char* text : { "0\\0.5", "-1\\1", "abc\\1", "1\\x", "nan\\1", "5000\\5000", "1e400\\1" }) {
        DataSet ds;
        const ElementId id = ds.InsertElement(-1, 0x00280030, VrCode('D', 'S'), false, 0);
        ASSERT_EQ(ds.AppendValue(id, text, static_cast<uint32_t>(std::strlen(text))), SUCCESS);
        EXPECT_FALSE(ReadPixelSpacing(ds).has_value()) << text;
    }
}
