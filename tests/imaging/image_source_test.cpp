// ImageSource: Describe, FrameBytes, FrameCount and ReadFrame on small files built for each case
// (tests/data/imaging/source) and on pydicom's real files.
// Built once the toolkit's DataSet is present in the tree.
#if __has_include("toolkit/data_set.h")
#include "imaging/image_source.h"
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace velmora {
namespace {

std::string Fixture(const char* name)
{
    const char* root = std::getenv("VELMORA_SOURCE_DIR");
    return std::string(root ? root : ".") + "/tests/data/imaging/source/" + name;
}

class ImageSourceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(InstallBuiltInTables(), SUCCESS); }
    void TearDown() override { m_dataSet.CloseSource(); }

    // Loads a fixture and describes it; the result of Describe.
    ResultCode Open(const char* name, TableReading tables = TableReading::Read)
    {
        EXPECT_EQ(m_dataSet.Load(Fixture(name).c_str()), SUCCESS) << name;
        m_source.Bind(&m_dataSet);
        return m_source.Describe(m_description, tables);
    }

    DataSet m_dataSet;
    ImageSource m_source;
    ImageDescription m_description;
};

TEST_F(ImageSourceTest, PhotometricDefaultsAndRefusals)
{
    ASSERT_EQ(Open("no_photometric.dcm"), SUCCESS);
    EXPECT_STREQ(m_description.photometric, "MONOCHROME2");
    EXPECT_EQ(m_description.photometricCode, PHOTOMETRIC_MONOCHROME2);
    EXPECT_EQ(m_description.displayDepth, 8);
    EXPECT_TRUE(m_description.greyscale);
    EXPECT_EQ(m_description.rows, 2u);
    EXPECT_EQ(m_description.columns, 3u);
    m_dataSet.CloseSource();

    ASSERT_EQ(Open("no_photometric_16.dcm"), SUCCESS);
    EXPECT_EQ(m_description.displayDepth, 16);
    m_dataSet.CloseSource();

    for (const char* name : { "lower_case_photometric.dcm", "unknown_photometric.dcm",
             "colour_without_photometric.dcm", "no_rows.dcm" }) {
        EXPECT_EQ(Open(name), ERROR_GENERAL_FAILURE) << name;
        m_dataSet.CloseSource();
    }
}

TEST_F(ImageSourceTest, SamplesPerPixelZeroIsOne)
{
    ASSERT_EQ(Open("samples_zero.dcm"), SUCCESS);
    EXPECT_EQ(m_description.samplesPerPixel, 1u);
    EXPECT_EQ(m_source.FrameBytes(), 6u);
    EXPECT_EQ(m_source.FrameCount(), 1);
}

TEST_F(ImageSourceTest, WindowAndRescale)
{
    ASSERT_EQ(Open("window_width_zero.dcm"), SUCCESS);
    EXPECT_EQ(m_description.windowCenter, ABSENT_REAL);
    EXPECT_EQ(m_description.windowWidth, ABSENT_REAL);
    EXPECT_EQ(m_description.rescaleSlope, ABSENT_REAL);
    m_dataSet.CloseSource();

    ASSERT_EQ(Open("width_without_center.dcm"), SUCCESS);
    EXPECT_EQ(m_description.windowCenter, ABSENT_REAL);
    EXPECT_EQ(m_description.windowWidth, 300.0);
    EXPECT_EQ(m_description.rescaleIntercept, ABSENT_REAL);
    EXPECT_EQ(m_description.rescaleSlope, 2.0);
    m_dataSet.CloseSource();

    ASSERT_EQ(Open("ct_window.dcm"), SUCCESS);
    EXPECT_EQ(m_description.windowCenter, 40.0);
    EXPECT_EQ(m_description.windowWidth, 400.0);
    EXPECT_EQ(m_description.rescaleIntercept, -1024.0);
    EXPECT_EQ(m_description.rescaleSlope, 1.0);
    EXPECT_FALSE(m_description.minimumKnown);
}

