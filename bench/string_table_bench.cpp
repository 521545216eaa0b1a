// StringTable against std::unordered_map with transparent look-up, on the
// work a scan gives them: tens of thousands of distinct stored paths of 48 to
// 120 bytes, each met about twice, looked up each time and added when
// missing (the first time). Each iteration is one run on a table emptied
// with clear(), as the resolver does between scans. Arguments: the number of
// distinct paths.
//
//   build-bench/bin/korvane_string_table_bench --benchmark_repetitions=5
//       --benchmark_enable_random_interleaving=true

#include "bench/bench_support.h"
#include "text/string_table.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

using korvane::StringTable;
using korvane::bench::Random;

// Distinct Windows paths of 48 to 120 bytes, and the order in which a scan
// meets them: each one twice, the second time a while after the first.
struct Workload {
    std::vector<std::string> paths;
    std::vector<std::uint32_t> order;
};

Workload makeWorkload(std::size_t distinct)
{
    static constexpr std::array<std::string_view, 6> kRoots = {"D:\\Video\\", "E:\\Footage\\", "C:\\Users\\Editor\\Videos\\",
                                                               "\\\\nas\\media\\", "D:\\Projects\\Archive\\", "F:\\"};
    static constexpr std::array<std::string_view, 5> kNames = {"Wedding ceremony", "Interview", "Scene", "Ambience",
                                                               "DJI"};
    static constexpr std::array<std::string_view, 5> kExtensions = {".avi", ".wav", ".bmp", ".mpg", ".jpg"};
    Random random(42);
    Workload w;
    while (w.paths.size() < distinct) {
        std::string path(random.pick(kRoots));
        path.append("Project ").append(std::to_string(random.below(40)));
        path.append("\\Day ").append(std::to_string(random.below(9))).append("\\");
        path.append(random.pick(kNames)).append(" ").append(std::to_string(w.paths.size()));
        const std::size_t length = static_cast<std::size_t>(random.between(48, 120));
        while (path.size() + 4 < length)
            path += random.chance(0.2) ? ' ' : static_cast<char>('a' + random.below(26));
        path += random.pick(kExtensions);
        w.paths.push_back(std::move(path));
    }
    // First meetings in order, each second meeting up to a thousand paths
    // later.
    std::vector<std::vector<std::uint32_t>> later(distinct + 1001);
    for (std::uint32_t k = 0; k < distinct; ++k) {
        later[k + 1 + random.below(1000)].push_back(k);
        for (const std::uint32_t again : later[k])
            w.order.push_back(again);
        w.order.push_back(k);
    }
    for (std::size_t k = distinct; k < later.size(); ++k)
        for (const std::uint32_t again : later[k])
            w.order.push_back(again);
    return w;
}

const Workload& workload(std::size_t distinct)
{
    static std::unordered_map<std::size_t, Workload> made;
    auto it = made.find(distinct);
    if (it == made.end())
        it = made.emplace(distinct, makeWorkload(distinct)).first;
    return it->second;
}

void BM_StringTable(benchmark::State& state)
{
    const Workload& w = workload(static_cast<std::size_t>(state.range(0)));
    StringTable table;
    for (auto _ : state) {
        table.clear();
        std::uint64_t sum = 0;
        for (const std::uint32_t k : w.order) {
            const std::string_view key = w.paths[k];
            const std::uint32_t hash = table.hashOf(key);
            if (const std::uint32_t* value = table.find(key, hash))
                sum += *value;
            else
                table.insert(key, hash, k);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(w.order.size()));
}

template <class Hasher>
struct Transparent {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const { return Hasher{}(key); }
};

struct BytesHash {
    std::size_t operator()(std::string_view key) const { return korvane::hashBytes(key); }
};

template <class Hasher>
void BM_UnorderedMap(benchmark::State& state)
{
    const Workload& w = workload(static_cast<std::size_t>(state.range(0)));
    std::unordered_map<std::string, std::uint32_t, Transparent<Hasher>, std::equal_to<>> table;
    for (auto _ : state) {
        table.clear();
        std::uint64_t sum = 0;
        for (const std::uint32_t k : w.order) {
            const std::string_view key = w.paths[k];
            if (const auto it = table.find(key); it != table.end())
                sum += it->second;
            else
                table.emplace(key, k);
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(w.order.size()));
}

} // namespace

BENCHMARK(BM_StringTable)->Arg(20000)->Arg(80000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnorderedMap<std::hash<std::string_view>>)
    ->Name("BM_UnorderedMap/std_hash")
    ->Arg(20000)
    ->Arg(80000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnorderedMap<BytesHash>)
    ->Name("BM_UnorderedMap/hashBytes")
    ->Arg(20000)
    ->Arg(80000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
