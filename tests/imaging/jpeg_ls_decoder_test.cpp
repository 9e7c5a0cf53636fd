// JpegLsDecoder against DCMTK's dcmdjpls on real and transcoded files, against CharLS over a
// grid of precisions, NEAR values, interleave modes, components and restart intervals, and on
// streams built byte by byte.
#include "imaging/jpeg_ls_decoder.h"
#include "tests/imaging/decoder_fixtures.h"

#include <charls/charls.h>
#include <gtest/gtest.h>
#include <random>

namespace velmora {
namespace {

using testing::DecoderFixture;

TEST(JpegLsDecoderTest, MatchesReferenceDecoders)
{
    const auto fixtures = testing::LoadFixtures("jpegls");
    ASSERT_GE(fixtures.size(), 15u);
    for (const DecoderFixture& f : fixtures) {
        for (uint32_t frame = 1; frame <= f.frames; ++frame) {
            SCOPED_TRACE(f.name + " frame " + std::to_string(frame));
            const auto compressed = testing::ReadFixtureFile(testing::FrameFile(f, frame, ".bin"));
            const auto expected = testing::ReadFixtureFile(testing::FrameFile(f, frame, ".raw"));
            std::vector<uint8_t> output;
            uint32_t length = 0;
            ASSERT_EQ(DecodeJpegLs(compressed, output, f.planarConfiguration, length), SUCCESS);
            ASSERT_EQ(length, expected.size());
            output.resize(length);
            EXPECT_EQ(output, expected);
        }
    }
}

// ---- CharLS grid -------------------------------------------------------------------------

struct Image {
    uint32_t width, height, components, precision;
    std::vector<uint8_t> bytes; // CharLS layout: by plane for interleave none, else by pixel
};

size_t BytesPerSample(uint32_t precision)
{
    return precision <= 8 ? 1 : 2;
}

Image MakeImage(uint32_t width, uint32_t height, uint32_t components, uint32_t precision, bool flat,
    charls::interleave_mode mode, uint32_t seed)
{
    Image image { width, height, components, precision, {} };
    const uint32_t maxValue = (1u << precision) - 1;
    std::mt19937 random(seed);
    const size_t count = size_t(width) * height * components;
    image.bytes.resize(count * BytesPerSample(precision));
    for (uint32_t c = 0; c < components; ++c) {
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                uint32_t v;
                if (flat) // long runs, broken now and then (run mode and its interruptions)
                    v = (x / 9 + y / 5 + c) % 3 == 0 && random() % 7 == 0 ? random() & maxValue
                                                                          : maxValue / 3;
                else
                    v = ((x * 13 + y * 7 + c * 31) * maxValue / (width * 13 + height * 7 + 100)
                            + random() % 5)
                        & maxValue;
                const size_t index = mode == charls::interleave_mode::none
                    ? (size_t(c) * height + y) * width + x
                    : (size_t(y) * width + x) * components + c;
                if (BytesPerSample(precision) == 1) {
                    image.bytes[index] = static_cast<uint8_t>(v);
                } else {
                    image.bytes[2 * index] = static_cast<uint8_t>(v);
                    image.bytes[2 * index + 1] = static_cast<uint8_t>(v >> 8);
                }
            }
        }
    }
    return image;
}

std::vector<uint8_t> CharlsEncode(const Image& image, int nearLossless, charls::interleave_mode mode)
{
    charls::jpegls_encoder encoder;
    encoder
        .frame_info({ image.width, image.height, static_cast<int32_t>(image.precision),
            static_cast<int32_t>(image.components) })
        .near_lossless(nearLossless)
        .interleave_mode(mode);
    std::vector<uint8_t> destination(encoder.estimated_destination_size());
    encoder.destination(destination);
    const size_t written = encoder.encode(image.bytes);
    destination.resize(written);
    return destination;
}

std::vector<uint8_t> CharlsDecode(const std::vector<uint8_t>& stream)
{
    std::vector<uint8_t> out;
    charls::jpegls_decoder::decode(stream, out);
    return out;
}

// Splits a CharLS stream into its marker segments before the first SOS, and its scans.
struct Scan {
    std::vector<uint8_t> header; // FF DA + segment
    std::vector<uint8_t> data; // entropy-coded bytes up to the next marker
};

