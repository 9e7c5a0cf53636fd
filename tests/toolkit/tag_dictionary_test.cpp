// TagDictionary: the built-in rows, masked look-up, and the index against a plain scan.
#include "toolkit/built_in_tables.h"
#include "toolkit/tag_dictionary.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>

using namespace velmora;

namespace {

TagDictionary BuiltInDictionary()
{
    TagDictionary dictionary;
    const auto rows = BuiltInTagRows();
    EXPECT_EQ(dictionary.Install(rows.data(), static_cast<int32_t>(rows.size())), SUCCESS);
    return dictionary;
}

} // namespace

TEST(TagDictionaryTest, BuiltInRowsHaveTheDataFileShape)
{
    const TagDictionary dictionary = BuiltInDictionary();
    ASSERT_EQ(dictionary.Count(), 1839);
    std::map<uint32_t, int> masks;
    std::map<std::string, int> vms;
    std::map<uint16_t, int> vrs;
    for (int32_t i = 0; i < dictionary.Count(); ++i) {
        const TagRow* row = dictionary.Row(i);
        ++masks[row->mask];
        ++vms[row->vm];
        ++vrs[row->vr];
        EXPECT_EQ(row->tag & ~row->mask, 0u) << TagText(row->tag);
    }
    EXPECT_EQ(masks[0xFFFFFFFFu], 1753);
    EXPECT_EQ(masks[0xFF00FFFFu], 71);
    EXPECT_EQ(masks[0xFFFFFF0Fu], 14);
    EXPECT_EQ(masks[0xFFFFFF00u], 1);
    EXPECT_EQ(masks.size(), 4u);
    EXPECT_EQ(vms["1"], 1592);
    EXPECT_EQ(vms["1-n"], 159);
    EXPECT_EQ(vrs[vr::DS], 315);
    EXPECT_EQ(vrs[vr::SQ], 273);

    // Two ascending blocks: the first ends with the item and the two delimiters.
    int blocks = 1;
    for (int32_t i = 1; i < dictionary.Count(); ++i) {
        if (dictionary.Row(i)->tag <= dictionary.Row(i - 1)->tag) {
            ++blocks;
            EXPECT_EQ(i, 1722);
            EXPECT_EQ(dictionary.Row(i - 1)->tag, tags::SEQUENCE_DELIMITATION);
        }
    }
    EXPECT_EQ(blocks, 2);
}

TEST(TagDictionaryTest, EveryRowUsesAKnownVr)
{
    VrDictionary vrDictionary;
    const auto vrRows = BuiltInVrRows();
    ASSERT_EQ(vrDictionary.Install(vrRows.data(), static_cast<int32_t>(vrRows.size())), SUCCESS);
    const TagDictionary dictionary = BuiltInDictionary();
    for (int32_t i = 0; i < dictionary.Count(); ++i)
        EXPECT_GE(vrDictionary.IndexOf(dictionary.VrOf(i)), 0) << TagText(dictionary.Row(i)->tag);
}

