// The built-in result code rows (from result_codes.def) and the start-up installation of the
// four tables. The dictionary rows are generated from toolkit/data by generate_dictionaries.py.
#include "toolkit/built_in_tables.h"

#include <array>

namespace velmora {
namespace {

constexpr int32_t HighestResultCode()
{
    int32_t highest = 0;
#define X(code, name, message) highest = code > highest ? code : highest;
#include "toolkit/result_codes.def"
#undef X
    return highest;
}

// One row per code from 0 to the highest; codes without an X line keep a row of nulls.
constexpr std::array<ResultCodeRow, HighestResultCode() + 1> MakeResultCodeRows()
{
    std::array<ResultCodeRow, HighestResultCode() + 1> rows {};
#define X(code, name, message) rows[code] = ResultCodeRow { #name, message };
#include "toolkit/result_codes.def"
#undef X
    return rows;
}

constexpr auto kResultCodeRows = MakeResultCodeRows();

} // namespace

std::span<const ResultCodeRow> BuiltInResultCodeRows()
{
    return kResultCodeRows;
}

ResultCode InstallBuiltInTables()
{
    const auto codes = BuiltInResultCodeRows();
    const auto vrs = BuiltInVrRows();
    const auto uids = BuiltInUidRows();
    const auto tags = AllTagRows();
    if (ResultCode result = GlobalResultCodeTable().Install(codes.data(), static_cast<int32_t>(codes.size())))
        return result;
    if (ResultCode result = GlobalVrDictionary().Install(vrs.data(), static_cast<int32_t>(vrs.size())))
        return result;
    if (ResultCode result = GlobalUidDictionary().Install(uids.data(), static_cast<int32_t>(uids.size())))
        return result;
    return GlobalTagDictionary().Install(tags.data(), static_cast<int32_t>(tags.size()));
}

} // namespace velmora
