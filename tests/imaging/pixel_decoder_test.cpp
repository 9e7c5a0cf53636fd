// PixelDecoder: Init / Append / SetLayout / Decode over every fixture of every codec, and the
// buffer rules around them.
#include "imaging/pixel_decoder.h"
#include "tests/imaging/decoder_fixtures.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::DecoderFixture;

// A compression kind for each codec of the reference table.
int32_t KindOf(const DecoderFixture& f)
{
    if (f.codec == "rle")
        return 0x1500000;
    if (f.codec == "jpegls")
        return f.exact ? 0x1400000 : 0x1300000;
    if (f.codec == "j2k")
        return 0x1600000;
    return f.exact ? 0x800000 : 0x100000;
}

TEST(PixelDecoderTest, DecodesEveryFixtureLikeTheReference)
{
    const auto fixtures = testing::LoadFixtures("");
    ASSERT_GE(fixtures.size(), 50u);
    for (const DecoderFixture& f : fixtures) {
        for (uint32_t frame = 1; frame <= f.frames; ++frame) {
            SCOPED_TRACE(f.name + " frame " + std::to_string(frame));
            const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, frame, ".bin"));
            const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, frame, ".raw"));
            PixelDecoder decoder;
            ASSERT_EQ(decoder.Init(KindOf(f), f.bitsAllocated, f.samplesPerPixel,
                          static_cast<uint32_t>(compressed.size())),
                SUCCESS);
            ASSERT_EQ(decoder.Append(compressed), SUCCESS);
            decoder.SetLayout(f.planarConfiguration, f.FrameSize());
            ASSERT_EQ(decoder.Decode(), SUCCESS);
            const auto output = decoder.Output();
            ASSERT_EQ(output.size(), expected.size());
            EXPECT_TRUE(std::equal(output.begin(), output.end(), expected.begin()));
        }
    }
}

// One decoder through every fixture in turn (as a tile steps through files): each frame comes
// out like the reference, and frames of one size are decoded into the same memory.
TEST(PixelDecoderTest, OneDecoderForEveryFrameKeepsItsOutputBuffer)
{
    PixelDecoder decoder;
    const uint8_t* previousOutput = nullptr;
    uint32_t previousSize = 0;
    for (const DecoderFixture& f : testing::LoadFixtures("")) {
        for (uint32_t frame = 1; frame <= f.frames; ++frame) {
            SCOPED_TRACE(f.name + " frame " + std::to_string(frame));
            const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, frame, ".bin"));
            const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, frame, ".raw"));
            ASSERT_EQ(decoder.Init(KindOf(f), f.bitsAllocated, f.samplesPerPixel,
                          static_cast<uint32_t>(compressed.size())),
                SUCCESS);
            ASSERT_EQ(decoder.Append(compressed), SUCCESS);
            decoder.SetLayout(f.planarConfiguration, f.FrameSize());
            ASSERT_EQ(decoder.Decode(), SUCCESS);
            const auto output = decoder.Output();
            ASSERT_EQ(output.size(), expected.size());
            EXPECT_TRUE(std::equal(output.begin(), output.end(), expected.begin()));
            if (f.FrameSize() <= previousSize) {
                EXPECT_EQ(output.data(), previousOutput) << "a frame no larger than the last";
            }
            previousOutput = output.data();
            previousSize = std::max(previousSize, f.FrameSize());
        }
    }
}

// JPEG-LS samples of 8 bits or fewer in an image of 16 bits allocated come out as little-endian
// words, as the JPEG builds give wide samples.
TEST(PixelDecoderTest, NarrowJpegLsSamplesInSixteenBitsAreWidened)
{
    for (const DecoderFixture& f : testing::LoadFixtures("jpegls")) {
        if (f.bitsAllocated != 8 || f.samplesPerPixel != 1 || !f.exact)
            continue;
        SCOPED_TRACE(f.name);
        const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
        const auto narrow = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".raw"));
        PixelDecoder decoder;
        ASSERT_EQ(decoder.Init(0x1400000, 16, 1, static_cast<uint32_t>(compressed.size())), SUCCESS);
        ASSERT_EQ(decoder.Append(compressed), SUCCESS);
        decoder.SetLayout(0, f.FrameSize() * 2);
        ASSERT_EQ(decoder.Decode(), SUCCESS);
        const auto output = decoder.Output();
        ASSERT_EQ(output.size(), 2 * narrow.size());
        for (size_t i = 0; i < narrow.size(); ++i)
            ASSERT_EQ(output[2 * i] | output[2 * i + 1] << 8, narrow[i]) << "sample " << i;
    }
}