void SplitStream(const std::vector<uint8_t>& s, std::vector<uint8_t>& frameSegments, std::vector<Scan>& scans)
{
    size_t pos = 2; // after SOI
    while (pos + 4 <= s.size()) {
        const uint8_t marker = s[pos + 1];
        if (marker == 0xD9)
            break;
        const size_t length = size_t(s[pos + 2]) << 8 | s[pos + 3];
        if (marker != 0xDA) {
            frameSegments.insert(
                frameSegments.end(), s.begin() + long(pos), s.begin() + long(pos + 2 + length));
            pos += 2 + length;
            continue;
        }
        Scan scan;
        scan.header.assign(s.begin() + long(pos), s.begin() + long(pos + 2 + length));
        size_t end = pos + 2 + length;
        while (end + 1 < s.size() && !(s[end] == 0xFF && s[end + 1] >= 0x80))
            ++end;
        scan.data.assign(s.begin() + long(pos + 2 + length), s.begin() + long(end));
        scans.push_back(scan);
        pos = end;
    }
}

// A stream with restart markers every `interval` lines: restarting resets the coder as if a new
// image began, so each interval is a separate CharLS encoding of its strip of lines.
std::vector<uint8_t> EncodeWithRestarts(const Image& image, int nearLossless, charls::interleave_mode mode,
    uint32_t interval, std::vector<uint8_t>& expected)
{
    std::vector<std::vector<Scan>> strips;
    std::vector<uint8_t> frameSegments;
    std::vector<std::vector<uint8_t>> stripDecodes;
    const size_t bps = BytesPerSample(image.precision);
    for (uint32_t top = 0; top < image.height; top += interval) {
        const uint32_t lines = std::min(interval, image.height - top);
        Image strip { image.width, lines, image.components, image.precision, {} };
        for (uint32_t c = 0; c < (mode == charls::interleave_mode::none ? image.components : 1); ++c) {
            const size_t rowBytes
                = size_t(image.width) * bps * (mode == charls::interleave_mode::none ? 1 : image.components);
            const size_t planeOffset = size_t(c) * image.height * rowBytes;
            strip.bytes.insert(strip.bytes.end(), image.bytes.begin() + long(planeOffset + top * rowBytes),
                image.bytes.begin() + long(planeOffset + (top + lines) * rowBytes));
        }
        const auto encoded = CharlsEncode(strip, nearLossless, mode);
        stripDecodes.push_back(CharlsDecode(encoded));
        std::vector<uint8_t> segments;
        std::vector<Scan> scans;
        SplitStream(encoded, segments, scans);
        if (top == 0)
            frameSegments = segments;
        strips.push_back(scans);
    }
    // Expected: the strips' decodes put back together in CharLS's layout.
    expected.clear();
    const size_t planes = mode == charls::interleave_mode::none ? image.components : 1;
    const size_t rowBytes = size_t(image.width) * bps * (planes == 1 ? image.components : 1);
    for (size_t c = 0; c < planes; ++c) {
        for (size_t s = 0; s < strips.size(); ++s) {
            const uint32_t lines = std::min(interval, image.height - uint32_t(s) * interval);
            const auto& d = stripDecodes[s];
            expected.insert(expected.end(), d.begin() + long(c * lines * rowBytes),
                d.begin() + long((c + 1) * lines * rowBytes));
        }
    }
    // SOF with the full height, DRI, then each scan's strips joined by RSTm.
    std::vector<uint8_t> out = { 0xFF, 0xD8 };
    for (size_t i = 0; i + 4 <= frameSegments.size();) {
        const size_t length = size_t(frameSegments[i + 2]) << 8 | frameSegments[i + 3];
        std::vector<uint8_t> segment(
            frameSegments.begin() + long(i), frameSegments.begin() + long(i + 2 + length));
        if (segment[1] == 0xF7) {
            segment[5] = static_cast<uint8_t>(image.height >> 8);
            segment[6] = static_cast<uint8_t>(image.height);
        }
        out.insert(out.end(), segment.begin(), segment.end());
        i += 2 + length;
    }
    out.insert(out.end(),
        { 0xFF, 0xDD, 0x00, 0x04, static_cast<uint8_t>(interval >> 8), static_cast<uint8_t>(interval) });
    for (size_t scan = 0; scan < strips.front().size(); ++scan) {
        out.insert(out.end(), strips.front()[scan].header.begin(), strips.front()[scan].header.end());
        for (size_t s = 0; s < strips.size(); ++s) {
            if (s > 0) {
                out.push_back(0xFF);
                out.push_back(static_cast<uint8_t>(0xD0 + (s - 1) % 8));
            }
            out.insert(out.end(), strips[s][scan].data.begin(), strips[s][scan].data.end());
        }
    }
    out.insert(out.end(), { 0xFF, 0xD9 });
    return out;
}

