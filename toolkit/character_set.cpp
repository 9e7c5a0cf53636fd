// DecodeText and the look-up of the Specific Character Set in force at an element.
#include "toolkit/character_set.h"

#include "toolkit/data_set.h"
#include "toolkit/tag.h"
#include "toolkit/vr_code.h"

#include <cerrno>
#include <iconv.h>
#include <memory>
#include <unordered_map>

namespace velmora {

namespace {

constexpr Tag SPECIFIC_CHARACTER_SET = MakeTag(0x0008, 0x0005);
constexpr char ESC = '\x1b';

enum class SetKind {
    DEFAULT, // the default repertoire: UTF-8 when the bytes are valid UTF-8, else Latin-1
    SINGLE, // a single-byte set, or a multi-byte set invoked in G1: ASCII delimiters reset it
    MULTI_G0, // a two-byte set in G0: iconv reads the escape itself, delimiters are character bytes
    STAND_ALONE, // UTF-8, GB18030, GBK: the whole value, no code extensions
};

struct CharacterSet {
    std::string_view key; // defined term without its "ISO_IR " or "ISO 2022 IR " prefix
    std::string_view escape; // the escape sequence that designates it (PS3.3 C.12-3, C.12-4)
    const char* iconvName;
    SetKind kind;
};

// JIS X 0201 is decoded as CP932, which keeps 0x5C and 0x7E as ASCII as the peers do (glibc's
// SHIFT_JIS turns them into yen and overline). ESC ( J designates its Roman half in G0.
constexpr CharacterSet kSets[] = {
    { "6", "\x1b(B", nullptr, SetKind::DEFAULT },
    { "100", "\x1b-A", "ISO-8859-1", SetKind::SINGLE },
    { "101", "\x1b-B", "ISO-8859-2", SetKind::SINGLE },
    { "109", "\x1b-C", "ISO-8859-3", SetKind::SINGLE },
    { "110", "\x1b-D", "ISO-8859-4", SetKind::SINGLE },
    { "144", "\x1b-L", "ISO-8859-5", SetKind::SINGLE },
    { "127", "\x1b-G", "ISO-8859-6", SetKind::SINGLE },
    { "126", "\x1b-F", "ISO-8859-7", SetKind::SINGLE },
    { "138", "\x1b-H", "ISO-8859-8", SetKind::SINGLE },
    { "148", "\x1b-M", "ISO-8859-9", SetKind::SINGLE },
    { "166", "\x1b-T", "TIS-620", SetKind::SINGLE },
    { "13", "\x1b)I", "CP932", SetKind::SINGLE },
    { "14", "\x1b(J", "CP932", SetKind::SINGLE },
    { "87", "\x1b$B", "ISO-2022-JP", SetKind::MULTI_G0 },
    { "159", "\x1b$(D", "ISO-2022-JP-2", SetKind::MULTI_G0 },
    { "149", "\x1b$)C", "EUC-KR", SetKind::SINGLE },
    { "58", "\x1b$)A", "GB2312", SetKind::SINGLE },
    { "192", "", "UTF-8", SetKind::STAND_ALONE },
    { "GB18030", "", "GB18030", SetKind::STAND_ALONE },
    { "GBK", "", "GBK", SetKind::STAND_ALONE },
};
constexpr const CharacterSet& kDefaultSet = kSets[0];

bool IsSeparator(char c)
{
    return c == ' ' || c == '_' || c == '-';
}

// The table row of a defined term; common misspellings ("ISO IR 100", "ISO-2022-IR-87") are
// accepted. Null for an unknown term.
const CharacterSet* FindSet(std::string_view term)
{
    while (!term.empty() && term.back() == ' ')
        term.remove_suffix(1);
    while (!term.empty() && term.front() == ' ')
        term.remove_prefix(1);
    if (term.empty())
        return &kDefaultSet;
    auto skipWord = [&term](std::string_view word) {
        if (term.size() <= word.size() || term.substr(0, word.size()) != word
            || !IsSeparator(term[word.size()]))
            return false;
        term.remove_prefix(word.size() + 1);
        return true;
    };
    if (skipWord("ISO")) {
        skipWord("2022");
        if (!skipWord("IR"))
            return nullptr;
    } else if (term != "GB18030" && term != "GBK") {
        return nullptr;
    }
    for (const CharacterSet& set : kSets) {
        if (set.key == term)
            return &set;
    }
    return nullptr;
}

const CharacterSet* FindByEscape(std::string_view bytes)
{
    for (const CharacterSet& set : kSets) {
        if (!set.escape.empty() && bytes.substr(0, set.escape.size()) == set.escape)
            return &set;
    }
    return nullptr;
}

void AppendLatin1(std::string& out, std::string_view bytes)
{
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
}

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

// One converter to UTF-8 per character set and thread, opened on first use.
iconv_t ConverterFor(const char* name)
{
    thread_local std::unordered_map<const char*, IconvHandle> converters;
    auto found = converters.find(name);
    if (found == converters.end()) {
        iconv_t cd = iconv_open("UTF-8", name);
        found
            = converters.emplace(name, IconvHandle(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd)).first;
    }
    iconv_t cd = static_cast<iconv_t>(found->second.get());
    if (cd)
        iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial shift state
    return cd;
}

// Converts `bytes` from `name` to UTF-8 onto `out`. A byte the set cannot decode is taken as
// Latin-1 when `lenient`; otherwise the conversion stops and returns false (out is then partial).
bool Convert(std::string& out, std::string_view bytes, const char* name, bool lenient)
{
    iconv_t cd = ConverterFor(name);
    if (!cd) {
        AppendLatin1(out, bytes);
        return false;
    }
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[256];
    while (inLeft > 0) {
        char* to = buffer;
        size_t toLeft = sizeof buffer;
        const size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
        out.append(buffer, static_cast<size_t>(to - buffer));
        if (result != static_cast<size_t>(-1) || errno == E2BIG)
            continue;
        if (!lenient)
            return false;
        AppendLatin1(out, std::string_view(in, 1));
        ++in;
        --inLeft;
    }
    char* to = buffer;
    size_t toLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &to, &toLeft);
    out.append(buffer, static_cast<size_t>(to - buffer));
    return true;
}

void AppendDefault(std::string& out, std::string_view bytes)
{
    std::string utf8;
    if (Convert(utf8, bytes, "UTF-8", false))
        out += utf8;
    else
        AppendLatin1(out, bytes);
}

void Append(std::string& out, std::string_view bytes, const CharacterSet& set)
{
    if (set.kind == SetKind::DEFAULT)
        AppendDefault(out, bytes);
    else
        Convert(out, bytes, set.iconvName, true);
}

// One run of text in the value's character sets. With ISO 2022 code extensions (PS3.5 6.1.2.5)
// each part that starts with a known escape sequence is decoded by the set it designates, the
// rest by the initial set. A delimiter switches back to the initial set (PS3.5 6.1.2.5.3), except
// inside a two-byte G0 set, whose character bytes include the delimiters' codes.
void AppendRun(
    std::string& out, std::string_view bytes, const CharacterSet& initial, std::string_view delimiters)
{
    if (initial.kind == SetKind::STAND_ALONE) {
        Convert(out, bytes, initial.iconvName, true);
        return;
    }
    size_t at = 0;
    while (at < bytes.size()) {
        const CharacterSet* current = &initial;
        size_t start = at;
        if (bytes[at] == ESC) {
            if (const CharacterSet* designated = FindByEscape(bytes.substr(at))) {
                current = designated;
                if (designated->kind != SetKind::MULTI_G0)
                    start += designated->escape.size();
            }
        }
        size_t end = bytes.find(ESC, at + 1);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view run = bytes.substr(start, end - start);
        if (current->kind != SetKind::MULTI_G0 && current != &initial) {
            const size_t delimiter = run.find_first_of(delimiters);
            if (delimiter != std::string_view::npos) {
                Append(out, run.substr(0, delimiter), *current);
                run.remove_prefix(delimiter);
                current = &initial;
            }
        }
        Append(out, run, *current);
        at = end;
    }
}

// Where the person name group starting at `at` ends: the next '=' outside a two-byte G0 run,
// whose character bytes include the delimiter's code (0x3D). The size of `bytes` when none.
size_t GroupEnd(std::string_view bytes, size_t at)
{
    bool twoByteG0 = false;
    for (; at < bytes.size(); ++at) {
        if (bytes[at] == ESC) {
            if (const CharacterSet* designated = FindByEscape(bytes.substr(at)))
                twoByteG0 = designated->kind == SetKind::MULTI_G0;
        } else if (bytes[at] == '=' && !twoByteG0) {
            break;
        }
    }
    return at;
}

bool DecodesByCharacterSet(uint16_t vr)
{
    switch (vr) {
    case vr::PN:
    case vr::LO:
    case vr::SH:
    case vr::ST:
    case vr::LT:
    case vr::UT:
    case VrCode('U', 'C'):
        return true;
    default:
        return false;
    }
}

} // namespace

