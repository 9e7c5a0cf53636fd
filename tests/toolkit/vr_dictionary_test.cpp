// VrDictionary: code index, neutral answers for unknown VRs, and byte-order conversion.
#include "toolkit/built_in_tables.h"
#include "toolkit/vr_dictionary.h"

#include <cstring>
#include <gtest/gtest.h>
#include <set>
#include <vector>

using namespace velmora;

namespace {

VrDictionary BuiltInDictionary()
{
    VrDictionary dictionary;
    const auto rows = BuiltInVrRows();
    EXPECT_EQ(dictionary.Install(rows.data(), static_cast<int32_t>(rows.size())), SUCCESS);
    return dictionary;
}

std::vector<uint8_t> Swapped(const VrDictionary& dictionary, uint16_t code, std::vector<uint8_t> bytes,
    ByteOrder from = ByteOrder::Little, ByteOrder to = ByteOrder::Big)
{
    dictionary.Swap(dictionary.IndexOf(code), bytes.data(), static_cast<uint32_t>(bytes.size()), from, to);
    return bytes;
}

} // namespace

TEST(VrDictionaryTest, IndexOfFindsEveryRowAndNothingElse)
{
    const VrDictionary dictionary = BuiltInDictionary();
    ASSERT_EQ(dictionary.Count(), 27);
    std::set<uint16_t> known;
    for (int32_t i = 0; i < dictionary.Count(); ++i) {
        known.insert(dictionary.CodeOf(i));
        EXPECT_EQ(dictionary.IndexOf(dictionary.CodeOf(i)), i) << VrCodeText(dictionary.CodeOf(i));
    }
    EXPECT_EQ(known.size(), 27u);
    // Every other code, inside the index span or outside it, has no row.
    for (uint32_t code = 0; code <= 0xFFFF; ++code) {
        if (!known.count(static_cast<uint16_t>(code))) {
            ASSERT_EQ(dictionary.IndexOf(static_cast<uint16_t>(code)), -1)
                << VrCodeText(static_cast<uint16_t>(code));
        }
    }
}

TEST(VrDictionaryTest, KnownRowsAndNeutralAnswers)
{
    const VrDictionary dictionary = BuiltInDictionary();
    EXPECT_EQ(dictionary.IndexOf(vr::UN), 24);
    EXPECT_EQ(dictionary.IndexOf(VrCode('U', 'N')), 24);
    EXPECT_EQ(vr::UN, 0x554E);
    EXPECT_EQ(dictionary.KindOf(24), VrKind::UINT1);
    EXPECT_EQ(dictionary.IndexOf(VrCode('A', 'E')), 0);
    EXPECT_EQ(dictionary.IndexOf(VrCode('U', 'T')), 26);
    EXPECT_EQ(dictionary.NameOf(dictionary.IndexOf(vr::SQ)), "Sequence of Items");

    struct Case {
        uint16_t code;
        VrKind kind;
        int32_t unitSize;
        VrFlags flags;
    };
    const Case cases[] = {
        { vr::AT, VrKind::TAG, 4, VrFlags::FIXED | VrFlags::SWAP | VrFlags::BINARY },
        { vr::AS, VrKind::AGE, 4, VrFlags::FIXED },
        { vr::DS, VrKind::FLOAT8, 1, VrFlags::DELIMITER | VrFlags::LEFT_20 | VrFlags::RIGHT_20 },
        { vr::IS, VrKind::SINT4, 1, VrFlags::DELIMITER | VrFlags::LEFT_20 | VrFlags::RIGHT_20 },
        { vr::OB, VrKind::UINT1, 1, VrFlags::FIXED | VrFlags::BINARY | VrFlags::RIGHT_00 },
        // OF holds 32-bit floats, swapped between byte orders as FL is (PS3.5 7.3).
        { vr::OF, VrKind::FLOAT4, 4, VrFlags::FIXED | VrFlags::SWAP | VrFlags::BINARY | VrFlags::RIGHT_00 },
        { vr::OW, VrKind::UINT2, 2, VrFlags::FIXED | VrFlags::SWAP | VrFlags::BINARY },
        { vr::SQ, VrKind::SEQUENCE, 1, VrFlags::NONE },
        { vr::TM, VrKind::TIME, 1, VrFlags::DELIMITER | VrFlags::RIGHT_20 },
        { vr::UI, VrKind::STRING, 1, VrFlags::DELIMITER | VrFlags::RIGHT_00 },
        { vr::UL, VrKind::UINT4, 4, VrFlags::FIXED | VrFlags::SWAP | VrFlags::BINARY },
        // An unknown VR ("UC" is newer than this dictionary) is single binary bytes.
        { VrCode('U', 'C'), VrKind::UINT1, 1, VrFlags::BINARY },
        { 0, VrKind::UINT1, 1, VrFlags::BINARY },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(VrCodeText(c.code));
        const int32_t index = dictionary.IndexOf(c.code);
        EXPECT_EQ(dictionary.KindOf(index), c.kind);
        EXPECT_EQ(dictionary.UnitSizeOf(index), c.unitSize);
        EXPECT_EQ(dictionary.FlagsOf(index), c.flags);
    }
    EXPECT_EQ(dictionary.IndexOf(VrCode('U', 'C')), -1);
    for (int32_t index : { -1, 27, 1000, -5 }) {
        EXPECT_EQ(dictionary.KindOf(index), VrKind::UINT1);
        EXPECT_EQ(dictionary.FlagsOf(index), VrFlags::BINARY);
        EXPECT_EQ(dictionary.UnitSizeOf(index), 1);
        EXPECT_EQ(dictionary.NameOf(index), "");
    }
}

