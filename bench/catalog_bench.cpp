// Reading a record and loading the box tree with its counts.

#include "bench/synthetic_library.h"

#include "catalog/box_tree.h"
#include "catalog/record_files.h"
#include "catalog/text.h"
#include "catalog/tree_text.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string scratchFolder(const std::string& name)
{
    const char* base = std::getenv("TMPDIR");
    const std::string folder =
        std::string(base && *base ? base : "/tmp") + "/vellumark-bench-" + name + "/";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

void BM_ParseTreeText(benchmark::State& state)
{
    const std::string text =
        catalog::WriteTreeText(bench::makeDiscTree(static_cast<std::size_t>(state.range(0)), 7));
    catalog::Tree tree;
    for (auto _ : state) {
        benchmark::DoNotOptimize(catalog::ReadTreeText(text, tree));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(text.size()));
}
BENCHMARK(BM_ParseTreeText)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_LoadRecordTree(benchmark::State& state)
{
    const std::string folder = scratchFolder("record");
    const std::string name = catalog::utf8ToGbk("大光盘");
    bench::writeRecord(folder, name,
                       bench::makeDiscTree(static_cast<std::size_t>(state.range(0)), 7), 7);
    catalog::Tree tree;
    for (auto _ : state) {
        benchmark::DoNotOptimize(catalog::LoadRecordTree({folder, name}, ".Cdr", tree));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_LoadRecordTree)->Arg(200000)->Unit(benchmark::kMillisecond);

void BM_BoxTreeWithCounts(benchmark::State& state)
{
    const std::string root = scratchFolder("library") + "Orlendy/";
    bench::LibraryShape shape;
    shape.cds = static_cast<std::size_t>(state.range(0));
    shape.nodesPerCd = 20;
    bench::writeLibrary(root, shape);
    for (auto _ : state) {
        benchmark::DoNotOptimize(catalog::LoadLibraryTree(root));
        benchmark::DoNotOptimize(catalog::CountBoxEntries(root, catalog::CountMode::Records, true));
    }
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_BoxTreeWithCounts)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
