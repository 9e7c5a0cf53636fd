// OverlayFacts: the facts of pydicom's CT_small.dcm (values as pydicom reads them, the shown forms
// computed by hand), the shown forms of dates, positions and windows, and the corner lines
// composed from facts and view.
#if __has_include("toolkit/data_set.h")
#include "imaging/overlay_facts.h"
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/vr_code.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace velmora {

TEST(OverlayFacts, ReadsCtSmall)
{
    const char* path = "/usr/lib/python3/dist-packages/pydicom/data/test_files/CT_small.dcm";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << "pydicom's test files are not installed";
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    DataSet ds;
    ASSERT_EQ(ds.Load(path), SUCCESS);
    const OverlayFacts facts = ReadOverlayFacts(ds);
    EXPECT_EQ(facts.patientName, "CompressedSamples CT1");
    EXPECT_EQ(facts.patientId, "1CT1");
    EXPECT_EQ(facts.studyDate, "2004-01-19");
    EXPECT_EQ(facts.studyDescription, "e+1");
    EXPECT_EQ(facts.seriesNumber, "1");
    EXPECT_EQ(facts.seriesDescription, "");
    EXPECT_EQ(facts.instanceNumber, "1");
    // Stored "-77.2040634155" and "-158.135803\-179.035797\-75.699997".
    EXPECT_EQ(facts.sliceLocation, "-77.20 mm");
    EXPECT_EQ(facts.imagePosition, "-158.14, -179.04, -75.70 mm");
}

// An enhanced image's position is frame k's Plane Position (0020,9113) in its per-frame group.
TEST(OverlayFacts, PositionOfEachFrameOfAnEnhancedImage)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    const char* root = std::getenv("VELMORA_SOURCE_DIR");
    const std::string path = std::string(root ? root : ".") + "/tests/data/imaging/source/enhanced_ct.dcm";
    DataSet ds;
    ASSERT_EQ(ds.Load(path.c_str()), SUCCESS);
    EXPECT_EQ(ReadOverlayFacts(ds, 1).imagePosition, "1.00, 2.00, 10.00 mm");
    EXPECT_EQ(ReadOverlayFacts(ds, 3).imagePosition, "1.00, 2.00, 12.00 mm");
    EXPECT_EQ(ReadOverlayFacts(ds, 4).imagePosition, "");
    EXPECT_EQ(ReadOverlayFacts(ds, 3).patientName, "Doe Jane");
}

// A dose grid's frames lie on the planes of its Grid Frame Offset Vector; its one slice location
// is the first frame's, so every frame shows its position instead.
TEST(OverlayFacts, PositionOfEachFrameOfADoseGrid)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    DataSet ds;
    for (const auto& [tag, value] :
        { std::pair(0x00200032u, "10\\20\\-30"), std::pair(0x00200037u, "1\\0\\0\\0\\1\\0"),
            std::pair(0x00201041u, "-30"), std::pair(0x3004000Cu, "0\\2.5\\5") }) {
        const ElementId id = ds.InsertElement(-1, tag, vr::DS, false, 0);
        ds.AppendValue(id, value, static_cast<uint32_t>(std::strlen(value)));
    }
    EXPECT_EQ(ReadOverlayFacts(ds, 1).imagePosition, "10.00, 20.00, -30.00 mm");
    EXPECT_EQ(ReadOverlayFacts(ds, 2).imagePosition, "10.00, 20.00, -27.50 mm");
    EXPECT_EQ(ReadOverlayFacts(ds, 3).imagePosition, "10.00, 20.00, -25.00 mm");
    EXPECT_EQ(ReadOverlayFacts(ds, 4).imagePosition, "");
    EXPECT_EQ(ReadOverlayFacts(ds, 2).sliceLocation, "");
    // Without an orientation the planes of the later frames are unknown: the first shows its own.
    ds.RemoveSubtree(ds.FindElement(-1, 0x00200037u, true));
    EXPECT_EQ(ReadOverlayFacts(ds, 1).imagePosition, "10.00, 20.00, -30.00 mm");
    EXPECT_EQ(ReadOverlayFacts(ds, 1).sliceLocation, "");
    EXPECT_EQ(ReadOverlayFacts(ds, 2).imagePosition, "");
}

TEST(OverlayFacts, ReadsNamesDatesAndPlacesAsShown)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    struct Case {
        const char* name;
        const char* date;
        const char* location; // null: absent
        const char* position; // null: absent
        const char* shownName;
        const char* shownDate;
        const char* shownLocation;
        const char* shownPosition;
    };
    const Case cases[] = {
        { "DOE^JANE^^^", "2004.01.19", "12", "1\\2.006\\-3.5", "DOE JANE", "2004-01-19", "12.00 mm",
            "1.00, 2.01, -3.50 mm" },
        // No 30th of February: the date as stored. A position of two values shows the two.
        { "DOE^^^DR^", "20040230", " +0.004 ", "1\\2", "DOE DR", "20040230", "0.00 mm", "1.00, 2.00 mm" },
        // What does not parse is shown as stored, without a unit.
        { "^JANE", "2004.1.19", "SUPERIOR", "1\\x\\3", "JANE", "2004.1.19", "SUPERIOR", "1.00, x, 3.00" },
        { "", "", nullptr, nullptr, "", "", "", "" },
    };
    for (const Case& c : cases) {
        DataSet ds;
        auto text = [&ds](uint32_t tag, uint16_t vr, const char* value) {
            const ElementId id = ds.InsertElement(-1, tag, vr, false, 0);
            ds.AppendValue(id, value, static_cast<uint32_t>(std::strlen(value)));
        };
        text(0x00100010, vr::PN, c.name);
        text(0x00080020, vr::DA, c.date);
        if (c.location)
            text(0x00201041, vr::DS, c.location);
        if (c.position)
            text(0x00200032, vr::DS, c.position);
        const OverlayFacts facts = ReadOverlayFacts(ds);
        EXPECT_EQ(facts.patientName, c.shownName) << c.name;
        EXPECT_EQ(facts.studyDate, c.shownDate) << c.name;
        EXPECT_EQ(facts.sliceLocation, c.shownLocation) << c.name;
        EXPECT_EQ(facts.imagePosition, c.shownPosition) << c.name;
    }
}

