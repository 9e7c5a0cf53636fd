// The DICOM file reader: Load and the push parser on built streams and on real files.
#include "toolkit/built_in_tables.h"
#include "toolkit/character_set.h"
#include "toolkit/data_set.h"
#include "toolkit/element_text.h"
#include "toolkit/read_tolerance.h"
#include "toolkit/result_code_table.h"
#include "toolkit/tag.h"
#include "toolkit/vr_code.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>
#include <zlib.h>

using namespace velmora;

namespace {

const char* kPydicomFiles = "/usr/lib/python3/dist-packages/pydicom/data/test_files";

// Encodes elements of a data set stream.
class Writer {
public:
    explicit Writer(bool bigEndian = false, bool explicitVr = true)
        : m_big(bigEndian)
        , m_explicit(explicitVr)
    {
    }

    Writer& Preamble()
    {
        m_bytes.insert(m_bytes.end(), 128, 0);
        Raw("DICM");
        return *this;
    }
    // Group 0002 (always explicit little-endian) with the transfer syntax.
    Writer& Meta(const std::string& syntax)
    {
        const bool big = m_big, ex = m_explicit;
        m_big = false;
        m_explicit = true;
        Element(0x00020001, "OB", std::string("\0\1", 2));
        Element(0x00020010, "UI", Padded(syntax, '\0'));
        m_big = big;
        m_explicit = ex;
        return *this;
    }
    Writer& Element(uint32_t tag, const char* vr, const std::string& value)
    {
        Header(tag, vr, static_cast<uint32_t>(value.size()));
        Raw(value);
        return *this;
    }
    Writer& Header(uint32_t tag, const char* vr, uint32_t length)
    {
        U16(static_cast<uint16_t>(tag >> 16));
        U16(static_cast<uint16_t>(tag));
        const bool item = (tag >> 16) == 0xFFFE;
        if (m_explicit && !item) {
            Raw(std::string(vr, 2));
            const std::string v(vr, 2);
            if (v == "OB" || v == "OW" || v == "SQ" || v == "UN" || v == "UT" || v == "OF" || v == "UC"
                || v == "UR" || v == "OV" || v == "SV" || v == "UV") {
                U16(0);
                U32(length);
            } else {
                U16(static_cast<uint16_t>(length));
            }
        } else {
            U32(length);
        }
        return *this;
    }
    // The byte order and VR encoding of what follows.
    Writer& Encoding(bool bigEndian, bool explicitVr)
    {
        m_big = bigEndian;
        m_explicit = explicitVr;
        return *this;
    }
    Writer& Us(uint32_t tag, uint16_t value)
    {
        Header(tag, "US", 2);
        return U16(value);
    }
    // `count` short text elements (0009,xxxx)-free: (0008,1000+i) SH "Vn".
    Writer& Filler(int count, uint32_t base = 0x00091000)
    {
        for (int i = 0; i < count; ++i)
            Element(base + static_cast<uint32_t>(i), "SH", "AB");
        return *this;
    }
    Writer& U16(uint16_t v)
    {
        if (m_big)
            m_bytes.insert(m_bytes.end(), { static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v) });
        else
            m_bytes.insert(m_bytes.end(), { static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8) });
        return *this;
    }
    Writer& U32(uint32_t v)
    {
        if (m_big) {
            U16(static_cast<uint16_t>(v >> 16));
            U16(static_cast<uint16_t>(v));
        } else {
            U16(static_cast<uint16_t>(v));
            U16(static_cast<uint16_t>(v >> 16));
        }
        return *this;
    }
    Writer& Raw(const std::string& s)
    {
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        return *this;
    }
    static std::string Padded(std::string s, char pad)
    {
        if (s.size() & 1)
            s += pad;
        return s;
    }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    size_t Size() const { return m_bytes.size(); }

private:
    std::vector<uint8_t> m_bytes;
    bool m_big;
    bool m_explicit;
};

class ReaderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(InstallBuiltInTables(), SUCCESS); }
    void TearDown() override
    {
        for (const std::string& path : m_files)
            ::unlink(path.c_str());
    }

    std::string Save(const std::vector<uint8_t>& bytes)
    {
        char name[] = "/tmp/velmora-core-readerXXXXXX";
        const int fd = ::mkstemp(name);
        EXPECT_GE(fd, 0);
        if (!bytes.empty()) {
            EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        }
        ::close(fd);
        m_files.push_back(name);
        return name;
    }

    std::string String(ElementId id)
    {
        char* text = m_ds.GetString(id, 0);
        std::string s = text ? text : "<null>";
        DataSet::FreeString(text);
        return s;
    }

    // depth tag VR length per node, pre-order.
    std::vector<std::string> Shape()
    {
        std::vector<std::string> lines;
        for (ElementId id = m_ds.FirstTopLevel(); id >= 0; id = m_ds.NextInPreOrder(id)) {
            char line[64];
            const uint32_t length = m_ds.GetValueLength(id);
            std::snprintf(line, sizeof line, "%d %s %s %d", m_ds.Depth(id), TagText(m_ds.GetTag(id)).c_str(),
                VrCodeText(m_ds.GetVr(id)).c_str(), length == 0xFFFFFFFFu ? -1 : static_cast<int>(length));
            lines.push_back(line);
        }
        return lines;
    }

    DataSet m_ds;
    std::vector<std::string> m_files;
};

const char* kImplicitLittle = "1.2.840.10008.1.2";
const char* kExplicitLittle = "1.2.840.10008.1.2.1";
const char* kExplicitBig = "1.2.840.10008.1.2.2";

} // namespace

TEST_F(ReaderTest, ExplicitLittleEndianWithPreambleIsParsedTwice)
{
    Writer w;
    w.Preamble().Meta(kExplicitLittle).Element(0x00080060, "CS", "CT").Us(0x00280010, 512).Filler(20);
    const size_t obStart = w.Size();
    w.Element(0x7FE00010, "OB", std::string("\1\2\3\4", 4));
    ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
    ASSERT_NE(m_ds.Preamble(), nullptr);
    EXPECT_EQ(std::memcmp(m_ds.Preamble() + 128, "DICM", 4), 0);
    EXPECT_EQ(m_ds.Flags() & (DS_EXPLICIT_VR | DS_BIG_ENDIAN), static_cast<uint32_t>(DS_EXPLICIT_VR));
    const ElementId rows = m_ds.FindElement(-1, 0x00280010, true);
    EXPECT_EQ(m_ds.GetUnsigned(rows, 0), 512u);
    EXPECT_EQ(m_ds.Node(rows)->headerLength, 8u);
    const ElementId pixels = m_ds.FindElement(-1, tags::PIXEL_DATA, true);
    EXPECT_EQ(m_ds.Node(pixels)->headerLength, 12u);
    EXPECT_EQ(m_ds.FirstChunk(pixels)->offset, obStart + 12);
    EXPECT_EQ(m_ds.GetVr(pixels), vr::OB);
    EXPECT_EQ(String(m_ds.FindElement(-1, 0x00080060, true)), "CT");
    EXPECT_EQ(m_ds.GetCompression(), 0u);
    EXPECT_FALSE(m_ds.HasSpoolFile());
    EXPECT_EQ(m_ds.VerifyLinks(), SUCCESS);
    m_ds.CloseSource();
    uint8_t b[2];
    EXPECT_EQ(m_ds.ReadValue(rows, b, 0, 2), ERROR_FILE_SEEK);
}

