// The directory reader over arbitrary bytes taken as an ACE archive: the
// walk ends cleanly whatever the blocks claim (sizes past the end, names past
// their header, split members without a next volume), and the reported
// sizes add up to the totals.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_rizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("rizer_ace_fuzz", ".ace", data, size, path)) return 0;
  fuzzrizer::Walk(path, false, nullptr, true);
  return 0;
}
