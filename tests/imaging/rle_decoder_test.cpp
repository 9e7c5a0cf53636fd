// RleDecoder against DCMTK's dcmdrle / GDCM on real and transcoded files, and on streams built
// byte by byte.
#include "imaging/rle_decoder.h"
#include "tests/imaging/decoder_fixtures.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::DecoderFixture;

RleLayout LayoutOf(const DecoderFixture& f)
{
    return { f.samplesPerPixel, f.bitsAllocated, f.planarConfiguration };
}

TEST(RleDecoderTest, MatchesReferenceDecoders)
{
    const auto fixtures = testing::LoadFixtures("rle");
    ASSERT_GE(fixtures.size(), 10u);
    for (const DecoderFixture& f : fixtures) {
        for (uint32_t frame = 1; frame <= f.frames; ++frame) {
            SCOPED_TRACE(f.name + " frame " + std::to_string(frame));
            const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, frame, ".bin"));
            const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, frame, ".raw"));
            ASSERT_EQ(expected.size(), f.FrameSize());
            std::vector<uint8_t> output(f.FrameSize(), 0xCD);
            RleDecoder decoder;
            ASSERT_EQ(decoder.Decode(compressed, output, LayoutOf(f)), SUCCESS);
            EXPECT_EQ(decoder.ReadPosition(), compressed.size());
            EXPECT_EQ(output, expected);
        }
    }
}

TEST(RleDecoderTest, ResumesAfterAnOutputLimit)
{
    for (const DecoderFixture& f : testing::LoadFixtures("rle")) {
        SCOPED_TRACE(f.name);
        const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
        const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".raw"));
        std::vector<uint8_t> output(f.FrameSize());
        RleDecoder decoder;
        ResultCode result = PENDING;
        int calls = 0;
        while (result == PENDING && calls < 100000) {
            result = decoder.Decode(compressed, output, LayoutOf(f), 37);
            ++calls;
        }
        ASSERT_EQ(result, SUCCESS);
        EXPECT_GT(calls, 1);
        EXPECT_EQ(output, expected);
    }
}

// A fragment: the 64-byte header for the given segments, then the segments.
std::vector<uint8_t> Fragment(const std::vector<std::vector<uint8_t>>& segments, uint32_t countOverride = 0)
{
    std::vector<uint8_t> out(64, 0);
    auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, countOverride ? countOverride : static_cast<uint32_t>(segments.size()));
    uint32_t offset = 64;
    for (size_t s = 0; s < segments.size(); ++s) {
        put(4 + 4 * s, offset);
        offset += static_cast<uint32_t>(segments[s].size());
    }
    for (const auto& segment : segments)
        out.insert(out.end(), segment.begin(), segment.end());
    return out;
}

TEST(RleDecoderTest, HandBuiltStreams)
{
    struct Case {
        const char* what;
        std::vector<std::vector<uint8_t>> segments;
        RleLayout layout;
        size_t frameSize;
        ResultCode result;
        std::vector<uint8_t> expected;
    };
    const std::vector<Case> cases = {
        { "literal of one, skip 128, run of two", { { 0x00, 7, 0x80, 0xFF, 9 } }, { 1, 8, 0 }, 3, SUCCESS,
            { 7, 9, 9 } },
        { "run longer than the plane is cut", { { 0x81, 5 } }, { 1, 8, 0 }, 4, SUCCESS, { 5, 5, 5, 5 } },
        { "literal longer than the segment", { { 0x05, 1, 2 } }, { 1, 8, 0 }, 4, SUCCESS, { 1, 2, 0, 0 } },
        { "padding after a full plane is ignored", { { 0x01, 1, 2, 0x00 } }, { 1, 8, 0 }, 2, SUCCESS,
            { 1, 2 } },
        { "rgb by pixel", { { 0x81, 1 }, { 0x81, 2 }, { 0x81, 3 } }, { 3, 8, 0 }, 6, SUCCESS,
            { 1, 2, 3, 1, 2, 3 } },
        { "rgb by plane", { { 0x81, 1 }, { 0x81, 2 }, { 0x81, 3 } }, { 3, 8, 1 }, 6, SUCCESS,
            { 1, 1, 2, 2, 3, 3 } },
        { "16-bit grey high plane first", { { 0x01, 0x12, 0x34 }, { 0x01, 0x56, 0x78 } }, { 1, 16, 0 }, 4,
            SUCCESS, { 0x56, 0x12, 0x78, 0x34 } },
        { "16-bit rgb: six segments, words sample by sample",
            { { 0x00, 1 }, { 0x00, 2 }, { 0x00, 3 }, { 0x00, 4 }, { 0x00, 5 }, { 0x00, 6 } }, { 3, 16, 0 }, 6,
            SUCCESS, { 2, 1, 4, 3, 6, 5 } },
        { "segment count not matching the layout", { { 0x00, 1 } }, { 3, 8, 0 }, 3, ERROR_GENERAL_FAILURE,
            {} },
        { "empty output", { { 0x00, 1 } }, { 1, 8, 0 }, 0, ERROR_GENERAL_FAILURE, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto fragment = Fragment(c.segments);
        std::vector<uint8_t> output(c.frameSize, 0);
        RleDecoder decoder;
        EXPECT_EQ(decoder.Decode(fragment, output, c.layout), c.result);
        if (c.result == SUCCESS) {
            EXPECT_EQ(output, c.expected);
        }
    }
}

TEST(RleDecoderTest, RefusesHostileHeaders)
{
    std::vector<uint8_t> output(16);
    RleDecoder decoder;
    // Too short for a header.
    std::vector<uint8_t> shortFragment(63, 0);
    EXPECT_EQ(decoder.Decode(shortFragment, output, { 1, 8, 0 }), ERROR_GENERAL_FAILURE);
    // Sixteen segments; zero segments.
    auto sixteen = Fragment({ { 0x00, 1 } }, 16);
    EXPECT_EQ(decoder.Decode(sixteen, output, { 1, 8, 0 }), ERROR_GENERAL_FAILURE);
    auto none = Fragment({ { 0x00, 1 } });
    none[0] = 0;
    EXPECT_EQ(decoder.Decode(none, output, { 1, 8, 0 }), ERROR_GENERAL_FAILURE);
    // A segment offset beyond the fragment, inside the header, or going backwards.
    auto beyond = Fragment({ { 0x00, 1 } });
    beyond[4] = 0xFF;
    EXPECT_EQ(decoder.Decode(beyond, output, { 1, 8, 0 }), ERROR_GENERAL_FAILURE);
    auto inside = Fragment({ { 0x00, 1 } });
    inside[4] = 8;
    EXPECT_EQ(decoder.Decode(inside, output, { 1, 8, 0 }), ERROR_GENERAL_FAILURE);
    auto backwards = Fragment({ { 0x00, 1 }, { 0x00, 2 } });
    backwards[8] = 60;
    std::vector<uint8_t> words(4);
    EXPECT_EQ(decoder.Decode(backwards, words, { 1, 16, 0 }), ERROR_GENERAL_FAILURE);
    // Bits allocated the decoder does not place.
    auto one = Fragment({ { 0x00, 1 } });
    EXPECT_EQ(decoder.Decode(one, output, { 1, 12, 0 }), ERROR_GENERAL_FAILURE);
}

} // namespace
} // namespace velmora
