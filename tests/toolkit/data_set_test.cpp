// DataSet: element queries, value chunks, typed getters and setters, VR resolution.
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/tag.h"
#include "toolkit/vr_code.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

using namespace velmora;

namespace {

class DataSetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(InstallBuiltInTables(), SUCCESS); }

    ElementId Text(uint32_t tag, uint16_t vr, const char* text, ElementId ref = -1, bool child = false)
    {
        const ElementId id = m_ds.InsertElement(ref, tag, vr, child, 0);
        EXPECT_GE(id, 0);
        if (text && *text) {
            EXPECT_EQ(m_ds.AppendValue(id, text, static_cast<uint32_t>(std::strlen(text))), SUCCESS);
        }
        return id;
    }

    std::string String(ElementId id, uint32_t index)
    {
        char* text = m_ds.GetString(id, index);
        if (!text)
            return "<null>";
        std::string result = text;
        DataSet::FreeString(text);
        return result;
    }

    DataSet m_ds;
};

} // namespace

TEST_F(DataSetTest, NewDataSetState)
{
    EXPECT_EQ(m_ds.Flags(), static_cast<uint32_t>(DS_EXPLICIT_VR));
    EXPECT_EQ(m_ds.GrowthStep(), 100);
    EXPECT_EQ(m_ds.FirstTopLevel(), -1);
    EXPECT_EQ(m_ds.Preamble(), nullptr);
    EXPECT_EQ(m_ds.GetTag(-1), 0u);
    EXPECT_EQ(m_ds.GetVr(-1), vr::UN);
    EXPECT_FALSE(m_ds.IsContainer(-1));
    EXPECT_EQ(m_ds.GetValueLength(-1), 0u);
    EXPECT_TRUE(m_ds.HasValues());
    EXPECT_EQ(m_ds.TreeQuery(), 0);
}

TEST_F(DataSetTest, StringSplittingAndTrimming)
{
    const ElementId ab = Text(0x00080008, vr::CS, "A\\B");
    EXPECT_EQ(String(ab, 0), "A");
    EXPECT_EQ(String(ab, 1), "B");
    EXPECT_EQ(String(ab, 2), "<null>");
    const ElementId trailing = Text(0x00080060, vr::CS, "A\\");
    EXPECT_EQ(String(trailing, 1), "");
    const ElementId mono = Text(0x00280004, vr::CS, "  MONO  ");
    EXPECT_EQ(String(mono, 0), "MONO");
    const ElementId lt = Text(0x00204000, vr::LT, "  text  ");
    EXPECT_EQ(String(lt, 0), "  text");
    const ElementId empty = Text(0x00100010, vr::PN, "");
    EXPECT_EQ(String(empty, 0), "<null>");
    const ElementId uid = m_ds.InsertElement(-1, 0x00080016, vr::UI, false, 0);
    ASSERT_EQ(m_ds.AppendValue(uid, "1.2.3\0", 6), SUCCESS);
    EXPECT_EQ(String(uid, 0), "1.2.3");
    const ElementId us = m_ds.InsertElement(-1, 0x00280010, vr::US, false, 0);
    EXPECT_EQ(m_ds.SetInteger(us, 512), SUCCESS);
    EXPECT_EQ(String(us, 0), "<null>"); // binary
}

