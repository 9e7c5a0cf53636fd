// UidDictionary: counts of the built-in rows, the CRC-8 bucket chains, exact look-up and the
// transfer syntax properties.
#include "toolkit/built_in_tables.h"
#include "toolkit/uid_dictionary.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>

using namespace velmora;

namespace {

UidDictionary BuiltInDictionary()
{
    UidDictionary dictionary;
    const auto rows = BuiltInUidRows();
    EXPECT_EQ(dictionary.Install(rows.data(), static_cast<int32_t>(rows.size())), SUCCESS);
    return dictionary;
}

} // namespace

TEST(UidDictionaryTest, BuiltInCounts)
{
    const UidDictionary dictionary = BuiltInDictionary();
    ASSERT_EQ(dictionary.Count(), 153);
    std::map<UidKind, int> perKind;
    for (int32_t i = 0; i < dictionary.Count(); ++i)
        ++perKind[dictionary.KindOf(i)];
    EXPECT_EQ(perKind[UidKind::TRANSFER], 30);
    EXPECT_EQ(perKind[UidKind::CLASS], 36);
    EXPECT_EQ(perKind[UidKind::CLASS_META], 9);
    EXPECT_EQ(perKind[UidKind::CLASS_STORE], 61);
    EXPECT_EQ(perKind[UidKind::CLASS_COMMAND], 10);
    EXPECT_EQ(perKind[UidKind::INSTANCE], 6);
    EXPECT_EQ(perKind[UidKind::APPLICATION], 1);
    EXPECT_EQ(perKind[UidKind::NONE], 0);

    EXPECT_EQ(dictionary.UidText(0), "1.2.840.10008.1.1");
    EXPECT_EQ(dictionary.KindOf(0), UidKind::CLASS_COMMAND);
    EXPECT_EQ(dictionary.NameOf(0), "Verification");
    // The last seven rows are private.
    for (int32_t i = 146; i < 153; ++i)
        EXPECT_FALSE(dictionary.UidText(i).starts_with("1.2.840.10008.")) << dictionary.UidText(i);
    EXPECT_TRUE(dictionary.UidText(145).starts_with("1.2.840.10008."));
}

TEST(UidDictionaryTest, ClassRowsAreNumberedInTableOrder)
{
    const UidDictionary dictionary = BuiltInDictionary();
    uint32_t next = 0;
    for (int32_t i = 0; i < dictionary.Count(); ++i) {
        const UidRow* row = dictionary.Row(i);
        switch (row->kind) {
        case UidKind::CLASS:
        case UidKind::CLASS_META:
        case UidKind::CLASS_STORE:
        case UidKind::CLASS_COMMAND:
            EXPECT_EQ(row->properties, next++) << row->uid;
            break;
        case UidKind::TRANSFER:
            break;
        default:
            EXPECT_EQ(row->properties, 0u) << row->uid;
        }
    }
    EXPECT_EQ(next, 116u);
}

TEST(UidDictionaryTest, EveryRowIsFoundByItsOwnUid)
{
    const UidDictionary dictionary = BuiltInDictionary();
    std::set<std::string> seen;
    for (int32_t i = 0; i < dictionary.Count(); ++i) {
        const std::string uid(dictionary.UidText(i));
        EXPECT_TRUE(seen.insert(uid).second) << uid << " twice";
        EXPECT_EQ(dictionary.Find(uid), i) << uid;
        EXPECT_LE(uid.size(), 64u);
        EXPECT_FALSE(dictionary.NameOf(i).empty()) << uid;
    }
}

TEST(UidDictionaryTest, BucketsAndChains)
{
    const UidDictionary dictionary = BuiltInDictionary();
    int occupied = 0;
    int longest = 0;
    int linked = 0;
    for (int bucket = 0; bucket < 256; ++bucket) {
        int length = 0;
        int32_t previous = -1;
        for (int32_t i = dictionary.BucketHead(static_cast<uint8_t>(bucket)); i >= 0;
             i = dictionary.NextInChain(i)) {
            EXPECT_EQ(UidDictionary::BucketOf(dictionary.UidText(i)), bucket);
            EXPECT_GT(i, previous) << "chains keep table order";
            previous = i;
            ++length;
        }
        occupied += length > 0;
        longest = std::max(longest, length);
        linked += length;
    }
    EXPECT_EQ(linked, 153);
    EXPECT_EQ(occupied, 106);
    EXPECT_EQ(longest, 4);
    EXPECT_EQ(dictionary.BucketHead(0), -1);
}

