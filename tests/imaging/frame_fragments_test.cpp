// GroupFragments: which fragments make each frame, on hand-built fragment lists and on the
// fragment lists of DCMTK files whose frames span several fragments.
#include "imaging/frame_fragments.h"
#include "tests/imaging/decoder_fixtures.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace velmora {
namespace {

constexpr int32_t JPEG = 0x800000;
constexpr int32_t JPEG_LS = 0x1400000;
constexpr int32_t RLE = 0x1500000;
constexpr int32_t J2K = 0x1600000;

// A fragment of `length` bytes whose first bytes are `head` and last bytes `tail`.
FragmentInfo Fragment(
    uint32_t length, std::initializer_list<uint8_t> head, std::initializer_list<uint8_t> tail = {})
{
    FragmentInfo f;
    f.length = length;
    for (uint8_t b : head)
        f.head[f.headLength++] = b;
    for (uint8_t b : tail)
        f.tail[f.tailLength++] = b;
    return f;
}

const FragmentInfo SOI = Fragment(100, { 0xFF, 0xD8, 0xFF, 0xC3 });
const FragmentInfo MID = Fragment(100, { 0x12, 0x34, 0x56, 0x78 });
const FragmentInfo SOI_NO_END = Fragment(100, { 0xFF, 0xD8 }, { 0x12, 0x34 });
const FragmentInfo MID_NO_END = Fragment(100, { 0x12, 0x34 }, { 0x56, 0x78 });
const FragmentInfo MID_EOI = Fragment(100, { 0x12, 0x34 }, { 0x00, 0xFF, 0xD9 });
const FragmentInfo MID_EOI_PAD = Fragment(100, { 0x12, 0x34 }, { 0xFF, 0xD9, 0x00 });
const FragmentInfo SOC = Fragment(100, { 0xFF, 0x4F, 0xFF, 0x51 });
const FragmentInfo JP2 = Fragment(100, { 0x00, 0x00, 0x00, 0x0C, 'j', 'P', ' ', ' ' });
const FragmentInfo RLE_HEADER = Fragment(100, { 0x01, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00 });

TEST(FrameFragmentsTest, GroupsFragmentsIntoFrames)
{
    struct Case {
        const char* what;
        std::vector<uint32_t> table;
        std::vector<FragmentInfo> fragments;
        uint32_t frames;
        int32_t kind;
        std::vector<FrameExtent> expected;
    };
    const std::vector<Case> cases = {
        { "no fragments", {}, {}, 3, JPEG, {} },
        { "one fragment per frame", {}, { SOI, SOI, SOI }, 3, JPEG, { { 0, 1 }, { 1, 1 }, { 2, 1 } } },
        { "more frames than fragments", {}, { SOI, SOI }, 5, JPEG, { { 0, 1 }, { 1, 1 } } },
        { "absent Number of Frames, one fragment each", {}, { SOI, SOI, SOI }, 0, JPEG,
            { { 0, 1 }, { 1, 1 }, { 2, 1 } } },
        { "absent Number of Frames, one split frame", {}, { SOI, MID, MID }, 0, JPEG, { { 0, 3 } } },
        { "offset table", { 0, 216 }, { SOI, MID, SOI, MID, MID }, 2, JPEG, { { 0, 2 }, { 2, 3 } } },
        { "offset table beats markers", { 0, 108 }, { SOI, SOI, SOI, MID }, 2, JPEG, { { 0, 1 }, { 1, 3 } } },
        { "offset table inside an item falls back to markers", { 0, 100 }, { SOI, MID, SOI, MID }, 2, JPEG,
            { { 0, 2 }, { 2, 2 } } },
        { "offset table not starting at 0", { 8, 216 }, { SOI, MID, SOI, MID }, 2, JPEG,
            { { 0, 2 }, { 2, 2 } } },
        { "offset table decreasing", { 0, 216, 108 }, { SOI, MID, SOI, MID, SOI }, 3, JPEG,
            { { 0, 2 }, { 2, 2 }, { 4, 1 } } },
        { "offset table of the wrong size", { 0 }, { SOI, MID, SOI, MID }, 2, JPEG, { { 0, 2 }, { 2, 2 } } },
        { "start markers", {}, { SOI, MID, MID, SOI, SOI, MID }, 3, JPEG, { { 0, 3 }, { 3, 1 }, { 4, 2 } } },
        { "JPEG-LS start markers", {}, { SOI, MID, SOI, MID }, 2, JPEG_LS, { { 0, 2 }, { 2, 2 } } },
        { "JPEG 2000 code streams", {}, { SOC, MID, SOC, MID }, 2, J2K, { { 0, 2 }, { 2, 2 } } },
        { "JP2 wrappers", {}, { JP2, MID, JP2, MID }, 2, J2K, { { 0, 2 }, { 2, 2 } } },
        { "end markers when starts disagree", {}, { SOI_NO_END, MID_EOI, MID_NO_END, MID_EOI_PAD }, 2, JPEG,
            { { 0, 2 }, { 2, 2 } } },
        { "single frame takes everything", {}, { SOI, MID, MID }, 1, RLE, { { 0, 3 } } },
        { "first fragment without a start: one per fragment", {}, { MID, SOI, MID }, 2, JPEG,
            { { 0, 1 }, { 1, 1 }, { 2, 1 } } },
        { "markers naming too many frames: one per fragment", {}, { SOI, SOI, SOI, MID }, 2, JPEG,
            { { 0, 1 }, { 1, 1 }, { 2, 1 }, { 3, 1 } } },
        { "RLE headers start frames", {}, { RLE_HEADER, MID, RLE_HEADER }, 2, RLE, { { 0, 2 }, { 2, 1 } } },
        { "absent Number of Frames, one split RLE frame", {}, { RLE_HEADER, MID, MID }, 0, RLE,
            { { 0, 3 } } },
        { "RLE headers naming too few frames: one per fragment", {}, { RLE_HEADER, MID, MID }, 2, RLE,
            { { 0, 1 }, { 1, 1 }, { 2, 1 } } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(GroupFragments(c.table, c.fragments, c.frames, c.kind), c.expected);
    }
}

TEST(FrameFragmentsTest, ParsesTheBasicOffsetTable)
{
    const uint8_t value[] = { 0, 0, 0, 0, 0x10, 0x20, 0, 0, 0xFF };
    EXPECT_EQ(ParseBasicOffsetTable(value), (std::vector<uint32_t> { 0, 0x2010 }));
    EXPECT_TRUE(ParseBasicOffsetTable({}).empty());
}

uint8_t Hex(const std::string& s, size_t i)
{
    return static_cast<uint8_t>(std::stoi(s.substr(2 * i, 2), nullptr, 16));
}

// DCMTK files (dcmcjpeg / dcmcjpls / dcmcrle +fs 1) whose two frames each span several fragments.
TEST(FrameFragmentsTest, GroupsRealSplitFrames)
{
    for (const auto& [name, kind] : { std::pair { "jpeg_e1_split", JPEG }, std::pair { "jls_split", JPEG_LS },
             std::pair { "rle_split", RLE } }) {
        SCOPED_TRACE(name);
        std::ifstream in(testing::FixtureDirectory() + name + ".frags");
        ASSERT_TRUE(in.good());
        uint32_t frames = 0;
        std::vector<uint32_t> table;
        std::vector<FrameExtent> expected;
        std::vector<FragmentInfo> fragments;
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string key;
            fields >> key;
            if (key == "frames") {
                fields >> frames;
            } else if (key == "bot") {
                uint32_t offset;
                while (fields >> offset)
                    table.push_back(offset);
            } else if (key == "frame") {
                FrameExtent e;
                fields >> e.firstFragment >> e.fragmentCount;
                expected.push_back(e);
            } else if (key == "fragment") {
                FragmentInfo f;
                std::string head, tail;
                fields >> f.length >> head >> tail;
                for (size_t i = 0; i < head.size() / 2; ++i)
                    f.head[f.headLength++] = Hex(head, i);
                for (size_t i = 0; i < tail.size() / 2; ++i)
                    f.tail[f.tailLength++] = Hex(tail, i);
                fragments.push_back(f);
            }
        }
        ASSERT_EQ(frames, 2u);
        ASSERT_GT(fragments.size(), 2u * frames);
        EXPECT_EQ(GroupFragments(table, fragments, frames, kind), expected);
        // Without the table the start markers find the same frames, and so do JPEG's end markers.
        EXPECT_EQ(GroupFragments({}, fragments, frames, kind), expected);
        if (kind == RLE)
            continue;
        for (FragmentInfo& f : fragments)
            f.headLength = 0;
        EXPECT_EQ(GroupFragments({}, fragments, frames, kind), expected);
    }
}

} // namespace
} // namespace velmora
