// ElementText: the dump line of one data set node.
#include "toolkit/element_text.h"

#include "toolkit/character_set.h"
#include "toolkit/tag.h"
#include "toolkit/tag_dictionary.h"
#include "toolkit/vr_code.h"
#include "toolkit/vr_dictionary.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace velmora {

namespace {

// Control characters would break the one-line-per-node layout.
void AppendPrintable(std::string& out, std::string_view text)
{
    for (const char c : text)
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '.' : c;
}

// The "other" VRs (OB, OD, OF, OL, OV, OW) and UN hold bulk data, shown by length only.
bool IsBulkVr(uint16_t code)
{
    return (code >> 8) == 'O' || code == vr::UN;
}

// The VALUE part of a line, empty when the element shows none.
std::string ValueText(DataSet& ds, ElementId id, uint32_t length, CharacterSetLookup& lookup)
{
    std::string out;
    if (ds.IsContainer(id) || length == 0 || length == UNDEFINED_VALUE_LENGTH)
        return out;
    const uint16_t code = ds.GetVr(id);
    const VrRow* row = GlobalVrDictionary().RowOf(code);
    if (row == nullptr)
        return out;
    const VrKind kind = row->kind;
    const VrFlags flags = row->flags;
    if (!HasFlag(flags, VrFlags::BINARY)) {
        if (HasFlag(flags, VrFlags::DELIMITER)) {
            // All values in one pass: reading the value again for each index is quadratic.
            const std::vector<std::string> values = GetTexts(ds, id, lookup);
            for (size_t i = 0; i < values.size(); ++i) {
                if (i > 0)
                    out += '\\';
                AppendPrintable(out, values[i]);
            }
            return out;
        }
        if (kind == VrKind::SEQUENCE)
            return out;
        // LT, ST, UT, UR, AS: the whole value, without its trailing padding. A damaged file may
        // declare far more than it holds: only the held bytes are read.
        std::string raw(std::min(length, ds.GetHeldLength(id)), '\0');
        if (raw.empty() || ds.ReadValue(id, raw.data(), 0, static_cast<uint32_t>(raw.size())) != SUCCESS)
            return out;
        while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0'))
            raw.pop_back();
        AppendPrintable(out, DecodeText(raw, code, lookup.At(id)));
        return out;
    }
    if (IsBulkVr(code))
        return out;
    // Only the numbers the file holds whole: a value cut by the end of a damaged file would
    // otherwise show numbers made of the zeros ReadValue gives past its end.
    const int32_t unit = row->unitSize;
    const uint32_t held = std::min(length, ds.GetHeldLength(id));
    if (unit <= 0 || held / static_cast<uint32_t>(unit) > 16)
        return out;
    const uint32_t units = held / static_cast<uint32_t>(unit);
    char piece[40];
    for (uint32_t i = 0; i < units; ++i) {
        if (i > 0)
            out += '\\';
        switch (kind) {
        case VrKind::FLOAT4:
        case VrKind::FLOAT8:
            std::snprintf(piece, sizeof piece, "%.17g", ds.GetReal(id, i));
            break;
        case VrKind::TAG:
            std::snprintf(piece, sizeof piece, "%s", TagText(ds.GetUnsigned(id, i)).c_str());
            break;
        case VrKind::SINT1:
            std::snprintf(piece, sizeof piece, "%d", static_cast<int8_t>(ds.GetUnsigned(id, i)));
            break;
        case VrKind::SINT2:
            std::snprintf(piece, sizeof piece, "%d", static_cast<int16_t>(ds.GetUnsigned(id, i)));
            break;
        case VrKind::SINT4:
            std::snprintf(piece, sizeof piece, "%d", static_cast<int32_t>(ds.GetUnsigned(id, i)));
            break;
        case VrKind::SINT8:
            std::snprintf(piece, sizeof piece, "%" PRId64, static_cast<int64_t>(ds.GetUnsigned64(id, i)));
            break;
        case VrKind::UINT8:
            std::snprintf(piece, sizeof piece, "%" PRIu64, ds.GetUnsigned64(id, i));
            break;
        default:
            std::snprintf(piece, sizeof piece, "%u", ds.GetUnsigned(id, i));
            break;
        }
        out += piece;
    }
    return out;
}

} // namespace

ElementText DescribeElement(DataSet& dataSet, ElementId id)
{
    CharacterSetLookup lookup(dataSet);
    return DescribeElement(dataSet, id, lookup);
}

ElementText DescribeElement(DataSet& dataSet, ElementId id, CharacterSetLookup& lookup)
{
    const TagDictionary& dictionary = GlobalTagDictionary();
    const uint32_t tag = dataSet.GetTag(id);
    const uint32_t length = dataSet.GetValueLength(id);
    ElementText text;
    text.depth = dataSet.Depth(id);
    text.tag = TagText(tag);
    text.vr = VrCodeText(dataSet.GetVr(id));
    text.length = length == UNDEFINED_VALUE_LENGTH ? std::string("undefined") : std::to_string(length);
    text.name = dictionary.NameOf(dictionary.IndexOf(tag));
    text.value = ValueText(dataSet, id, length, lookup);
    return text;
}

std::string FormatElementLine(const ElementText& text)
{
    std::string line(static_cast<size_t>(std::max(text.depth, 0)) * 2, ' ');
    line += text.tag;
    line += ' ';
    line += text.vr;
    line += ' ';
    line += text.length;
    line += ' ';
    line += text.name;
    if (!text.value.empty()) {
        line += " = ";
        line += text.value;
    }
    return line;
}

} // namespace velmora
