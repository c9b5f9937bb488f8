// The search index build's own work: the grams of each record's listing, gathered into a
// segment. The texts are made in memory, so the figure is the processor's alone.

#include "bench/synthetic_library.h"

#include "catalog/tree_text.h"
#include "search/index_segment.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Listings like the ones make_library writes: made once for every repetition.
const std::vector<std::string>& listings(std::size_t nodes)
{
    // Enough records that making the writer's tables is a small part of a run.
    constexpr std::size_t Records = 400;
    static std::vector<std::string> made;
    for (std::size_t r = made.size(); r < Records; ++r) {
        made.push_back(
            catalog::WriteTreeText(bench::makeDiscTree(nodes, static_cast<std::uint32_t>(11 + r))));
    }
    return made;
}

void BM_SegmentGrams(benchmark::State& state)
{
    const auto& texts = listings(static_cast<std::size_t>(state.range(0)));
    long long bytes = 0;
    for (const auto& listing : texts) {
        bytes += static_cast<long long>(listing.size());
    }
    for (auto _ : state) {
        search::SegmentWriter writer;
        for (const auto& listing : texts) {
            search::RecordTexts record;
            record[0].push_back(listing);
            writer.add(search::IndexedRecord{}, record);
        }
        benchmark::DoNotOptimize(writer.size());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
// A shared machine's other work only ever slows a run: with --benchmark_repetitions the
// fastest is the figure.
BENCHMARK(BM_SegmentGrams)
    ->Arg(3000)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", [](const std::vector<double>& times) {
        return *std::min_element(times.begin(), times.end());
    });

} // namespace

BENCHMARK_MAIN();
