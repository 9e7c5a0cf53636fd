// velmora-tool overlay FILE [--frame N|all]: the corner text a tile's overlay shows on a frame,
// read while the frame loads through the same sequence as a tile (FrameLoader), at zoom 100 %
// in the file's own window. One line per overlay line: FRAME<TAB>CORNER<TAB>TEXT, corners
// top-left, top-right, bottom-left, bottom-right. The image's place is the frame's in its file
// (the tile shows its place in the series, which only the exam tree knows).
// Built once the toolkit's DataSet is present in the tree.
#if __has_include("toolkit/data_set.h")
#include "imaging/frame_loader.h"
#include "imaging/overlay_facts.h"
#include "toolkit/built_in_tables.h"
#include "tools/commands.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace velmora::tool {

namespace {

// Reads the facts as the tile does: from the bound data set once the frame is described.
class FactsCollector : public FrameLoadObserver {
public:
    FactsCollector(ImageSource& source, uint32_t frame)
        : m_source(source)
        , m_frame(frame)
    {
    }
    void Described(const ImageDescription&, int32_t frameCount) override
    {
        frames = frameCount;
        if (DataSet* dataSet = m_source.BoundDataSet())
            facts = ReadOverlayFacts(*dataSet, m_frame);
    }
    int32_t frames = 0;
    OverlayFacts facts;

private:
    ImageSource& m_source;
    uint32_t m_frame;
};

constexpr const char* kCornerNames[] = { "top-left", "top-right", "bottom-left", "bottom-right" };

} // namespace

int RunOverlay(Args args)
{
    std::string file;
    bool allFrames = false;
    uint32_t frame = 1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--frame" && i + 1 < args.size()) {
            const std::string_view value = args[++i];
            const std::optional<uint32_t> number = PositiveNumber(value);
            if (value != "all" && !number)
                return Usage();
            allFrames = value == "all";
            frame = number.value_or(1);
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
    FrameLoader loader;
    uint32_t last = frame;
    for (uint32_t current = allFrames ? 1 : frame; current <= last; ++current) {
        FactsCollector collector(source, current);
        const FrameLoadResult result
            = loader.Load(file, current, {}, source, description, bitmap, &collector);
        if (result != FrameLoadResult::Shown) {
            // A file DataSet::Load refused is reported by its own code, as render does.
            const ResultCode code
                = result == FrameLoadResult::LoadFailed ? loader.LoadCode() : ERROR_GENERAL_FAILURE;
            std::fprintf(stderr, "%s: %s (frame %u: %s)\n", std::string(ResultCodeName(code)).c_str(),
                std::string(ResultCodeMessage(code)).c_str(), current, FrameLoadResultName(result));
            return 1;
        }
        if (allFrames && current == 1 && collector.frames > 1)
            last = static_cast<uint32_t>(collector.frames);
        OverlayView view;
        view.imageIndex = static_cast<int32_t>(current);
        view.imageCount = std::max(collector.frames, 1);
        view.window = ShownWindow(description);
        view.units = UnitsOf(description);
        const CornerLines corners = ComposeCorners(collector.facts, view);
        for (size_t corner = 0; corner < corners.size(); ++corner) {
            for (const std::string& line : corners[corner])
                std::printf("%u\t%s\t%s\n", current, kCornerNames[corner], line.c_str());
        }
    }
    return 0;
}

} // namespace velmora::tool
#else
#include "tools/commands.h"

#include <cstdio>

namespace velmora::tool {

int RunOverlay(Args)
{
    std::fputs("velmora-tool overlay: not available in this build (no toolkit DataSet)\n", stderr);
    return 1;
}

} // namespace velmora::tool
#endif
