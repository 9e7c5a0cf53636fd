// velmora-tool render FILE [--frame N|all] [--raw OUT] [--png OUT] [--mirror] [--flip] [--invert]:
// loads a frame through the same sequence as a tile (FrameLoader) and writes what it received
// (--raw) and what it shows (--png).
// Built once the toolkit's DataSet is present in the tree.
#if __has_include("toolkit/data_set.h")
#include "imaging/display_bitmap.h"
#include "imaging/frame_loader.h"
#include "imaging/png_encoder.h"
#include "toolkit/built_in_tables.h"
#include "tools/commands.h"

#include <cstdio>
#include <string>
#include <vector>

namespace velmora::tool {

namespace {

// Counts the frames and, when asked to, keeps the bytes of every piece as the bitmap took them
// (before the display flags change them).
class RawCollector : public FrameLoadObserver {
public:
    RawCollector(const DisplayBitmap& bitmap, bool keepRaw)
        : m_bitmap(bitmap)
        , m_keepRaw(keepRaw)
    {
    }
    void Described(const ImageDescription&, int32_t frameCount) override
    {
        frames = frameCount;
        raw.clear();
    }
    void PieceAppended(std::span<const uint8_t> piece, bool accepted, bool) override
    {
        if (!accepted || !m_keepRaw)
            return;
        const size_t room = m_bitmap.Total() > raw.size() ? m_bitmap.Total() - raw.size() : 0;
        raw.insert(
            raw.end(), piece.begin(), piece.begin() + static_cast<ptrdiff_t>(std::min(room, piece.size())));
    }
    int32_t frames = 0;
    std::vector<uint8_t> raw;

private:
    const DisplayBitmap& m_bitmap;
    bool m_keepRaw;
};

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

void ReportCode(ResultCode code, const char* detail)
{
    std::fprintf(stderr, "%s: %s%s%s\n", std::string(ResultCodeName(code)).c_str(),
        std::string(ResultCodeMessage(code)).c_str(), detail ? " " : "", detail ? detail : "");
}

} // namespace

int RunRender(Args args)
{
    std::string file, rawPath, pngPath;
    DisplayFlags flags;
    bool allFrames = false;
    uint32_t frame = 1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--mirror") {
            flags.reflectX = true;
        } else if (a == "--flip") {
            flags.reflectY = true;
        } else if (a == "--invert") {
            flags.invert = true;
        } else if ((a == "--frame" || a == "--raw" || a == "--png") && i + 1 < args.size()) {
            const std::string_view value = args[++i];
            if (a == "--raw") {
                rawPath = value;
            } else if (a == "--png") {
                pngPath = value;
            } else if (value == "all") {
                allFrames = true;
            } else if (const std::optional<uint32_t> number = PositiveNumber(value)) {
                frame = *number;
            } else {
                return Usage();
            }
        } else if (!a.starts_with("--") && file.empty()) {
            file = a;
        } else {
            return Usage();
        }
    }
    if (file.empty())
        return Usage();
    InstallBuiltInTables();

    ImageSource source;
    ImageDescription description;
    DisplayBitmap bitmap;
    RawCollector collector(bitmap, !rawPath.empty());
    FrameLoader loader;
    bool failed = false, lastShown = false;
    uint32_t last = frame;
    for (uint32_t current = allFrames ? 1 : frame; current <= last; ++current) {
        const FrameLoadResult result
            = loader.Load(file, current, flags, source, description, bitmap, &collector);
        if (result == FrameLoadResult::LoadFailed) {
            ReportCode(loader.LoadCode(), nullptr);
            return 1;
        }
        if (allFrames && current == 1 && collector.frames > 1)
            last = static_cast<uint32_t>(collector.frames);
        lastShown = result == FrameLoadResult::Shown;
        if (result != FrameLoadResult::Shown) {
            const std::string detail
                = "(frame " + std::to_string(current) + ": " + FrameLoadResultName(result) + ")";
            ReportCode(ERROR_GENERAL_FAILURE, detail.c_str());
            failed = true;
            if (!allFrames)
                return 1;
        }
    }
    // The outputs hold the last frame; when it was not shown (its failure is reported above)
    // there is nothing to write, and no file is made.
    if (!lastShown)
        return 1;
    if (!rawPath.empty() && !WriteFile(rawPath, collector.raw)) {
        std::fprintf(stderr, "%s: %s (%s)\n", std::string(ResultCodeName(ERROR_GENERAL_IO)).c_str(),
            std::string(ResultCodeMessage(ERROR_GENERAL_IO)).c_str(), rawPath.c_str());
        return 1;
    }
    if (!pngPath.empty()) {
        const std::vector<uint8_t> png = EncodePng(bitmap.View());
        if (png.empty() || !WriteFile(pngPath, png)) {
            std::fprintf(stderr, "%s: %s (%s)\n", std::string(ResultCodeName(ERROR_GENERAL_IO)).c_str(),
                std::string(ResultCodeMessage(ERROR_GENERAL_IO)).c_str(), pngPath.c_str());
            return 1;
        }
    }
    return failed ? 1 : 0;
}

} // namespace velmora::tool
#else
#include "tools/commands.h"

#include <cstdio>

namespace velmora::tool {

int RunRender(Args)
{
    std::fputs("velmora-tool render: not available in this build (no toolkit DataSet)\n", stderr);
    return 1;
}

} // namespace velmora::tool
#endif