TEST_F(ReaderTest, UnElementsOfKnownTagsReadAsTheirDictionaryVr)
{
    // Anonymisers and old archives label known attributes UN. Their values are implicit VR
    // little-endian whatever the transfer syntax (PS3.5 6.2.2), so Rows 0x0102 is 02 01 in both
    // files; pydicom 2.3.1 reads the text ones the same (Window Center [100, 200], Rescale Slope
    // 2.0, Patient's Name 'Buc^Jérôme' by the ISO_IR 100 of a UN (0008,0005)). The dump and the
    // saved file keep the UN.
    for (const bool big : { false, true }) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        Writer w(big, true);
        w.Preamble().Meta(big ? kExplicitBig : kExplicitLittle);
        w.Element(0x00080005, "UN", "ISO_IR 100");
        w.Element(0x00110010, "UN", "CREATOR ");
        w.Element(0x00111001, "UN", "ab");
        w.Element(0x00100010, "UN", "Buc^J\xe9r\xf4me");
        w.Element(0x00280010, "UN", std::string("\x02\x01", 2));
        w.Element(0x00281050, "UN", "100\\200 ");
        w.Element(0x00281053, "UN", "2 ").Filler(20);
        ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
        auto find = [this](uint32_t tag) { return m_ds.FindElement(-1, tag, true); };
        EXPECT_EQ(m_ds.ValueVr(find(0x00080005)), vr::CS);
        EXPECT_EQ(CharacterSetsAt(m_ds, find(0x00100010)), std::vector<std::string> { "ISO_IR 100" });
        EXPECT_EQ(GetText(m_ds, find(0x00100010), 0), "Buc^J\u00e9r\u00f4me");
        EXPECT_EQ(m_ds.ValueVr(find(0x00100010)), vr::PN);
        EXPECT_EQ(m_ds.GetUnsigned(find(0x00280010), 0), 0x0102u);
        EXPECT_DOUBLE_EQ(m_ds.GetReal(find(0x00281050), 1), 200.0);
        EXPECT_DOUBLE_EQ(m_ds.GetReal(find(0x00281053), 0), 2.0);
        // A private creator is LO (PS3.5 7.8.1); a private value no dictionary knows stays bytes.
        EXPECT_EQ(String(find(0x00110010)), "CREATOR");
        EXPECT_EQ(m_ds.ValueVr(find(0x00111001)), vr::UN);
        EXPECT_EQ(String(find(0x00111001)), "<null>");
        EXPECT_EQ(
            FormatElementLine(DescribeElement(m_ds, find(0x00281050))), "(0028,1050) UN 8 Window Center");
        EXPECT_EQ(m_ds.GetVr(find(0x00281050)), vr::UN);
    }
}

TEST_F(ReaderTest, NoPreambleImplicitFromOffsetZero)
{
    Writer w(false, false);
    w.Element(0x00080005, "CS", "ISO_IR 100").Us(0x00280010, 7).Filler(19);
    ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
    EXPECT_EQ(m_ds.Preamble(), nullptr);
    EXPECT_EQ(m_ds.GetTag(m_ds.FirstTopLevel()), 0x00080005u);
    EXPECT_EQ(m_ds.GetVr(m_ds.FirstTopLevel()), vr::CS); // from the dictionary
    EXPECT_EQ(m_ds.GetUnsigned(m_ds.FindElement(-1, 0x00280010, true), 0), 7u);
}

TEST_F(ReaderTest, TwentyElementsAreRefusedTwentyOneAccepted)
{
    Writer twenty(false, false);
    twenty.Filler(20);
    EXPECT_EQ(m_ds.Load(Save(twenty.Bytes()).c_str()), ERROR_FILE_FORMAT);
    EXPECT_EQ(m_ds.CountElements(), 20); // the tree stays
    Writer more(false, false);
    more.Filler(21);
    EXPECT_EQ(m_ds.Load(Save(more.Bytes()).c_str()), SUCCESS);
}

TEST_F(ReaderTest, BigEndianBodyWithLittleEndianMetaGroup)
{
    Writer w(true, true);
    w.Preamble().Meta(kExplicitBig).Us(0x00280010, 0x0102).Element(0x00280030, "DS", "0.5\\0.25").Filler(20);
    w.Header(0x7FE00010, "OW", 4).U16(0x1234).U16(0xABCD);
    ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
    EXPECT_TRUE(m_ds.Flags() & DS_BIG_ENDIAN);
    EXPECT_EQ(m_ds.GetTag(m_ds.FirstTopLevel()), 0x00020001u);
    EXPECT_FALSE(m_ds.Node(m_ds.FirstTopLevel())->flags & NODE_BIG_ENDIAN);
    EXPECT_EQ(m_ds.GetUnsigned(m_ds.FindElement(-1, 0x00280010, true), 0), 0x0102u);
    EXPECT_DOUBLE_EQ(m_ds.GetReal(m_ds.FindElement(-1, 0x00280030, true), 1), 0.25);
    uint16_t words[2];
    ASSERT_EQ(m_ds.ReadValue(m_ds.FindElement(-1, tags::PIXEL_DATA, true), words, 0, 4), SUCCESS);
    EXPECT_EQ(words[0], 0x1234);
    EXPECT_EQ(words[1], 0xABCD);
}

// 32-bit values of a big-endian body come out in host order, whether they are held in memory or
// read from the file (a value over 1,024 bytes), and from any 4-byte-aligned offset.
TEST_F(ReaderTest, BigEndianThirtyTwoBitValues)
{
    Writer w(true, true);
    w.Preamble().Meta(kExplicitBig).Filler(20);
    w.Header(0x00092000, "UL", 8).U32(0x01020304).U32(0xA0B0C0D0);
    w.Header(0x00092001, "SL", 4).U32(static_cast<uint32_t>(-2));
    float single = 1.5f;
    uint32_t singleBits;
    std::memcpy(&singleBits, &single, 4);
    w.Header(0x00092002, "FL", 4).U32(singleBits);
    double twice = -0.25;
    uint64_t twiceBits;
    std::memcpy(&twiceBits, &twice, 8);
    w.Header(0x00092003, "FD", 8)
        .U32(static_cast<uint32_t>(twiceBits >> 32))
        .U32(static_cast<uint32_t>(twiceBits));
    constexpr uint32_t kLong = 400; // 1,600 bytes: left in the file
    w.Header(0x00092004, "UL", 4 * kLong);
    for (uint32_t i = 0; i < kLong; ++i)
        w.U32(0x01000000u * (i % 251) + i);
    ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
    const ElementId ul = m_ds.FindElement(-1, 0x00092000, true);
    EXPECT_EQ(m_ds.GetUnsigned(ul, 0), 0x01020304u);
    EXPECT_EQ(m_ds.GetUnsigned(ul, 1), 0xA0B0C0D0u);
    int32_t sl = 0;
    ASSERT_EQ(m_ds.ReadValue(m_ds.FindElement(-1, 0x00092001, true), &sl, 0, 4), SUCCESS);
    EXPECT_EQ(sl, -2);
    EXPECT_DOUBLE_EQ(m_ds.GetReal(m_ds.FindElement(-1, 0x00092002, true), 0), 1.5);
    EXPECT_DOUBLE_EQ(m_ds.GetReal(m_ds.FindElement(-1, 0x00092003, true), 0), -0.25);
    const ElementId longValue = m_ds.FindElement(-1, 0x00092004, true);
    std::vector<uint32_t> values(kLong);
    ASSERT_EQ(m_ds.ReadValue(longValue, values.data(), 0, 4 * kLong), SUCCESS);
    for (uint32_t i = 0; i < kLong; ++i)
        ASSERT_EQ(values[i], 0x01000000u * (i % 251) + i) << i;
    uint32_t middle[2];
    ASSERT_EQ(m_ds.ReadValue(longValue, middle, 4 * 299, 8), SUCCESS);
    EXPECT_EQ(middle[0], 0x01000000u * 48 + 299);
    EXPECT_EQ(middle[1], 0x01000000u * 49 + 300);
}

TEST_F(ReaderTest, MetaElementWithoutVrIsReadAsImplicit)
{
    Writer w(false, false);
    w.Preamble();
    w.Header(0x00020010, "UI", 20).Raw(std::string(kExplicitLittle) + std::string(1, '\0')); // implicit meta
    Writer body;
    body.Us(0x00280010, 9).Filler(20);
    std::vector<uint8_t> bytes = w.Bytes();
    bytes.insert(bytes.end(), body.Bytes().begin(), body.Bytes().end());
    ASSERT_EQ(m_ds.Load(Save(bytes).c_str()), SUCCESS);
    EXPECT_EQ(String(m_ds.FindElement(-1, 0x00020010, true)), kExplicitLittle);
    EXPECT_EQ(m_ds.GetUnsigned(m_ds.FindElement(-1, 0x00280010, true), 0), 9u);
}

