// velmora-tool scan FOLDER: the exam tree that the viewer's scan of FOLDER builds, one line per
// item, two spaces of indent per level; image lines are "Image %2d<TAB>PATH<TAB>FRAME". Goes
// through the same exam model and filing code as the viewer.
#include "app/model/exam_filing.h"
#include "app/model/exam_model.h"
#include "toolkit/built_in_tables.h"
#include "tools/commands.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace velmora::tool {

namespace {

void Print(const ExamModel& model, ExamItem item, int depth, std::string& out)
{
    for (; item; item = model.NextSibling(item)) {
        out.append(static_cast<size_t>(depth) * 2, ' ');
        out += model.Label(item);
        if (const ImageItemRecord* record = model.Record(item)) {
            out += '\t';
            out += record->path;
            out += '\t';
            out += std::to_string(record->frame);
        }
        out += '\n';
        Print(model, model.FirstChild(item), depth + 1, out);
    }
}

} // namespace

int RunScan(Args args)
{
    if (args.size() != 1)
        return Usage();
    const std::string folder(args[0]);
    struct stat info { };
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        InstallBuiltInTables();
        std::fprintf(stderr, "%s: %s\n", std::string(ResultCodeName(ERROR_FILE_OPEN)).c_str(),
            std::string(ResultCodeMessage(ERROR_FILE_OPEN)).c_str());
        return 1;
    }
    InstallBuiltInTables();
    ExamModel model;
    ScanFolder(folder, { [&model](const std::string& path) { AddDicomFile(model, path); }, nullptr });
    std::string out;
    Print(model, model.FirstChild(0), 0, out);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

} // namespace velmora::tool
