// DataSet::Load speed. Generates (once per run) 200 CT slices of 512 x 512 16-bit pixels and one
// 200 MB native multi-frame file in a scratch folder, then measures:
//   BM_LoadCtFolder  - headers-only loads of the 200 slices (files per second)
//   BM_LoadLargeFile - Load of the 200 MB file: bytes read from the system, peak RSS growth
// `data_set_load_bench --write-folder DIR` only writes the slices to DIR (for compare_load.sh).
#include "toolkit/built_in_tables.h"
#include "toolkit/data_set.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace velmora;

namespace {

struct Out {
    std::vector<uint8_t> bytes;
    void U16(uint16_t v) { bytes.insert(bytes.end(), { uint8_t(v), uint8_t(v >> 8) }); }
    void U32(uint32_t v)
    {
        U16(uint16_t(v));
        U16(uint16_t(v >> 16));
    }
    void Element(uint32_t tag, const char* vr, std::string value)
    {
        if (value.size() & 1)
            value += (std::strcmp(vr, "UI") == 0) ? '\0' : ' ';
        Header(tag, vr, uint32_t(value.size()));
        bytes.insert(bytes.end(), value.begin(), value.end());
    }
    void Header(uint32_t tag, const char* vr, uint32_t length)
    {
        U16(uint16_t(tag >> 16));
        U16(uint16_t(tag));
        if ((tag >> 16) == 0xFFFE) { // items and delimiters: tag and a 32-bit length
            U32(length);
            return;
        }
        bytes.push_back(uint8_t(vr[0]));
        bytes.push_back(uint8_t(vr[1]));
        if (!std::strcmp(vr, "OB") || !std::strcmp(vr, "OW") || !std::strcmp(vr, "SQ")) {
            U16(0);
            U32(length);
        } else {
            U16(uint16_t(length));
        }
    }
    void Us(uint32_t tag, uint16_t v)
    {
        Header(tag, "US", 2);
        U16(v);
    }
};

// A CT-like header: meta group, ~70 elements, a referenced-image sequence, then pixel data.
std::vector<uint8_t> Header(int index, uint32_t frames, uint32_t pixelBytes)
{
    Out o;
    o.bytes.assign(128, 0);
    o.bytes.insert(o.bytes.end(), { 'D', 'I', 'C', 'M' });
    o.Element(0x00020002, "UI", "1.2.840.10008.5.1.4.1.1.2");
    o.Element(0x00020003, "UI", "1.2.826.0.1.3680043.9.7" + std::to_string(index));
    o.Element(0x00020010, "UI", "1.2.840.10008.1.2.1");
    o.Element(0x00020012, "UI", "1.2.826.0.1.3680043.9.1");
    o.Element(0x00080005, "CS", "ISO_IR 100");
    o.Element(0x00080008, "CS", "ORIGINAL\\PRIMARY\\AXIAL");
    o.Element(0x00080016, "UI", "1.2.840.10008.5.1.4.1.1.2");
    o.Element(0x00080018, "UI", "1.2.826.0.1.3680043.9.7" + std::to_string(index));
    for (uint32_t e = 0x20; e <= 0x33; ++e)
        o.Element(0x00080000 | e, "DA", "20240101");
    o.Element(0x00080060, "CS", "CT");
    o.Element(0x00080070, "LO", "Velmora bench");
    o.Header(0x00081140, "SQ", 0xFFFFFFFF);
    for (int i = 0; i < 3; ++i) {
        o.Header(0xFFFEE000, "", 0xFFFFFFFF);
        o.Element(0x00081150, "UI", "1.2.840.10008.5.1.4.1.1.2");
        o.Element(0x00081155, "UI", "1.2.826.0.1.3680043.9.8." + std::to_string(i));
        o.Header(0xFFFEE00D, "", 0);
    }
    o.Header(0xFFFEE0DD, "", 0);
    o.Element(0x00100010, "PN", "Bench^Patient");
    o.Element(0x00100020, "LO", "12345");
    for (uint32_t e = 0x10; e < 0x40; e += 2)
        o.Element(0x00180000 | e, "DS", "1.25");
    o.Element(0x00200013, "IS", std::to_string(index + 1));
    o.Element(0x00200032, "DS", "-125\\-125\\" + std::to_string(index));
    o.Us(0x00280002, 1);
    o.Element(0x00280004, "CS", "MONOCHROME2");
    o.Element(0x00280008, "IS", std::to_string(frames));
    o.Us(0x00280010, 512);
    o.Us(0x00280011, 512);
    o.Us(0x00280100, 16);
    o.Us(0x00280101, 12);
    o.Us(0x00280102, 11);
    o.Us(0x00280103, 0);
    o.Element(0x00281050, "DS", "40");
    o.Element(0x00281051, "DS", "400");
    o.Header(0x7FE00010, "OW", pixelBytes);
    return o.bytes;
}

std::string g_folder;
std::vector<std::string> g_slices;
std::string g_large;

void WriteFile(const std::string& path, const std::vector<uint8_t>& header, uint64_t pixelBytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(header.data(), 1, header.size(), f);
    std::vector<uint8_t> block(1 << 20, 0x21);
    for (uint64_t left = pixelBytes; left > 0;) {
        const size_t n = size_t(std::min<uint64_t>(left, block.size()));
        std::fwrite(block.data(), 1, n, f);
        left -= n;
    }
    std::fclose(f);
}

void WriteSlices(const std::string& folder)
{
    ::mkdir(folder.c_str(), 0755);
    g_slices.clear();
    for (int i = 0; i < 200; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/ct%03d.dcm", i);
        g_slices.push_back(folder + name);
        WriteFile(g_slices.back(), Header(i, 1, 512 * 512 * 2), 512 * 512 * 2);
    }
}

void Prepare()
{
    if (!g_folder.empty())
        return;
    char folder[] = "/tmp/velmora-load-benchXXXXXX";
    g_folder = ::mkdtemp(folder);
    WriteSlices(g_folder + "/ct");
    g_large = g_folder + "/large.dcm";
    const uint32_t frames = 400; // 400 x 512 x 512 x 2 = 200 MiB
    WriteFile(g_large, Header(0, frames, frames * 512u * 512u * 2u), uint64_t(frames) * 512 * 512 * 2);
}

void BM_LoadCtFolder(benchmark::State& state)
{
    Prepare();
    for (auto _ : state) {
        for (const std::string& path : g_slices) {
            DataSet ds;
            if (ds.Load(path.c_str()) != SUCCESS)
                state.SkipWithError("load failed");
            benchmark::DoNotOptimize(ds.FirstTopLevel());
        }
    }
    state.counters["files/s"]
        = benchmark::Counter(double(g_slices.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadCtFolder)->Unit(benchmark::kMillisecond);

long PeakRssKb()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_LoadLargeFile(benchmark::State& state)
{
    Prepare();
    const long before = PeakRssKb();
    uint64_t bytesRead = 0, reads = 0;
    for (auto _ : state) {
        DataSet ds;
        if (ds.Load(g_large.c_str()) != SUCCESS)
            state.SkipWithError("load failed");
        bytesRead = ds.SourceFile().SystemBytesRead();
        reads = ds.SourceFile().SystemReads();
    }
    state.counters["bytes_read"] = double(bytesRead);
    state.counters["system_reads"] = double(reads);
    state.counters["peak_rss_growth_kb"] = double(PeakRssKb() - before);
}
BENCHMARK(BM_LoadLargeFile)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (InstallBuiltInTables() != SUCCESS)
        return 1;
    if (argc == 3 && std::strcmp(argv[1], "--write-folder") == 0) {
        WriteSlices(argv[2]);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!g_folder.empty()) {
        for (const std::string& path : g_slices)
            ::unlink(path.c_str());
        ::rmdir((g_folder + "/ct").c_str());
        ::unlink(g_large.c_str());
        ::rmdir(g_folder.c_str());
    }
    return 0;
}
