// velmora-tool dump FILE: the data set as DataSet::Load leaves it, one line per node in pre-order,
// items and delimiters included, each as FormatElementLine writes it.
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/element_text.h"
#include "toolkit/read_tolerance.h"
#include "toolkit/result_code_table.h"
#include "tools/commands.h"

#include <cstdio>
#include <string>

namespace velmora::tool {

namespace {

int Fail(int32_t code)
{
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(ResultCodeName(code).size()),
        ResultCodeName(code).data(), static_cast<int>(ResultCodeMessage(code).size()),
        ResultCodeMessage(code).data());
    return 1;
}

// One line on stderr per departure from the standard that the reader tolerated.
void WarnAboutTolerances(const DataSet& ds, const std::string& path)
{
    for (const ReadTolerance tolerance : kReadTolerances) {
        if (ds.Tolerances() & tolerance) {
            const std::string_view text = ToleranceText(tolerance);
            std::fprintf(
                stderr, "warning: %s: %.*s\n", path.c_str(), static_cast<int>(text.size()), text.data());
        }
    }
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
    WarnAboutTolerances(ds, path);
    if (loaded != SUCCESS)
        return Fail(loaded);
    std::string line;
    CharacterSetLookup lookup(ds);
    for (ElementId id = ds.FirstTopLevel(); id >= 0; id = ds.NextInPreOrder(id)) {
        line = FormatElementLine(DescribeElement(ds, id, lookup));
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace velmora::tool