// Enhanced multi-frame images: values absent at the top level come from the shared functional
// groups, else from the frame's own per-frame item (values as make_fixtures.py writes them).
TEST_F(ImageSourceTest, FunctionalGroupsGiveEachFrameItsWindowAndRescale)
{
    constexpr double NONE = ABSENT_REAL;
    struct Case {
        const char* file;
        uint32_t frame;
        double center, width, intercept, slope;
    };
    const Case cases[] = {
        { "enhanced_ct.dcm", 1, 40, 400, -1024, 1 }, // all four shared
        { "enhanced_ct.dcm", 3, 40, 400, -1024, 1 },
        { "enhanced_mr.dcm", 1, 500, 1000, 0, 1 }, // each frame its own
        { "enhanced_mr.dcm", 2, 2000, 800, 10, 2 }, { "enhanced_mr.dcm", 3, 1000, 3000, -5, 0.5 },
        { "enhanced_mr.dcm", 4, NONE, NONE, NONE, NONE }, // no such item
        { "enhanced_top_level.dcm", 1, 100, 200, 5, 3 }, // the top level's window wins
        { "enhanced_top_level.dcm", 2, 100, 200, NONE, NONE }, // the sequence ends at frame 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " frame " + std::to_string(c.frame));
        ASSERT_EQ(m_dataSet.Load(Fixture(c.file).c_str()), SUCCESS);
        m_source.Bind(&m_dataSet);
        ASSERT_EQ(m_source.Describe(m_description, TableReading::Read, c.frame), SUCCESS);
        EXPECT_EQ(m_description.windowCenter, c.center);
        EXPECT_EQ(m_description.windowWidth, c.width);
        EXPECT_EQ(m_description.rescaleIntercept, c.intercept);
        EXPECT_EQ(m_description.rescaleSlope, c.slope);
        m_dataSet.CloseSource();
    }
}

// A VOI LUT in each frame's Frame VOI LUT macro: each frame is described with its own table.
TEST_F(ImageSourceTest, FunctionalGroupsGiveEachFrameItsVoiLut)
{
    const std::vector<uint16_t> tables[] = { { 0, 10, 20, 30 }, { 5, 6, 7, 8 } };
    ASSERT_EQ(m_dataSet.Load(Fixture("enhanced_voi_lut.dcm").c_str()), SUCCESS);
    m_source.Bind(&m_dataSet);
    for (uint32_t frame = 1; frame <= 2; ++frame) {
        ASSERT_EQ(m_source.Describe(m_description, TableReading::Read, frame), SUCCESS);
        EXPECT_EQ(m_description.voiLut.entries, tables[frame - 1]) << "frame " << frame;
        EXPECT_FALSE(m_description.modalityLut.Present());
    }
}

TEST_F(ImageSourceTest, Palettes)
{
    ASSERT_EQ(Open("palette_4.dcm"), SUCCESS);
    EXPECT_EQ(m_description.photometricCode, PHOTOMETRIC_PALETTE_COLOR);
    EXPECT_EQ(m_description.displayDepth, 8);
    EXPECT_FALSE(m_description.greyscale);
    EXPECT_EQ(m_description.largestPaletteCount, 4u);
    EXPECT_EQ(m_description.redPalette.entries, (std::vector<uint16_t> { 0, 65535, 0, 0 }));
    EXPECT_EQ(m_description.bluePalette.entries, (std::vector<uint16_t> { 0, 0, 0, 65535 }));
    m_dataSet.CloseSource();

    ASSERT_EQ(Open("palette_300.dcm"), SUCCESS);
    EXPECT_EQ(m_description.displayDepth, 24);
    m_dataSet.CloseSource();

    // A stored count of 0 means 65,536 entries; data shorter than the descriptor gives the
    // entries it holds, as DCMTK ("assuming 1") and pydicom read it.
    ASSERT_EQ(Open("palette_count_0.dcm", TableReading::Skip), SUCCESS);
    EXPECT_EQ(m_description.redPalette.entryCount, 65536);
    EXPECT_EQ(m_description.displayDepth, 24);
    m_dataSet.CloseSource();
    ASSERT_EQ(Open("palette_count_0.dcm"), SUCCESS);
    EXPECT_EQ(m_description.redPalette.entries, std::vector<uint16_t> { 0 });
    m_dataSet.CloseSource();
    ASSERT_EQ(Open("palette_short_data.dcm"), SUCCESS);
    EXPECT_EQ(m_description.redPalette.entries.size(), 4u);
    EXPECT_EQ(m_description.greenPalette.entries.size(), 8u);
    m_dataSet.CloseSource();
    // 8-bit entries stored one byte each: 256 bytes for 256 entries.
    ASSERT_EQ(Open("palette_8bit_entries.dcm"), SUCCESS);
    ASSERT_EQ(m_description.greenPalette.entries.size(), 256u);
    EXPECT_EQ(m_description.redPalette.entries[200], 200);
    EXPECT_EQ(m_description.greenPalette.entries[0], 255);
    EXPECT_EQ(m_description.bluePalette.entries[100], 300 % 256);
    m_dataSet.CloseSource();

    EXPECT_EQ(Open("palette_without_data.dcm"), ERROR_GENERAL_FAILURE);
    EXPECT_EQ(m_description.rows, 0u); // zeroed
    m_dataSet.CloseSource();

    ASSERT_EQ(Open("palette_segmented.dcm"), SUCCESS);
    EXPECT_EQ(m_description.greenPalette.entries, (std::vector<uint16_t> { 0, 10, 20, 30, 40, 50, 60, 70 }));
}