TEST_F(ReaderTest, MetaElementsWithNewerLongHeaderVrs)
{
    // UR, UC, OV, SV and UV carry a 32-bit length, like OB; pydicom and dcmdump read such a group.
    Writer w;
    w.Preamble().Meta(kExplicitLittle);
    w.Element(0x00020026, "UR", "http://a.example/ ");
    w.Element(0x00020100, "UC", "text");
    w.Element(0x00020101, "OV", std::string(8, '\1'));
    w.Element(0x00020102, "SV", std::string(8, '\2'));
    w.Element(0x00020103, "UV", std::string(8, '\3'));
    w.Us(0x00280010, 7).Filler(20);
    ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
    for (const auto& [tag, vr, length] : { std::tuple { 0x00020026u, "UR", 18u }, { 0x00020100u, "UC", 4u },
             { 0x00020101u, "OV", 8u }, { 0x00020102u, "SV", 8u }, { 0x00020103u, "UV", 8u } }) {
        const ElementId id = m_ds.FindElement(-1, tag, true);
        ASSERT_GE(id, 0) << std::hex << tag;
        EXPECT_EQ(VrCodeText(m_ds.GetVr(id)), vr);
        EXPECT_EQ(m_ds.GetValueLength(id), length);
    }
    EXPECT_EQ(m_ds.GetUnsigned(m_ds.FindElement(-1, 0x00280010, true), 0), 7u);
}

TEST_F(ReaderTest, DefinedLengthSequenceClosesBeforeTheNextElement)
{
    Writer w;
    w.Preamble().Meta(kExplicitLittle).Filler(20);
    // Sequence of two defined-length items, each with one US element (8 + 2 bytes).
    w.Header(0x00401000, "SQ", 2 * (8 + 10));
    w.Header(tags::ITEM, "", 10).Us(0x00100001, 1);
    w.Header(tags::ITEM, "", 10).Us(0x00100001, 2);
    w.Us(0x00401001, 3);
    // An empty item is followed by a sibling.
    w.Header(0x00401002, "SQ", 0xFFFFFFFF)
        .Header(tags::ITEM, "", 0)
        .Header(tags::ITEM, "", 10)
        .Us(0x00100001, 4);
    w.Header(tags::SEQUENCE_DELIMITATION, "", 0).Us(0x00401003, 5);
    ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
    const ElementId seq = m_ds.FindElement(-1, 0x00401000, true);
    const ElementId after = m_ds.NextSibling(seq);
    EXPECT_EQ(m_ds.GetTag(after), 0x00401001u);
    EXPECT_EQ(m_ds.Depth(after), 0);
    const ElementId first = m_ds.FirstChild(seq);
    EXPECT_EQ(m_ds.GetUnsigned(m_ds.FirstChild(first), 0), 1u);
    EXPECT_EQ(m_ds.GetUnsigned(m_ds.FirstChild(m_ds.NextSibling(first)), 0), 2u);
    const ElementId undefinedSeq = m_ds.FindElement(-1, 0x00401002, true);
    const ElementId empty = m_ds.FirstChild(undefinedSeq);
    EXPECT_EQ(m_ds.FirstChild(empty), -1);
    const ElementId second = m_ds.NextSibling(empty);
    EXPECT_EQ(m_ds.GetUnsigned(m_ds.FirstChild(second), 0), 4u);
    EXPECT_EQ(m_ds.GetTag(m_ds.LastChild(undefinedSeq)), tags::SEQUENCE_DELIMITATION);
    EXPECT_EQ(m_ds.GetTag(m_ds.NextSibling(undefinedSeq)), 0x00401003u);
    EXPECT_EQ(m_ds.VerifyLinks(), SUCCESS);
}

TEST_F(ReaderTest, UndefinedSequenceEndingADefinedItemClosesTheItemToo)
{
    Writer w;
    w.Preamble().Meta(kExplicitLittle).Filler(20);
    // Item (defined length) = inner SQ (12) + item (8) + US (10) + item delim (8) + seq delim (8) = 46.
    w.Header(0x00401000, "SQ", 0xFFFFFFFF);
    w.Header(tags::ITEM, "", 46);
    w.Header(0x00082112, "SQ", 0xFFFFFFFF).Header(tags::ITEM, "", 0xFFFFFFFF).Us(0x00100001, 1);
    w.Header(tags::ITEM_DELIMITATION, "", 0).Header(tags::SEQUENCE_DELIMITATION, "", 0);
    w.Header(tags::ITEM, "", 10).Us(0x00100001, 2);
    w.Header(tags::SEQUENCE_DELIMITATION, "", 0);
    ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
    const ElementId seq = m_ds.FindElement(-1, 0x00401000, true);
    int items = 0;
    for (ElementId c = m_ds.FirstChild(seq); c >= 0; c = m_ds.NextSibling(c))
        items += m_ds.GetTag(c) == tags::ITEM;
    EXPECT_EQ(items, 2);
}

TEST_F(ReaderTest, EncapsulatedPixelData)
{
    Writer w;
    w.Preamble().Meta("1.2.840.10008.1.2.5").Us(0x00280100, 8).Filler(20);
    w.Header(tags::PIXEL_DATA, "OB", 0xFFFFFFFF);
    w.Header(tags::ITEM, "", 0);
    w.Header(tags::ITEM, "", 4).Raw("abcd");
    w.Header(tags::ITEM, "", 2).Raw("ef");
    w.Header(tags::SEQUENCE_DELIMITATION, "", 0);
    ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
    EXPECT_EQ(m_ds.GetCompression(), 21u << 20); // RLE
    const ElementId pixels = m_ds.FindElement(-1, tags::PIXEL_DATA, true);
    EXPECT_TRUE(m_ds.IsContainer(pixels));
    const ElementId table = m_ds.FirstChild(pixels);
    EXPECT_EQ(m_ds.GetValueLength(table), 0u);
    const ElementId f1 = m_ds.NextSibling(table);
    EXPECT_FALSE(m_ds.IsContainer(f1));
    EXPECT_EQ(m_ds.GetVr(f1), vr::OB);
    char bytes[4];
    ASSERT_EQ(m_ds.ReadValue(f1, bytes, 0, 4), SUCCESS);
    EXPECT_EQ(std::string(bytes, 4), "abcd");
    const ElementId f2 = m_ds.NextSibling(f1);
    ASSERT_EQ(m_ds.ReadValue(f2, bytes, 0, 2), SUCCESS);
    EXPECT_EQ(std::string(bytes, 2), "ef");
    EXPECT_EQ(m_ds.GetTag(m_ds.NextSibling(f2)), tags::SEQUENCE_DELIMITATION);
}

// pydicom's trees of the files at `paths` from one run of tests/data/toolkit/pydicom_tree.py: per
// path, one "DEPTH (gggg,eeee) VR" per element or item, or the one line "refused". `force`
// reads files without a preamble too.
std::map<std::string, std::vector<std::string>> PydicomTrees(
    const std::vector<std::string>& paths, bool force = false)
{
    const char* source = std::getenv("VELMORA_SOURCE_DIR");
    std::string command = std::string("/usr/bin/python3 ") + (source ? source : ".")
        + "/tests/data/toolkit/pydicom_tree.py" + (force ? " --force" : "");
    for (const std::string& path : paths)
        command += " '" + path + "'";
    std::map<std::string, std::vector<std::string>> trees;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return trees;
    std::vector<std::string>* current = nullptr;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        if (line.rfind("== ", 0) == 0)
            current = &trees[line.substr(3)];
        else if (current)
            current->push_back(line);
    }
    ::pclose(pipe);
    return trees;
}

// pydicom's tree of one file, read with force, one "DEPTH (gggg,eeee)" per element or item.
std::vector<std::string> PydicomTree(const std::string& path)
{
    std::vector<std::string> tree = PydicomTrees({ path }, true)[path];
    for (std::string& line : tree)
        line = line.substr(0, line.find_last_of(' '));
    return tree;
}