TEST_F(DataSetTest, IntegersAndReals)
{
    const ElementId ss = m_ds.InsertElement(-1, 0x00281052, vr::SS, false, 0);
    EXPECT_EQ(m_ds.SetInteger(ss, 0xFFFF), SUCCESS);
    EXPECT_EQ(m_ds.GetUnsigned(ss, 0), 65535u);
    const ElementId is = Text(0x00200013, vr::IS, "  -3 ");
    EXPECT_EQ(m_ds.GetUnsigned(is, 0), 4294967293u);
    const ElementId at = m_ds.InsertElement(-1, 0x00209165, vr::AT, false, 0);
    EXPECT_EQ(m_ds.SetInteger(at, 0x00280010), SUCCESS);
    uint8_t raw[4];
    ASSERT_EQ(m_ds.ReadValue(at, raw, 0, 4), SUCCESS);
    EXPECT_EQ(raw[0], 0x28); // group first
    EXPECT_EQ(m_ds.GetUnsigned(at, 0), 0x00280010u);
    const ElementId ds = Text(0x00281050, vr::DS, " 40.5\\-12e1 ");
    EXPECT_DOUBLE_EQ(m_ds.GetReal(ds, 0), 40.5);
    EXPECT_DOUBLE_EQ(m_ds.GetReal(ds, 1), -120.0);
    EXPECT_DOUBLE_EQ(m_ds.GetReal(ds, 2), 0.0);
    const ElementId fd = m_ds.InsertElement(-1, 0x00189087, vr::FD, false, 0);
    const double value = 2.5;
    ASSERT_EQ(m_ds.AppendValue(fd, &value, 8), SUCCESS);
    EXPECT_DOUBLE_EQ(m_ds.GetReal(fd, 0), 2.5);
    EXPECT_EQ(m_ds.GetUnsigned(fd, 0), 0u);
    const ElementId isText = m_ds.InsertElement(-1, 0x00200012, vr::IS, false, 0);
    EXPECT_EQ(m_ds.SetInteger(isText, static_cast<uint32_t>(-7)), SUCCESS);
    EXPECT_EQ(String(isText, 0), "-7");
    EXPECT_EQ(m_ds.SetString(ss, "x"), ERROR_DS_VR);
    const ElementId sq = m_ds.InsertElement(-1, 0x00081140, vr::SQ, false, 0);
    EXPECT_EQ(m_ds.SetInteger(sq, 1), ERROR_DS_VR);
}

TEST_F(DataSetTest, NewerVrsReadAsTheirOlderSiblings)
{
    // UC is multi-valued text like LO but keeps leading spaces (PS3.5 Table 6.2-1); UR is one
    // value like UT; SV and UV are 64-bit SL and UL.
    const ElementId uc = Text(0x00189369, vr::UC, " a \\b  ");
    EXPECT_EQ(String(uc, 0), " a");
    EXPECT_EQ(String(uc, 1), "b");
    EXPECT_EQ(String(uc, 2), "<null>");
    ASSERT_EQ(m_ds.AppendValue(uc, "c", 1), SUCCESS);
    EXPECT_EQ(m_ds.GetValueLength(uc), 9u); // chunks of multi-valued text join with '\\'
    EXPECT_EQ(String(uc, 2), "c");
    const ElementId ur = Text(0x00080120, vr::UR, "http://a/b\\c  ");
    EXPECT_EQ(String(ur, 0), "http://a/b\\c");
    EXPECT_EQ(String(ur, 1), "<null>");
    const ElementId written = m_ds.InsertElement(-1, 0x00400441, vr::UC, false, 0);
    EXPECT_EQ(m_ds.SetString(written, "x"), SUCCESS);

    const int64_t signedValues[] = { -5, INT64_MIN };
    const ElementId sv = m_ds.InsertElement(-1, 0x00720082, vr::SV, false, 0);
    ASSERT_EQ(m_ds.AppendValue(sv, signedValues, sizeof signedValues), SUCCESS);
    EXPECT_EQ(static_cast<int64_t>(m_ds.GetUnsigned64(sv, 0)), -5);
    EXPECT_EQ(static_cast<int64_t>(m_ds.GetUnsigned64(sv, 1)), INT64_MIN);
    EXPECT_EQ(static_cast<int32_t>(m_ds.GetUnsigned(sv, 0)), -5);
    const uint64_t unsignedValue = 0x123456789ull;
    const ElementId uv = m_ds.InsertElement(-1, 0x00720083, vr::UV, false, 0);
    ASSERT_EQ(m_ds.AppendValue(uv, &unsignedValue, 8), SUCCESS);
    EXPECT_EQ(m_ds.GetUnsigned64(uv, 0), 0x123456789ull);
    EXPECT_EQ(m_ds.GetUnsigned(uv, 0), 0x23456789u); // the low 32 bits
    EXPECT_EQ(m_ds.GetUnsigned64(uv, 1), 0u);
    EXPECT_EQ(String(uv, 0), "<null>"); // binary
    // Older VRs in 64 bits keep their 32-bit answers.
    const ElementId is = Text(0x00200013, vr::IS, "-3");
    EXPECT_EQ(m_ds.GetUnsigned64(is, 0), static_cast<uint64_t>(-3));
    EXPECT_EQ(m_ds.GetUnsigned(is, 0), 4294967293u);
}

