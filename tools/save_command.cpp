// velmora-tool save SRC DEST [options]: DataSet::Load of SRC, then DataSet::Save of DEST. Without
// options it writes what the viewer's Save Image command writes (options 0: no preamble, no group
// 0002, implicit VR little-endian); the options select the other encodings of the writer.
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/result_code_table.h"
#include "tools/commands.h"

#include <cstdio>
#include <string>

namespace velmora::tool {

namespace {

struct SaveOption {
    std::string_view name;
    uint32_t bits;
};

constexpr SaveOption kSaveOptions[] = {
    { "--preamble", SAVE_PREAMBLE },
    { "--meta", DS_META_GROUP },
    { "--explicit", DS_EXPLICIT_VR },
    { "--big-endian", DS_BIG_ENDIAN },
    { "--deflated", DS_DEFLATED },
    { "--memory-mode", DS_MEMORY_MODE },
    { "--all-group-lengths", DS_ALL_GROUP_LENGTHS },
    { "--defined-lengths", DS_DEFINED_LENGTHS },
    // A DICOM file as PS3.10 frames it: preamble, meta group and explicit VR little-endian.
    { "--file-format", SAVE_PREAMBLE | DS_META_GROUP | DS_EXPLICIT_VR },
};

// The result code's name and message, then the file it concerns when there is one: a failed
// save names the source or the destination, so the user knows which of the two to look at.
int Fail(int32_t code, const std::string& path = {})
{
    std::fprintf(stderr, "%.*s: %.*s%s%s%s\n", static_cast<int>(ResultCodeName(code).size()),
        ResultCodeName(code).data(), static_cast<int>(ResultCodeMessage(code).size()),
        ResultCodeMessage(code).data(), path.empty() ? "" : " (", path.c_str(), path.empty() ? "" : ")");
    return 1;
}

} // namespace

int RunSave(Args args)
{
    if (args.size() < 2)
        return Usage();
    uint32_t options = 0;
    for (size_t i = 2; i < args.size(); ++i) {
        bool known = false;
        for (const SaveOption& option : kSaveOptions) {
            if (option.name == args[i]) {
                options |= option.bits;
                known = true;
            }
        }
        if (!known)
            return Usage();
    }
    const ResultCode installed = InstallBuiltInTables();
    if (installed != SUCCESS)
        return Fail(installed);
    DataSet ds;
    const std::string source(args[0]);
    const std::string destination(args[1]);
    const ResultCode loaded = ds.Load(source.c_str());
    if (loaded != SUCCESS)
        return Fail(loaded, source);
    const ResultCode saved = ds.Save(destination.c_str(), options);
    if (saved != SUCCESS)
        return Fail(saved, destination);
    return 0;
}

} // namespace velmora::tool
