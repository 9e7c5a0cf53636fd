// velmora-tool thumbnail FILE OUT.png [--size N]: the first frame as a tile shows it at its own
// window (the same frame loader and display bitmap, painted by the same nearest-neighbour
// stretch), scaled so that its longer side is N pixels (default 256). The file managers'
// thumbnailer (share/thumbnailers/velmora.thumbnailer) calls it.
#if __has_include("toolkit/data_set.h")
#include "imaging/display_bitmap.h"
#include "imaging/frame_loader.h"
#include "imaging/png_encoder.h"
#include "toolkit/built_in_tables.h"
#include "tools/commands.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace velmora::tool {

namespace {

// Largest thumbnail side: file managers ask for 128 to 1024.
constexpr uint32_t kMaxSize = 4096;

// Paints into a 32-bit buffer by the reference stretch.
class ArgbTarget : public PaintTarget {
public:
    ArgbTarget(int32_t width, int32_t height)
        : width(width)
        , height(height)
        , pixels(static_cast<size_t>(width) * static_cast<size_t>(height), 0xFF000000u)
    {
    }
    bool StretchBlit(
        const DibView& source, const PixelRect& from, const PixelRect& to, const PixelRect& clip) override
    {
        return StretchBlitToArgb(pixels.data(), width, height, source, from, to, clip);
    }
    int32_t width, height;
    std::vector<uint32_t> pixels;
};

// The buffer as a top-down 24-bit BGR bitmap with rows padded to 4 bytes, as the encoder takes.
std::vector<uint8_t> ToBgr(const ArgbTarget& target, uint32_t& stride)
{
    stride = (static_cast<uint32_t>(target.width) * 3 + 3) & ~3u;
    std::vector<uint8_t> bits(static_cast<size_t>(stride) * static_cast<size_t>(target.height), 0);
    for (int32_t y = 0; y < target.height; ++y) {
        for (int32_t x = 0; x < target.width; ++x) {
            const uint32_t p = target.pixels[static_cast<size_t>(y) * static_cast<size_t>(target.width)
                + static_cast<size_t>(x)];
            uint8_t* out = &bits[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3];
            out[0] = static_cast<uint8_t>(p);
            out[1] = static_cast<uint8_t>(p >> 8);
            out[2] = static_cast<uint8_t>(p >> 16);
        }
    }
    return bits;
}

int Fail(ResultCode code, const std::string& detail)
{
    std::fprintf(stderr, "%s: %s (%s)\n", std::string(ResultCodeName(code)).c_str(),
        std::string(ResultCodeMessage(code)).c_str(), detail.c_str());
    return 1;
}

} // namespace

int RunThumbnail(Args args)
{
    std::string file, out;
    uint32_t size = 256;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == "--size" && i + 1 < args.size()) {
            const std::optional<uint32_t> number = PositiveNumber(args[++i], kMaxSize);
            if (!number)
                return Usage();
            size = *number;
        } else if (a.starts_with("--")) {
            return Usage();
        } else if (file.empty()) {
            file = a;
        } else if (out.empty()) {
            out = a;
        } else {
            return Usage();
        }
    }
    if (file.empty() || out.empty())
        return Usage();
    InstallBuiltInTables();

    ImageSource source;
    ImageDescription description;
    DisplayBitmap bitmap;
    FrameLoader loader;
    const FrameLoadResult result = loader.Load(file, 1, DisplayFlags {}, source, description, bitmap);
    if (result != FrameLoadResult::Shown || !bitmap.HasBitmap())
        return Fail(ERROR_GENERAL_FAILURE, std::string("frame 1: ") + FrameLoadResultName(result));

    // The longer side becomes `size`, the other keeps the proportion (at least one pixel).
    const uint64_t w = static_cast<uint64_t>(bitmap.Width()), h = static_cast<uint64_t>(bitmap.Height());
    const uint64_t longer = std::max(w, h);
    const auto scaled = [&](uint64_t side) {
        return static_cast<int32_t>(std::max<uint64_t>(1, (side * size + longer / 2) / longer));
    };
    ArgbTarget target(scaled(w), scaled(h));
    const PixelRect whole { 0, 0, target.width, target.height };
    if (bitmap.Paint(&target, &whole, PaintMode::Full) != SUCCESS)
        return Fail(ERROR_GENERAL_FAILURE, "paint");
    uint32_t stride = 0;
    const std::vector<uint8_t> bits = ToBgr(target, stride);
    const std::vector<uint8_t> png
        = EncodePng(DibView { bits.data(), target.width, target.height, 24, stride, nullptr });
    if (png.empty())
        return Fail(ERROR_GENERAL_IO, out);
    std::FILE* output = std::fopen(out.c_str(), "wb");
    if (output == nullptr)
        return Fail(ERROR_GENERAL_IO, out);
    const bool written = std::fwrite(png.data(), 1, png.size(), output) == png.size();
    if (std::fclose(output) != 0 || !written)
        return Fail(ERROR_GENERAL_IO, out);
    return 0;
}

} // namespace velmora::tool
#else
#include "tools/commands.h"

#include <cstdio>

namespace velmora::tool {

int RunThumbnail(Args)
{
    std::fputs("velmora-tool thumbnail: not available in this build (no toolkit DataSet)\n", stderr);
    return 1;
}

} // namespace velmora::tool
#endif