TEST(UidDictionaryTest, FindIsExactOverTheWholeText)
{
    const UidDictionary dictionary = BuiltInDictionary();
    struct Case {
        std::string uid;
        int32_t index;
    };
    const Case cases[] = {
        { "1.2.840.10008.1.2.1", 2 },
        { "1.2.840.10008.1.2", 1 },
        { "1.2.840.10008.1.2.1 ", -1 }, // trailing space
        { " 1.2.840.10008.1.2.1", -1 },
        { std::string("1.2.840.10008.1.2.1\0", 20), -1 }, // trailing NUL is part of the text
        { "1.2.840.10008.1.2.", -1 },
        { "1.2.840.10008.1.", -1 },
        { "", -1 }, // bucket 0, which holds no row
        { "1.2.840.10008.1.2.4.9", -1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("[" + c.uid + "]");
        EXPECT_EQ(dictionary.Find(c.uid), c.index);
    }
    EXPECT_EQ(UidDictionary::BucketOf(""), 0);

    // A key whose bucket is occupied but which matches no row.
    const uint8_t bucket = UidDictionary::BucketOf("1.2.840.10008.1.2.1");
    std::string stranger;
    for (int n = 0; stranger.empty(); ++n) {
        const std::string candidate = "9.9." + std::to_string(n);
        if (UidDictionary::BucketOf(candidate) == bucket)
            stranger = candidate;
    }
    EXPECT_EQ(dictionary.Find(stranger), -1);
}

TEST(UidDictionaryTest, TransferSyntaxProperties)
{
    const UidDictionary dictionary = BuiltInDictionary();
    struct Case {
        const char* uid;
        bool little;
        bool explicitVr;
        bool deflated;
        CompressionKind compression;
    };
    using C = CompressionKind;
    const Case cases[] = {
        { "1.2.840.10008.1.2", true, false, false, C::NONE },
        { "1.2.840.10008.1.2.1", true, true, false, C::NONE },
        { "1.2.840.10008.1.2.1.99", true, true, true, C::NONE },
        { "1.2.840.10008.1.2.2", false, true, false, C::NONE },
        { "1.2.840.10008.1.2.4.50", true, true, false, C::JPEG_LOSSY_1 },
        { "1.2.840.10008.1.2.4.51", true, true, false, C::JPEG_LOSSY_2_4 },
        { "1.2.840.10008.1.2.4.52", true, true, false, C::JPEG_LOSSY_3_5 },
        { "1.2.840.10008.1.2.4.53", true, true, false, C::JPEG_LOSSY_6_8 },
        { "1.2.840.10008.1.2.4.54", true, true, false, C::JPEG_LOSSY_7_9 },
        { "1.2.840.10008.1.2.4.55", true, true, false, C::JPEG_LOSSY_1 },
        { "1.2.840.10008.1.2.4.56", true, true, false, C::JPEG_LOSSY_1 },
        { "1.2.840.10008.1.2.4.57", true, true, false, C::JPEG_LOSSLESS_14 },
        { "1.2.840.10008.1.2.4.58", true, true, false, C::JPEG_LOSSLESS_15 },
        { "1.2.840.10008.1.2.4.59", true, true, false, C::JPEG_LOSSY_1 },
        { "1.2.840.10008.1.2.4.60", true, true, false, C::JPEG_LOSSY_1 },
        { "1.2.840.10008.1.2.4.61", true, true, false, C::JPEG_LOSSY_20_22 },
        { "1.2.840.10008.1.2.4.62", true, true, false, C::JPEG_LOSSY_21_23 },
        { "1.2.840.10008.1.2.4.63", true, true, false, C::JPEG_LOSSY_24_26 },
        { "1.2.840.10008.1.2.4.64", true, true, false, C::JPEG_LOSSY_25_27 },
        { "1.2.840.10008.1.2.4.65", true, true, false, C::JPEG_LOSSLESS_28 },
        { "1.2.840.10008.1.2.4.66", true, true, false, C::JPEG_LOSSLESS_29 },
        { "1.2.840.10008.1.2.4.70", true, true, false, C::JPEG_LOSSLESS },
        { "1.2.840.10008.1.2.4.80", true, true, false, C::JPEG_LS_LOSSLESS },
        { "1.2.840.10008.1.2.4.81", true, true, false, C::JPEG_LS_LOSSY },
        { "1.2.840.10008.1.2.4.90", true, true, false, C::JPEG_2000_LOSSLESS },
        { "1.2.840.10008.1.2.4.91", true, true, false, C::JPEG_2000_ANY },
        { "1.2.840.10008.1.2.5", true, true, false, C::RLE_LOSSLESS },
        { "1.2.840.10008.1.20", true, false, false, C::NONE },
        { "1.2.840.113619.5.2", true, false, false, C::NONE },
        { "1.3.6.1.4.1.5962.300.1", true, true, false, C::NONE },
    };
    std::set<int32_t> transferRows;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uid);
        const int32_t index = dictionary.Find(c.uid);
        ASSERT_GE(index, 0);
        transferRows.insert(index);
        EXPECT_EQ(dictionary.KindOf(index), UidKind::TRANSFER);
        EXPECT_EQ(dictionary.IsLittleEndian(index), c.little);
        EXPECT_EQ(dictionary.IsExplicit(index), c.explicitVr);
        EXPECT_EQ(dictionary.IsDeflated(index), c.deflated);
        EXPECT_EQ(dictionary.CompressionOf(index), c.compression);
    }
    EXPECT_EQ(transferRows.size(), 30u);
    EXPECT_EQ(static_cast<uint32_t>(CompressionKind::JPEG_LOSSY_1), 0x00100000u);
    EXPECT_EQ(CompressionKindName(CompressionKind::RLE_LOSSLESS), "RLE_LOSSLESS");
    EXPECT_EQ(CompressionKindName(static_cast<CompressionKind>(24u << 20)), "");
}