// The same shape of our tree: delimiters and the fragments of encapsulated pixel data left out.
std::vector<std::string> OurTree(DataSet& ds)
{
    std::vector<std::string> tree;
    for (ElementId id = ds.FirstTopLevel(); id >= 0;) {
        const uint32_t tag = ds.GetTag(id);
        if (tag == tags::ITEM_DELIMITATION || tag == tags::SEQUENCE_DELIMITATION) {
            id = ds.NextInPreOrder(id);
            continue;
        }
        tree.push_back(std::to_string(ds.Depth(id)) + " " + TagText(tag));
        id = tag == tags::PIXEL_DATA ? ds.NextInPreOrder(ds.LastInSubtree(id)) : ds.NextInPreOrder(id);
    }
    return tree;
}

// Files the peers read although they break a rule of the standard: each is read, the departure
// is recorded, and the tree is the one pydicom reads from the same bytes.
TEST_F(ReaderTest, TolerantReadsAgreeWithPydicom)
{
    struct Case {
        const char* what;
        Writer file;
        uint32_t tolerances;
    };
    std::vector<Case> cases;
    // A sequence of undefined length with one item.
    const auto sequence = [](Writer& w) -> Writer& {
        w.Header(0x00081140, "SQ", 0xFFFFFFFF)
            .Header(tags::ITEM, "", 0xFFFFFFFF)
            .Element(0x00081150, "UI", "1.23");
        return w.Header(tags::ITEM_DELIMITATION, "", 0).Header(tags::SEQUENCE_DELIMITATION, "", 0);
    };
    {
        // Explicit syntax, implicit body (with a sequence, and a value whose VR only the dictionary knows).
        Writer w(false, false);
        w.Preamble().Meta(kExplicitLittle).Element(0x00080060, "CS", "CT");
        sequence(w).Filler(20).Element(0x00100010, "PN", "DOE^JANE").Us(0x00280010, 512);
        cases.push_back({ "implicit body", w, TOLERATED_IMPLICIT_BODY });
    }
    {
        // Implicit syntax, explicit body: a first element with a long header, a sequence, and a
        // value whose VR the dictionary would give otherwise.
        Writer w;
        w.Preamble().Meta(kImplicitLittle).Element(0x00080008, "UT", "ORIGINAL");
        sequence(w).Filler(20).Element(0x00100010, "LO", "DOE^JOHN").Us(0x00280010, 512);
        cases.push_back({ "explicit body", w, TOLERATED_EXPLICIT_BODY });
    }
    {
        // No group 0002 at all, explicit little-endian from the first byte.
        Writer w;
        w.Element(0x00080060, "CS", "MR").Filler(20).Us(0x00280010, 512);
        cases.push_back({ "explicit without meta", w, TOLERATED_EXPLICIT_BODY });
    }
    {
        // No group 0002, explicit big-endian.
        Writer w(true);
        w.Element(0x00080060, "CS", "MR").Filler(20).Us(0x00280010, 512);
        cases.push_back(
            { "big-endian without meta", w, TOLERATED_EXPLICIT_BODY | TOLERATED_BIG_ENDIAN_BODY });
    }
    {
        // A transfer syntax UID of 19 bytes without its padding, then an explicit body with an
        // odd-length text value in the middle.
        Writer w;
        w.Preamble()
            .Element(0x00020001, "OB", std::string("\0\1", 2))
            .Element(0x00020010, "UI", kExplicitLittle);
        w.Filler(20).Element(0x00100010, "PN", "ABC").Element(0x00204000, "LT", "odd").Us(0x00280010, 512);
        cases.push_back({ "odd lengths", w, TOLERATED_ODD_LENGTH });
    }
    {
        // Zero bytes after the last element, and after a closed sequence.
        Writer w;
        w.Preamble().Meta(kExplicitLittle).Header(0x00081140, "SQ", 0xFFFFFFFF);
        w.Header(tags::ITEM, "", 10)
            .Element(0x00081150, "UI", "12")
            .Header(tags::SEQUENCE_DELIMITATION, "", 0);
        w.Filler(20).Us(0x00280010, 512).Raw(std::string(5000, '\0'));
        cases.push_back({ "trailing zeros", w, TOLERATED_ZERO_PADDING });
    }
    {
        // An empty body padded with zeros: nothing but group 0002, refused as before.
        Writer w;
        w.Preamble().Meta(kExplicitLittle).Raw(std::string(5000, '\0'));
        cases.push_back({ "zeros only", w, TOLERATED_ZERO_PADDING });
    }
    for (Case& c : cases) {
        const std::string path = Save(c.file.Bytes());
        const ResultCode result = m_ds.Load(path.c_str());
        EXPECT_EQ(m_ds.Tolerances(), c.tolerances) << c.what;
        EXPECT_EQ(m_ds.VerifyLinks(), SUCCESS) << c.what;
        if (std::string(c.what) == "zeros only") {
            EXPECT_EQ(result, ERROR_FILE_FORMAT);
            EXPECT_EQ(m_ds.CountElements(), 2);
            continue;
        }
        ASSERT_EQ(result, SUCCESS) << c.what;
        // pydicom reads zero padding as one (0000,0000) element; DCMTK and we stop there.
        std::vector<std::string> theirs = PydicomTree(path);
        std::erase(theirs, "0 (0000,0000)");
        EXPECT_EQ(OurTree(m_ds), theirs) << c.what;
        EXPECT_EQ(m_ds.GetUnsigned(m_ds.FindElement(-1, 0x00280010, true), 0), 512u) << c.what;
    }
    // The values themselves, as pydicom gives them.
    ASSERT_EQ(m_ds.Load(Save(cases[0].file.Bytes()).c_str()), SUCCESS);
    EXPECT_EQ(m_ds.Flags() & DS_EXPLICIT_VR, 0u);
    EXPECT_EQ(String(m_ds.FindElement(-1, 0x00100010, true)), "DOE^JANE");
    EXPECT_EQ(m_ds.GetVr(m_ds.FindElement(-1, 0x00100010, true)), vr::PN);
    ASSERT_EQ(m_ds.Load(Save(cases[1].file.Bytes()).c_str()), SUCCESS);
    EXPECT_NE(m_ds.Flags() & DS_EXPLICIT_VR, 0u);
    EXPECT_EQ(String(m_ds.FindElement(-1, 0x00080008, true)), "ORIGINAL");
    EXPECT_EQ(m_ds.GetVr(m_ds.FindElement(-1, 0x00100010, true)), vr::LO);
    ASSERT_EQ(m_ds.Load(Save(cases[4].file.Bytes()).c_str()), SUCCESS);
    EXPECT_EQ(String(m_ds.FindElement(-1, 0x00100010, true)), "ABC");
    EXPECT_EQ(String(m_ds.FindElement(-1, 0x00204000, true)), "odd");
    // A pass that pushes on after the padding is told that the data set has ended.
    const std::vector<uint8_t>& padded = cases[5].file.Bytes();
    ASSERT_EQ(m_ds.BeginParse(132, DS_META_GROUP | DS_EXPLICIT_VR | DS_VALUES_IN_MEMORY), SUCCESS);
    EXPECT_EQ(m_ds.PushBytes(padded.data() + 132, static_cast<uint32_t>(padded.size() - 132)), SUCCESS);
    EXPECT_TRUE(m_ds.Ended());
    EXPECT_EQ(m_ds.PushBytes(padded.data(), 1), ERROR_GENERAL_INIT);
}

