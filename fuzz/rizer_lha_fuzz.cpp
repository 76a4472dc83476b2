// The directory reader and the extractor (test mode: nothing is written) over
// arbitrary bytes taken as an LHA archive: both walks end cleanly whatever
// the headers claim (levels, extension chains, sizes past the end), and the
// totals stay consistent with what was reported.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/lha/zidUnLha.h"
#include "fuzz_rizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("rizer_lha_fuzz", ".lzh", data, size, path)) return 0;
  fuzzrizer::Walk(path, false);
  fuzzrizer::ExtractTest<zid::TUnLha>(path);
  return 0;
}