std::string DecodeText(std::string_view bytes, uint16_t vr, std::span<const std::string> characterSets)
{
    std::string out;
    const CharacterSet* initial = characterSets.empty() ? nullptr : FindSet(characterSets[0]);
    if (!initial || !DecodesByCharacterSet(vr)) {
        AppendDefault(out, bytes);
        return out;
    }
    if (vr != vr::PN) {
        AppendRun(out, bytes, *initial, "\r\n\t\f");
        return out;
    }
    // Person names: the alphabetic, ideographic and phonetic groups decode each on their own.
    size_t kept = 0;
    for (size_t at = 0; at <= bytes.size();) {
        const size_t end = GroupEnd(bytes, at);
        if (at > 0)
            out += '=';
        const size_t before = out.size();
        AppendRun(out, bytes.substr(at, end - at), *initial, "^");
        if (out.size() > before)
            kept = out.size();
        at = end + 1;
    }
    out.resize(kept); // trailing empty groups carry nothing
    return out;
}

namespace {

std::vector<std::string> ValuesOf(DataSet& dataSet, ElementId id)
{
    std::vector<std::string> values;
    for (uint32_t index = 0;; ++index) {
        char* value = dataSet.GetString(id, index);
        if (!value)
            break;
        values.emplace_back(value);
        DataSet::FreeString(value);
    }
    return values;
}

} // namespace