// A UN element of undefined length holds a sequence in implicit little-endian, whatever the data
// set's encoding: read as that sequence, as pydicom reads it (and DCMTK, which alone reads the
// big-endian file too: its tree is the little-endian one's), and saved as one.
TEST_F(ReaderTest, MisplacedElementsAndItemsCloseTheirContainer)
{
    // A sequence delimiter damaged into an empty item (FFFE,E0DD -> FFFE,E000): the next data
    // element would be read into the sequence, where only items belong, and a save would write
    // a structure no reader can parse (DCMTK: "found (0010,0010) instead of sequence
    // delimiter"). The sequence ends before the element instead, in every encoding, also one
    // level down and for encapsulated pixel data; an item delimiter damaged into an item ends
    // its item; an item outside any sequence ends the data set.
    for (const bool big : { false, true }) {
        for (const bool explicitVr : { false, true }) {
            if (big && !explicitVr)
                continue; // no transfer syntax is implicit big-endian
            SCOPED_TRACE(std::string(big ? "big" : "little") + (explicitVr ? " explicit" : " implicit"));
            Writer w(big, explicitVr);
            w.Preamble().Meta(big ? kExplicitBig : explicitVr ? kExplicitLittle : kImplicitLittle).Filler(20);
            w.Header(0x00081140, "SQ", 0xFFFFFFFF).Header(tags::ITEM, "", 0xFFFFFFFF);
            w.Header(0x00081199, "SQ", 0xFFFFFFFF).Header(tags::ITEM, "", 0xFFFFFFFF);
            w.Element(0x00081150, "UI", "1.23").Header(tags::ITEM_DELIMITATION, "", 0);
            w.Header(tags::ITEM, "", 0); // the inner sequence's damaged delimiter
            w.Element(0x00081155, "UI", "4.56").Header(tags::ITEM_DELIMITATION, "", 0);
            w.Header(tags::ITEM, "", 0); // the outer one's
            w.Element(0x00100010, "PN", "AB").Us(0x00280100, 8);
            w.Header(0x00400275, "SQ", 0xFFFFFFFF)
                .Header(tags::ITEM, "", 0xFFFFFFFF)
                .Element(0x00400009, "SH", "A1");
            w.Header(tags::ITEM, "", 0xFFFFFFFF); // the first item's damaged delimiter
            w.Element(0x00400009, "SH", "A2").Header(tags::ITEM_DELIMITATION, "", 0);
            w.Header(tags::SEQUENCE_DELIMITATION, "", 0);
            w.Header(tags::PIXEL_DATA, "OB", 0xFFFFFFFF)
                .Header(tags::ITEM, "", 0)
                .Header(tags::ITEM, "", 2)
                .Raw("xy");
            w.Element(0xFFFCFFFC, "OB", "pd"); // after pixel data without its delimiter
            // An item outside any sequence: nothing after it can be placed.
            w.Header(tags::ITEM, "", 2).Raw("zz").Element(0xFFFCFFFD, "OB", "no");
            ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
            EXPECT_TRUE(m_ds.Tolerances() & TOLERATED_MISPLACED_ITEM);
            std::vector<std::string> tree;
            for (ElementId id = m_ds.FirstTopLevel(); id >= 0; id = m_ds.NextInPreOrder(id)) {
                if (m_ds.GetTag(id) != tags::ITEM_DELIMITATION && TagGroup(m_ds.GetTag(id)) != 0x0002)
                    tree.push_back(std::to_string(m_ds.Depth(id)) + " " + TagText(m_ds.GetTag(id)));
            }
            tree.erase(tree.begin(), tree.begin() + 20); // the filler
            const std::vector<std::string> expected
                = { "0 (0008,1140)", "1 (fffe,e000)", "2 (0008,1199)", "3 (fffe,e000)", "4 (0008,1150)",
                      "3 (fffe,e000)", "2 (0008,1155)", "1 (fffe,e000)", "0 (0010,0010)", "0 (0028,0100)",
                      "0 (0040,0275)", "1 (fffe,e000)", "2 (0040,0009)", "1 (fffe,e000)", "2 (0040,0009)",
                      "1 (fffe,e0dd)", "0 (7fe0,0010)", "1 (fffe,e000)", "1 (fffe,e000)", "0 (fffc,fffc)" };
            EXPECT_EQ(tree, expected);
            EXPECT_EQ(String(m_ds.FindElement(-1, 0x00100010, true)), "AB");
            EXPECT_EQ(m_ds.VerifyLinks(), SUCCESS);
            // Saved, it is a sound file with the same elements.
            const std::string saved = Save({});
            ASSERT_EQ(m_ds.Save(saved.c_str(), SAVE_PREAMBLE | DS_META_GROUP | DS_EXPLICIT_VR), SUCCESS);
            const size_t before = tree.size();
            ASSERT_EQ(m_ds.Load(saved.c_str()), SUCCESS);
            EXPECT_EQ(m_ds.Tolerances(), 0u);
            EXPECT_NE(m_ds.FindElement(-1, 0x00400009, false), NO_ELEMENT);
            EXPECT_GE(static_cast<size_t>(m_ds.CountElements()), before);
        }
    }
}

TEST_F(ReaderTest, UnknownSequencesAreReadAsImplicitLittleEndian)
{
    std::vector<std::string> expected;
    for (const bool big : { false, true }) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        Writer w(big);
        w.Preamble().Meta(big ? kExplicitBig : kExplicitLittle).Filler(20);
        w.Header(0x00091100, "UN", 0xFFFFFFFF).Encoding(false, false);
        w.Header(tags::ITEM, "", 0xFFFFFFFF)
            .Header(0x00081115, "", 0xFFFFFFFF)
            .Header(tags::ITEM, "", 0xFFFFFFFF)
            .Element(0x00081150, "", "1.23")
            .Header(tags::ITEM_DELIMITATION, "", 0)
            .Header(tags::SEQUENCE_DELIMITATION, "", 0)
            .Element(0x0020000E, "", "4.56");
        w.Header(tags::ITEM_DELIMITATION, "", 0).Header(tags::SEQUENCE_DELIMITATION, "", 0);
        w.Encoding(big, true).Us(0x00280010, 512);
        const std::string path = Save(w.Bytes());
        ASSERT_EQ(m_ds.Load(path.c_str()), SUCCESS);
        if (!big)
            expected = PydicomTree(path);
        EXPECT_EQ(OurTree(m_ds), expected);
        const ElementId sequence = m_ds.FindElement(-1, 0x00091100, true);
        EXPECT_EQ(m_ds.GetVr(sequence), vr::SQ);
        EXPECT_EQ(String(m_ds.FindElement(sequence, 0x0020000E, false)), "4.56");
        EXPECT_EQ(String(m_ds.FindElement(sequence, 0x00081150, false)), "1.23");
        EXPECT_EQ(m_ds.GetUnsigned(m_ds.FindElement(-1, 0x00280010, true), 0), 512u);
        // Saved explicit, it is a sequence of explicit elements that pydicom reads alike.
        const std::string saved = path + ".saved";
        m_files.push_back(saved);
        ASSERT_EQ(m_ds.Save(saved.c_str(), SAVE_PREAMBLE | DS_META_GROUP | DS_EXPLICIT_VR), SUCCESS);
        ASSERT_EQ(m_ds.Load(saved.c_str()), SUCCESS);
        EXPECT_EQ(OurTree(m_ds), PydicomTree(saved));
        EXPECT_EQ(String(m_ds.FindElement(-1, 0x00081150, false)), "1.23");
    }
}

TEST_F(ReaderTest, ImplicitFilesReadNewerAttributesWithTheirVr)
{
    // Attributes of editions later than the toolkit's first dictionary, in an implicit-VR body:
    // Dimension Index Values (UL), the Shared Functional Groups Sequence of defined length with a
    // Plane Position Sequence inside. pydicom names the same VRs; the values read as such.
    Writer w(false, false);
    w.Filler(20).Element(0x00209157, "", std::string("\3\0\0\0\7\0\0\0", 8));
    const std::string position = "1\\2\\3 ";
    const uint32_t inner = 8 + static_cast<uint32_t>(position.size());
    w.Header(0x52009229, "", 8 + 8 + 8 + inner).Header(tags::ITEM, "", 8 + 8 + inner);
    w.Header(0x00209113, "", 8 + inner).Header(tags::ITEM, "", inner).Element(0x00200032, "", position);
    const std::string path = Save(w.Bytes());
    ASSERT_EQ(m_ds.Load(path.c_str()), SUCCESS);
    // pydicom's lines: "DEPTH (gggg,eeee) VR", items with "-"; the private filler left out.
    std::vector<std::string> ours;
    for (ElementId id = m_ds.FirstTopLevel(); id >= 0; id = m_ds.NextInPreOrder(id)) {
        std::string tag = TagText(m_ds.GetTag(id));
        std::transform(tag.begin(), tag.end(), tag.begin(), [](unsigned char c) { return std::tolower(c); });
        const bool item = m_ds.GetTag(id) == tags::ITEM;
        ours.push_back(
            std::to_string(m_ds.Depth(id)) + " " + tag + " " + (item ? "-" : VrCodeText(m_ds.GetVr(id))));
    }
    const std::vector<std::string> theirs = PydicomTrees({ path }, true)[path];
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_EQ(std::vector<std::string>(ours.begin() + 20, ours.end()),
        std::vector<std::string>(theirs.begin() + 20, theirs.end()));
    const ElementId indexes = m_ds.FindElement(-1, 0x00209157, true);
    EXPECT_EQ(m_ds.GetVr(indexes), vr::UL);
    EXPECT_EQ(m_ds.GetUnsigned(indexes, 1), 7u);
    const ElementId shared = m_ds.FindElement(-1, 0x52009229, true);
    EXPECT_EQ(m_ds.GetVr(shared), vr::SQ);
    const ElementId z = m_ds.FindElement(shared, 0x00200032, false);
    char* third = m_ds.GetString(z, 2);
    EXPECT_STREQ(third, "3");
    DataSet::FreeString(third);
}

