// The window inflater against zlib's inflate on 32 MiB of mixed data (text,
// random bytes, runs), compressed once by zlib at level 6.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>

#include "engine/zip/zidInflate.h"
#include "../tests/support/raw_deflate.h"

namespace {

const std::string& Original() {
  static const std::string data = [] {
    static const char* words[] = {"archive ", "zefa ", "deflate ", "entry ", "header ", "the ",
                                  "of ",      "and ",  "data ",    "\n",     "CRC ",    "disk "};
    std::mt19937 rng(42);
    std::string s;
    const size_t total = size_t{32} << 20;
    while (s.size() < total) {
      switch (rng() % 4) {
        case 0:
        case 1:
          for (int i = 0; i < 4000; ++i) s += words[rng() % 12];
          break;
        case 2:
          for (int i = 0; i < 16384; ++i) s.push_back(static_cast<char>(rng()));
          break;
        default:
          s.append(1000 + rng() % 8000, static_cast<char>(rng()));
      }
    }
    s.resize(total);
    return s;
  }();
  return data;
}

const std::string& Packed() {
  static const std::string packed = testutil::RawDeflate(Original(), 6);
  return packed;
}

void BM_InflateWindow(benchmark::State& state) {
  const std::string& in = Packed();
  for (auto _ : state) {
    size_t pos = 0;
    int64_t written = 0;
    zid::TDecodeJob job;
    job.source.budget = static_cast<int64_t>(in.size());
    job.source.read = [&](uint8_t* buf, int64_t n) -> int64_t {
      size_t k = std::min<size_t>(static_cast<size_t>(n), in.size() - pos);
      std::memcpy(buf, in.data() + pos, k);
      pos += k;
      return static_cast<int64_t>(k);
    };
    job.sink.write = [&](const uint8_t*, int64_t n) -> int64_t {
      written += n;
      return n;
    };
    job.expectedSize = static_cast<int64_t>(Original().size());
    if (zid::InflateWindow(job, false) != zid::drOk || written != job.expectedSize) state.SkipWithError("bad decode");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Original().size()));
}
BENCHMARK(BM_InflateWindow)->Unit(benchmark::kMillisecond);

void BM_ZlibInflate(benchmark::State& state) {
  const std::string& in = Packed();
  std::string window(32768, '\0');
  for (auto _ : state) {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    int r = Z_OK;
    while (r == Z_OK) {
      z.next_out = reinterpret_cast<Bytef*>(window.data());
      z.avail_out = static_cast<uInt>(window.size());
      r = inflate(&z, Z_NO_FLUSH);
    }
    if (r != Z_STREAM_END || z.total_out != Original().size()) state.SkipWithError("bad decode");
    inflateEnd(&z);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Original().size()));
}
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