TEST_F(ImageSourceTest, ModalityAndVoiLuts)
{
    ASSERT_EQ(Open("modality_lut.dcm"), SUCCESS);
    EXPECT_EQ(m_description.modalityLut.entries, (std::vector<uint16_t> { 100, 200, 300, 400 }));
    EXPECT_EQ(m_description.modalityLut.firstMapped, 10u);
    EXPECT_EQ(m_description.modalityLut.bitsPerEntry, 16u);
    EXPECT_FALSE(m_description.voiLut.Present());
    EXPECT_FALSE(m_description.bothTables);
    m_dataSet.CloseSource();

    // A descriptor that points past its data: the entries the data holds (DCMTK: "assuming 4").
    ASSERT_EQ(Open("voi_lut_past_data.dcm"), SUCCESS);
    EXPECT_EQ(m_description.voiLut.entries, (std::vector<uint16_t> { 1, 2, 3, 4 }));
}

TEST_F(ImageSourceTest, NativeFrames)
{
    ASSERT_EQ(Open("native_3_frames.dcm"), SUCCESS);
    EXPECT_EQ(m_source.FrameBytes(), 6u);
    EXPECT_EQ(m_source.FrameCount(), 3);
    std::vector<uint8_t> buffer;
    ASSERT_EQ(m_source.ReadFrame(2, buffer, 0, 0), 6u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 6),
        (std::vector<uint8_t> { 6, 7, 8, 9, 10, 11 }));
    // Pieces with increasing offsets; the last is shorter.
    ASSERT_EQ(m_source.ReadFrame(3, buffer, 0, 4), 4u);
    EXPECT_EQ(buffer[0], 12);
    ASSERT_EQ(m_source.ReadFrame(3, buffer, 4, 4), 2u);
    EXPECT_EQ(buffer[1], 17);
    EXPECT_EQ(m_source.ReadFrame(3, buffer, 6, 4), 0u);
    EXPECT_EQ(m_source.ReadFrame(4, buffer, 0, 0), 0u); // no such frame
    EXPECT_EQ(m_source.ReadFrame(0, buffer, 0, 0), 0u);
}