TEST_F(ReaderTest, PixelValuesOfAnImplicitFileFollowPixelRepresentation)
{
    // "US or SS" attributes hold pixel values: SS when Pixel Representation is 1, as pydicom and
    // DCMTK resolve them, also inside items. Written with VRs, a padding value of -2000 (bytes
    // 30 F8) must stay -2000 for every reader, not become 63536.
    for (const uint16_t representation : { 0, 1 }) {
        SCOPED_TRACE(representation);
        const uint16_t expected = representation == 1 ? vr::SS : vr::US;
        Writer w(false, false);
        w.Filler(20).Us(0x00280103, representation).Us(0x00280106, 0xF830).Us(0x00280120, 0xF830);
        w.Header(0x00409096, "", 0xFFFFFFFF).Header(tags::ITEM, "", 0xFFFFFFFF).Us(0x00409216, 0xF830);
        w.Header(tags::ITEM_DELIMITATION, "", 0).Header(tags::SEQUENCE_DELIMITATION, "", 0);
        const std::string path = Save(w.Bytes());
        ASSERT_EQ(m_ds.Load(path.c_str()), SUCCESS);
        for (const uint32_t tag : { 0x00280106u, 0x00280120u, 0x00409216u })
            EXPECT_EQ(m_ds.GetVr(m_ds.FindElement(-1, tag, false)), expected) << TagText(tag);
        EXPECT_EQ(m_ds.GetVr(m_ds.FindElement(-1, 0x00280103, false)), vr::US);
        const std::string saved = path + ".saved";
        m_files.push_back(saved);
        ASSERT_EQ(m_ds.Save(saved.c_str(), SAVE_PREAMBLE | DS_META_GROUP | DS_EXPLICIT_VR), SUCCESS);
        ASSERT_EQ(m_ds.Load(saved.c_str()), SUCCESS);
        EXPECT_EQ(m_ds.GetVr(m_ds.FindElement(-1, 0x00280120, false)), expected);
    }
}

TEST_F(ReaderTest, ExplicitBodyStaysExplicit)
{
    // Only the first element after group 0002 decides: a later element with a strange VR does
    // not turn the body implicit.
    Writer w;
    w.Preamble().Meta(kExplicitLittle).Filler(20).Element(0x00100010, "xx", "AB").Us(0x00280010, 512);
    ASSERT_EQ(m_ds.Load(Save(w.Bytes()).c_str()), SUCCESS);
    EXPECT_EQ(m_ds.Tolerances(), 0u);
    EXPECT_EQ(m_ds.GetUnsigned(m_ds.FindElement(-1, 0x00280010, true), 0), 512u);
}

// Deflate of `bytes`: raw (windowBits -15), as the syntax asks, or zlib-wrapped (15).
std::vector<uint8_t> Deflate(const std::vector<uint8_t>& bytes, int windowBits)
{
    z_stream z {};
    EXPECT_EQ(deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::vector<uint8_t> out(deflateBound(&z, bytes.size()));
    z.next_in = const_cast<uint8_t*>(bytes.data());
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// Too many elements fail the load instead of taking memory without bound, in every way a file
// is read: implicit and explicit little-endian, big-endian, deflated (inflated into a temporary
// file, and parsed while inflating as filing does).
TEST_F(ReaderTest, MoreElementsThanTheLimitFailTheLoad)
{
    struct Case {
        const char* syntax;
        bool big, explicitVr, deflated;
        uint32_t options;
    };
    const Case cases[] = {
        { "1.2.840.10008.1.2", false, false, false, 0 },
        { kExplicitLittle, false, true, false, 0 },
        { kExplicitBig, true, true, false, 0 },
        { "1.2.840.10008.1.2.1.99", false, true, true, 0 },
        { "1.2.840.10008.1.2.1.99", false, true, true, DS_DISCARD_LARGE_VALUES },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.syntax) + (c.options ? " while filing" : ""));
        Writer meta;
        meta.Preamble().Meta(c.syntax);
        Writer body(c.big, c.explicitVr);
        body.Filler(40);
        std::vector<uint8_t> bytes = meta.Bytes();
        const std::vector<uint8_t> encoded = c.deflated ? Deflate(body.Bytes(), -15) : body.Bytes();
        bytes.insert(bytes.end(), encoded.begin(), encoded.end());
        const std::string path = Save(bytes);
        m_ds.SetElementLimit(41); // one fewer than the file holds
        EXPECT_EQ(m_ds.Load(path.c_str(), c.options), ERROR_MEMORY_FULL);
        m_ds.SetElementLimit(42);
        EXPECT_EQ(m_ds.Load(path.c_str(), c.options), SUCCESS);
        EXPECT_EQ(m_ds.CountElements(), 42);
    }
    m_ds.SetElementLimit(DataSet::kDefaultElementLimit);
}

TEST_F(ReaderTest, DeflatedBodyIsInflated)
{
    const char* kDeflated = "1.2.840.10008.1.2.1.99";
    Writer meta;
    meta.Preamble().Meta(kDeflated);
    Writer body;
    body.Filler(20).Element(0x00100010, "PN", "ABCD");
    std::string pixels;
    for (int i = 0; i < 5000; ++i)
        pixels += static_cast<char>(i % 7);
    body.Element(tags::PIXEL_DATA, "OW", pixels);
    auto file = [&](const std::vector<uint8_t>& encoded) {
        std::vector<uint8_t> bytes = meta.Bytes();
        bytes.insert(bytes.end(), encoded.begin(), encoded.end());
        return bytes;
    };
    auto expectBody = [&] {
        EXPECT_EQ(m_ds.Flags() & (DS_DEFLATED | DS_EXPLICIT_VR), DS_DEFLATED | DS_EXPLICIT_VR);
        EXPECT_EQ(String(m_ds.FindElement(-1, 0x00100010, true)), "ABCD");
        const ElementId pixel = m_ds.FindElement(-1, tags::PIXEL_DATA, true);
        std::string value(pixels.size(), '\0');
        ASSERT_EQ(m_ds.GetValueLength(pixel), pixels.size());
        ASSERT_EQ(m_ds.ReadValue(pixel, value.data(), 0, static_cast<uint32_t>(value.size())), SUCCESS);
        EXPECT_EQ(value, pixels);
    };
    for (int windowBits : { -15, 15 }) {
        SCOPED_TRACE(windowBits);
        ASSERT_EQ(m_ds.Load(Save(file(Deflate(body.Bytes(), windowBits))).c_str()), SUCCESS);
        expectBody();
    }
    // A body labelled deflated but stored as it is is parsed as it stands.
    ASSERT_EQ(m_ds.Load(Save(file(body.Bytes())).c_str()), SUCCESS);
    expectBody();
    // A stream cut short keeps the elements it completed.
    std::vector<uint8_t> cut = Deflate(body.Bytes(), -15);
    cut.resize(cut.size() - 6);
    ASSERT_EQ(m_ds.Load(Save(file(cut)).c_str()), SUCCESS);
    EXPECT_EQ(String(m_ds.FindElement(-1, 0x00100010, true)), "ABCD");
    // Garbage after group 0002 is no deflate stream and no data set.
    EXPECT_EQ(m_ds.Load(Save(file(std::vector<uint8_t>(300, 0xFF))).c_str()), ERROR_FILE_FORMAT);

    // Loading for labels parses the body as it inflates: the source stays the file itself (no
    // temporary copy), small values are there, large ones keep their length and read as zeros.
    const std::string path = Save(file(Deflate(body.Bytes(), -15)));
    ASSERT_EQ(m_ds.Load(path.c_str(), DS_DISCARD_LARGE_VALUES), SUCCESS);
    EXPECT_EQ(m_ds.SourceFile().Path(), path);
    EXPECT_EQ(m_ds.Flags() & (DS_DEFLATED | DS_EXPLICIT_VR), DS_DEFLATED | DS_EXPLICIT_VR);
    EXPECT_EQ(String(m_ds.FindElement(-1, 0x00100010, true)), "ABCD");
    const ElementId pixel = m_ds.FindElement(-1, tags::PIXEL_DATA, true);
    EXPECT_EQ(m_ds.GetValueLength(pixel), pixels.size());
    uint8_t first[4] = { 1, 1, 1, 1 };
    ASSERT_EQ(m_ds.ReadValue(pixel, first, 0, 4), SUCCESS);
    EXPECT_EQ(std::vector<uint8_t>(first, first + 4), std::vector<uint8_t>(4, 0));
    ASSERT_EQ(m_ds.Load(path.c_str()), SUCCESS);
    EXPECT_NE(m_ds.SourceFile().Path(), path); // the display load spools the inflated body
    expectBody();
}

