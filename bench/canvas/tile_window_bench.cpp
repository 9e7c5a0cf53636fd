// Tile speed on the offscreen platform. Frames are written once into a temporary folder as
// explicit VR little-endian files with random 12-bit samples and a CT window.
//   WindowLevelStep     one left-button mouse move in window/level mode: brightness and contrast
//                       steps on the 8-bit colour table, then the whole frame repainted.
//   ShowDicomImage      a whole load of the same 512 x 512 frame, for scale.
//   FirstBand/...       from the ShowDicomImage call to the first painted band.
#include "bench/common/dicom_bytes.h"
#include "bench/common/offscreen_benchmarks.h"
#include "canvas/tile_window.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <random>

namespace velmora {
namespace {

QTemporaryDir* g_dir = nullptr;

using bench::Element;
using bench::Put16;
using bench::Us;

// A 16-bit CT frame of `columns` x `rows` random 12-bit samples with window 40 / 400.
std::string WriteCt(uint16_t columns, uint16_t rows)
{
    std::vector<uint8_t> b(128, 0);
    b.insert(b.end(), { 'D', 'I', 'C', 'M' });
    Element(b, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
    for (uint16_t e : { 0x0016, 0x0018 })
        Element(b, 0x0008, e, "UI", "1.2.840.10008.5.1.4.1.1.2");
    Element(b, 0x0008, 0x0020, "DA", "20260101");
    Element(b, 0x0008, 0x0060, "CS", "CT");
    Element(b, 0x0008, 0x1030, "LO", "Bench");
    Element(b, 0x0010, 0x0010, "PN", "BENCH");
    Element(b, 0x0010, 0x0020, "LO", "B1");
    Element(b, 0x0020, 0x000D, "UI", "1.2.3.4");
    Element(b, 0x0020, 0x000E, "UI", "1.2.3.4.5");
    Us(b, 0x0028, 0x0002, 1);
    Element(b, 0x0028, 0x0004, "CS", "MONOCHROME2");
    Us(b, 0x0028, 0x0010, rows);
    Us(b, 0x0028, 0x0011, columns);
    Us(b, 0x0028, 0x0100, 16);
    Us(b, 0x0028, 0x0101, 12);
    Us(b, 0x0028, 0x0102, 11);
    Us(b, 0x0028, 0x0103, 0);
    Element(b, 0x0028, 0x1050, "DS", "40");
    Element(b, 0x0028, 0x1051, "DS", "400");
    Element(b, 0x0028, 0x1052, "DS", "-1024");
    Element(b, 0x0028, 0x1053, "DS", "1");
    const uint32_t bytes = uint32_t(columns) * rows * 2;
    Put16(b, 0x7FE0);
    Put16(b, 0x0010);
    b.insert(b.end(), { 'O', 'W', 0, 0 });
    Put16(b, bytes & 0xFFFF);
    Put16(b, bytes >> 16);
    std::mt19937 random(7);
    for (uint32_t k = 0; k < bytes / 2; ++k)
        Put16(b, random() & 0x0FFF);
    const std::string path = (g_dir->path() + QString("/ct_%1x%2.dcm").arg(columns).arg(rows)).toStdString();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    return path;
}

void WindowLevelStep(benchmark::State& state)
{
    const std::string path = WriteCt(512, 512);
    TileWindow tile;
    tile.resize(743, 589);
    tile.show();
    if (!tile.ShowDicomImage(path, 1)) {
        state.SkipWithError("load failed");
        return;
    }
    tile.UpdateNow();
    tile.ToggleWindowLevelMode();
    const auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, QPoint p) {
        QMouseEvent event(type, QPointF(p), QPointF(p), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&tile, &event);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, { 300, 300 });
    int step = 0;
    for (auto _ : state) {
        // Back and forth by 3 pixels each way, so the totals stay bounded.
        const int offset = (step++ & 1) ? 0 : 3;
        send(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, { 300 + offset, 300 + offset });
        benchmark::DoNotOptimize(tile.Framebuffer().constBits());
    }
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, { 300, 300 });
}
BENCHMARK(WindowLevelStep)->Unit(benchmark::kMicrosecond);

void ShowDicomImage(benchmark::State& state)
{
    const std::string path = WriteCt(512, 512);
    TileWindow tile;
    tile.resize(743, 589);
    tile.show();
    for (auto _ : state) {
        if (!tile.ShowDicomImage(path, 1))
            state.SkipWithError("load failed");
        tile.UpdateNow();
    }
}
BENCHMARK(ShowDicomImage)->Unit(benchmark::kMicrosecond);

void FirstBand(benchmark::State& state)
{
    const std::string path
        = WriteCt(static_cast<uint16_t>(state.range(0)), static_cast<uint16_t>(state.range(1)));
    TileWindow tile;
    tile.resize(743, 589);
    tile.show();
    using Clock = std::chrono::steady_clock;
    Clock::time_point start, first;
    bool seen = false;
    QObject::connect(&tile, &TileWindow::BandPainted, [&](uint32_t, uint32_t) {
        if (!seen) {
            first = Clock::now();
            seen = true;
        }
    });
    for (auto _ : state) {
        seen = false;
        start = Clock::now();
        if (!tile.ShowDicomImage(path, 1) || !seen) {
            state.SkipWithError("no band painted");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(first - start).count());
    }
}
BENCHMARK(FirstBand)
    ->Args({ 2000, 2500 })
    ->Args({ 512, 512 })
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace velmora

int main(int argc, char** argv)
{
    return velmora::RunOffscreenBenchmarks(argc, argv, velmora::g_dir);
}