// A native image written here: explicit VR little endian, MONOCHROME2, Pixel Data declaring
// `declared` bytes (the value's size when 0) of which the file holds `pixels`.
std::string WriteNative(const char* name, uint16_t rows, uint16_t columns, uint16_t bits, uint32_t frames,
    const std::vector<uint8_t>& pixels, uint32_t declared = 0)
{
    std::vector<uint8_t> out(128, 0);
    auto u16 = [&](uint32_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    auto element = [&](uint16_t group, uint16_t elem, const char* vr, std::string value) {
        if (value.size() % 2)
            value.push_back(vr[0] == 'U' && vr[1] == 'I' ? '\0' : ' ');
        u16(group);
        u16(elem);
        out.insert(out.end(), vr, vr + 2);
        u16(static_cast<uint32_t>(value.size()));
        out.insert(out.end(), value.begin(), value.end());
    };
    auto us = [&](uint16_t elem, uint16_t v) {
        element(0x0028, elem, "US", std::string { static_cast<char>(v & 0xFF), static_cast<char>(v >> 8) });
    };
    out.insert(out.end(), { 'D', 'I', 'C', 'M' });
    element(0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
    // The identification a real file carries (the reader wants a plausible number of elements).
    element(0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.7");
    element(0x0008, 0x0018, "UI", "1.2.3.4");
    element(0x0008, 0x0020, "DA", "20260101");
    element(0x0008, 0x0060, "CS", "OT");
    element(0x0008, 0x1030, "LO", "Frames");
    element(0x0010, 0x0010, "PN", "FRAMES^TEST");
    element(0x0010, 0x0020, "LO", "F1");
    element(0x0020, 0x000D, "UI", "1.2.3");
    element(0x0020, 0x000E, "UI", "1.2.3.1");
    element(0x0020, 0x0013, "IS", "1");
    us(0x0002, 1);
    element(0x0028, 0x0004, "CS", "MONOCHROME2");
    element(0x0028, 0x0008, "IS", std::to_string(frames));
    us(0x0010, rows);
    us(0x0011, columns);
    us(0x0100, bits);
    us(0x0101, bits);
    us(0x0102, static_cast<uint16_t>(bits - 1));
    us(0x0103, 0);
    u16(0x7FE0);
    u16(0x0010);
    out.insert(out.end(), { 'O', static_cast<uint8_t>(bits > 8 ? 'W' : 'B'), 0, 0 });
    const uint32_t length = declared != 0 ? declared : static_cast<uint32_t>(pixels.size());
    u16(length & 0xFFFF);
    u16(length >> 16);
    out.insert(out.end(), pixels.begin(), pixels.end());
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(out.data()), out.size());
    return path;
}

std::vector<uint8_t> Counting(size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i);
    return bytes;
}

// Frame k starts at (k - 1) x the frame size, and only frames the file holds are counted.
TEST_F(ImageSourceTest, NativeFramesByTheFrameSize)
{
    struct Case {
        const char* name;
        uint16_t rows, columns, bits;
        uint32_t framesDeclared;
        std::vector<uint8_t> pixels;
        uint32_t declared; // 0: the value's own size
        uint32_t frameBytes;
        int32_t frames;
        uint32_t frame; // read and compared with `expected`
        std::vector<uint8_t> expected;
    };
    // Three 3 x 3 one-bit frames packed without padding: 27 bits in 4 bytes. Frame 2 is bits
    // 9 to 17, frame 3 bits 18 to 26.
    const std::vector<uint8_t> bits3 { 0b10101010, 0b11001101, 0b11110000, 0b00000101 };
    const std::vector<uint8_t> bits7 { 0b10101010, 0b11001101, 0b00011111 };
    const std::vector<Case> cases {
        { "trailing bytes", 2, 3, 8, 3, Counting(22), 0, 6, 3, 3, { 12, 13, 14, 15, 16, 17 } },
        { "one-bit, one frame", 3, 3, 1, 1, { 0xFF, 0x01 }, 0, 2, 1, 1, { 0xFF, 0x01 } },
        { "one-bit, three frames, frame 2", 3, 3, 1, 3, bits3, 0, 2, 3, 2, { 0b01100110, 0b00000000 } },
        { "one-bit, three frames, frame 3", 3, 3, 1, 3, bits3, 0, 2, 3, 3, { 0b01111100, 0b00000001 } },
        { "one-bit, frame 1 masked", 3, 3, 1, 3, bits3, 0, 2, 3, 1, { 0b10101010, 0b00000001 } },
        // Three 1 x 7 frames in 21 bits: frame 2 (bits 7 to 13) and frame 3 (bits 14 to 20) each
        // take their last bits from the byte after the one they start in.
        { "one-bit, frame 2 across bytes", 1, 7, 1, 3, bits7, 0, 1, 3, 2, { 0b00011011 } },
        { "one-bit, frame 3 across bytes", 1, 7, 1, 3, bits7, 0, 1, 3, 3, { 0b01111111 } },
        // 2 GB declared, a few hundred bytes held: one (short) frame, not millions.
        { "hostile length", 16, 16, 16, 1, Counting(300), 0x80000000u, 512, 1, 1, Counting(300) },
        // Cut inside frame 3: two frames.
        { "cut file", 2, 2, 16, 3, Counting(20), 24, 8, 2, 2, { 8, 9, 10, 11, 12, 13, 14, 15 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = WriteNative(
            "velmora-frames.dcm", c.rows, c.columns, c.bits, c.framesDeclared, c.pixels, c.declared);
        ASSERT_EQ(m_dataSet.Load(path.c_str()), SUCCESS);
        m_source.Bind(&m_dataSet);
        ASSERT_EQ(m_source.Describe(m_description, TableReading::Read), SUCCESS);
        EXPECT_EQ(m_source.FrameBytes(), c.frameBytes);
        EXPECT_EQ(m_source.FrameCount(), c.frames);
        std::vector<uint8_t> buffer;
        const uint32_t read = m_source.ReadFrame(c.frame, buffer, 0, 0);
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + read), c.expected);
        // Byte by byte gives the same.
        std::vector<uint8_t> pieces;
        for (uint32_t offset = 0; m_source.ReadFrame(c.frame, buffer, offset, 1) == 1; ++offset)
            pieces.push_back(buffer[0]);
        EXPECT_EQ(pieces, c.expected);
        EXPECT_EQ(m_source.ReadFrame(static_cast<uint32_t>(c.frames) + 1, buffer, 0, 0), 0u);
        m_dataSet.CloseSource();
        std::remove(path.c_str());
    }
}

TEST_F(ImageSourceTest, NativeYbrFull422IsTwoBytesPerPixel)
{
    ASSERT_EQ(Open("ybr_full_422.dcm"), SUCCESS);
    EXPECT_EQ(m_description.displayDepth, 24);
    EXPECT_TRUE(m_description.IsSubsampled422());
    EXPECT_EQ(m_source.FrameBytes(), 16u);
    EXPECT_EQ(m_source.FrameCount(), 1);
}

TEST_F(ImageSourceTest, TheImageIsTheTopLevelPixelDataNotAnEarlierIcon)
{
    // An Icon Image Sequence (a 1 x 2 MONOCHROME1 thumbnail) comes before the image's own 4 x 4
    // Pixel Data in the tree: the image is shown, as pydicom and DCMTK show it.
    ASSERT_EQ(Open("icon_first.dcm"), SUCCESS);
    EXPECT_EQ(m_description.rows, 4u);
    EXPECT_EQ(m_description.columns, 4u);
    EXPECT_EQ(m_description.photometricCode, PHOTOMETRIC_MONOCHROME2);
    std::vector<uint8_t> buffer;
    ASSERT_EQ(m_source.ReadFrame(1, buffer, 0, 0), 16u);
    EXPECT_EQ(buffer[15], 15);
    m_dataSet.CloseSource();
    // Without Pixel Data at the top level, the icon is what there is to show.
    ASSERT_EQ(Open("icon_only.dcm"), SUCCESS);
    EXPECT_EQ(m_description.rows, 1u);
    EXPECT_EQ(m_description.columns, 2u);
    ASSERT_EQ(m_source.ReadFrame(1, buffer, 0, 0), 2u);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[1], 9);
}

