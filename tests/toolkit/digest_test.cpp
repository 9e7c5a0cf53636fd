// Digest: CRC-8 (type 0) values, feeding in pieces, restart after Final, and type errors.
#include "toolkit/digest.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string_view>
#include <vector>

using namespace velmora;

namespace {

// Bit-at-a-time CRC-8 (polynomial 0x07, MSB first, initial value 0): an independent reference
// for the table-driven digest.
uint8_t ReferenceCrc8(const std::vector<uint8_t>& bytes)
{
    uint8_t crc = 0;
    for (uint8_t byte : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = ((crc >> 7) ^ (byte >> bit)) & 1;
            crc = static_cast<uint8_t>(crc << 1);
            if (top)
                crc ^= 0x07;
        }
    }
    return crc;
}

uint8_t DigestOf(std::string_view text)
{
    Digest digest;
    EXPECT_EQ(digest.SetType(Digest::CRC8), SUCCESS);
    EXPECT_EQ(digest.Update(text.data(), static_cast<uint32_t>(text.size())), SUCCESS);
    EXPECT_EQ(digest.Final(), SUCCESS);
    return digest.Result()[0];
}

} // namespace

TEST(DigestTest, Crc8KnownValues)
{
    struct Case {
        std::string_view text;
        uint8_t crc;
    };
    const Case cases[] = {
        { "123456789", 0xF4 }, // the standard check value of CRC-8 with polynomial 0x07
        { "", 0x00 }, // no bytes leave the initial value
        { std::string_view("\0", 1), 0x00 },
        { "\x01", 0x07 },
        { "\x80", 0x89 },
        { "\xFF", 0xF3 },
        { "1.2.840.10008.1.2",
            ReferenceCrc8(
                { '1', '.', '2', '.', '8', '4', '0', '.', '1', '0', '0', '0', '8', '.', '1', '.', '2' }) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "text of " << c.text.size() << " bytes");
        EXPECT_EQ(DigestOf(c.text), c.crc);
        EXPECT_EQ(Digest::Crc8({ reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size() }), c.crc);
    }
}

TEST(DigestTest, MatchesBitwiseReferenceOnEveryByteAndRandomBuffers)
{
    for (int value = 0; value < 256; ++value) {
        const std::vector<uint8_t> one { static_cast<uint8_t>(value) };
        ASSERT_EQ(Digest::Crc8(one), ReferenceCrc8(one)) << value;
    }
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes(random() % 300);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(random());
        ASSERT_EQ(Digest::Crc8(bytes), ReferenceCrc8(bytes)) << "round " << round;
    }
}

TEST(DigestTest, PiecesGiveTheWholeAndFinalRestarts)
{
    const std::string_view text = "123456789";
    for (size_t split = 0; split <= text.size(); ++split) {
        Digest digest;
        ASSERT_EQ(digest.SetType(0), SUCCESS);
        ASSERT_EQ(digest.Update(text.data(), static_cast<uint32_t>(split)), SUCCESS);
        ASSERT_EQ(digest.Update(text.data() + split, static_cast<uint32_t>(text.size() - split)), SUCCESS);
        ASSERT_EQ(digest.Final(), SUCCESS);
        EXPECT_EQ(digest.Result()[0], 0xF4) << "split at " << split;
    }

    // After Final the next Update starts a new computation; a second Final changes nothing.
    Digest digest;
    ASSERT_EQ(digest.SetType(0), SUCCESS);
    digest.Update("abc", 3);
    digest.Final();
    const uint8_t abc = digest.Result()[0];
    EXPECT_EQ(digest.Final(), SUCCESS);
    EXPECT_EQ(digest.Result()[0], abc);
    digest.Update(text.data(), static_cast<uint32_t>(text.size()));
    digest.Final();
    EXPECT_EQ(digest.Result()[0], 0xF4);
}

TEST(DigestTest, TypeErrors)
{
    Digest fresh;
    EXPECT_EQ(fresh.Type(), -1);
    EXPECT_EQ(fresh.Update("x", 1), ERROR_GENERAL_INIT);
    EXPECT_EQ(fresh.Final(), ERROR_GENERAL_INIT);

    struct Case {
        int32_t type;
        ResultCode result;
    };
    const Case cases[] = {
        { 0, SUCCESS },
        { -1, ERROR_GENERAL_PARAMETER },
        { 15, ERROR_GENERAL_PARAMETER },
        { 1, ERROR_GENERAL_NOT_IMPLEMENTED },
        { 8, ERROR_GENERAL_NOT_IMPLEMENTED },
        { 14, ERROR_GENERAL_NOT_IMPLEMENTED },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        Digest digest;
        ASSERT_EQ(digest.SetType(0), SUCCESS);
        EXPECT_EQ(digest.SetType(c.type), c.result);
        // A failed SetType leaves no valid type, even if one was set before.
        EXPECT_EQ(digest.Update("x", 1), c.result == SUCCESS ? SUCCESS : ERROR_GENERAL_INIT);
    }

    Digest digest;
    ASSERT_EQ(digest.SetType(0), SUCCESS);
    EXPECT_EQ(digest.Update(nullptr, 0), SUCCESS);
    EXPECT_EQ(digest.Update(nullptr, 4), ERROR_GENERAL_PARAMETER);
}
