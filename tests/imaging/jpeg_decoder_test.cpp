// JPEG glue (libjpeg-turbo and the 8/12/16-bit IJG builds) against DCMTK's dcmdjpeg on real and
// transcoded files, and against truncated and corrupted streams.
#include "imaging/jpeg_decoder.h"
#include "tests/imaging/decoder_fixtures.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::DecoderFixture;

TEST(JpegDecoderTest, MatchesReferenceDecoders)
{
    const auto fixtures = testing::LoadFixtures("jpeg");
    ASSERT_GE(fixtures.size(), 15u);
    for (const DecoderFixture& f : fixtures) {
        for (uint32_t frame = 1; frame <= f.frames; ++frame) {
            SCOPED_TRACE(f.name + " frame " + std::to_string(frame));
            const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, frame, ".bin"));
            const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, frame, ".raw"));
            std::vector<uint8_t> output(f.FrameSize());
            const JpegResult result = DecodeJpeg(compressed, f.bitsAllocated, output);
            ASSERT_EQ(result.result, SUCCESS);
            EXPECT_EQ(result.written, output.size());
            // Lossless frames must match exactly; lossy ones do too, since DCMTK's IJG build and
            // libjpeg-turbo share the accurate integer IDCT and the same upsampling.
            EXPECT_EQ(output, expected);
            EXPECT_EQ(testing::MaxSampleDifference(output, expected, f.bitsAllocated), 0);
        }
    }
}

TEST(JpegDecoderTest, ChoosesTheBuildByContainerAndStream)
{
    struct Case {
        uint32_t bitsAllocated;
        bool lossless;
        uint32_t precision;
        bool ok;
        JpegBuild build;
    };
    const Case cases[] = {
        { 8, false, 8, true, JpegBuild::Turbo8 },
        { 8, true, 8, true, JpegBuild::Ijg8 },
        { 16, false, 12, true, JpegBuild::Ijg12 },
        { 16, true, 12, true, JpegBuild::Ijg12 },
        { 16, true, 16, true, JpegBuild::Ijg16 },
        { 16, true, 13, true, JpegBuild::Ijg16 },
        { 16, false, 8, true, JpegBuild::Ijg12 },
        { 12, false, 12, false, JpegBuild::Ijg12 },
    };
    for (const Case& c : cases) {
        JpegFrameHeader header;
        header.lossless = c.lossless;
        header.precision = c.precision;
        JpegBuild build = JpegBuild::Turbo8;
        EXPECT_EQ(ChooseJpegBuild(c.bitsAllocated, header, build), c.ok);
        if (c.ok) {
            EXPECT_EQ(build, c.build);
        }
    }
}

TEST(JpegDecoderTest, ReportsTheStoredColourSpace)
{
    // dcmcjpeg +eb writes YCbCr for RGB and +el keeps RGB; either way the components come out as
    // stored, exactly as dcmdjpeg +cn gives them for the lossless stream.
    struct Case {
        const char* name;
        int32_t colourSpace;
    };
    for (const Case c :
        { Case { "jpeg_eb_rgb8", 7 }, Case { "jpeg_el_rgb8", 3 }, Case { "jpeg_e1_rgb8", 3 } }) {
        SCOPED_TRACE(c.name);
        const DecoderFixture f = testing::FindFixture(c.name);
        ASSERT_EQ(f.name, c.name) << "fixture missing from references.txt";
        const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
        const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".raw"));
        ASSERT_FALSE(compressed.empty());
        std::vector<uint8_t> output(f.FrameSize());
        const JpegResult result = DecodeJpeg(compressed, f.bitsAllocated, output);
        ASSERT_EQ(result.result, SUCCESS);
        EXPECT_EQ(result.colourSpace, c.colourSpace);
        if (f.exact) {
            EXPECT_EQ(output, expected);
        }
    }
}