TEST(VrDictionaryTest, RowOfKnowsTheNewerVrsWithoutIndexingThem)
{
    const VrDictionary dictionary = BuiltInDictionary();
    // PS3.5 Table 6.2-1: UC multi-valued text padded at the end only, UR one text value, SV and
    // UV 64-bit integers, OD, OL and OV bulk numbers.
    struct Case {
        uint16_t code;
        VrKind kind;
        int32_t unitSize;
        VrFlags flags;
    };
    const VrFlags numbers = VrFlags::FIXED | VrFlags::SWAP | VrFlags::BINARY;
    const Case cases[] = {
        { vr::UC, VrKind::STRING, 1, VrFlags::DELIMITER | VrFlags::RIGHT_20 },
        { vr::UR, VrKind::STRING, 1, VrFlags::RIGHT_20 },
        { vr::SV, VrKind::SINT8, 8, numbers },
        { vr::UV, VrKind::UINT8, 8, numbers },
        { vr::OV, VrKind::UINT8, 8, numbers },
        { vr::OD, VrKind::FLOAT8, 8, numbers },
        { vr::OL, VrKind::UINT4, 4, numbers },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(VrCodeText(c.code));
        const VrRow* row = dictionary.RowOf(c.code);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->code, c.code);
        EXPECT_EQ(row->kind, c.kind);
        EXPECT_EQ(row->unitSize, c.unitSize);
        EXPECT_EQ(row->flags, c.flags);
        EXPECT_EQ(dictionary.IndexOf(c.code), -1);
    }
    for (int32_t i = 0; i < dictionary.Count(); ++i)
        EXPECT_EQ(dictionary.RowOf(dictionary.CodeOf(i)), dictionary.Row(i));
    EXPECT_EQ(dictionary.RowOf(VrCode('Q', 'Q')), nullptr);
    EXPECT_EQ(dictionary.RowOf(0), nullptr);
}

