// Passes over damaged copies of good archives, for any format: every cut
// of the file (truncation pass) and random bytes written over it (mutation
// pass). Each run goes through a watchdog: a run that hangs aborts the
// test binary, a crash ends it; either way the pass fails.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <random>
#include <string>
#include <vector>

#include "support/testutil.h"

namespace testutil {

// Runs fn, aborting the binary when it takes longer than `seconds`.
template <typename Fn>
auto WithWatchdog(Fn fn, int seconds, const std::string& what) {
  auto fut = std::async(std::launch::async, fn);
  if (fut.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
    std::fprintf(stderr, "%s did not end within %d s\n", what.c_str(), seconds);
    std::abort();
  }
  return fut.get();
}

// Writes `archive` cut at every length from 0 to its size - 1 to `path` and
// asks `clean` about each: true when the run reported no error or warning
// and every entry passed. Returns the lengths whose run was clean (a
// damaged archive should never pass for a good one).
inline std::vector<size_t> CleanCuts(const std::string& archive, const std::string& path,
                                     const std::function<bool(const std::string&)>& clean) {
  std::vector<size_t> passed;
  for (size_t n = 0; n < archive.size(); ++n) {
    WriteFile(path, archive.substr(0, n));
    if (WithWatchdog([&] { return clean(path); }, 10, path + " cut at " + std::to_string(n))) passed.push_back(n);
  }
  return passed;
}

// Writes `rounds` copies of `archive` with 1 to 8 random bytes changed (the
// same copies for the same seed) to `path` and runs `run` over each.
inline void MutationPass(const std::string& archive, const std::string& path, int rounds, uint32_t seed,
                         const std::function<void(const std::string&)>& run) {
  if (archive.empty()) return;
  std::mt19937 rng(seed);
  for (int i = 0; i < rounds; ++i) {
    std::string copy = archive;
    const int changes = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < changes; ++k) copy[rng() % copy.size()] = static_cast<char>(rng() & 0xFF);
    WriteFile(path, copy);
    WithWatchdog([&] { run(path); }, 10, path + " mutation " + std::to_string(i));
  }
}

}  // namespace testutil
