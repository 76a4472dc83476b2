// Wildcard matching as the extractors use it: one mask against many names.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "engine/base/zidMask.h"

namespace {

std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (int i = 0; i < 1000; ++i)
    names.push_back("folder" + std::to_string(i % 17) + "/file_" + std::to_string(i) + (i % 3 ? ".txt" : ".dat"));
  return names;
}

void BM_CompiledMask(benchmark::State& state, const char* mask) {
  const auto names = Names();
  const zid::TInternalMask m(mask);
  for (auto _ : state) {
    int hits = 0;
    for (const auto& n : names) hits += m.Matches(n);
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

void BM_MatchesMask(benchmark::State& state) {
  const auto names = Names();
  for (auto _ : state) {
    int hits = 0;
    for (const auto& n : names) hits += zid::MatchesMask(n, "*file_1*.txt");
    benchmark::DoNotOptimize(hits);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(names.size()));
}

// Many stars against a long name that almost matches: the backtracking case.
void BM_Backtracking(benchmark::State& state) {
  const std::string name(4096, 'a');
  const zid::TInternalMask m("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b");
  for (auto _ : state) benchmark::DoNotOptimize(m.Matches(name));
}

}  // namespace

BENCHMARK_CAPTURE(BM_CompiledMask, star_ext, "*.txt");
BENCHMARK_CAPTURE(BM_CompiledMask, folder, "folder1*/*_1??.*");
BENCHMARK(BM_MatchesMask);
BENCHMARK(BM_Backtracking);
BENCHMARK_MAIN();