TEST(VrDictionaryTest, SwapConvertsUnitsInPlace)
{
    const VrDictionary dictionary = BuiltInDictionary();
    using Bytes = std::vector<uint8_t>;
    struct Case {
        const char* what;
        uint16_t code;
        Bytes in;
        Bytes out;
    };
    const Case cases[] = {
        { "AT swaps group and element separately", vr::AT, { 0x28, 0x00, 0x10, 0x00 },
            { 0x00, 0x28, 0x00, 0x10 } },
        { "FD reverses 8 bytes", vr::FD, { 1, 2, 3, 4, 5, 6, 7, 8 }, { 8, 7, 6, 5, 4, 3, 2, 1 } },
        { "FL reverses 4 bytes", vr::FL, { 1, 2, 3, 4, 5, 6, 7, 8 }, { 4, 3, 2, 1, 8, 7, 6, 5 } },
        { "UL", vr::UL, { 1, 2, 3, 4 }, { 4, 3, 2, 1 } },
        { "SL", vr::SL, { 1, 2, 3, 4 }, { 4, 3, 2, 1 } },
        { "US", vr::US, { 1, 2, 3, 4 }, { 2, 1, 4, 3 } },
        { "SS", vr::SS, { 1, 2 }, { 2, 1 } },
        { "OW", vr::OW, { 1, 2, 3, 4, 5, 6 }, { 2, 1, 4, 3, 6, 5 } },
        { "a partial unit at the end stays", vr::US, { 1, 2, 3 }, { 2, 1, 3 } },
        { "a partial FD unit stays", vr::FD, { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 },
            { 8, 7, 6, 5, 4, 3, 2, 1, 9, 10 } },
        { "shorter than one unit", vr::UL, { 1, 2, 3 }, { 1, 2, 3 } },
        { "OF reverses 4 bytes", vr::OF, { 1, 2, 3, 4 }, { 4, 3, 2, 1 } },
        { "OB", vr::OB, { 1, 2, 3, 4 }, { 1, 2, 3, 4 } },
        { "UN", vr::UN, { 1, 2, 3, 4 }, { 1, 2, 3, 4 } },
        { "text", vr::DS, { '1', '.', '5', ' ' }, { '1', '.', '5', ' ' } },
        { "unknown VR", VrCode('U', 'C'), { 1, 2, 3, 4 }, { 1, 2, 3, 4 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Swapped(dictionary, c.code, c.in), c.out);
        // Big to little is the same reversal; the same order changes nothing.
        EXPECT_EQ(Swapped(dictionary, c.code, c.in, ByteOrder::Big, ByteOrder::Little), c.out);
        EXPECT_EQ(Swapped(dictionary, c.code, c.in, ByteOrder::Big, ByteOrder::Big), c.in);
        EXPECT_EQ(Swapped(dictionary, c.code, c.in, ByteOrder::Little, ByteOrder::Little), c.in);
    }
}

TEST(VrDictionaryTest, SwapAffectsExactlyTheBinaryMultiByteVrs)
{
    const VrDictionary dictionary = BuiltInDictionary();
    const std::set<uint16_t> swapped
        = { vr::AT, vr::FD, vr::FL, vr::OF, vr::OW, vr::SL, vr::SS, vr::UL, vr::US };
    for (int32_t i = 0; i < dictionary.Count(); ++i) {
        const uint16_t code = dictionary.CodeOf(i);
        std::vector<uint8_t> bytes = { 1, 2, 3, 4, 5, 6, 7, 8 };
        dictionary.Swap(i, bytes.data(), 8, ByteOrder::Little, ByteOrder::Big);
        EXPECT_EQ(bytes != std::vector<uint8_t>({ 1, 2, 3, 4, 5, 6, 7, 8 }), swapped.count(code) == 1)
            << VrCodeText(code);
        // Swapping back restores the value.
        dictionary.Swap(i, bytes.data(), 8, ByteOrder::Big, ByteOrder::Little);
        EXPECT_EQ(bytes, std::vector<uint8_t>({ 1, 2, 3, 4, 5, 6, 7, 8 })) << VrCodeText(code);
    }
}

TEST(VrDictionaryTest, SwapValueKnowsTheNewerBinaryVrs)
{
    // OD, OV, SV and UV hold 64-bit numbers, OL 32-bit ones (PS3.5 6.2): their bytes reverse
    // per number like FD's and UL's. Text and bytes of newer VRs stay as they are.
    const VrDictionary dictionary = BuiltInDictionary();
    const std::vector<uint8_t> in = { 1, 2, 3, 4, 5, 6, 7, 8, 9 };
    struct Case {
        uint16_t code;
        std::vector<uint8_t> out;
    };
    const Case cases[] = {
        { VrCode('O', 'D'), { 8, 7, 6, 5, 4, 3, 2, 1, 9 } },
        { VrCode('O', 'V'), { 8, 7, 6, 5, 4, 3, 2, 1, 9 } },
        { VrCode('S', 'V'), { 8, 7, 6, 5, 4, 3, 2, 1, 9 } },
        { VrCode('U', 'V'), { 8, 7, 6, 5, 4, 3, 2, 1, 9 } },
        { VrCode('O', 'L'), { 4, 3, 2, 1, 8, 7, 6, 5, 9 } },
        { VrCode('U', 'C'), in },
        { VrCode('U', 'R'), in },
        { vr::US, { 2, 1, 4, 3, 6, 5, 8, 7, 9 } },
        { vr::OB, in },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(VrCodeText(c.code));
        std::vector<uint8_t> bytes = in;
        dictionary.SwapValue(
            c.code, bytes.data(), static_cast<uint32_t>(bytes.size()), ByteOrder::Big, ByteOrder::Little);
        EXPECT_EQ(bytes, c.out);
        EXPECT_EQ(dictionary.Swaps(c.code), c.out != in);
    }
}

TEST(VrDictionaryTest, SwapIgnoresUnusableArguments)
{
    const VrDictionary dictionary = BuiltInDictionary();
    uint8_t bytes[4] = { 1, 2, 3, 4 };
    dictionary.Swap(-1, bytes, 4, ByteOrder::Little, ByteOrder::Big);
    dictionary.Swap(dictionary.IndexOf(vr::UL), bytes, 0xFFFFFFFFu, ByteOrder::Little, ByteOrder::Big);
    dictionary.Swap(dictionary.IndexOf(vr::UL), nullptr, 4, ByteOrder::Little, ByteOrder::Big);
    dictionary.Swap(dictionary.IndexOf(vr::UL), bytes, 0, ByteOrder::Little, ByteOrder::Big);
    EXPECT_EQ(std::memcmp(bytes, "\x01\x02\x03\x04", 4), 0);
}

TEST(VrDictionaryTest, InstallBuildsIndexOverTheRowsSpan)
{
    VrDictionary dictionary;
    EXPECT_EQ(dictionary.IndexOf(vr::UN), -1); // empty until installed
    const VrRow rows[] = {
        { 0xFFFF, "High", 2, VrKind::UINT2, VrFlags::FIXED | VrFlags::SWAP | VrFlags::BINARY },
        { 0x0000, "Low", 1, VrKind::UINT1, VrFlags::BINARY },
        { vr::US, "Unsigned Short", 2, VrKind::UINT2, VrFlags::FIXED | VrFlags::SWAP | VrFlags::BINARY },
    };
    ASSERT_EQ(dictionary.Install(rows, 3), SUCCESS);
    EXPECT_EQ(dictionary.IndexOf(0xFFFF), 0);
    EXPECT_EQ(dictionary.IndexOf(0x0000), 1);
    EXPECT_EQ(dictionary.IndexOf(vr::US), 2);
    EXPECT_EQ(dictionary.IndexOf(vr::UL), -1);

    // Reinstalling replaces the rows; a single row spans one code.
    ASSERT_EQ(dictionary.Install(rows + 2, 1), SUCCESS);
    EXPECT_EQ(dictionary.IndexOf(vr::US), 0);
    EXPECT_EQ(dictionary.IndexOf(0xFFFF), -1);
    EXPECT_EQ(dictionary.IndexOf(static_cast<uint16_t>(vr::US - 1)), -1);
    EXPECT_EQ(dictionary.IndexOf(static_cast<uint16_t>(vr::US + 1)), -1);

    // A failed install leaves an empty dictionary.
    EXPECT_EQ(dictionary.Install(nullptr, 3), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(dictionary.IndexOf(vr::US), -1);
    EXPECT_EQ(dictionary.Install(rows, -2), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(dictionary.Count(), 0);
    EXPECT_EQ(dictionary.Install(rows, 0), SUCCESS);
    EXPECT_EQ(dictionary.IndexOf(vr::US), -1);
}
