// OverlayFacts: the facts of pydicom's CT_small.dcm (values as pydicom reads them) and the
// corner lines composed from facts and view.
#if __has_include("toolkit/data_set.h")
#include "imaging/overlay_facts.h"
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"

#include <filesystem>
#include <gtest/gtest.h>

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
    EXPECT_EQ(facts.sliceLocation, "-77.2040634155");
    EXPECT_EQ(facts.imagePosition, "-158.135803, -179.035797, -75.699997");
}

TEST(OverlayFacts, ComposesTheFourCorners)
{
    OverlayFacts full { "DOE JANE", "VEL1", "2024-03-15", "CT Head", "2", "Axial", "7", "-12.5", "1, 2, 3" };
    OverlayView view { 3, 40, WindowValues { -600.0, 1500.0 }, 1.5 };
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
                { "W: 1500 L: -600", "Zoom: 150%", "Loc: -12.5" } } } },
        { "position without a slice location", noSlice, view,
            { { { "DOE JANE", "VEL1" }, { "2024-03-15", "CT Head" }, { "Se: 2 Axial", "Im: 3 / 40" },
                { "W: 1500 L: -600", "Zoom: 150%", "Pos: 1, 2, 3" } } } },
        { "no place, no window, odd zoom", bare, OverlayView { 0, 0, std::nullopt, 0.333333 },
            { { {}, {}, { "Im: 9" }, { "Zoom: 33.33%" } } } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ComposeCorners(c.facts, c.view), c.expected) << c.what;
}

} // namespace velmora
#endif
