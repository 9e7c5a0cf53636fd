// FrameAttributes: the planes of a dose grid's frames from its Grid Frame Offset Vector, against
// positions computed by hand (row x column normal, offsets relative to the first).
#if __has_include("toolkit/data_set.h")
#include "imaging/frame_attributes.h"
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/vr_code.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>

namespace velmora {
namespace {

constexpr uint32_t TAG_IMAGE_POSITION = 0x00200032;
constexpr uint32_t TAG_IMAGE_ORIENTATION = 0x00200037;
constexpr uint32_t TAG_GRID_FRAME_OFFSETS = 0x3004000C;

void AddText(DataSet& ds, uint32_t tag, const char* value)
{
    if (value == nullptr)
        return;
    const ElementId id = ds.InsertElement(-1, tag, vr::DS, false, 0);
    ds.AppendValue(id, value, static_cast<uint32_t>(std::strlen(value)));
}

} // namespace

TEST(FrameAttributes, GridFramesLieAlongTheNormalByTheirOffsets)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    using Position = std::optional<std::array<double, 3>>;
    struct Case {
        const char* name;
        const char* position;
        const char* orientation;
        const char* offsets;
        uint32_t frame;
        Position expected;
    };
    const Case cases[] = {
        { "relative, axial", "10\\20\\30", "1\\0\\0\\0\\1\\0", "0\\5\\10", 3,
            std::array { 10.0, 20.0, 40.0 } },
        { "first frame", "10\\20\\30", "1\\0\\0\\0\\1\\0", "0\\5\\10", 1, std::array { 10.0, 20.0, 30.0 } },
        // Patient z coordinates: the first offset is the position's z.
        { "absolute z", "10\\20\\-30", "1\\0\\0\\0\\1\\0", "-30\\-27.5\\-25", 2,
            std::array { 10.0, 20.0, -27.5 } },
        { "decreasing", "10\\20\\30", "1\\0\\0\\0\\1\\0", "0\\-5\\-10", 3, std::array { 10.0, 20.0, 20.0 } },
        // Sagittal: rows along y, columns along -z, so the normal is (1,0,0) x ... = (-1, 0, 0).
        { "sagittal", "5\\6\\7", "0\\1\\0\\0\\0\\-1", "0\\2.5", 2, std::array { 2.5, 6.0, 7.0 } },
        // Cosines not of unit length still give a unit step per millimetre of offset.
        { "scaled cosines", " 0\\0\\0 ", "2\\0\\0\\0\\2\\0", "0\\3", 2, std::array { 0.0, 0.0, 3.0 } },
        { "past the offsets", "10\\20\\30", "1\\0\\0\\0\\1\\0", "0\\5\\10", 4, std::nullopt },
        { "frame 0", "10\\20\\30", "1\\0\\0\\0\\1\\0", "0\\5\\10", 0, std::nullopt },
        { "parallel cosines", "10\\20\\30", "1\\0\\0\\1\\0\\0", "0\\5", 2, std::nullopt },
        { "position no number", "10\\x\\30", "1\\0\\0\\0\\1\\0", "0\\5", 2, std::nullopt },
        { "short position", "10\\20", "1\\0\\0\\0\\1\\0", "0\\5", 2, std::nullopt },
        // Without an orientation the other planes lie nowhere known; the first is the position.
        { "no orientation", "10\\20\\30", nullptr, "0\\5", 2, std::nullopt },
        { "no orientation, first frame", "10\\20\\30", nullptr, "0\\5", 1, std::array { 10.0, 20.0, 30.0 } },
        { "no normal, first frame", "10\\20\\30", "1\\0\\0\\1\\0\\0", "0\\5", 1,
            std::array { 10.0, 20.0, 30.0 } },
        { "absolute z, first frame", "10\\20\\-30", nullptr, "-30\\-27.5", 1,
            std::array { 10.0, 20.0, -30.0 } },
        { "offsets no number, first frame", "10\\20\\30", nullptr, "x\\5", 1,
            std::array { 10.0, 20.0, 30.0 } },
        { "short position, first frame", "10\\20", nullptr, "0\\5", 1, std::nullopt },
        { "offset no number", "10\\20\\30", "1\\0\\0\\0\\1\\0", "0\\five", 2, std::nullopt },
        { "overflow", "1e308\\0\\1e308", "1\\0\\0\\0\\1\\0", "0\\1e308", 2, std::nullopt },
    };
    for (const Case& c : cases) {
        DataSet ds;
        AddText(ds, TAG_IMAGE_POSITION, c.position);
        AddText(ds, TAG_IMAGE_ORIENTATION, c.orientation);
        AddText(ds, TAG_GRID_FRAME_OFFSETS, c.offsets);
        EXPECT_TRUE(HasGridFrameOffsets(ds)) << c.name;
        const Position found = GridFramePosition(ds, c.frame);
        ASSERT_EQ(found.has_value(), c.expected.has_value()) << c.name;
        for (size_t axis = 0; found && axis < 3; ++axis)
            EXPECT_NEAR((*found)[axis], (*c.expected)[axis], 1e-12) << c.name << " axis " << axis;
    }
}

TEST(FrameAttributes, OnlyAVectorOfTwoOffsetsOrMoreMakesAGrid)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    DataSet none;
    AddText(none, TAG_IMAGE_POSITION, "1\\2\\3");
    EXPECT_FALSE(HasGridFrameOffsets(none));
    DataSet one;
    AddText(one, TAG_GRID_FRAME_OFFSETS, "0");
    EXPECT_FALSE(HasGridFrameOffsets(one));
    // Frames with positions of their own (functional groups) are no grid, whatever the top level holds.
    DataSet enhanced;
    AddText(enhanced, TAG_GRID_FRAME_OFFSETS, "0\\5");
    enhanced.InsertElement(-1, 0x52009230, vr::SQ, false, 0);
    EXPECT_FALSE(HasGridFrameOffsets(enhanced));
}

} // namespace velmora
#endif