TEST_F(ImageSourceTest, EncapsulatedFrames)
{
    ASSERT_EQ(Open("rle_empty_table_1_fragment.dcm"), SUCCESS);
    EXPECT_NE(m_description.compressionKind, 0);
    EXPECT_EQ(m_source.FrameCount(), 1);
    std::vector<uint8_t> buffer;
    ASSERT_EQ(m_source.ReadFrame(1, buffer, 0, 0), 68u);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[65], 5);
    m_dataSet.CloseSource();

    ASSERT_EQ(Open("rle_table_3_fragments.dcm"), SUCCESS);
    EXPECT_EQ(m_source.FrameCount(), 3);
    ASSERT_EQ(m_source.ReadFrame(3, buffer, 0, 0), 68u);
    EXPECT_EQ(buffer[65], 5); // the fourth item
    ASSERT_EQ(m_source.ReadFrame(3, buffer, 65, 0), 3u);
    EXPECT_EQ(buffer[0], 5);
    EXPECT_EQ(m_source.ReadFrame(4, buffer, 0, 0), 0u);
    m_dataSet.CloseSource();

    // The file cut inside its last fragment: that frame is what the file still holds, not a
    // buffer of the declared length padded with zeros.
    std::ifstream in(Fixture("rle_table_3_fragments.dcm"), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() - 8 - 10); // the sequence delimiter and 10 bytes of the last fragment
    const std::string cut = ::testing::TempDir() + "velmora-cut-fragment.dcm";
    std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_EQ(m_dataSet.Load(cut.c_str()), SUCCESS);
    m_source.Bind(&m_dataSet);
    ASSERT_EQ(m_source.Describe(m_description, TableReading::Read), SUCCESS);
    EXPECT_EQ(m_source.ReadFrame(3, buffer, 0, 0), 58u);
    std::remove(cut.c_str());
}

