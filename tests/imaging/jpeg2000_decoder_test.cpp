// JPEG 2000 glue (OpenJPEG) against GDCM's decode, in the component-after-component,
// most-significant-byte-first layout the decoder gives.
#include "imaging/jpeg2000_decoder.h"
#include "tests/imaging/decoder_fixtures.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::DecoderFixture;

TEST(Jpeg2000DecoderTest, MatchesReferenceDecoders)
{
    const auto fixtures = testing::LoadFixtures("j2k");
    ASSERT_GE(fixtures.size(), 4u);
    for (const DecoderFixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
        const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".raw"));
        std::vector<uint8_t> output(expected.size());
        const Jpeg2000Result result = DecodeJpeg2000(compressed, output);
        ASSERT_EQ(result.result, SUCCESS);
        EXPECT_EQ(result.written, expected.size());
        EXPECT_EQ(output, expected);
    }
}

TEST(Jpeg2000DecoderTest, WritesNoMoreThanTheOutputHolds)
{
    const auto fixtures = testing::LoadFixtures("j2k");
    ASSERT_FALSE(fixtures.empty());
    const DecoderFixture& f = fixtures.front();
    const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
    const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".raw"));
    std::vector<uint8_t> output(expected.size() / 2 + 8, 0xAB);
    std::vector<uint8_t> guarded = output;
    const Jpeg2000Result result
        = DecodeJpeg2000(compressed, std::span<uint8_t>(output.data(), expected.size() / 2));
    ASSERT_EQ(result.result, SUCCESS);
    EXPECT_EQ(result.written, expected.size() / 2);
    EXPECT_TRUE(std::equal(output.begin(), output.begin() + expected.size() / 2, expected.begin()));
    EXPECT_TRUE(std::equal(output.end() - 8, output.end(), guarded.end() - 8));
}

TEST(Jpeg2000DecoderTest, FailsCleanlyOnBrokenStreams)
{
    for (const DecoderFixture& f : testing::LoadFixtures("j2k")) {
        SCOPED_TRACE(f.name);
        const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
        std::vector<uint8_t> output(f.FrameSize() * 2);
        for (size_t keep : { size_t(0), size_t(4), size_t(40), compressed.size() / 2 }) {
            const std::span<const uint8_t> cut(compressed.data(), keep);
            // OpenJPEG may decode what a truncated code stream holds; it must never crash.
            const Jpeg2000Result result = DecodeJpeg2000(cut, output);
            EXPECT_LE(result.written, output.size());
            if (keep < 40) {
                EXPECT_EQ(result.result, ERROR_GENERAL_FAILURE);
            }
        }
        // Corrupted main header: SIZ gives a zero image width.
        auto corrupt = compressed;
        std::fill(corrupt.begin() + 8, corrupt.begin() + 12, 0);
        EXPECT_EQ(DecodeJpeg2000(corrupt, output).result, ERROR_GENERAL_FAILURE);
        // A header claiming an image far larger than the frame is refused before decoding.
        auto huge = compressed;
        huge[8] = 0x00, huge[9] = 0xFF, huge[10] = 0xFF, huge[11] = 0xFF; // Xsiz
        huge[12] = 0x00, huge[13] = 0xFF, huge[14] = 0xFF, huge[15] = 0xFF; // Ysiz
        EXPECT_EQ(DecodeJpeg2000(huge, output).result, ERROR_GENERAL_FAILURE);
    }
}

} // namespace
} // namespace velmora
