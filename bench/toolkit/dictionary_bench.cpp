// Look-up speed of the dictionaries on the paths every parsed element takes: the tag
// dictionary's IndexOf (each implicit-VR element), the UID dictionary's Find (each transfer
// syntax) and the VR dictionary's Swap (each big-endian binary value).
#include "toolkit/built_in_tables.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <random>
#include <string>
#include <vector>

using namespace velmora;

namespace {

struct Installed {
    Installed() { InstallBuiltInTables(); }
};
const Installed kInstalled;

// Tags as a folder scan meets them: mostly dictionary tags, some private and repeating groups.
std::vector<Tag> TypicalTags()
{
    std::vector<Tag> tags;
    const auto rows = BuiltInTagRows();
    for (const TagRow& row : rows)
        tags.push_back(row.tag);
    std::mt19937 random(1);
    for (size_t i = 0; i < rows.size() / 4; ++i) {
        tags.push_back(
            MakeTag(static_cast<uint16_t>(0x0009 + 2 * (random() % 0x40)), static_cast<uint16_t>(random())));
        tags.push_back(MakeTag(static_cast<uint16_t>(0x6000 + 2 * (random() % 16)), 0x3000));
    }
    std::shuffle(tags.begin(), tags.end(), random);
    return tags;
}

template <bool Scan> void TagIndexOf(benchmark::State& state)
{
    const TagDictionary& dictionary = GlobalTagDictionary();
    const std::vector<Tag> tags = TypicalTags();
    size_t i = 0;
    for (auto _ : state) {
        const Tag tag = tags[i++ % tags.size()];
        benchmark::DoNotOptimize(Scan ? dictionary.IndexOfByScan(tag) : dictionary.IndexOf(tag));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(TagIndexOf<false>)->Name("TagDictionary/IndexOf");
BENCHMARK(TagIndexOf<true>)->Name("TagDictionary/IndexOfByScan");

void UidFind(benchmark::State& state)
{
    const UidDictionary& dictionary = GlobalUidDictionary();
    std::vector<std::string> uids;
    for (const UidRow& row : BuiltInUidRows())
        uids.emplace_back(row.uid);
    uids.emplace_back("1.2.840.10008.1.2.1 ");
    uids.emplace_back("1.2.826.0.1.3680043.2.1125.1.99");
    size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(dictionary.Find(uids[i++ % uids.size()]));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(UidFind)->Name("UidDictionary/Find");

void VrSwap(benchmark::State& state, uint16_t code)
{
    const VrDictionary& dictionary = GlobalVrDictionary();
    const int32_t index = dictionary.IndexOf(code);
    std::vector<uint8_t> value(static_cast<size_t>(state.range(0)), 0x5A);
    for (auto _ : state) {
        dictionary.Swap(
            index, value.data(), static_cast<uint32_t>(value.size()), ByteOrder::Big, ByteOrder::Little);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK_CAPTURE(VrSwap, US, vr::US)->Name("VrDictionary/Swap/US")->Arg(2)->Arg(512 * 512 * 2);
BENCHMARK_CAPTURE(VrSwap, FD, vr::FD)->Name("VrDictionary/Swap/FD")->Arg(8)->Arg(1 << 20);
BENCHMARK_CAPTURE(VrSwap, AT, vr::AT)->Name("VrDictionary/Swap/AT")->Arg(4);

} // namespace

BENCHMARK_MAIN();