TEST(PixelDecoderTest, SelectsTheCodecByCompressionKind)
{
    EXPECT_EQ(CodecForCompression(0), PixelCodec::None);
    EXPECT_EQ(CodecForCompression(0x100000), PixelCodec::Jpeg);
    EXPECT_EQ(CodecForCompression(0x800000), PixelCodec::Jpeg);
    EXPECT_EQ(CodecForCompression(0x1200000), PixelCodec::Jpeg);
    EXPECT_EQ(CodecForCompression(0x1300000), PixelCodec::JpegLs);
    EXPECT_EQ(CodecForCompression(0x1400000), PixelCodec::JpegLs);
    EXPECT_EQ(CodecForCompression(0x1500000), PixelCodec::Rle);
    EXPECT_EQ(CodecForCompression(0x1600000), PixelCodec::Jpeg2000);
    EXPECT_EQ(CodecForCompression(0x1700000), PixelCodec::Jpeg2000);
    EXPECT_EQ(CodecForCompression(0x1800000), PixelCodec::None);
    // The low bits of the transfer syntax properties do not matter.
    EXPECT_EQ(CodecForCompression(0x1500003), PixelCodec::Rle);
}

TEST(PixelDecoderTest, BufferRules)
{
    const uint8_t bytes[] = { 1, 2, 3, 4, 5, 6 };
    PixelDecoder decoder;
    ASSERT_EQ(decoder.Init(0x1500000, 8, 1, 4), SUCCESS);
    EXPECT_EQ(decoder.Append(nullptr, 3), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(decoder.Append(bytes, 0), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(decoder.Append(bytes, 3), SUCCESS);
    // Decoding before every announced byte is here waits.
    decoder.SetLayout(0, 4);
    EXPECT_EQ(decoder.Decode(), PENDING);
    // More than announced: only the announced number is kept; then there is no room left.
    EXPECT_EQ(decoder.Append(bytes, 6), SUCCESS);
    EXPECT_EQ(decoder.Received(), 4u);
    EXPECT_EQ(decoder.Append(bytes, 1), ERROR_GENERAL_PARAMETER);
    // Four bytes are no RLE frame.
    EXPECT_EQ(decoder.Decode(), ERROR_GENERAL_FAILURE);
    // A compression kind no decoder handles.
    ASSERT_EQ(decoder.Init(0x1800000, 8, 1, 2), SUCCESS);
    ASSERT_EQ(decoder.Append(bytes, 2), SUCCESS);
    decoder.SetLayout(0, 4);
    EXPECT_EQ(decoder.Decode(), ERROR_GENERAL_FAILURE);
    // Nothing announced: nothing to do.
    ASSERT_EQ(decoder.Init(0x1500000, 8, 1, 0), SUCCESS);
    decoder.SetLayout(0, 4);
    EXPECT_EQ(decoder.Decode(), SUCCESS);
    EXPECT_EQ(decoder.DecodedLength(), 0u);
}

const DecoderFixture& Find(const std::vector<DecoderFixture>& fixtures, const std::string& name)
{
    for (const DecoderFixture& f : fixtures) {
        if (f.name == name)
            return f;
    }
    static const DecoderFixture none;
    ADD_FAILURE() << "no fixture " << name;
    return none;
}

TEST(PixelDecoderTest, JpegReportsTheColourSpaceAndKeepsComponentsAsStored)
{
    const auto fixtures = testing::LoadFixtures("jpeg");
    const DecoderFixture& f = Find(fixtures, "jpeg_eb_rgb8");
    const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
    PixelDecoder decoder;
    ASSERT_EQ(decoder.Init(0x100000, 8, 3, static_cast<uint32_t>(compressed.size())), SUCCESS);
    ASSERT_EQ(decoder.Append(compressed), SUCCESS);
    decoder.SetLayout(0, f.FrameSize());
    std::vector<uint8_t> output;
    uint32_t length = 0;
    int32_t colourSpace = 0;
    ASSERT_EQ(decoder.Decode(output, length, colourSpace), SUCCESS);
    EXPECT_EQ(colourSpace, PIXEL_COLOUR_YBR_FULL_422);
    EXPECT_EQ(length, f.FrameSize());
    // A truncated frame fails and the program goes on.
    ASSERT_EQ(decoder.Init(0x100000, 8, 3, static_cast<uint32_t>(compressed.size() / 2)), SUCCESS);
    ASSERT_EQ(decoder.Append(compressed.data(), static_cast<uint32_t>(compressed.size() / 2)), SUCCESS);
    decoder.SetLayout(0, f.FrameSize());
    EXPECT_EQ(decoder.Decode(), ERROR_GENERAL_FAILURE);
}

TEST(PixelDecoderTest, JpegLsTakesTheStreamInPieces)
{
    const auto fixtures = testing::LoadFixtures("jpegls");
    const DecoderFixture& f = Find(fixtures, "jls_gray12");
    const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
    const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".raw"));
    PixelDecoder decoder;
    ASSERT_EQ(decoder.Init(0x1400000, 16, 1, static_cast<uint32_t>(compressed.size())), SUCCESS);
    decoder.SetLayout(0, f.FrameSize());
    const uint32_t half = static_cast<uint32_t>(compressed.size() / 2);
    ASSERT_EQ(decoder.Append(compressed.data(), half), SUCCESS);
    EXPECT_EQ(decoder.Decode(), PENDING);
    EXPECT_GT(decoder.DecodedLength(), 0u);
    EXPECT_LT(decoder.DecodedLength(), f.FrameSize());
    // Still pending when asked again with nothing new.
    EXPECT_EQ(decoder.Decode(), PENDING);
    ASSERT_EQ(
        decoder.Append(compressed.data() + half, static_cast<uint32_t>(compressed.size() - half)), SUCCESS);
    ASSERT_EQ(decoder.Decode(), SUCCESS);
    ASSERT_EQ(decoder.DecodedLength(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), decoder.Output().begin()));
    // Done: a further Decode does nothing and keeps the frame.
    EXPECT_EQ(decoder.Decode(), SUCCESS);
    EXPECT_EQ(decoder.DecodedLength(), expected.size());
    // Colour-by-pixel colour frames wait for the whole stream.
    const DecoderFixture& rgb = Find(fixtures, "jls_il_rgb8");
    const auto colour = testing::ReadFixtureFile(testing::FrameFile(rgb, 1, ".bin"));
    ASSERT_EQ(decoder.Init(0x1400000, 8, 3, static_cast<uint32_t>(colour.size())), SUCCESS);
    ASSERT_EQ(decoder.Append(colour.data(), 10), SUCCESS);
    decoder.SetLayout(0, rgb.FrameSize());
    EXPECT_EQ(decoder.Decode(), PENDING);
    EXPECT_EQ(decoder.DecodedLength(), 0u);
}

TEST(PixelDecoderTest, RleSixteenBitColourKeepsEverySegment)
{
    const auto fixtures = testing::LoadFixtures("rle");
    for (const char* name : { "rle_rgb16", "pydicom_SC_rgb_rle_16bit" }) {
        SCOPED_TRACE(name);
        const DecoderFixture& f = Find(fixtures, name);
        const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".bin"));
        const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, 1, ".raw"));
        ASSERT_EQ(compressed[0], 6); // six segments in the header
        PixelDecoder decoder;
        ASSERT_EQ(decoder.Init(0x1500000, 16, 3, static_cast<uint32_t>(compressed.size())), SUCCESS);
        ASSERT_EQ(decoder.Append(compressed), SUCCESS);
        decoder.SetLayout(0, f.FrameSize());
        ASSERT_EQ(decoder.Decode(), SUCCESS);
        const auto output = decoder.TakeOutput();
        EXPECT_EQ(output, expected);
    }
}

} // namespace
} // namespace velmora
