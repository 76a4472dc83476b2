// A driver for the harnesses without libFuzzer: replays every seed file given
// (files or folders), then a fixed set of variants of each seed — cut at a few
// points, bytes flipped, zeroed and set to 0xFF, a stretch doubled — so the
// normal test build (any compiler, under the sanitizers) keeps each harness
// running on its seeds and on their nearest damaged neighbours. The variants
// come from a fixed seed: a failure repeats on every run. Long fuzzing stays
// with libFuzzer (fuzz/run-long).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

void Run(const Bytes& b) {
  // A copy of exactly the input's size, so a read past its end is caught.
  uint8_t* p = static_cast<uint8_t*>(std::malloc(b.empty() ? 1 : b.size()));
  if (!b.empty()) std::copy(b.begin(), b.end(), p);
  LLVMFuzzerTestOneInput(p, b.size());
  std::free(p);
}

Bytes Variant(const Bytes& seed, std::mt19937& rng) {
  Bytes v = seed;
  if (v.empty()) {
    v.resize(1 + rng() % 64);
    for (auto& c : v) c = static_cast<uint8_t>(rng());
    return v;
  }
  const size_t n = v.size();
  switch (rng() % 6) {
    case 0: v.resize(rng() % n); break;                               // cut short
    case 1: v[rng() % n] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;  // one bit
    case 2: for (int k = 0; k < 8; ++k) v[rng() % n] = static_cast<uint8_t>(rng()); break;
    case 3: { const size_t at = rng() % n; for (size_t k = at; k < n && k < at + 4; ++k) v[k] = 0; } break;
    case 4: { const size_t at = rng() % n; for (size_t k = at; k < n && k < at + 4; ++k) v[k] = 0xFF; } break;
    default: {                                                        // a stretch doubled
      const size_t at = rng() % n, len = 1 + rng() % std::min<size_t>(n - at, 512);
      v.insert(v.begin() + static_cast<std::ptrdiff_t>(at + len), seed.begin() + static_cast<std::ptrdiff_t>(at),
               seed.begin() + static_cast<std::ptrdiff_t>(at + len));
    }
  }
  return v;
}

bool ReadFile(const std::filesystem::path& p, Bytes& out) {
  std::ifstream f(p, std::ios::binary);
  if (!f) return false;
  out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int variants = 64;
  std::vector<std::filesystem::path> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("-variants=", 0) == 0) { variants = std::atoi(a.c_str() + 10); continue; }
    if (!a.empty() && a[0] == '-') continue;  // libFuzzer's flags mean nothing here
    std::error_code ec;
    if (std::filesystem::is_directory(a, ec)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(a, ec))
        if (e.is_regular_file()) files.push_back(e.path());
    } else {
      files.emplace_back(a);
    }
  }
  std::sort(files.begin(), files.end());
  std::mt19937 rng(20261211);
  const auto start = std::chrono::steady_clock::now();
  Run(Bytes{});
  size_t runs = 1;
  for (const auto& f : files) {
    Bytes seed;
    if (!ReadFile(f, seed)) { std::fprintf(stderr, "replay: cannot read %s\n", f.c_str()); return 2; }
    Run(seed);
    ++runs;
    for (int k = 0; k < variants; ++k, ++runs) Run(Variant(seed, rng));
  }
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("replay: %zu seeds, %zu runs, %.1f s\n", files.size(), runs, secs);
  return 0;
}