TEST_F(DataSetTest, ChunksJoinWithABackslashForMultiValuedText)
{
    const ElementId ds = Text(0x00280030, vr::DS, "0.5");
    ASSERT_EQ(m_ds.AppendValue(ds, "0.25", 4), SUCCESS);
    EXPECT_EQ(m_ds.GetValueLength(ds), 8u);
    char buffer[9] = {};
    ASSERT_EQ(m_ds.ReadValue(ds, buffer, 0, 8), SUCCESS);
    EXPECT_STREQ(buffer, "0.5\\0.25");
    EXPECT_EQ(String(ds, 1), "0.25");
    EXPECT_EQ(m_ds.ReadValue(ds, buffer, 100, 1), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(m_ds.ReadValue(ds, buffer, 0, 0), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(m_ds.ReadValue(ds, nullptr, 0, 1), ERROR_GENERAL_PARAMETER);
    m_ds.FreeValue(ds);
    EXPECT_EQ(m_ds.GetValueLength(ds), 0u);
}

TEST_F(DataSetTest, LongValuesGoToTheSpoolFile)
{
    const ElementId ow = m_ds.InsertElement(-1, tags::PIXEL_DATA, vr::OW, false, 0);
    std::string big(5000, 'x');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i % 251);
    EXPECT_FALSE(m_ds.HasSpoolFile()); // opened only when needed
    ASSERT_EQ(m_ds.AppendValue(ow, big.data(), 5000), SUCCESS);
    EXPECT_TRUE(m_ds.HasSpoolFile());
    EXPECT_NE(m_ds.FirstChunk(ow)->file, nullptr);
    std::string back(5000, '\0');
    ASSERT_EQ(m_ds.ReadValue(ow, back.data(), 0, 5000), SUCCESS);
    EXPECT_EQ(back, big);
    ASSERT_EQ(m_ds.ReadValue(ow, back.data(), 4000, 10), SUCCESS);
    EXPECT_EQ(back.substr(0, 10), big.substr(4000, 10));
    m_ds.Clear(true);
    EXPECT_FALSE(m_ds.HasSpoolFile());
}

TEST_F(DataSetTest, InsertElementKeepsTagOrderAndReturnsExisting)
{
    const ElementId b = Text(0x00100020, vr::LO, "B");
    const ElementId a = Text(0x00100010, vr::PN, "A");
    const ElementId c = Text(0x00200010, vr::SH, "C");
    EXPECT_EQ(m_ds.FirstTopLevel(), a);
    EXPECT_EQ(m_ds.NextSibling(a), b);
    EXPECT_EQ(m_ds.NextSibling(b), c);
    const int32_t used = m_ds.UsedCount();
    EXPECT_EQ(m_ds.InsertElement(-1, 0x00100020, vr::LO, false, 0), b);
    EXPECT_EQ(m_ds.UsedCount(), used);
    EXPECT_EQ(m_ds.GetVr(m_ds.InsertElement(-1, 0x00280010, 0, false, 0)), vr::US); // from the dictionary
}

TEST_F(DataSetTest, FindElementWholeTreeOrOneLevel)
{
    const ElementId seq = m_ds.InsertElement(-1, 0x00081140, vr::SQ, false, 0);
    EXPECT_TRUE(m_ds.IsContainer(seq));
    EXPECT_EQ(m_ds.GetValueLength(seq), 0xFFFFFFFFu);
    const ElementId item = m_ds.InsertElement(seq, tags::ITEM, 0, true, 0);
    EXPECT_TRUE(m_ds.IsContainer(item));
    const ElementId inner = Text(0x00081150, vr::UI, "1.2", item, true);
    const ElementId outer = Text(0x00081150, vr::UI, "9.9"); // sorts after (0008,1140)? no: before
    EXPECT_EQ(m_ds.FindElement(-1, 0x00081150, true), outer);
    EXPECT_EQ(m_ds.FindElement(inner, 0x00081150, true), inner);
    // Whole-tree search in pre-order: the top-level (0008,1150) sorts after the sequence.
    EXPECT_EQ(m_ds.FindElement(12345, 0x00081150, false), inner);
    EXPECT_EQ(m_ds.FindElement(-1, 0x7FE00010, false), -1);
}

TEST_F(DataSetTest, ContainersAndResolveVr)
{
    const ElementId bits = m_ds.InsertElement(-1, 0x00280100, vr::US, false, 0);
    const ElementId pixels = m_ds.InsertElement(-1, tags::PIXEL_DATA, 0, false, 0);
    EXPECT_EQ(m_ds.ResolveVr(pixels), vr::OB); // present without a value: reads as 0
    m_ds.SetInteger(bits, 16);
    EXPECT_EQ(m_ds.ResolveVr(pixels), vr::OW);
    m_ds.FreeValue(bits);
    m_ds.SetInteger(bits, 8);
    EXPECT_EQ(m_ds.ResolveVr(pixels), vr::OB);
    m_ds.RemoveSubtree(bits);
    EXPECT_EQ(m_ds.ResolveVr(pixels), vr::OW);
    const ElementId fragment = m_ds.InsertElement(pixels, tags::ITEM, 0, true, 0);
    EXPECT_FALSE(m_ds.IsContainer(fragment));
    EXPECT_EQ(m_ds.ResolveVr(fragment), m_ds.GetVr(pixels));
    const ElementId overlayBits = m_ds.InsertElement(-1, 0x60020100, vr::US, false, 0);
    m_ds.SetInteger(overlayBits, 1);
    EXPECT_EQ(m_ds.ResolveVr(m_ds.InsertElement(-1, 0x60023000, 0, false, 0)), vr::OB);
    const ElementId format = m_ds.InsertElement(-1, 0x50000103, vr::US, false, 0);
    m_ds.SetInteger(format, 3);
    EXPECT_EQ(m_ds.ResolveVr(m_ds.InsertElement(-1, 0x50003000, 0, false, 0)), vr::FD);
    EXPECT_EQ(m_ds.ResolveVr(-1), vr::UN);
    // Private creators are LO; the private elements they reserve stay unknown.
    EXPECT_EQ(m_ds.ResolveVr(m_ds.InsertElement(-1, 0x00090010, 0, false, 0)), vr::LO);
    EXPECT_EQ(m_ds.ResolveVr(m_ds.InsertElement(-1, 0x001900FF, 0, false, 0)), vr::LO);
    EXPECT_EQ(m_ds.ResolveVr(m_ds.InsertElement(-1, 0x00091000, 0, false, 0)), vr::UN);
    EXPECT_EQ(m_ds.ResolveVr(m_ds.InsertElement(-1, 0x00091001, 0, false, 0)), vr::UN);
}

TEST_F(DataSetTest, PixelValuesFollowAPixelRepresentationThatComesLater)
{
    // An implicit stream out of tag order: the first pixel value comes before Pixel
    // Representation 1 and reads as US, the second after it as SS; asked again once the parse is
    // done, both are SS. The look-up resumes over the elements appended since it last looked.
    auto element = [](uint16_t group, uint16_t number, uint16_t value) {
        const uint8_t bytes[] = { static_cast<uint8_t>(group), static_cast<uint8_t>(group >> 8),
            static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8), 2, 0, 0, 0,
            static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8) };
        return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
    };
    const std::string stream = element(0x0028, 0x0106, 1) + element(0x0028, 0x0010, 4)
        + element(0x0028, 0x0103, 1) + element(0x0028, 0x0107, 0xFFFF);
    ASSERT_EQ(m_ds.BeginParse(0, DS_MEMORY_MODE), SUCCESS);
    ASSERT_EQ(m_ds.PushBytes(stream.data(), static_cast<uint32_t>(stream.size())), SUCCESS);
    ASSERT_EQ(m_ds.EndParse(), SUCCESS);
    const ElementId smallest = m_ds.FindElement(-1, 0x00280106, true);
    const ElementId largest = m_ds.FindElement(-1, 0x00280107, true);
    EXPECT_EQ(m_ds.GetVr(smallest), vr::US);
    EXPECT_EQ(m_ds.GetVr(largest), vr::SS);
    EXPECT_EQ(m_ds.ResolveVr(smallest), vr::SS);
    // Removing the representation is seen by the next look-up.
    m_ds.RemoveSubtree(m_ds.FindElement(-1, 0x00280103, true));
    EXPECT_EQ(m_ds.ResolveVr(largest), vr::US);
}

