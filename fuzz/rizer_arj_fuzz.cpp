// The directory reader and the extractor (test mode: nothing is written)
// over arbitrary bytes taken as an ARJ archive: both end cleanly whatever the
// headers claim (volume flags with no next volume, continued entries, garbled entries, sizes past the end),
// and the listing's totals stay consistent with what was reported.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/other/zidUnArj.h"
#include "fuzz_rizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("rizer_arj_fuzz", ".arj", data, size, path)) return 0;
  fuzzrizer::Walk(path, false);
  fuzzrizer::ExtractTest<zid::TUnARJ>(path);
  return 0;
}