TEST(TagDictionaryTest, LookUpOfKnownTags)
{
    const TagDictionary dictionary = BuiltInDictionary();
    struct Case {
        Tag tag;
        uint16_t vr;
        const char* name; // null: no row
    };
    const Case cases[] = {
        { MakeTag(0x0000, 0x0000), vr::UL, "Group Length" },
        { MakeTag(0x0009, 0x0000), vr::UL, "Group Length" }, // every group length finds row 0
        { MakeTag(0x0028, 0x0000), vr::UL, "Group Length" },
        { MakeTag(0x0002, 0x0000), vr::UL, "Group Length" },
        { MakeTag(0x0009, 0x0010), vr::UN, nullptr }, // private creator: no row
        { MakeTag(0x0029, 0x1010), vr::UN, nullptr },
        { MakeTag(0x6002, 0x0010), vr::US, "Overlay Rows" },
        { MakeTag(0x6002, 0x3000), vr::OB, "Overlay Data" },
        { MakeTag(0x6000, 0x3000), vr::OB, "Overlay Data" },
        { MakeTag(0x60FF, 0x3000), vr::OB, "Overlay Data" },
        { MakeTag(0x6001, 0x3000), vr::OB, "Overlay Data" }, // odd groups match masked rows too
        { MakeTag(0x5000, 0x3000), vr::OB, "Curve Data" },
        { MakeTag(0x5001, 0x0010), vr::US, "Number of Points" },
        { MakeTag(0x0020, 0x3105), vr::LO, "Source Image IDs (Retired)" },
        { MakeTag(0x7FE0, 0x0010), vr::OB, "Pixel Data" }, // exact row wins over (7Fxx,0010)
        { MakeTag(0x7F10, 0x0010), vr::OB, "Variable Pixel Data (Retired)" },
        { MakeTag(0x0028, 0x0100), vr::US, "Bits Allocated" },
        { MakeTag(0x0002, 0x0010), vr::UI, "Transfer Syntax UID" },
        { tags::ITEM, vr::OB, "Item" },
        { tags::ITEM_DELIMITATION, vr::OB, "Item Delimitation Item" },
        { tags::SEQUENCE_DELIMITATION, vr::OB, "Sequence Delimitation Item" },
        { MakeTag(0x0028, 0x0400), vr::LO, "Transform Label (Retired)" }, // exact row before (0028,04x0)
        { MakeTag(0x0028, 0x0410), vr::US, "Rows For Nth Order Coefficients (Retired)" },
        { MakeTag(0x0028, 0x0813), vr::AT, "Code Table Location (Retired)" },
        { MakeTag(0x1000, 0x00F5), vr::US, "Shift Table Triplet (Retired)" },
        { MakeTag(0x1000, 0x0115), vr::UN, nullptr }, // the mask covers the second digit only
        { MakeTag(0x1000, 0x0016), vr::UN, nullptr },
        { MakeTag(0x0010, 0x0010), vr::PN, "Patient's Name" },
        { MakeTag(0x0008, 0x0062), vr::UI, "SOP Classes in Study" }, // from the second block
        { MakeTag(0xFFFF, 0xFFFF), vr::UN, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(TagText(c.tag));
        const int32_t index = dictionary.IndexOf(c.tag);
        EXPECT_EQ(index >= 0, c.name != nullptr);
        EXPECT_EQ(VrCodeText(dictionary.VrOf(index)), VrCodeText(c.vr));
        EXPECT_EQ(dictionary.NameOf(index), c.name ? c.name : "Unknown");
    }
    EXPECT_EQ(dictionary.IndexOf(MakeTag(0x0009, 0x0000)), 0);
    EXPECT_EQ(dictionary.VrOf(-1), vr::UN);
    EXPECT_EQ(dictionary.VmOf(-1), "");
    EXPECT_EQ(dictionary.VmOf(dictionary.IndexOf(MakeTag(0x0028, 0x0030))), "2");
}

TEST(TagDictionaryTest, IndexGivesTheScanAnswerForEveryRowAndManyOtherTags)
{
    const TagDictionary dictionary = BuiltInDictionary();
    std::set<Tag> probes;
    for (int32_t i = 0; i < dictionary.Count(); ++i) {
        const TagRow* row = dictionary.Row(i);
        probes.insert(row->tag);
        probes.insert(row->tag | 0x00010000u); // the odd (private) group beside it
        probes.insert(row->tag ^ 0x00000001u); // a neighbouring element
        probes.insert(row->tag | ~row->mask); // every masked digit set
        for (uint32_t xx : { 0x01u, 0x02u, 0x1Eu, 0x7Fu, 0xFFu })
            probes.insert(row->tag | (~row->mask & (xx * 0x01010101u)));
    }
    for (uint32_t group : { 0x5000u, 0x6000u, 0x7F00u }) {
        for (uint32_t xx = 0; xx < 0x100; ++xx)
            for (uint32_t element : { 0x0000u, 0x0010u, 0x3000u, 0x0011u, 0x1234u })
                probes.insert(((group | xx) << 16) | element);
    }
    std::mt19937 random(20041);
    for (int n = 0; n < 50000; ++n)
        probes.insert(static_cast<uint32_t>(random()));
    int found = 0;
    for (const Tag tag : probes) {
        const int32_t index = dictionary.IndexOf(tag);
        ASSERT_EQ(index, dictionary.IndexOfByScan(tag)) << TagText(tag);
        found += index >= 0;
    }
    EXPECT_GT(found, 1839);
}

TEST(TagDictionaryTest, NewerRowsNameLaterAttributesAndChangeNoEditionAnswer)
{
    const TagDictionary edition = BuiltInDictionary();
    TagDictionary all;
    const auto rows = AllTagRows();
    ASSERT_EQ(all.Install(rows.data(), static_cast<int32_t>(rows.size())), SUCCESS);
    ASSERT_EQ(rows.size(), BuiltInTagRows().size() + NewerTagRows().size());
    // Every tag the edition knows keeps its row; every newer row is found, none shadowed.
    for (int32_t i = 0; i < edition.Count(); ++i) {
        const Tag tag = edition.Row(i)->tag;
        ASSERT_EQ(all.IndexOf(tag), edition.IndexOf(tag)) << TagText(tag);
    }
    for (int32_t i = edition.Count(); i < all.Count(); ++i) {
        ASSERT_EQ(all.IndexOf(all.Row(i)->tag), i) << TagText(all.Row(i)->tag);
        ASSERT_EQ(all.IndexOf(all.Row(i)->tag), all.IndexOfByScan(all.Row(i)->tag));
    }
    // Names and VRs as PS3.6 gives them (pydicom's dictionary), the VRs newer than the VR
    // dictionary too.
    struct Case {
        Tag tag;
        uint16_t vr;
        const char* name;
    };
    const Case cases[] = {
        { MakeTag(0x5200, 0x9229), vr::SQ, "Shared Functional Groups Sequence" },
        { MakeTag(0x5200, 0x9230), vr::SQ, "Per-frame Functional Groups Sequence" },
        { MakeTag(0x0020, 0x9157), vr::UL, "Dimension Index Values" },
        { MakeTag(0x0028, 0x9110), vr::SQ, "Pixel Measures Sequence" },
        { MakeTag(0x0008, 0x0120), vr::UR, "URN Code Value" },
        { MakeTag(0x7FE0, 0x0001), vr::OV, "Extended Offset Table" },
        { MakeTag(0x0010, 0x0010), vr::PN, "Patient's Name" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(TagText(c.tag));
        const int32_t index = all.IndexOf(c.tag);
        EXPECT_EQ(VrCodeText(all.VrOf(index)), VrCodeText(c.vr));
        EXPECT_EQ(all.NameOf(index), c.name);
    }
    EXPECT_EQ(all.IndexOf(MakeTag(0x0029, 0x1010)), -1); // private tags stay unknown
}

TEST(TagDictionaryTest, MaskedAndExactRowsFollowTableOrder)
{
    // A masked row ahead of an exact row wins for the tags it matches; duplicates give the first.
    const TagRow rows[] = {
        { 0x00000000u, 0xFFFFFFFFu, vr::UL, "1", "Group Length" },
        { 0x60000010u, 0xFF00FFFFu, vr::US, "1", "Masked First" },
        { 0x60020010u, 0xFFFFFFFFu, vr::SS, "1", "Exact Second" },
        { 0x60040020u, 0xFFFFFFFFu, vr::SS, "1", "Exact First" },
        { 0x60000020u, 0xFF00FFFFu, vr::US, "1", "Masked Second" },
        { 0x60040020u, 0xFFFFFFFFu, vr::SL, "1", "Exact Duplicate" },
        { 0x00340030u, 0x00FFFFFFu, vr::CS, "1", "Any Top Byte" },
        { 0x12340030u, 0xFFFFFFFFu, vr::LO, "1", "Shadowed" },
    };
    TagDictionary dictionary;
    EXPECT_EQ(dictionary.IndexOf(0x60020010u), -1); // empty until installed
    ASSERT_EQ(dictionary.Install(rows, 8), SUCCESS);
    struct Case {
        Tag tag;
        int32_t index;
    };
    const Case cases[] = {
        { 0x60020010u, 1 },
        { 0x60040020u, 3 },
        { 0x60060020u, 4 },
        { 0x12340030u, 6 },
        { 0xAB340030u, 6 },
        { 0xAB350030u, -1 },
        { 0x60020000u, 0 },
        { 0x60020011u, -1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(TagText(c.tag));
        EXPECT_EQ(dictionary.IndexOf(c.tag), c.index);
        EXPECT_EQ(dictionary.IndexOfByScan(c.tag), c.index);
    }

    EXPECT_EQ(dictionary.Install(nullptr, 4), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(dictionary.Count(), 0);
    EXPECT_EQ(dictionary.IndexOf(0x60020010u), -1);
}

TEST(TagDictionaryTest, VrsAgreeWithPydicom)
{
    // pydicom's dictionary is a later edition; these rows keep the older edition's VR or the
    // toolkit's convention (items and delimiters carry OB).
    const std::map<Tag, uint16_t> older = {
        { tags::ITEM, vr::OB }, { tags::ITEM_DELIMITATION, vr::OB }, { tags::SEQUENCE_DELIMITATION, vr::OB },
        { MakeTag(0x0020, 0x3100), vr::LO }, // (0020,31xx) Source Image IDs, CS today
        { MakeTag(0x6000, 0x0060), vr::LT }, // (60xx,0060) Overlay Compression Code, CS today
        { MakeTag(0x6000, 0x0110), vr::LT }, // (60xx,0110) Overlay Format, CS today
    };
    const char* root = std::getenv("VELMORA_SOURCE_DIR");
    ASSERT_NE(root, nullptr);
    std::ifstream file(std::string(root) + "/tests/data/toolkit/pydicom-vrs.tsv");
    ASSERT_TRUE(file) << "tests/data/toolkit/pydicom-vrs.tsv";

    // Each reference line names a row by tag and mask.
    std::map<std::pair<Tag, uint32_t>, uint16_t> rows;
    for (const TagRow& row : BuiltInTagRows())
        rows.emplace(std::make_pair(row.tag, row.mask), row.vr);
    std::string line;
    int compared = 0;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#' || line.starts_with("tag\t"))
            continue;
        std::istringstream fields(line);
        std::string tagText, maskText;
        ASSERT_TRUE(std::getline(fields, tagText, '\t') && std::getline(fields, maskText, '\t')) << line;
        std::string reference; // "US", "OB or OW", ...
        std::getline(fields, reference);
        const Tag tag = static_cast<Tag>(std::stoul(tagText, nullptr, 16));
        const auto row = rows.find({ tag, static_cast<uint32_t>(std::stoul(maskText, nullptr, 16)) });
        ASSERT_NE(row, rows.end()) << line;
        const std::string ours = VrCodeText(row->second);
        SCOPED_TRACE(TagText(tag) + " pydicom " + reference);
        if (const auto exception = older.find(tag); exception != older.end()) {
            EXPECT_EQ(ours, VrCodeText(exception->second));
            continue;
        }
        std::set<std::string> allowed;
        std::istringstream words(reference);
        for (std::string word; words >> word;) {
            if (word != "or")
                allowed.insert(word);
        }
        EXPECT_TRUE(allowed.count(ours)) << "ours " << ours;
        ++compared;
    }
    EXPECT_GT(compared, 1800);
}
