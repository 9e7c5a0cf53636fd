// ElementText: the dump fields of single nodes, checked against hand-written lines.
#include "toolkit/built_in_tables.h"
#include "toolkit/element_text.h"
#include "toolkit/vr_code.h"

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