TEST(UidDictionaryTest, OtherRowsHaveNoTransferProperties)
{
    // Class rows carry their class number in the same field (class 4 has the EXPLICIT bit, class
    // 8 the DEFLATE bit); none of it may read as a transfer syntax property.
    const UidDictionary dictionary = BuiltInDictionary();
    for (int32_t i = 0; i < dictionary.Count(); ++i) {
        if (dictionary.KindOf(i) == UidKind::TRANSFER)
            continue;
        SCOPED_TRACE(dictionary.UidText(i));
        EXPECT_TRUE(dictionary.IsLittleEndian(i));
        EXPECT_FALSE(dictionary.IsExplicit(i));
        EXPECT_FALSE(dictionary.IsDeflated(i));
        EXPECT_EQ(dictionary.CompressionOf(i), CompressionKind::NONE);
    }
    for (int32_t index : { -1, 153, -100 }) {
        EXPECT_EQ(dictionary.UidText(index), "");
        EXPECT_EQ(dictionary.KindOf(index), UidKind::NONE);
        EXPECT_TRUE(dictionary.IsLittleEndian(index));
        EXPECT_FALSE(dictionary.IsExplicit(index));
        EXPECT_FALSE(dictionary.IsDeflated(index));
        EXPECT_EQ(dictionary.CompressionOf(index), CompressionKind::NONE);
    }
}

TEST(UidDictionaryTest, FindTransferSyntaxGivesTheFirstMatchingRow)
{
    const UidDictionary dictionary = BuiltInDictionary();
    struct Case {
        bool little;
        bool explicitVr;
        bool deflated;
        CompressionKind compression;
        const char* uid; // null: no row
    };
    using C = CompressionKind;
    const Case cases[] = {
        { true, false, false, C::NONE, "1.2.840.10008.1.2" }, // not the later private implicit rows
        { true, true, false, C::NONE, "1.2.840.10008.1.2.1" },
        { true, true, true, C::NONE, "1.2.840.10008.1.2.1.99" },
        { false, true, false, C::NONE, "1.2.840.10008.1.2.2" },
        { true, true, false, C::JPEG_LOSSY_1, "1.2.840.10008.1.2.4.50" },
        { true, true, false, C::JPEG_LS_LOSSY, "1.2.840.10008.1.2.4.81" },
        { true, true, false, C::RLE_LOSSLESS, "1.2.840.10008.1.2.5" },
        { true, false, false, C::JPEG_LOSSY_1, nullptr },
        { false, false, false, C::NONE, nullptr },
        { true, true, false, C::JPEG_LOSSY_10_12, nullptr }, // no row carries this kind
        { false, true, false, C::JPEG_LOSSY_1, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uid ? c.uid : "none");
        const int32_t index
            = dictionary.FindTransferSyntax(c.little, c.explicitVr, c.deflated, c.compression);
        EXPECT_EQ(index, c.uid ? dictionary.Find(c.uid) : -1);
    }
}

TEST(UidDictionaryTest, InstallChainsEqualKeysInTableOrder)
{
    const UidRow rows[] = {
        { "1.2.3", "first", UidKind::CLASS, 0 },
        { "1.2.3", "second", UidKind::CLASS, 1 },
        { "1.2.4", "other", UidKind::TRANSFER, transfer_property::EXPLICIT | transfer_property::BIG },
    };
    UidDictionary dictionary;
    EXPECT_EQ(dictionary.Find("1.2.3"), -1); // empty until installed
    ASSERT_EQ(dictionary.Install(rows, 3), SUCCESS);
    EXPECT_EQ(dictionary.Find("1.2.3"), 0);
    EXPECT_EQ(dictionary.NextInChain(0), 1);
    EXPECT_EQ(dictionary.Find("1.2.4"), 2);
    EXPECT_FALSE(dictionary.IsLittleEndian(2));
    EXPECT_EQ(dictionary.FindTransferSyntax(false, true, false, CompressionKind::NONE), 2);

    // Reinstalling replaces the rows and rebuilds the chains.
    ASSERT_EQ(dictionary.Install(rows + 2, 1), SUCCESS);
    EXPECT_EQ(dictionary.Find("1.2.3"), -1);
    EXPECT_EQ(dictionary.Find("1.2.4"), 0);

    const UidRow broken[] = { { nullptr, "no uid", UidKind::CLASS, 0 } };
    EXPECT_EQ(dictionary.Install(broken, 1), ERROR_GENERAL_PARAMETER);
    EXPECT_EQ(dictionary.Count(), 0);
    EXPECT_EQ(dictionary.Find("1.2.4"), -1);
    EXPECT_EQ(dictionary.Install(nullptr, 1), ERROR_GENERAL_PARAMETER);
}