TEST(OverlayFacts, DatesReadAsIsoOrAsStored)
{
    const std::pair<const char*, const char*> cases[] = {
        { "20040119", "2004-01-19" },
        { "2004.01.19", "2004-01-19" },
        { "20000229", "2000-02-29" }, // a leap year
        { "19000229", "19000229" }, // not one
        { "20041301", "20041301" },
        { "20040100", "20040100" },
        { "2004011", "2004011" },
        { "2004-01-19", "2004-01-19" },
        { "2004x119", "2004x119" },
        { "", "" },
    };
    for (const auto& [stored, shown] : cases)
        EXPECT_EQ(DateText(stored), shown) << stored;
}

TEST(OverlayFacts, MillimetresWithTwoDecimals)
{
    struct Case {
        std::vector<std::string> stored;
        const char* shown;
    };
    const Case cases[] = {
        { { "-77.2040634155" }, "-77.20 mm" },
        { { "1e2" }, "100.00 mm" },
        { { "-0.001" }, "0.00 mm" },
        { { "0.125" }, "0.12 mm" }, // exact in binary: rounds to even
        { { "nan" }, "nan" },
        { { "inf" }, "inf" },
        { { "1e300" }, "1e300" },
        { { "--5" }, "--5" },
        { { "+-5" }, "+-5" },
        { {}, "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(MillimetreText(c.stored), c.shown) << c.shown;
}

TEST(OverlayFacts, WindowsReadInTheirUnits)
{
    struct Case {
        WindowValues window; // centre, width
        WindowUnits units;
        const char* shown;
    };
    const Case cases[] = {
        { { -600.0, 1500.0 }, WindowUnits::Whole, "W: 1500 L: -600" },
        // A brightness/contrast drag leaves fractions that HU do not have.
        { { 40.4, 83.125 }, WindowUnits::Whole, "W: 83 L: 40" },
        { { -0.3, 400.0 }, WindowUnits::Whole, "W: 400 L: 0" },
        { { 3.75, 7.5 }, WindowUnits::Fractional, "W: 7.5 L: 3.75" },
        { { 0.0123456, 0.00123456 }, WindowUnits::Fractional, "W: 0.001235 L: 0.012346" },
        { { 6172.835, 12345.67 }, WindowUnits::Fractional, "W: 12346 L: 6173" },
        { { 512.25, 1024.5 }, WindowUnits::Fractional, "W: 1024 L: 512" },
        { { -0.0004, 1.0 }, WindowUnits::Fractional, "W: 1 L: 0" },
        { { 1.5e10, 3e10 }, WindowUnits::Fractional, "W: 3e+10 L: 1.5e+10" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(WindowText(c.window, c.units), c.shown) << c.shown;
}

TEST(OverlayFacts, ComposesTheFourCorners)
{
    OverlayFacts full { "DOE JANE", "VEL1", "2024-03-15", "CT Head", "2", "Axial", "7", "-12.50 mm",
        "1.00, 2.00, 3.00 mm" };
    OverlayView view { 3, 40, WindowValues { -600.0, 1500.0 }, WindowUnits::Whole, 1.5 };
    struct Case {
        const char* what;
        OverlayFacts facts;
        OverlayView view;
        CornerLines expected;
    };
    OverlayFacts noSlice = full;
    noSlice.sliceLocation.clear();
    OverlayFacts bare;
    bare.instanceNumber = "9";
    const Case cases[] = {
        { "everything", full, view,
            { { { "DOE JANE", "VEL1" }, { "2024-03-15", "CT Head" }, { "Se: 2 Axial", "Im: 3 / 40" },
                { "W: 1500 L: -600", "Zoom: 150%", "Loc: -12.50 mm" } } } },
        { "position without a slice location", noSlice, view,
            { { { "DOE JANE", "VEL1" }, { "2024-03-15", "CT Head" }, { "Se: 2 Axial", "Im: 3 / 40" },
                { "W: 1500 L: -600", "Zoom: 150%", "Pos: 1.00, 2.00, 3.00 mm" } } } },
        { "no place, no window, odd zoom", bare,
            OverlayView { 0, 0, std::nullopt, WindowUnits::Whole, 0.333333 },
            { { {}, {}, { "Im: 9" }, { "Zoom: 33%" } } } },
        { "fractional window, zoom just under a step", bare,
            OverlayView { 0, 0, WindowValues { 2.5, 5.0 }, WindowUnits::Fractional, 0.6999999 },
            { { {}, {}, { "Im: 9" }, { "W: 5 L: 2.5", "Zoom: 70%" } } } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComposeCorners(c.facts, c.view), c.expected) << c.what;
}

} // namespace velmora
#endif
