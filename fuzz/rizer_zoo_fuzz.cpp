// The directory reader and the extractor (test mode: nothing is written)
// over arbitrary bytes taken as a ZOO archive: both end cleanly whatever the
// headers claim (directory chains that loop or run off the end, deleted entries, sizes past the end),
// and the listing's totals stay consistent with what was reported.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/other/zidUnZoo.h"
#include "fuzz_rizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("rizer_zoo_fuzz", ".zoo", data, size, path)) return 0;
  fuzzrizer::Walk(path, false);
  fuzzrizer::ExtractTest<zid::TUnZoo>(path);
  return 0;
}
