// velmora-tool info FILE: the image description of a file as one JSON object, with the labels
// the exam tree files it under.
// Built once the toolkit's DataSet is present in the tree.
#if __has_include("toolkit/data_set.h")
#include "app/model/exam_filing.h"
#include "imaging/image_description.h"
#include "imaging/image_source.h"
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/uid_dictionary.h"
#include "tools/commands.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace velmora::tool {

namespace {

constexpr uint32_t TAG_TRANSFER_SYNTAX = 0x00020010;

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string JsonReal(double value)
{
    if (IsAbsent(value) || !std::isfinite(value))
        return "null";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

// The patient, study and series labels the exam tree files `path` under: the file filed into a
// scratch exam model by the same code as the viewer's scan.
bool ExamLabels(const std::string& path, std::string labels[3])
{
    FileLabels read;
    if (ReadFileLabels(path, read) != SUCCESS)
        return false;
    read.frames = 1;
    ExamModel model;
    FileImage(model, read, path);
    ExamItem item = 0;
    for (int level = 0; level < 3; ++level) {
        item = model.FirstChild(item);
        if (item == 0)
            return false;
        labels[level] = model.Label(item);
    }
    return true;
}

} // namespace

int RunInfo(Args args)
{
    if (args.size() != 1)
        return Usage();
    InstallBuiltInTables();
    const std::string path(args[0]);
    DataSet ds;
    const ResultCode loaded = ds.Load(path.c_str());
    if (loaded != SUCCESS) {
        std::fprintf(stderr, "%s: %s\n", std::string(ResultCodeName(loaded)).c_str(),
            std::string(ResultCodeMessage(loaded)).c_str());
        return 1;
    }
    ImageSource source;
    source.Bind(&ds);
    ImageDescription d;
    const ResultCode described = source.Describe(d, TableReading::Read);
    if (described != SUCCESS) {
        std::fprintf(stderr, "%s: %s\n", std::string(ResultCodeName(described)).c_str(),
            std::string(ResultCodeMessage(described)).c_str());
        ds.CloseSource();
        return 1;
    }
    std::string transferSyntax = "null";
    const ElementId ts = ds.FindElement(-1, TAG_TRANSFER_SYNTAX, false);
    if (ts >= 0) {
        char* text = ds.GetString(ts, 0);
        if (text != nullptr) {
            transferSyntax = JsonString(text);
            DataSet::FreeString(text);
        }
    }
    const std::string kindName(CompressionKindName(static_cast<CompressionKind>(d.compressionKind)));
    std::string out = "{";
    auto field = [&out](const char* name, const std::string& value) {
        if (out.size() > 1)
            out += ", ";
        out += JsonString(name) + ": " + value;
    };
    auto number = [](uint64_t v) { return std::to_string(v); };
    field("transfer_syntax", transferSyntax);
    field("compression_kind", JsonString(kindName.empty() ? std::to_string(d.compressionKind) : kindName));
    field("rows", number(d.rows));
    field("columns", number(d.columns));
    field("frames", std::to_string(source.FrameCount()));
    field("samples_per_pixel", number(d.samplesPerPixel));
    field("bits_allocated", number(d.bitsAllocated));
    field("bits_stored", number(d.bitsStored));
    field("high_bit", number(d.highBit));
    field("pixel_representation", number(d.pixelRepresentation));
    field("planar_configuration", number(d.planarConfiguration));
    field("photometric", JsonString(d.photometric));
    field("window_center", JsonReal(d.windowCenter));
    field("window_width", JsonReal(d.windowWidth));
    field("rescale_intercept", JsonReal(d.rescaleIntercept));
    field("rescale_slope", JsonReal(d.rescaleSlope));
    std::string labels[3];
    const bool filed = ExamLabels(path, labels);
    field("patient", filed ? JsonString(labels[0]) : "null");
    field("study", filed ? JsonString(labels[1]) : "null");
    field("series", filed ? JsonString(labels[2]) : "null");
    out += "}\n";
    ds.CloseSource();
    std::fputs(out.c_str(), stdout);
    return 0;
}

} // namespace velmora::tool
#else
#include "tools/commands.h"

#include <cstdio>

namespace velmora::tool {

int RunInfo(Args)
{
    std::fputs("velmora-tool info: not available in this build (no toolkit DataSet)\n", stderr);
    return 1;
}

} // namespace velmora::tool
#endif
