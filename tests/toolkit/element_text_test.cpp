// ElementText: the dump fields of single nodes, checked against hand-written lines.
#include "toolkit/built_in_tables.h"
#include "toolkit/character_set.h"
#include "toolkit/element_text.h"
#include "toolkit/encoding_rules.h"
#include "toolkit/vr_code.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

using namespace velmora;

namespace {

struct Row {
    uint32_t tag;
    uint16_t vr;
    std::string bytes; // value bytes in host order
    const char* line; // expected FormatElementLine
};

std::string Le16(int16_t v)
{
    std::string s(2, '\0');
    std::memcpy(s.data(), &v, 2);
    return s;
}

// The bytes of `value` (host order) in the byte order of the stream, reversed per `unit`.
std::string Ordered(std::string value, size_t unit, bool big)
{
    for (size_t at = 0; big && unit > 1 && at + unit <= value.size(); at += unit)
        std::reverse(value.begin() + static_cast<std::ptrdiff_t>(at),
            value.begin() + static_cast<std::ptrdiff_t>(at + unit));
    return value;
}

// One explicit VR element of a stream in the given byte order.
std::string Element(uint32_t tag, const char* vr, const std::string& value, bool big)
{
    auto number = [big](uint32_t v, size_t size) {
        std::string out(size, '\0');
        for (size_t i = 0; i < size; ++i)
            out[big ? size - 1 - i : i] = static_cast<char>(v >> (8 * i));
        return out;
    };
    const uint32_t length = static_cast<uint32_t>(value.size());
    const std::string lengthField
        = HasLongHeader(VrCode(vr[0], vr[1])) ? std::string(2, '\0') + number(length, 4) : number(length, 2);
    return number(tag >> 16, 2) + number(tag & 0xFFFF, 2) + vr + lengthField + value;
}

template <typename T> std::string Bytes(std::initializer_list<T> values)
{
    std::string out;
    for (T v : values)
        out.append(reinterpret_cast<const char*>(&v), sizeof v);
    return out;
}

} // namespace

TEST(ElementText, LinesOfTopLevelElements)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    const Row rows[] = {
        { 0x00100010, vr::PN, "DOE^JOHN", "(0010,0010) PN 8 Patient's Name = DOE^JOHN" },
        // Without (0008,0005) bytes that are not UTF-8 read as Latin-1 (the value goes through DecodeText).
        { 0x00100010, vr::PN, "J\xe9r\xf4me", "(0010,0010) PN 6 Patient's Name = J\u00e9r\u00f4me" },
        { 0x00080008, vr::CS, "ORIGINAL\\PRIMARY", "(0008,0008) CS 16 Image Type = ORIGINAL\\PRIMARY" },
        { 0x00280010, vr::US, Le16(512), "(0028,0010) US 2 Rows = 512" },
        { 0x00281052, vr::DS, "-1024 ", "(0028,1052) DS 6 Rescale Intercept = -1024" },
        { 0x00280106, vr::SS, Le16(-7) + Le16(3), "(0028,0106) SS 4 Smallest Image Pixel Value = -7\\3" },
        { 0x00204000, vr::LT, std::string("two\nlines  "), "(0020,4000) LT 11 Image Comments = two.lines" },
        { 0x7FE00010, vr::OB, std::string(6, '\x01'), "(7fe0,0010) OB 6 Pixel Data" },
        { 0x00091001, vr::LO, "", "(0009,1001) LO 0 Unknown" },
        // The VR bytes of a damaged file stay one field of printable letters.
        { 0x00091002, VrCode('1', ' '), "", "(0009,1002) 1? 0 Unknown" },
        { 0x00091003, VrCode('\n', '\0'), "", "(0009,1003) ?? 0 Unknown" },
    };
    for (const Row& row : rows) {
        DataSet ds;
        const ElementId id = ds.InsertElement(-1, row.tag, row.vr, false, 0);
        ASSERT_GE(id, 0);
        if (!row.bytes.empty()) {
            ASSERT_EQ(ds.AppendValue(id, row.bytes.data(), static_cast<uint32_t>(row.bytes.size())), SUCCESS);
        }
        EXPECT_EQ(FormatElementLine(DescribeElement(ds, id)), row.line);
    }
}

TEST(ElementText, NestedNodesAreIndentedAndContainersShowNoValue)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    DataSet ds;
    const ElementId sequence = ds.InsertElement(-1, 0x00081140, vr::SQ, false, 0);
    const ElementId item = ds.InsertElement(sequence, 0xFFFEE000, vr::SQ, true, 0);
    const ElementId uid = ds.InsertElement(item, 0x00081155, vr::UI, true, 0);
    ASSERT_GE(uid, 0);
    ASSERT_EQ(ds.AppendValue(uid, "1.2.3\0", 6), SUCCESS);
    const ElementText text = DescribeElement(ds, uid);
    EXPECT_EQ(text.depth, 2);
    EXPECT_EQ(text.name, "Referenced SOP Instance UID");
    EXPECT_EQ(text.value, "1.2.3");
    EXPECT_EQ(FormatElementLine(text), "    (0008,1155) UI 6 Referenced SOP Instance UID = 1.2.3");
    EXPECT_TRUE(DescribeElement(ds, sequence).value.empty());
    EXPECT_EQ(DescribeElement(ds, item).depth, 1);
}

