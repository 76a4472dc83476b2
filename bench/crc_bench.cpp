// CRC-32 throughput: one table lookup per byte against zlib's crc32(), and
// the engine's UpdateCrc32 as shipped; CRC-16 for comparison. 64 MiB each.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "engine/base/zidCrc.h"

namespace {

const std::vector<uint8_t>& Data() {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> d(64u << 20);
    std::mt19937 rng(1);
    for (auto& b : d) b = static_cast<uint8_t>(rng());
    return d;
  }();
  return data;
}

void BM_Crc32Table(benchmark::State& state) {
  const auto& d = Data();
  for (auto _ : state) {
    uint32_t c = zid::kCrc32Init;
    for (uint8_t b : d) c = zid::Crc32Step(c, b);
    benchmark::DoNotOptimize(c);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(d.size()));
}

void BM_Crc32Zlib(benchmark::State& state) {
  const auto& d = Data();
  for (auto _ : state) {
    uLong c = crc32(0, d.data(), static_cast<uInt>(d.size()));
    benchmark::DoNotOptimize(c);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(d.size()));
}

void BM_UpdateCrc32(benchmark::State& state) {
  const auto& d = Data();
  for (auto _ : state) {
    uint32_t c = zid::kCrc32Init;
    zid::UpdateCrc32(d.data(), static_cast<int64_t>(d.size()), c);
    benchmark::DoNotOptimize(c);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(d.size()));
}

void BM_UpdateCrc16(benchmark::State& state) {
  const auto& d = Data();
  for (auto _ : state) {
    uint16_t c = 0;
    zid::UpdateCrc16(d.data(), static_cast<int64_t>(d.size()), c);
    benchmark::DoNotOptimize(c);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(d.size()));
}

BENCHMARK(BM_Crc32Table)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateCrc32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateCrc16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
