// velmora-tool dump FILE: the data set as DataSet::Load leaves it, one line per node in pre-order,
// items and delimiters included:
//   <2 spaces per depth>(gggg,eeee) VR LENGTH NAME[ = VALUE]
#include "tools/commands.h"

#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/result_code_table.h"
#include "toolkit/tag.h"
#include "toolkit/tag_dictionary.h"
#include "toolkit/vr_dictionary.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace velmora::tool {

namespace {

// Control characters would break the one-line-per-node layout.
void AppendPrintable(std::string& out, const char* text)
{
    for (const char* p = text; *p; ++p)
        out += (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F) ? '.' : *p;
}

bool IsBulkVr(uint16_t code)
{
    return code == vr::OB || code == vr::OW || code == vr::OF || code == vr::UN;
}

// The VALUE part of a line, empty when the element shows none.
std::string ValueText(DataSet& ds, ElementId id, uint32_t length)
{
    std::string out;
    if (ds.IsContainer(id) || length == 0 || length == UNDEFINED_VALUE_LENGTH)
        return out;
    const VrDictionary& vrs = GlobalVrDictionary();
    const uint16_t code = ds.GetVr(id);
    const int32_t index = vrs.IndexOf(code);
    if (index < 0)
        return out;
    const VrKind kind = vrs.KindOf(index);
    const VrFlags flags = vrs.FlagsOf(index);
    if (!HasFlag(flags, VrFlags::BINARY)) {
        if (HasFlag(flags, VrFlags::DELIMITER)) {
            for (uint32_t i = 0;; ++i) {
                char* text = ds.GetString(id, i);
                if (!text)
                    break;
                if (i > 0)
                    out += '\\';
                AppendPrintable(out, text);
                DataSet::FreeString(text);
            }
            return out;
        }
        if (kind == VrKind::SEQUENCE)
            return out;
        // LT, ST, UT, AS: the whole value, without its trailing padding.
        std::string raw(length, '\0');
        if (ds.ReadValue(id, raw.data(), 0, length) != SUCCESS)
            return out;
        while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\0'))
            raw.pop_back();
        AppendPrintable(out, raw.c_str());
        return out;
    }
    if (IsBulkVr(code))
        return out;
    const int32_t unit = vrs.UnitSizeOf(index);
    if (unit <= 0 || length / static_cast<uint32_t>(unit) > 16)
        return out;
    const uint32_t units = length / static_cast<uint32_t>(unit);
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
        default:
            std::snprintf(piece, sizeof piece, "%u", ds.GetUnsigned(id, i));
            break;
        }
        out += piece;
    }
    return out;
}

int Fail(int32_t code)
{
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(ResultCodeName(code).size()), ResultCodeName(code).data(),
        static_cast<int>(ResultCodeMessage(code).size()), ResultCodeMessage(code).data());
    return 1;
}

} // namespace

int RunDump(Args args)
{
    if (args.size() != 1)
        return Usage();
    const ResultCode installed = InstallBuiltInTables();
    if (installed != SUCCESS)
        return Fail(installed);
    DataSet ds;
    const std::string path(args[0]);
    const ResultCode loaded = ds.Load(path.c_str());
    if (loaded != SUCCESS)
        return Fail(loaded);
    const TagDictionary& dictionary = GlobalTagDictionary();
    std::string line;
    for (ElementId id = ds.FirstTopLevel(); id >= 0; id = ds.NextInPreOrder(id)) {
        const uint32_t tag = ds.GetTag(id);
        const uint32_t length = ds.GetValueLength(id);
        line.assign(static_cast<size_t>(ds.Depth(id)) * 2, ' ');
        line += TagText(tag);
        line += ' ';
        line += VrCodeText(ds.GetVr(id));
        line += ' ';
        line += length == UNDEFINED_VALUE_LENGTH ? std::string("undefined") : std::to_string(length);
        line += ' ';
        line += dictionary.NameOf(dictionary.IndexOf(tag));
        const std::string value = ValueText(ds, id, length);
        if (!value.empty()) {
            line += " = ";
            line += value;
        }
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace velmora::tool