TEST_F(ReaderTest, DeflateBombIsRefused)
{
    // 80 MB of zeros deflate to about 80 KB, beyond both the 250:1 ratio and the 64 MiB allowance.
    Writer meta;
    meta.Preamble().Meta("1.2.840.10008.1.2.1.99");
    Writer body;
    body.Filler(20).Header(tags::PIXEL_DATA, "OB", 80u << 20);
    std::vector<uint8_t> plain = body.Bytes();
    plain.resize(plain.size() + (80u << 20), 0);
    std::vector<uint8_t> bytes = meta.Bytes();
    const std::vector<uint8_t> packed = Deflate(plain, -15);
    ASSERT_LT(packed.size(), 200u * 1024);
    bytes.insert(bytes.end(), packed.begin(), packed.end());
    const std::string path = Save(bytes);
    EXPECT_EQ(m_ds.Load(path.c_str()), ERROR_MEMORY_FULL);
    EXPECT_EQ(m_ds.Load(path.c_str(), DS_DISCARD_LARGE_VALUES), ERROR_MEMORY_FULL);

    // 4 MB of zeros inflate far beyond 250:1 too, but within the 64 MiB every body is allowed.
    Writer small;
    small.Filler(20).Header(tags::PIXEL_DATA, "OB", 4u << 20);
    plain = small.Bytes();
    plain.resize(plain.size() + (4u << 20), 0);
    bytes = meta.Bytes();
    const std::vector<uint8_t> smallPacked = Deflate(plain, -15);
    ASSERT_LT(smallPacked.size() * 250, 4u << 20);
    bytes.insert(bytes.end(), smallPacked.begin(), smallPacked.end());
    ASSERT_EQ(m_ds.Load(Save(bytes).c_str()), SUCCESS);
    EXPECT_EQ(m_ds.GetHeldLength(m_ds.FindElement(-1, tags::PIXEL_DATA, true)), 4u << 20);
}

TEST_F(ReaderTest, TruncatedFiles)
{
    Writer w;
    w.Preamble().Meta(kExplicitLittle).Filler(20).Element(0x00100010, "PN", "ABCD");
    w.Header(0x7FE00010, "OW", 1000).Raw("xy");
    std::vector<uint8_t> bytes = w.Bytes();
    ASSERT_EQ(m_ds.Load(Save(bytes).c_str()), SUCCESS);
    const ElementId pixels = m_ds.FindElement(-1, tags::PIXEL_DATA, true);
    EXPECT_EQ(m_ds.GetValueLength(pixels), 1000u); // keeps its declared length
    EXPECT_EQ(m_ds.GetHeldLength(pixels), 2u); // of which the file holds two bytes
    std::vector<uint8_t> value(1000, 0xEE);
    ASSERT_EQ(m_ds.ReadValue(pixels, value.data(), 0, 1000), SUCCESS);
    EXPECT_EQ(value[0], 'x');
    EXPECT_EQ(value[999], 0); // beyond the file: zeros, not stale memory
    // A text value declared far longer than the file: GetString gives the held text without
    // allocating the declared length.
    Writer text;
    text.Preamble().Meta(kExplicitLittle).Filler(20).Header(0x00204000, "UT", 0xFFFFFFF0u).Raw("Held");
    ASSERT_EQ(m_ds.Load(Save(text.Bytes()).c_str()), SUCCESS);
    EXPECT_EQ(String(m_ds.FindElement(-1, 0x00204000, true)), "Held");
    // A number cut in half is neither shown nor saved: the dump has no value for an FD of which
    // the file holds 4 of 8 bytes (with zeros past the end it would read as a tiny denormal),
    // and a save writes it empty.
    Writer number;
    number.Preamble()
        .Meta(kExplicitLittle)
        .Filler(20)
        .Header(0x00189089, "FD", 8)
        .Raw(std::string("\0\0\x80\x3f", 4));
    ASSERT_EQ(m_ds.Load(Save(number.Bytes()).c_str()), SUCCESS);
    const ElementId cut = m_ds.FindElement(-1, 0x00189089, true);
    EXPECT_EQ(DescribeElement(m_ds, cut).value, "");
    const std::string saved = Save({});
    ASSERT_EQ(m_ds.Save(saved.c_str(), 0), SUCCESS);
    ASSERT_EQ(m_ds.Load(saved.c_str()), SUCCESS);
    EXPECT_EQ(m_ds.GetValueLength(m_ds.FindElement(-1, 0x00189089, true)), 0u);
    // Cut inside the pixel data header: the incomplete element is removed.
    bytes.resize(bytes.size() - 2 - 5);
    ASSERT_EQ(m_ds.Load(Save(bytes).c_str()), SUCCESS);
    EXPECT_EQ(m_ds.FindElement(-1, tags::PIXEL_DATA, true), -1);
    EXPECT_EQ(m_ds.VerifyLinks(), SUCCESS);
}

TEST_F(ReaderTest, BadFiles)
{
    EXPECT_EQ(m_ds.Load(Save({}).c_str()), ERROR_FILE_FORMAT);
    EXPECT_EQ(m_ds.Load("/tmp"), ERROR_FILE_OPEN);
    EXPECT_EQ(m_ds.Load("/nonexistent/velmora"), ERROR_FILE_OPEN);
    EXPECT_EQ(m_ds.Load(nullptr), ERROR_GENERAL_PARAMETER);
    std::vector<uint8_t> garbage(5000);
    uint32_t state = 12345;
    for (auto& b : garbage) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 24);
    }
    const ResultCode result = m_ds.Load(Save(garbage).c_str());
    EXPECT_TRUE(result == SUCCESS || result == ERROR_FILE_FORMAT);
    EXPECT_EQ(m_ds.VerifyLinks(), SUCCESS);
    if (::geteuid() != 0) {
        const std::string locked = Save({ 1, 2, 3 });
        ::chmod(locked.c_str(), 0);
        EXPECT_EQ(m_ds.Load(locked.c_str()), ERROR_FILE_OPEN);
    }
    // Absurd nesting: 100000 nested undefined-length sequences and items.
    Writer deep;
    deep.Preamble().Meta(kExplicitLittle).Filler(20);
    for (int i = 0; i < 50000; ++i)
        deep.Header(0x00401000, "SQ", 0xFFFFFFFF).Header(tags::ITEM, "", 0xFFFFFFFF);
    ASSERT_EQ(m_ds.Load(Save(deep.Bytes()).c_str()), SUCCESS);
    EXPECT_EQ(m_ds.CountElements(), 22 + 100000);
}