TEST_F(DataSetTest, RemovalFreesValuesAndReusesIds)
{
    const ElementId seq = m_ds.InsertElement(-1, 0x00081140, vr::SQ, false, 0);
    const ElementId item = m_ds.InsertElement(seq, tags::ITEM, 0, true, 0);
    const ElementId text = Text(0x00081150, vr::UI, "1.2.3", item, true);
    m_ds.RemoveSubtree(seq);
    EXPECT_EQ(m_ds.FirstTopLevel(), -1);
    EXPECT_EQ(m_ds.VerifyLinks(), SUCCESS);
    // Removed nodes join the tail of the free list: after the other free nodes they come back.
    const int32_t free = m_ds.FreeCount();
    bool reused = false;
    for (int32_t i = 0; i < free; ++i) {
        const ElementId again = m_ds.InsertNode(-1, PLACE_LAST);
        if (again == seq || again == item || again == text) {
            reused = true;
            EXPECT_EQ(m_ds.GetValueLength(again), 0u);
        }
    }
    EXPECT_TRUE(reused);
    EXPECT_EQ(m_ds.VerifyLinks(), SUCCESS);
}

TEST_F(DataSetTest, NthChildWithTagAgreesWithAWalkInAnyOrderAndAfterEdits)
{
    // Two sequences of items with other children among them; queries forward, backward, past
    // the end and alternating between the sequences, before and after insertions and removals.
    const ElementId first = m_ds.InsertElement(-1, 0x52009230, vr::SQ, false, 0);
    const ElementId second = m_ds.InsertElement(-1, 0x52009229, vr::SQ, false, 0);
    for (int i = 0; i < 8; ++i) {
        m_ds.InsertElement(first, tags::ITEM, 0, true, 100);
        m_ds.InsertElement(second, tags::ITEM, 0, true, 100);
    }
    m_ds.InsertElement(first, 0x00100010, vr::PN, true, 0);
    m_ds.InsertElement(first, tags::SEQUENCE_DELIMITATION, 0, true, 0);
    auto walk = [&](ElementId parent, uint32_t tag, uint32_t index) {
        for (ElementId at = m_ds.FirstChild(parent); at >= 0; at = m_ds.NextSibling(at))
            if (m_ds.GetTag(at) == tag && index-- == 0)
                return at;
        return NO_ELEMENT;
    };
    auto expectAll = [&](const char* when) {
        SCOPED_TRACE(when);
        const uint32_t order[] = { 0, 1, 2, 5, 5, 6, 7, 8, 20, 7, 3, 0, 4, 9, 1 };
        for (const uint32_t index : order)
            for (const ElementId parent : { first, second, first }) {
                ASSERT_EQ(m_ds.NthChildWithTag(parent, tags::ITEM, index), walk(parent, tags::ITEM, index))
                    << "sequence " << parent << " item " << index;
            }
        EXPECT_EQ(m_ds.NthChildWithTag(first, 0x00100010, 0), walk(first, 0x00100010, 0));
        EXPECT_EQ(m_ds.NthChildWithTag(NO_ELEMENT, tags::ITEM, 0), NO_ELEMENT);
    };
    expectAll("built");
    // A cursor at item 5, an edit before or at it, then item 6: found afresh, not from the cursor.
    auto afterEdit = [&](const char* when, auto edit) {
        ASSERT_EQ(m_ds.NthChildWithTag(first, tags::ITEM, 5), walk(first, tags::ITEM, 5));
        edit();
        ASSERT_EQ(m_ds.NthChildWithTag(first, tags::ITEM, 6), walk(first, tags::ITEM, 6)) << when;
        expectAll(when);
    };
    afterEdit("an insertion before the cursor", [&] { m_ds.InsertElement(first, tags::ITEM, 0, true, 3); });
    afterEdit("a removal before the cursor", [&] { m_ds.RemoveSubtree(walk(first, tags::ITEM, 2)); });
    afterEdit("the cursor's item removed", [&] { m_ds.RemoveSubtree(walk(first, tags::ITEM, 5)); });
}