const std::vector<std::string>& CharacterSetLookup::At(ElementId id)
{
    // Up from `id`, each level's elements are searched for (0008,0005): the item holding it,
    // the items holding that one, the top level. A level whose elements are items (a sequence)
    // is passed over: it holds no (0008,0005), and a sequence of thousands of items (per-frame
    // groups, contours) would be searched once per value. Levels found without one take the
    // answer of the level above.
    std::vector<ElementId> pending;
    const std::vector<std::string>* found = &m_none;
    for (ElementId child = id; child >= 0;) {
        const ElementId level = m_dataSet.Parent(child); // NO_ELEMENT above the top level
        if (m_dataSet.GetTag(child) != tags::ITEM) {
            if (const auto known = m_byLevel.find(level); known != m_byLevel.end()) {
                found = &known->second;
                break;
            }
            const ElementId sets = m_dataSet.FindElement(child, SPECIFIC_CHARACTER_SET, true);
            if (sets >= 0) {
                found = &(m_byLevel[level] = ValuesOf(m_dataSet, sets));
                break;
            }
            pending.push_back(level);
        }
        child = level;
    }
    // Map entries stay where they are when the map grows: `found` remains valid.
    for (const ElementId level : pending)
        m_byLevel.emplace(level, *found);
    return *found;
}

std::vector<std::string> CharacterSetsAt(DataSet& dataSet, ElementId id)
{
    return CharacterSetLookup(dataSet).At(id);
}

std::optional<std::string> GetText(DataSet& dataSet, ElementId id, uint32_t index)
{
    char* value = dataSet.GetString(id, index);
    if (!value)
        return std::nullopt;
    const std::string bytes(value);
    DataSet::FreeString(value);
    const uint16_t vr = dataSet.ValueVr(id);
    return DecodeText(
        bytes, vr, DecodesByCharacterSet(vr) ? CharacterSetsAt(dataSet, id) : std::vector<std::string>());
}

std::vector<std::string> GetTexts(DataSet& dataSet, ElementId id, CharacterSetLookup& lookup)
{
    std::vector<std::string> values;
    if (!dataSet.GetStrings(id, values))
        return values;
    const uint16_t vr = dataSet.ValueVr(id);
    // Values of other VRs decode the same whatever the character set: no look-up for them.
    const bool bySet = DecodesByCharacterSet(vr);
    for (std::string& value : values)
        value = DecodeText(value, vr, bySet ? lookup.At(id) : std::span<const std::string>());
    return values;
}

std::vector<std::string> GetTexts(DataSet& dataSet, ElementId id)
{
    CharacterSetLookup lookup(dataSet);
    return GetTexts(dataSet, id, lookup);
}

} // namespace velmora