TEST_F(ReaderTest, PushBytesInPiecesGivesTheSameTree)
{
    Writer w;
    w.Meta(kExplicitLittle)
        .Filler(5)
        .Header(0x00401000, "SQ", 0xFFFFFFFF)
        .Header(tags::ITEM, "", 10)
        .Us(0x00100001, 1);
    w.Header(tags::SEQUENCE_DELIMITATION, "", 0).Element(0x00100010, "PN", "ABCD").Us(0x00280010, 3);
    const std::vector<uint8_t>& bytes = w.Bytes();
    ASSERT_EQ(m_ds.BeginParse(0, DS_META_GROUP | DS_EXPLICIT_VR | DS_VALUES_IN_MEMORY), SUCCESS);
    ASSERT_EQ(m_ds.PushBytes(bytes.data(), static_cast<uint32_t>(bytes.size())), SUCCESS);
    m_ds.EndParse();
    const std::vector<std::string> whole = Shape();
    EXPECT_EQ(m_ds.GetUnsigned(m_ds.FindElement(-1, 0x00280010, true), 0), 3u);
    for (uint32_t piece : { 1u, 2u, 3u, 7u, 13u }) {
        ASSERT_EQ(m_ds.BeginParse(0, DS_META_GROUP | DS_EXPLICIT_VR | DS_SPOOL_VALUES), SUCCESS);
        for (size_t at = 0; at < bytes.size(); at += piece)
            ASSERT_EQ(m_ds.PushBytes(bytes.data() + at,
                          static_cast<uint32_t>(std::min<size_t>(piece, bytes.size() - at))),
                SUCCESS);
        m_ds.EndParse();
        EXPECT_EQ(Shape(), whole) << piece;
        EXPECT_EQ(String(m_ds.FindElement(-1, 0x00100010, true)), "ABCD");
        EXPECT_EQ(m_ds.PushBytes(bytes.data(), 1), ERROR_GENERAL_INIT);
    }
}

TEST_F(ReaderTest, HeadersOnlyOfALargeFile)
{
    Writer w;
    w.Preamble().Meta(kExplicitLittle).Filler(30).Header(0x7FE00010, "OW", 20 << 20);
    std::vector<uint8_t> bytes = w.Bytes();
    bytes.resize(bytes.size() + (20 << 20), 0x55);
    ASSERT_EQ(m_ds.Load(Save(bytes).c_str()), SUCCESS);
    EXPECT_LT(m_ds.SourceFile().SystemBytesRead(), 64u * 1024);
    EXPECT_LT(m_ds.SourceFile().SystemReads(), 10u);
}

// Every file pydicom ships goes through Load and is compared with what pydicom reads from it
// (tests/data/toolkit/pydicom_tree.py): a file pydicom reads loads here with the same elements
// and items at the same depths, in the same order, with the same VRs (delimiters and the
// fragments of encapsulated pixel data are nodes only here; a VR the dictionary leaves open
// agrees either way); a file pydicom refuses is refused here. Differences are listed below with
// their reason; a listed file that stops differing fails, so that the list stays true.
TEST_F(ReaderTest, PydicomFilesReadAsPydicomReadsThem)
{
    // Read here, refused by pydicom without force (no preamble): read from offset 0 as implicit VR,
    // or as explicit VR (big-endian by the first tag) where the first element carries a VR, as
    // pydicom does with force.
    const std::set<std::string> readBeyondPydicom
        = { "rtstruct.dcm", "ExplVR_LitEndNoMeta.dcm", "ExplVR_BigEndNoMeta.dcm" };
    // Read by pydicom, refused here.
    const std::map<std::string, std::string> refusedHere = {
        { "dicomdirtests/DICOMDIR-empty.dcm", "fewer than 21 elements" },
        { "empty_charset_LEI.dcm", "fewer than 21 elements" },
        { "meta_missing_tsyntax.dcm", "no transfer syntax in the meta group" },
        { "nested_priv_SQ.dcm", "fewer than 21 elements" },
        { "no_meta_group_length.dcm", "fewer than 21 elements" },
        { "priv_SQ.dcm", "fewer than 21 elements" },
    };
    // Read by both, with other trees.
    const std::map<std::string, std::string> otherTree = {
        // Elements stored as UN (as DCMTK shows them), which pydicom reads by their dictionary VR,
        // parsing a sequence among them.
        { "rtdose_rle.dcm", "elements stored as UN" },
        { "rtdose_rle_1frame.dcm", "elements stored as UN" },
        { "J2K_pixelrep_mismatch.dcm", "private creators stored as UN, which pydicom reads as LO" },
    };
    std::vector<std::string> paths;
    std::vector<std::string> stack { kPydicomFiles };
    while (!stack.empty()) {
        const std::string dir = stack.back();
        stack.pop_back();
        DIR* d = ::opendir(dir.c_str());
        if (!d)
            continue;
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == ".." || name == "__pycache__")
                continue;
            const std::string path = dir + "/" + name;
            struct stat info;
            if (::stat(path.c_str(), &info) != 0)
                continue;
            if (S_ISDIR(info.st_mode))
                stack.push_back(path);
            else if (name.size() < 3 || name.substr(name.size() - 3) != ".py")
                paths.push_back(path);
        }
        ::closedir(d);
    }
    std::sort(paths.begin(), paths.end());
    ASSERT_GT(paths.size(), 100u);

    // pydicom's trees of every file, from one run of the script.
    std::map<std::string, std::vector<std::string>> theirs = PydicomTrees(paths);
    ASSERT_EQ(theirs.size(), paths.size());

    int compared = 0;
    for (const std::string& path : paths) {
        const std::string name = path.substr(std::strlen(kPydicomFiles) + 1);
        SCOPED_TRACE(name);
        DataSet ds;
        const ResultCode result = ds.Load(path.c_str());
        EXPECT_EQ(ds.VerifyLinks(), SUCCESS);
        // Read every value once, so that value access is exercised under the sanitizers too.
        std::vector<uint8_t> bytes;
        for (ElementId id = ds.FirstTopLevel(); id >= 0; id = ds.NextInPreOrder(id)) {
            const uint32_t length = std::min<uint32_t>(ds.GetValueLength(id), 1 << 16);
            if (!ds.IsContainer(id) && length > 0) {
                bytes.resize(length);
                ds.ReadValue(id, bytes.data(), 0, length);
                DataSet::FreeString(ds.GetString(id, 0));
            }
        }
        const std::vector<std::string>& tree = theirs[path];
        if (tree == std::vector<std::string> { "refused" }) {
            EXPECT_EQ(result != SUCCESS, !readBeyondPydicom.count(name)) << ResultCodeName(result);
            continue;
        }
        if (refusedHere.count(name)) {
            EXPECT_NE(result, SUCCESS) << "now read: remove it from refusedHere";
            continue;
        }
        ASSERT_EQ(result, SUCCESS) << "pydicom reads it";
        std::vector<std::string> ours;
        bool agree = ds.CountElements() > 0;
        size_t at = 0;
        for (ElementId id = ds.FirstTopLevel(); id >= 0 && agree;) {
            const uint32_t tag = ds.GetTag(id);
            if (tag == tags::ITEM_DELIMITATION || tag == tags::SEQUENCE_DELIMITATION) {
                id = ds.NextInPreOrder(id);
                continue;
            }
            const bool item = tag == tags::ITEM;
            const std::string vr = item ? "-" : VrCodeText(ds.GetVr(id) ? ds.GetVr(id) : ds.ResolveVr(id));
            const std::string head = std::to_string(ds.Depth(id)) + " " + TagText(tag) + " ";
            // pydicom's "US_or_SS" agrees with either VR.
            agree = at < tree.size() && tree[at].rfind(head, 0) == 0
                && (tree[at] == head + vr
                    || (tree[at].find("_or_") != std::string::npos
                        && tree[at].find(vr, head.size()) != std::string::npos));
            if (!agree)
                ours.push_back("first difference: " + head + vr + " against "
                    + (at < tree.size() ? tree[at] : "the end"));
            ++at;
            id = tag == tags::PIXEL_DATA ? ds.NextInPreOrder(ds.LastInSubtree(id)) : ds.NextInPreOrder(id);
        }
        agree = agree && at == tree.size();
        if (otherTree.count(name)) {
            EXPECT_FALSE(agree) << "now agrees: remove it from otherTree";
            continue;
        }
        EXPECT_TRUE(agree) << (ours.empty() ? "pydicom has more elements" : ours.back());
        compared += agree;
    }
    EXPECT_GT(compared, 100);
}