TEST(JpegDecoderTest, FailsCleanlyOnBrokenStreams)
{
    const auto fixtures = testing::LoadFixtures("jpeg");
    for (const DecoderFixture& f : fixtures) {
        SCOPED_TRACE(f.name);
        const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
        std::vector<uint8_t> output(f.FrameSize());
        // Truncated in the header and in the scan data.
        for (size_t keep :
            { size_t(0), size_t(2), size_t(20), compressed.size() / 2, compressed.size() - 3 }) {
            const std::span<const uint8_t> cut(compressed.data(), keep);
            EXPECT_NE(DecodeJpeg(cut, f.bitsAllocated, output).result, SUCCESS) << "kept " << keep;
        }
        // An output too small for the image.
        std::vector<uint8_t> small(f.FrameSize() / 2);
        EXPECT_EQ(DecodeJpeg(compressed, f.bitsAllocated, small).result, ERROR_GENERAL_FAILURE);
        // Bits allocated no build handles.
        EXPECT_EQ(DecodeJpeg(compressed, 32, output).result, ERROR_GENERAL_FAILURE);
    }
}

TEST(JpegDecoderTest, RefusesPrecisionsNoBuildSupports)
{
    // 8-bit lossy data in a 16-bit container goes to the 12-bit build, which refuses it.
    const DecoderFixture gray8 = testing::FindFixture("jpeg_eb_gray8");
    ASSERT_EQ(gray8.name, "jpeg_eb_gray8");
    const auto compressed8 = testing::ReadFixtureFile(testing::FrameFile(gray8, 1, ".bin"));
    ASSERT_FALSE(compressed8.empty());
    std::vector<uint8_t> output8(gray8.FrameSize() * 2);
    EXPECT_EQ(DecodeJpeg(compressed8, 16, output8).result, ERROR_GENERAL_FAILURE);
    // Lossy 12-bit data in an 8-bit container: libjpeg-turbo refuses precision 12.
    const DecoderFixture gray12 = testing::FindFixture("jpeg_ee_gray12");
    ASSERT_EQ(gray12.name, "jpeg_ee_gray12");
    const auto compressed12 = testing::ReadFixtureFile(testing::FrameFile(gray12, 1, ".bin"));
    ASSERT_FALSE(compressed12.empty());
    std::vector<uint8_t> output12(gray12.FrameSize());
    EXPECT_EQ(DecodeJpeg(compressed12, 8, output12).result, ERROR_GENERAL_FAILURE);
    // The same streams in their own containers decode.
    std::vector<uint8_t> fits(gray12.FrameSize());
    EXPECT_EQ(DecodeJpeg(compressed12, 16, fits).result, SUCCESS);
}

TEST(JpegDecoderTest, ReadsTheFrameHeader)
{
    const uint8_t sof3[] = { 0xFF, 0xD8, 0xFF, 0xC3, 0x00, 0x0B, 16, 0x01, 0x00, 0x02, 0x00, 1, 1, 0x11, 0 };
    JpegFrameHeader header;
    ASSERT_TRUE(ReadJpegFrameHeader(sof3, header));
    EXPECT_TRUE(header.lossless);
    EXPECT_EQ(header.precision, 16u);
    EXPECT_EQ(header.lines, 256u);
    EXPECT_EQ(header.columns, 512u);
    EXPECT_EQ(header.components, 1u);
    const uint8_t noSof[] = { 0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x02 };
    EXPECT_FALSE(ReadJpegFrameHeader(noSof, header));
    const uint8_t notJpeg[] = { 0x00, 0x01, 0x02, 0x03 };
    EXPECT_FALSE(ReadJpegFrameHeader(notJpeg, header));
}

} // namespace
} // namespace velmora

namespace velmora {
namespace {

TEST(JpegDecoderTest, WidensLosslessEightBitDataInSixteenBitContainers)
{
    // Lossless 8-bit data stored with bits allocated 16 comes out as words of the same values.
    const testing::DecoderFixture f = testing::FindFixture("jpeg_e1_gray8");
    ASSERT_EQ(f.name, "jpeg_e1_gray8");
    const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
    const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".raw"));
    ASSERT_EQ(expected.size(), f.FrameSize());
    std::vector<uint8_t> words(expected.size() * 2);
    ASSERT_EQ(DecodeJpeg(compressed, 16, words).result, SUCCESS);
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(words[2 * i], expected[i]) << i;
        ASSERT_EQ(words[2 * i + 1], 0) << i;
    }
}

} // namespace
} // namespace velmora
