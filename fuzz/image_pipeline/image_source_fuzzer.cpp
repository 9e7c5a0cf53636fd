// Fuzzes ImageSource and the display path with data sets built from arbitrary bytes: the bytes
// follow a fixed 132-byte preamble and "DICM" header in a temporary file (DataSet reads files
// only), then Describe, FrameBytes, FrameCount, ReadFrame of the first and last frame, the last
// frame's description and overlay facts (from functional groups in enhanced images), and the
// whole tile load sequence. Every byte read is touched.
#include <cstddef>
#include <cstdint>

#if __has_include("toolkit/data_set.h")
#include "imaging/frame_loader.h"
#include "imaging/overlay_facts.h"
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string WriteTemporary(const uint8_t* data, size_t size)
{
    static std::string path;
    if (path.empty()) {
        char name[] = "/tmp/velmora-image-source-fuzz-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0)
            close(fd);
        path = name;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return {};
    uint8_t header[132] = {};
    header[128] = 'D';
    header[129] = 'I';
    header[130] = 'C';
    header[131] = 'M';
    std::fwrite(header, 1, sizeof header, file);
    if (size > 0)
        std::fwrite(data, 1, size, file);
    std::fclose(file);
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace velmora;
    static const bool installed = InstallBuiltInTables() == SUCCESS;
    if (!installed || size > 1 << 18) // run_all.sh's -max_len: frames of a few hundred KB
        return 0;
    const std::string path = WriteTemporary(data, size);
    if (path.empty())
        return 0;
    DataSet dataSet;
    if (dataSet.Load(path.c_str()) != SUCCESS)
        return 0;
    ImageSource source;
    source.Bind(&dataSet);
    ImageDescription description;
    uint32_t sum = 0;
    if (source.Describe(description, TableReading::Read) == SUCCESS) {
        sum += source.FrameBytes();
        const int32_t frames = source.FrameCount();
        std::vector<uint8_t> buffer;
        for (int32_t frame : { 1, frames }) {
            const uint32_t n
                = frame > 0 ? source.ReadFrame(static_cast<uint32_t>(frame), buffer, 0, 1 << 20) : 0;
            for (uint32_t i = 0; i < n; ++i)
                sum += buffer[i];
        }
        if (frames > 1
            && source.Describe(description, TableReading::Skip, static_cast<uint32_t>(frames)) == SUCCESS)
            sum += IsAbsent(description.windowWidth) + IsAbsent(description.rescaleSlope);
        sum += static_cast<uint32_t>(
            ReadOverlayFacts(dataSet, frames > 0 ? static_cast<uint32_t>(frames) : 1).imagePosition.size());
        DisplayBitmap bitmap;
        ImageSource loaderSource;
        ImageDescription loaded;
        LoadFrameFromDataSet(dataSet, 1, DisplayFlags { true, true, true, {} }, loaderSource, loaded, bitmap);
        for (uint8_t b : bitmap.Bits())
            sum += b;
    }
    dataSet.CloseSource();
    volatile uint32_t keep = sum;
    (void)keep;
    return 0;
}
#else
extern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t)
{
    return 0;
}
#endif
