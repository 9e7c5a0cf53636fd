// Viewer speed with the real MainDialog and tile grid on the offscreen platform.
//   StartUp/Samples     construction and Initialise with the sample folder "DICOM" placed beside
//                       this program, until tile 0 reports its first painted band.
//   StartUp/Folder1000  the same with a folder of 1,000 generated single-frame 128 x 128 CT files
//                       (10 patients, 7 series descriptions).
//   NextStep            one Next in a series of 512 x 512 16-bit CT slices: the file loaded and
//                       decoded, the frame windowed and painted into tile 0's framebuffer, the
//                       tile presented. The fps counter is 1 / step time, the cine rate the step
//                       allows (the cine timer defaults to 10 fps).
// The program folder holds no "splash.bmp", so Initialise skips the two-second splash (it runs
// after the first image is loaded). Generated files go to a temporary folder, written once.
#include "app/main_dialog.h"
#include "app/tile_grid.h"
#include "bench/common/dicom_bytes.h"
#include "bench/common/offscreen_benchmarks.h"

#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <functional>
#include <random>

namespace velmora {
namespace {

using Clock = std::chrono::steady_clock;

QTemporaryDir* g_dir = nullptr;

using bench::Element;
using bench::Put16;
using bench::Us;

struct SliceLabels {
    std::string patient;
    std::string series;
    int instance = 1;
};

// An explicit VR little-endian CT slice of `size` x `size` random 12-bit samples, window 40 / 400.
void WriteCt(const QString& path, uint16_t size, const SliceLabels& labels)
{
    const uint32_t bytes = uint32_t(size) * size * 2;
    std::vector<uint8_t> b;
    b.reserve(1024 + bytes);
    b.resize(128, 0);
    for (char c : { 'D', 'I', 'C', 'M' })
        b.push_back(static_cast<uint8_t>(c));
    Element(b, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
    Element(b, 0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.2");
    Element(b, 0x0008, 0x0018, "UI", "1.2.3.4.5.6." + std::to_string(labels.instance));
    Element(b, 0x0008, 0x0020, "DA", "20260101");
    Element(b, 0x0008, 0x0060, "CS", "CT");
    Element(b, 0x0008, 0x1030, "LO", "Bench");
    Element(b, 0x0008, 0x103E, "LO", labels.series);
    Element(b, 0x0010, 0x0010, "PN", labels.patient);
    Element(b, 0x0010, 0x0020, "LO", "B1");
    Element(b, 0x0020, 0x000D, "UI", "1.2.3.4");
    Element(b, 0x0020, 0x000E, "UI", "1.2.3.4.5");
    Element(b, 0x0020, 0x0013, "IS", std::to_string(labels.instance));
    Us(b, 0x0028, 0x0002, 1);
    Element(b, 0x0028, 0x0004, "CS", "MONOCHROME2");
    Us(b, 0x0028, 0x0010, size);
    Us(b, 0x0028, 0x0011, size);
    Us(b, 0x0028, 0x0100, 16);
    Us(b, 0x0028, 0x0101, 12);
    Us(b, 0x0028, 0x0102, 11);
    Us(b, 0x0028, 0x0103, 0);
    Element(b, 0x0028, 0x1050, "DS", "40");
    Element(b, 0x0028, 0x1051, "DS", "400");
    Element(b, 0x0028, 0x1052, "DS", "-1024");
    Element(b, 0x0028, 0x1053, "DS", "1");
    Put16(b, 0x7FE0);
    Put16(b, 0x0010);
    b.insert(b.end(), { 'O', 'W', 0, 0 });
    Put16(b, bytes & 0xFFFF);
    Put16(b, bytes >> 16);
    std::mt19937 random(static_cast<uint32_t>(labels.instance));
    for (uint32_t k = 0; k < bytes / 2; ++k)
        Put16(b, random() & 0x0FFF);
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// A program folder under the temporary folder whose "DICOM" holds `count` slices, written once.
QString ProgramFolder(const QString& name, int count, uint16_t size, int patients, int series)
{
    const QString program = g_dir->path() + "/" + name;
    const QString dicom = program + "/DICOM";
    if (QDir(dicom).exists())
        return program;
    QDir().mkpath(dicom);
    for (int i = 0; i < count; ++i) {
        const SliceLabels labels { "PAT^" + std::to_string(i % patients),
            "Series " + std::to_string(i % series), i + 1 };
        WriteCt(dicom + QString("/IM%1.dcm").arg(i, 4, 10, QChar('0')), size, labels);
    }
    return program;
}

// The dialog's tile grid, reporting tile 0's painted bands as soon as the tile exists.
class ZoomRelay : public ZoomHost {
public:
    ZoomHost* target = nullptr;
    double CurrentZoom() const override { return target ? target->CurrentZoom() : 1.0; }
    void ShowZoomPercent(double zoom) override
    {
        if (target)
            target->ShowZoomPercent(zoom);
    }
};

class WatchedGrid : public TileGrid {
public:
    WatchedGrid(ZoomHost& host, std::function<void()> onBand)
        : TileGrid(host)
        , m_onBand(std::move(onBand))
    {
    }
    void Create(QWidget* parent) override
    {
        TileGrid::Create(parent);
        if (TileWindow* tile = TileAt(0))
            QObject::connect(tile, &TileWindow::BandPainted, [this](uint32_t, uint32_t) { m_onBand(); });
    }

private:
    std::function<void()> m_onBand;
};

void StartUp(benchmark::State& state, const QString& program)
{
    bool seen = false;
    Clock::time_point first;
    for (auto _ : state) {
        seen = false;
        ZoomRelay relay;
        const Clock::time_point start = Clock::now();
        MainDialog dialog(program, std::make_unique<WatchedGrid>(relay, [&] {
            if (!seen) {
                first = Clock::now();
                seen = true;
            }
        }));
        relay.target = &dialog;
        dialog.Initialise();
        if (!seen) {
            state.SkipWithError("no band painted in tile 0");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(first - start).count());
    }
}

void StartUpSamples(benchmark::State& state)
{
    const QString program = QCoreApplication::applicationDirPath();
    if (!QDir(program + "/DICOM").exists()) {
        state.SkipWithError("no DICOM folder beside the program");
        return;
    }
    StartUp(state, program);
}
BENCHMARK(StartUpSamples)->Name("StartUp/Samples")->UseManualTime()->Unit(benchmark::kMillisecond);

void StartUpFolder1000(benchmark::State& state)
{
    StartUp(state, ProgramFolder("folder1000", 1000, 128, 10, 7));
}
BENCHMARK(StartUpFolder1000)->Name("StartUp/Folder1000")->UseManualTime()->Unit(benchmark::kMillisecond);

void NextStep(benchmark::State& state)
{
    const QString program = ProgramFolder("ct512", 10, 512, 1, 1);
    MainDialog dialog(program);
    dialog.Initialise();
    dialog.show();
    QCoreApplication::processEvents();
    auto* grid = dynamic_cast<TileGrid*>(&dialog.Area());
    TileWindow* tile = grid ? grid->TileAt(0) : nullptr;
    if (!tile || !tile->isVisible() || !dialog.Area().TileHoldsImage(0)) {
        state.SkipWithError("no image in tile 0");
        return;
    }
    // Every step must load and paint a frame: a 16-bit frame is painted as one band when its
    // last piece arrives, so tile 0 reports one band per load.
    int64_t bands = 0;
    QObject::connect(tile, &TileWindow::BandPainted, [&](uint32_t, uint32_t) { ++bands; });
    for (auto _ : state) {
        dialog.Next();
        // The present the event loop runs between two cine ticks.
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(tile->Framebuffer().constBits());
    }
    if (!dialog.Area().TileHoldsImage(0) || bands < state.iterations() || tile->Invalid())
        state.SkipWithError("a step did not load, paint and present a frame");
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["cine_default_fps"] = dialog.FramesPerSecond();
}
BENCHMARK(NextStep)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace velmora

int main(int argc, char** argv)
{
    return velmora::RunOffscreenBenchmarks(argc, argv, velmora::g_dir);
}
