// DataSet::Save speed and memory. Writes (once per run) native multi-frame files of 50 MB and
// 200 MB (512 x 512 16-bit frames, explicit VR little-endian with preamble and meta group) in a
// scratch folder, then measures:
//   BM_PlainCopy   - the 200 MB file copied with 128 KiB reads and writes (what cp does)
//   BM_LoadAndSave - DataSet::Load then DataSet::Save with options 0 of the same file
//   BM_SavePeakMemory/N - Load and Save of the N MB file in a child process: the child's peak
//                    resident memory, which must not grow with the file
// Both timed benchmarks report bytes per second; compare their times for the ratio.
#include "bench/common/dicom_bytes.h"
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"
#include "toolkit/disk_file.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace velmora;

namespace {

constexpr uint32_t kFrameBytes = 512 * 512 * 2;

std::vector<uint8_t> Header(uint32_t frames)
{
    std::vector<uint8_t> b;
    b.reserve(1024);
    b.resize(128); // the preamble
    for (char c : { 'D', 'I', 'C', 'M' })
        b.push_back(static_cast<uint8_t>(c));
    bench::Element(b, 0x0002, 0x0002, "UI", "1.2.840.10008.5.1.4.1.1.7.3");
    bench::Element(b, 0x0002, 0x0003, "UI", "1.2.826.0.1.3680043.9.7.1");
    bench::Element(b, 0x0002, 0x0010, "UI", "1.2.840.10008.1.2.1");
    bench::Element(b, 0x0008, 0x0016, "UI", "1.2.840.10008.5.1.4.1.1.7.3");
    bench::Element(b, 0x0008, 0x0018, "UI", "1.2.826.0.1.3680043.9.7.1");
    for (uint32_t e = 0x20; e <= 0x33; ++e)
        bench::Element(b, 0x0008, static_cast<uint16_t>(e), "DA", "20240101");
    bench::Element(b, 0x0008, 0x0060, "CS", "OT");
    bench::Element(b, 0x0010, 0x0010, "PN", "Bench^Patient");
    bench::Us(b, 0x0028, 0x0002, 1);
    bench::Element(b, 0x0028, 0x0004, "CS", "MONOCHROME2");
    bench::Element(b, 0x0028, 0x0008, "IS", std::to_string(frames));
    bench::Us(b, 0x0028, 0x0010, 512);
    bench::Us(b, 0x0028, 0x0011, 512);
    bench::Us(b, 0x0028, 0x0100, 16);
    bench::Us(b, 0x0028, 0x0101, 12);
    bench::Us(b, 0x0028, 0x0102, 11);
    bench::Us(b, 0x0028, 0x0103, 0);
    bench::Put16(b, 0x7FE0);
    bench::Put16(b, 0x0010);
    b.insert(b.end(), { 'O', 'W', 0, 0 });
    bench::Put32(b, frames * kFrameBytes);
    return b;
}

std::string g_folder;

std::string Prepare(uint32_t megabytes)
{
    if (g_folder.empty()) {
        char folder[] = "/tmp/velmora-save-benchXXXXXX";
        g_folder = ::mkdtemp(folder);
    }
    const std::string path = g_folder + "/source" + std::to_string(megabytes) + ".dcm";
    struct stat info;
    if (::stat(path.c_str(), &info) == 0)
        return path;
    const uint32_t frames = megabytes * 2; // 2 frames of 512 KiB per MiB
    FILE* f = std::fopen(path.c_str(), "wb");
    const std::vector<uint8_t> header = Header(frames);
    std::fwrite(header.data(), 1, header.size(), f);
    std::vector<uint8_t> frame(kFrameBytes);
    for (uint32_t k = 0; k < frames; ++k) {
        for (size_t i = 0; i < frame.size(); ++i)
            frame[i] = uint8_t(i * 7 + k);
        std::fwrite(frame.data(), 1, frame.size(), f);
    }
    std::fclose(f);
    return path;
}

int64_t SizeOf(const std::string& path)
{
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 ? info.st_size : 0;
}

void BM_PlainCopy(benchmark::State& state)
{
    const std::string source = Prepare(200);
    const std::string copy = g_folder + "/copy.dcm";
    std::vector<uint8_t> buffer(128 * 1024);
    for (auto _ : state) {
        DiskFile in, out;
        if (in.Open(source.c_str(), FILE_READ) != SUCCESS
            || out.Open(copy.c_str(), FILE_CREATE | FILE_WRITE) != SUCCESS)
            state.SkipWithError("open failed");
        for (uint64_t got; (got = in.Read(buffer.data(), buffer.size())) > 0;)
            if (!out.Write(buffer.data(), got))
                state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * SizeOf(source));
    ::unlink(copy.c_str());
}
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadAndSave(benchmark::State& state)
{
    const std::string source = Prepare(200);
    const std::string saved = g_folder + "/saved.dcm";
    for (auto _ : state) {
        DataSet ds;
        if (ds.Load(source.c_str()) != SUCCESS || ds.Save(saved.c_str(), 0) != SUCCESS)
            state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * SizeOf(saved));
    state.counters["output_bytes"] = double(SizeOf(saved));
    ::unlink(saved.c_str());
}
BENCHMARK(BM_LoadAndSave)->Unit(benchmark::kMillisecond)->UseRealTime();

// Peak resident memory of a child that loads and saves the file: the parent's own allocations
// (the benchmark library, earlier runs) do not count.
void BM_SavePeakMemory(benchmark::State& state)
{
    const std::string source = Prepare(uint32_t(state.range(0)));
    const std::string saved = g_folder + "/peak.dcm";
    long peakKb = 0;
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            DataSet ds;
            const bool ok = ds.Load(source.c_str()) == SUCCESS && ds.Save(saved.c_str(), 0) == SUCCESS;
            ::_exit(ok ? 0 : 1);
        }
        int status = 0;
        rusage usage {};
        ::wait4(child, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("save failed");
        peakKb = usage.ru_maxrss;
    }
    state.counters["child_peak_rss_kb"] = double(peakKb);
    state.counters["file_mb"] = double(state.range(0));
    ::unlink(saved.c_str());
}
BENCHMARK(BM_SavePeakMemory)->Arg(50)->Arg(200)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (InstallBuiltInTables() != SUCCESS)
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!g_folder.empty()) {
        ::unlink((g_folder + "/source50.dcm").c_str());
        ::unlink((g_folder + "/source200.dcm").c_str());
        ::rmdir(g_folder.c_str());
    }
    return 0;
}