TEST_F(ImageSourceTest, UnshowableGeometry)
{
    struct Case {
        const char* name;
        uint32_t frameBytes;
        int32_t frames;
    };
    for (const Case& c : { Case { "zero_rows.dcm", 0, 0 }, Case { "huge_frame.dcm", 0, 0 },
             Case { "bits_32.dcm", 24, 1 }, Case { "short_pixel_data.dcm", 32, 1 } }) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Open(c.name), SUCCESS);
        EXPECT_EQ(m_source.FrameBytes(), c.frameBytes);
        EXPECT_EQ(m_source.FrameCount(), c.frames);
        m_dataSet.CloseSource();
    }
}

// pydicom's rtdose_expb.dcm holds the dose grid of rtdose.dcm (15 frames of 32-bit samples) in
// big-endian OW; pydicom reads the same values from both. Every frame, and a piece read from an
// offset within a frame, must match the little-endian file byte for byte.
TEST(ImageSourceBigEndianTest, ThirtyTwoBitSamplesMatchTheLittleEndianFile)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    const std::string folder = "/usr/lib/python3/dist-packages/pydicom/data/test_files/";
    DataSet little, big;
    ASSERT_EQ(little.Load((folder + "rtdose.dcm").c_str()), SUCCESS);
    ASSERT_EQ(big.Load((folder + "rtdose_expb.dcm").c_str()), SUCCESS);
    ImageSource fromLittle, fromBig;
    fromLittle.Bind(&little);
    fromBig.Bind(&big);
    ImageDescription a, b;
    ASSERT_EQ(fromLittle.Describe(a, TableReading::Read), SUCCESS);
    ASSERT_EQ(fromBig.Describe(b, TableReading::Read), SUCCESS);
    ASSERT_EQ(b.bitsAllocated, 32u);
    ASSERT_EQ(fromBig.FrameCount(), 15);
    const uint32_t size = fromLittle.FrameBytes();
    for (uint32_t frame = 1; frame <= 15; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        std::vector<uint8_t> want, got;
        ASSERT_EQ(fromLittle.ReadFrame(frame, want, 0, 0), size);
        ASSERT_EQ(fromBig.ReadFrame(frame, got, 0, 0), size);
        EXPECT_EQ(got, want);
        ASSERT_EQ(fromBig.ReadFrame(frame, got, 8, 12), 12u);
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + 12, want.begin() + 8));
    }
    little.CloseSource();
    big.CloseSource();
}

TEST(ImageSourceUnboundTest, NothingBound)
{
    ImageSource source;
    ImageDescription description;
    source.Bind(nullptr);
    EXPECT_EQ(source.Describe(description, TableReading::Read), ERROR_GENERAL_FAILURE);
    EXPECT_EQ(source.FrameCount(), -1);
    EXPECT_EQ(source.FrameBytes(), 0u);
    std::vector<uint8_t> buffer;
    EXPECT_EQ(source.ReadFrame(1, buffer, 0, 0), 0u);
}

} // namespace
} // namespace velmora
#else
#include <gtest/gtest.h>
TEST(ImageSourceTest, NeedsTheToolkitDataSet)
{
    GTEST_SKIP() << "toolkit/data_set.h is not in the tree yet";
}
#endif