// CharLS layout to ours: colour-by-pixel (planar 0) or colour-by-plane (planar 1).
std::vector<uint8_t> ToPlanar(
    const std::vector<uint8_t>& in, const Image& image, charls::interleave_mode mode, uint32_t planar)
{
    const bool inPlanes = mode == charls::interleave_mode::none;
    if (image.components == 1 || inPlanes == (planar == 1))
        return in;
    const size_t bps = BytesPerSample(image.precision);
    const size_t pixels = size_t(image.width) * image.height;
    std::vector<uint8_t> out(in.size());
    for (size_t p = 0; p < pixels; ++p) {
        for (size_t c = 0; c < image.components; ++c) {
            const size_t byPixel = (p * image.components + c) * bps;
            const size_t byPlane = (c * pixels + p) * bps;
            for (size_t b = 0; b < bps; ++b) {
                if (inPlanes)
                    out[byPixel + b] = in[byPlane + b];
                else
                    out[byPlane + b] = in[byPixel + b];
            }
        }
    }
    return out;
}

TEST(JpegLsDecoderTest, MatchesCharlsOverParameterGrid)
{
    int cases = 0;
    for (uint32_t precision : { 2u, 5u, 8u, 10u, 12u, 16u }) {
        for (int nearLossless : { 0, 1, 3 }) {
            if (nearLossless > int((1u << precision) - 1) / 2)
                continue;
            for (uint32_t components : { 1u, 3u }) {
                for (auto mode : { charls::interleave_mode::none, charls::interleave_mode::line,
                         charls::interleave_mode::sample }) {
                    if (components == 1 && mode != charls::interleave_mode::none)
                        continue;
                    for (uint32_t restart : { 0u, 7u }) {
                        for (bool flat : { false, true }) {
                            const std::string what = "P=" + std::to_string(precision) + " NEAR="
                                + std::to_string(nearLossless) + " components=" + std::to_string(components)
                                + " ilv=" + std::to_string(int(mode)) + " restart=" + std::to_string(restart)
                                + (flat ? " flat" : " noisy");
                            SCOPED_TRACE(what);
                            const Image image = MakeImage(
                                37, 23, components, precision, flat, mode, precision * 100 + components);
                            std::vector<uint8_t> stream;
                            std::vector<uint8_t> reference;
                            if (restart == 0) {
                                stream = CharlsEncode(image, nearLossless, mode);
                                reference = CharlsDecode(stream);
                            } else {
                                stream = EncodeWithRestarts(image, nearLossless, mode, restart, reference);
                            }
                            if (nearLossless == 0) {
                                ASSERT_EQ(reference, image.bytes); // the oracle round-trips
                            }
                            for (uint32_t planar : { 0u, 1u }) {
                                std::vector<uint8_t> output;
                                uint32_t length = 0;
                                ASSERT_EQ(DecodeJpegLs(stream, output, planar, length), SUCCESS);
                                ASSERT_EQ(length, reference.size());
                                output.resize(length);
                                EXPECT_EQ(output, ToPlanar(reference, image, mode, planar))
                                    << "planar " << planar;
                            }
                            ++cases;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(cases, 200);
}

TEST(JpegLsDecoderTest, ContinuesWhenTheRestOfTheStreamArrives)
{
    const Image image = MakeImage(64, 40, 3, 8, false, charls::interleave_mode::line, 7);
    const auto stream = CharlsEncode(image, 0, charls::interleave_mode::line);
    JpegLsDecoder decoder;
    std::vector<uint8_t> output;
    uint32_t length = 0;
    uint32_t lastLength = 0;
    size_t given = 0;
    ResultCode result = PENDING;
    while (result == PENDING && given < stream.size()) {
        const size_t piece = std::min<size_t>(97, stream.size() - given);
        result = decoder.Decode(std::span<const uint8_t>(stream.data() + given, piece), output, 0, length);
        given += piece;
        if (result == PENDING) {
            EXPECT_GE(length, lastLength);
            lastLength = length;
        }
    }
    ASSERT_EQ(result, SUCCESS);
    EXPECT_EQ(given, stream.size());
    output.resize(length);
    EXPECT_EQ(output, image.bytes);
    EXPECT_GT(lastLength, 0u);
}

// ---- Streams built byte by byte ----------------------------------------------------------

std::vector<uint8_t> Header(uint8_t precision, uint16_t lines, uint16_t columns, uint8_t components,
    uint8_t nearLossless, uint8_t interleave, uint8_t table = 0, uint8_t transform = 0)
{
    std::vector<uint8_t> s = { 0xFF, 0xD8, 0xFF, 0xF7, 0x00, static_cast<uint8_t>(8 + 3 * components),
        precision, static_cast<uint8_t>(lines >> 8), static_cast<uint8_t>(lines),
        static_cast<uint8_t>(columns >> 8), static_cast<uint8_t>(columns), components };
    for (uint8_t c = 1; c <= components; ++c)
        s.insert(s.end(), { c, 0x11, 0x00 });
    s.insert(s.end(), { 0xFF, 0xDA, 0x00, static_cast<uint8_t>(6 + 2 * components), components });
    for (uint8_t c = 1; c <= components; ++c)
        s.insert(s.end(), { c, table });
    s.insert(s.end(), { nearLossless, interleave, transform });
    return s;
}

TEST(JpegLsDecoderTest, HandBuiltStreams)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> stream;
        ResultCode result;
    };
    auto withData = [](std::vector<uint8_t> s, std::initializer_list<uint8_t> tail) {
        s.insert(s.end(), tail);
        return s;
    };
    // 1x1 lossless 8-bit image of value 0: context 0 -> run mode; a 1 bit ends the line.
    const auto onePixel = withData(Header(8, 1, 1, 1, 0, 0), { 0x80, 0xFF, 0xD9 });
    const std::vector<Case> cases = {
        { "one pixel", onePixel, SUCCESS },
        { "no SOS yet", { 0xFF, 0xD8, 0xFF, 0xF7, 0x00, 0x0B, 8, 0, 1, 0, 1, 1, 1, 0x11, 0 }, PENDING },
        { "empty", {}, PENDING },
        { "not SOI", { 0xFF, 0xD9, 0xFF, 0xDA }, ERROR_GENERAL_FAILURE },
        { "baseline JPEG frame",
            { 0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x0B, 8, 0, 1, 0, 1, 1, 1, 0x11, 0, 0xFF, 0xDA },
            ERROR_GENERAL_FAILURE },
        { "precision 1", withData(Header(1, 1, 1, 1, 0, 0), { 0x80, 0xFF, 0xD9 }), ERROR_GENERAL_FAILURE },
        { "precision 17", withData(Header(17, 1, 1, 1, 0, 0), { 0x80, 0xFF, 0xD9 }), ERROR_GENERAL_FAILURE },
        { "zero lines", withData(Header(8, 0, 1, 1, 0, 0), { 0x80, 0xFF, 0xD9 }), ERROR_GENERAL_FAILURE },
        { "mapping table selected", withData(Header(8, 1, 1, 1, 0, 0, 1), { 0x80, 0xFF, 0xD9 }),
            ERROR_GENERAL_FAILURE },
        { "point transform", withData(Header(8, 1, 1, 1, 0, 0, 0, 1), { 0x80, 0xFF, 0xD9 }),
            ERROR_GENERAL_FAILURE },
        { "interleave mode 3", withData(Header(8, 1, 1, 3, 0, 3), { 0x80, 0xFF, 0xD9 }),
            ERROR_GENERAL_FAILURE },
        { "mode none with three components", withData(Header(8, 1, 1, 3, 0, 0), { 0x80, 0xFF, 0xD9 }),
            ERROR_GENERAL_FAILURE },
        { "NEAR above MAXVAL / 2", withData(Header(2, 1, 1, 1, 2, 0), { 0x80, 0xFF, 0xD9 }),
            ERROR_GENERAL_FAILURE },
        { "scan data cut short", Header(8, 4, 4, 1, 0, 0), PENDING },
        { "no EOI yet", withData(Header(8, 1, 1, 1, 0, 0), { 0x80 }), PENDING },
        { "garbage instead of EOI",
            withData(Header(8, 1, 1, 1, 0, 0), { 0x80, 0xFF, 0xC4, 0x00, 0x02, 0x00 }), PENDING },
        { "huge frame", withData(Header(16, 65535, 65535, 3, 0, 2), { 0x80, 0xFF, 0xD9 }),
            ERROR_MEMORY_ALLOC },
        { "component missing a scan",
            { 0xFF, 0xD8, 0xFF, 0xF7, 0x00, 0x0E, 8, 0, 1, 0, 1, 2, 1, 0x11, 0, 2, 0x11, 0, 0xFF, 0xDA, 0x00,
                0x08, 1, 1, 0, 0, 0, 0, 0x80, 0xFF, 0xD9 },
            ERROR_GENERAL_FAILURE },
        { "one pixel after a fill byte and an application segment",
            { 0xFF, 0xD8, 0xFF, 0xFF, 0xE8, 0x00, 0x03, 0x00, 0xFF, 0xF7, 0x00, 0x0B, 8, 0, 1, 0, 1, 1, 1,
                0x11, 0, 0xFF, 0xDA, 0x00, 0x08, 1, 1, 0, 0, 0, 0, 0x80, 0xFF, 0xD9 },
            SUCCESS },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> output;
        uint32_t length = 0;
        JpegLsDecoder decoder;
        decoder.SetMaxOutputBytes(size_t(1) << 24);
        EXPECT_EQ(decoder.Decode(c.stream, output, 0, length), c.result);
    }
    std::vector<uint8_t> output;
    uint32_t length = 0;
    ASSERT_EQ(DecodeJpegLs(onePixel, output, 0, length), SUCCESS);
    ASSERT_EQ(length, 1u);
    EXPECT_EQ(output[0], 0);
}

TEST(JpegLsDecoderTest, ReadsPresetThresholds)
{
    // CharLS with explicit LSE thresholds and RESET: the decoder must use them.
    const Image image = MakeImage(40, 30, 1, 12, false, charls::interleave_mode::none, 3);
    charls::jpegls_encoder encoder;
    encoder.frame_info({ image.width, image.height, 12, 1 })
        .preset_coding_parameters({ 4095, 9, 40, 200, 20 });
    std::vector<uint8_t> stream(encoder.estimated_destination_size());
    encoder.destination(stream);
    stream.resize(encoder.encode(image.bytes));
    std::vector<uint8_t> output;
    uint32_t length = 0;
    ASSERT_EQ(DecodeJpegLs(stream, output, 0, length), SUCCESS);
    output.resize(length);
    EXPECT_EQ(output, image.bytes);
}

TEST(JpegLsDecoderTest, CorruptedStreamsNeverOverrun)
{
    const Image image = MakeImage(33, 17, 3, 8, false, charls::interleave_mode::sample, 11);
    const auto stream = CharlsEncode(image, 1, charls::interleave_mode::sample);
    std::mt19937 random(5);
    for (int trial = 0; trial < 300; ++trial) {
        auto broken = stream;
        const size_t at = 20 + random() % (broken.size() - 20);
        broken[at] = static_cast<uint8_t>(random());
        std::vector<uint8_t> output;
        uint32_t length = 0;
        const ResultCode result = DecodeJpegLs(broken, output, 0, length);
        EXPECT_TRUE(result == SUCCESS || result == PENDING || result == ERROR_GENERAL_FAILURE) << result;
        EXPECT_LE(length, output.size());
    }
}

TEST(JpegLsDecoderTest, ErrorBeyondTheSampleRangeIsCorruptData)
{
    // A 16-bit stream whose Golomb codes decode to errors far beyond RANGE: before the check they
    // overflowed the context's error sum. The fuzz input's first byte is the planar configuration.
    const char* root = std::getenv("VELMORA_SOURCE_DIR");
    std::ifstream in(
        std::string(root ? root : ".") + "/fuzz/corpus/jpeg_ls_decoder_fuzzer/regression-context-overflow",
        std::ios::binary);
    const std::vector<uint8_t> input { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    ASSERT_GT(input.size(), 1u);
    std::vector<uint8_t> output;
    uint32_t length = 0;
    EXPECT_EQ(DecodeJpegLs(std::span(input).subspan(1), output, input[0] & 1, length), ERROR_GENERAL_FAILURE);
    EXPECT_LE(length, output.size());
}

} // namespace
} // namespace velmora