TEST(ElementText, NewerVrsShowTheirValuesInEitherByteOrder)
{
    // UC is multi-valued text decoded by (0008,0005) with trailing padding only, UR one value,
    // SV and UV 64-bit numbers; the "other" VRs show none, as OB and OW. The expected values are
    // pydicom 2.3.1's reading of the same bytes (UC ['  uc one', ' uc twé'], UR '  http://a.b/c d',
    // SV [-5, -2**63], UV [9, 2**64 - 1]) and dcmdump's (-5\-9223372036854775808, 9\18446744073709551615);
    // the names are pydicom's dictionary's.
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    struct Case {
        uint32_t tag;
        const char* vr;
        std::string value; // host order
        size_t unit; // bytes reversed in a big-endian stream
        const char* line;
    };
    const Case cases[] = {
        { 0x00080005, "CS", "ISO_IR 100", 1, "(0008,0005) CS 10 Specific Character Set = ISO_IR 100" },
        { 0x00080120, "UR", "  http://a.b/c d  ", 1, "(0008,0120) UR 18 URN Code Value =   http://a.b/c d" },
        { 0x00189369, "UC", "  uc one \\ uc tw\xe9 ", 1,
            "(0018,9369) UC 18 Source Start DateTime =   uc one\\ uc tw\u00e9" },
        { 0x00189219, "OD", Bytes<double>({ 1.5 }), 8, "(0018,9219) OD 8 Tag Angle Second Axis" },
        { 0x00660040, "OL", Bytes<uint32_t>({ 7 }), 4, "(0066,0040) OL 4 Long Primitive Point Index List" },
        { 0x00660041, "OV", Bytes<uint64_t>({ 7 }), 8, "(0066,0041) OV 8 Long Triangle Point Index List" },
        { 0x00720082, "SV", Bytes<int64_t>({ -5, INT64_MIN }), 8,
            "(0072,0082) SV 16 Selector SV Value = -5\\-9223372036854775808" },
        { 0x00720083, "UV", Bytes<uint64_t>({ 9, UINT64_MAX }), 8,
            "(0072,0083) UV 16 Selector UV Value = 9\\18446744073709551615" },
    };
    for (const bool big : { false, true }) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        std::string stream;
        for (const Case& c : cases)
            stream += Element(c.tag, c.vr, Ordered(c.value, c.unit, big), big);
        DataSet ds;
        const uint32_t order = big ? DS_BIG_ENDIAN : 0u;
        ASSERT_EQ(ds.BeginParse(0, DS_EXPLICIT_VR | DS_VALUES_IN_MEMORY | order), SUCCESS);
        ASSERT_EQ(ds.PushBytes(stream.data(), static_cast<uint32_t>(stream.size())), SUCCESS);
        ASSERT_EQ(ds.EndParse(), SUCCESS);
        ElementId id = ds.FirstTopLevel();
        for (const Case& c : cases) {
            ASSERT_GE(id, 0);
            EXPECT_EQ(FormatElementLine(DescribeElement(ds, id)), c.line);
            id = ds.NextSibling(id);
        }
    }
}

TEST(ElementText, ImplicitVrElementsOfTheNewerVrsReadAsTheirDictionaryVr)
{
    // An implicit VR stream carries no VR: the dictionary gives it. Expected lines as dcmdump
    // reads the same elements of a file pydicom 2.3.1 wrote ("UR [http://example.org/wado]",
    // "UC [C57BL/6J]", "OL 7").
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    const auto element = [](uint32_t tag, const std::string& value) {
        std::string out;
        for (const uint32_t field :
            { (tag >> 16) | ((tag & 0xFFFFu) << 16), static_cast<uint32_t>(value.size()) })
            out.append(reinterpret_cast<const char*>(&field), 4);
        return out + value;
    };
    const std::string stream = element(0x00081190, "http://example.org/wado ")
        + element(0x00100212, "C57BL/6J") + element(0x00660040, Bytes<uint32_t>({ 7 }));
    DataSet ds;
    ASSERT_EQ(ds.BeginParse(0, DS_VALUES_IN_MEMORY), SUCCESS);
    ASSERT_EQ(ds.PushBytes(stream.data(), static_cast<uint32_t>(stream.size())), SUCCESS);
    ASSERT_EQ(ds.EndParse(), SUCCESS);
    const char* lines[] = {
        "(0008,1190) UR 24 Retrieve URL = http://example.org/wado",
        "(0010,0212) UC 8 Strain Description = C57BL/6J",
        "(0066,0040) OL 4 Long Primitive Point Index List",
    };
    ElementId id = ds.FirstTopLevel();
    for (const char* line : lines) {
        ASSERT_GE(id, 0);
        EXPECT_EQ(FormatElementLine(DescribeElement(ds, id)), line);
        id = ds.NextSibling(id);
    }
    EXPECT_EQ(GetText(ds, ds.FirstTopLevel(), 0).value_or(""), "http://example.org/wado");
}
