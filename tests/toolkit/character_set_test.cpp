// DecodeText on values built byte by byte, and the character set in force inside sequence items.
// Expected strings are pydicom's decoding of the same bytes (pydicom.charset.decode_bytes,
// PersonName) unless a row says otherwise.
#include "toolkit/built_in_tables.h"
#include "toolkit/character_set.h"
#include "toolkit/data_set.h"
#include "toolkit/vr_code.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace velmora;

namespace {

struct DecodeCase {
    const char* what;
    std::vector<std::string> sets;
    uint16_t vr;
    std::string bytes;
    std::string expected;
};

TEST(CharacterSetTest, DecodesAsPydicomDoes)
{
    const DecodeCase cases[] = {
        { "no set, valid UTF-8 stays UTF-8 (our rule)", {}, vr::PN, "J\xc3\xa9r\xc3\xb4me", "Jérôme" },
        { "no set, other bytes are Latin-1 (our rule)", {}, vr::PN, "J\xe9r\xf4me", "Jérôme" },
        // Latin-1 bytes that begin like a UTF-8 sequence: the whole value is Latin-1, not a mix.
        { "no set, not all UTF-8: all Latin-1 (our rule)", {}, vr::LO, "\xc3\xa9\xe9", "Ã©é" },
        { "Latin-1", { "ISO_IR 100" }, vr::PN, "Buc^J\xe9r\xf4me", "Buc^Jérôme" },
        { "Latin-2", { "ISO_IR 101" }, vr::LO, "\xb1", "ą" },
        { "Latin-3", { "ISO_IR 109" }, vr::LO, "\xa1", "Ħ" },
        { "Latin-4", { "ISO_IR 110" }, vr::LO, "\xa1", "Ą" },
        { "Cyrillic", { "ISO_IR 144" }, vr::SH, "\xbb\xee", "Лю" },
        { "Arabic", { "ISO_IR 127" }, vr::PN, "\xe2\xc8\xc7\xe6\xea", "قباني" },
        { "Greek", { "ISO_IR 126" }, vr::PN, "\xc4\xe9\xef", "Διο" },
        { "Hebrew", { "ISO_IR 138" }, vr::PN, "\xf9\xf8\xe5\xef", "שרון" },
        { "Latin-5", { "ISO_IR 148" }, vr::LO, "\xd0", "Ğ" },
        { "Thai", { "ISO_IR 166" }, vr::LO, "\xa1", "ก" },
        { "JIS X 0201 katakana", { "ISO_IR 13" }, vr::PN, "\xd4\xcf\xc0\xde", "ﾔﾏﾀﾞ" },
        { "JIS X 0201 keeps \\ and ~", { "ISO_IR 13" }, vr::LO, "\xd4\\~", "ﾔ\\~" },
        { "JIS X 0201 Roman keeps \\ and ~", { "ISO 2022 IR 13", "ISO 2022 IR 87" }, vr::LO, "\xd4\x1b(J\\~",
            "ﾔ\\~" },
        { "UTF-8", { "ISO_IR 192" }, vr::PN,
            "Wang^XiaoDong=\xe7\x8e\x8b^\xe5\xb0\x8f\xe6\x9d\xb1=", "Wang^XiaoDong=王^小東" },
        { "GB18030 four-byte", { "GB18030" }, vr::LO, "\x81\x30\x81\x30", "\u0080" },
        { "GBK", { "GBK" }, vr::LO, "\xcd\xf5", "王" },
        { "JIS X 0208 groups", { "", "ISO 2022 IR 87" }, vr::PN,
            "Yamada^Tarou=\x1b$B;3ED\x1b(B^\x1b$BB@O:\x1b(B=\x1b$B$d$^$@\x1b(B^\x1b$B$?$m$&\x1b(B",
            "Yamada^Tarou=山田^太郎=やまだ^たろう" },
        { "katakana initial, JIS X 0208 and Roman", { "ISO 2022 IR 13", "ISO 2022 IR 87" }, vr::PN,
            "\xd4\xcf\xc0\xde^\xc0\xdb\xb3=\x1b$B;3ED\x1b(J^\x1b$BB@O:\x1b(J=\x1b$B$d$^$@\x1b(J^\x1b$B$?$m$&"
            "\x1b(J",
            "ﾔﾏﾀﾞ^ﾀﾛｳ=山田^太郎=やまだ^たろう" },
        // 0x3D ('=') as the first byte of a JIS X 0208 character: Python's iso2022_jp codec on
        // each group; pydicom splits the name at that byte.
        { "= inside JIS X 0208 is part of a character", { "", "ISO 2022 IR 87" }, vr::PN,
            "\x1b$B=!\x1b(B^\x1b$B;3\x1b(B=\x1b$B;3\x1b(B", "宗^山=山" },
        { "JIS X 0212", { "", "ISO 2022 IR 159" }, vr::LO, "\x1b$(D\x22\x2f\x1b(B", "˘" },
        { "KS X 1001 in G1, reset by ^", { "", "ISO 2022 IR 149" }, vr::PN,
            "Hong^Gildong=\x1b$)C\xfb\xf3^\x1b$)C\xd1\xce\xd4\xd7=\x1b$)C\xc8\xab^\x1b$)C\xb1\xe6\xb5\xbf",
            "Hong^Gildong=洪^吉洞=홍^길동" },
        // pydicom leaves this escape sequence in its result; the standard's designation is consumed.
        { "GB2312 in G1", { "", "ISO 2022 IR 58" }, vr::LO, "\x1b$)A\xcd\xf5", "王" },
        { "a line break resets to the initial set", { "", "ISO 2022 IR 126" }, vr::LT, "\x1b-F\xe1\r\n\xe1",
            "α\r\ná" },
        { "^ resets to the initial set", { "ISO 2022 IR 100", "ISO 2022 IR 126" }, vr::PN,
            "\x1b-F\xc4\xe9\xef^\xe1=", "Διο^á" },
        { "misspelled term", { "ISO IR 144" }, vr::SH, "\xbb\xee", "Лю" },
        // Our rules where pydicom shows replacement characters or has no opinion:
        { "unknown term: default rule", { "KOI8-R" }, vr::LO, "\xe9", "é" },
        { "VR outside the character-set VRs", { "ISO_IR 144" }, vr::CS, "\xbb", "»" },
        { "byte the set does not define is Latin-1", { "ISO_IR 127" }, vr::LO, "\xa1\xc7", "¡ا" },
        { "invalid UTF-8 byte is Latin-1", { "ISO_IR 192" }, vr::LO, "a\xff", "aÿ" },
        { "unknown escape sequence stays", { "", "ISO 2022 IR 87" }, vr::LO, "a\x1b(Zb", "a\x1b(Zb" },
        { "empty person name", { "ISO_IR 100" }, vr::PN, "==", "" },
    };
    for (const DecodeCase& c : cases)
        EXPECT_EQ(DecodeText(c.bytes, c.vr, c.sets), c.expected) << c.what;
}

// (0008,0005) of a sequence item applies to the item's elements; elsewhere the top-level one.
TEST(CharacterSetTest, ItemsMayCarryTheirOwnCharacterSet)
{
    ASSERT_EQ(InstallBuiltInTables(), SUCCESS);
    DataSet ds;
    auto add = [&ds](ElementId ref, uint32_t tag, uint16_t vr, bool child, const char* text) {
        const ElementId id = ds.InsertElement(ref, tag, vr, child, 0);
        EXPECT_EQ(ds.SetString(id, text), SUCCESS);
        return id;
    };
    add(-1, 0x00080005, vr::CS, false, "ISO_IR 100");
    const ElementId top = add(-1, 0x00100010, vr::PN, false, "J\xe9r\xf4me");
    const ElementId sequence = ds.InsertElement(-1, 0x00321064, vr::SQ, false, 0);
    const ElementId own = ds.InsertElement(sequence, 0xFFFEE000, 0, true, 0);
    add(own, 0x00080005, vr::CS, true, "\\ISO 2022 IR 87");
    const ElementId japanese = add(own, 0x00100010, vr::PN, true, "\x1b$B;3ED\x1b(B");
    const ElementId inherits = ds.InsertElement(sequence, 0xFFFEE000, 0, true, 1);
    const ElementId french = add(inherits, 0x00100010, vr::PN, true, "J\xe9r\xf4me");
    // An item nested in the Japanese item, without a set of its own.
    const ElementId inner = ds.InsertElement(own, 0x00081250, vr::SQ, true, 2);
    const ElementId innerItem = ds.InsertElement(inner, 0xFFFEE000, 0, true, 0);
    const ElementId nested = add(innerItem, 0x00100010, vr::PN, true, "\x1b$B;3ED\x1b(B");
    // Second elements on those levels: a lookup answers them from what it kept.
    add(innerItem, 0x00100020, vr::LO, true, "\x1b$B;3\x1b(B");
    add(inherits, 0x00100020, vr::LO, true, "\xe9");

    const std::vector<std::string> latin { "ISO_IR 100" }, japan { "", "ISO 2022 IR 87" };
    EXPECT_EQ(CharacterSetsAt(ds, japanese), japan);
    EXPECT_EQ(CharacterSetsAt(ds, nested), japan);
    EXPECT_EQ(CharacterSetsAt(ds, innerItem), japan);
    EXPECT_EQ(CharacterSetsAt(ds, own), latin);
    EXPECT_EQ(CharacterSetsAt(ds, french), latin);
    EXPECT_EQ(GetText(ds, top, 0), "Jérôme");
    EXPECT_EQ(GetText(ds, japanese, 0), "山田");
    EXPECT_EQ(GetText(ds, nested, 0), "山田");
    EXPECT_EQ(GetText(ds, french, 0), "Jérôme");
    EXPECT_EQ(GetText(ds, french, 1), std::nullopt);

    // One lookup over a whole walk, inner levels asked first or last, answers as each single
    // look-up does.
    std::vector<ElementId> walk;
    for (ElementId id = ds.FirstTopLevel(); id >= 0; id = ds.NextInPreOrder(id))
        walk.push_back(id);
    for (const bool innerFirst : { false, true }) {
        CharacterSetLookup lookup(ds);
        for (size_t i = 0; i < walk.size(); ++i) {
            const ElementId id = innerFirst ? walk[walk.size() - 1 - i] : walk[i];
            EXPECT_EQ(lookup.At(id), CharacterSetsAt(ds, id))
                << "element " << id << (innerFirst ? ", inner first" : "");
        }
    }
}

} // namespace
