// The directory reader and the extractor (test mode: nothing is written)
// over arbitrary bytes taken as a RAR archive, RAR 1.5-4 or RAR 5: both end
// cleanly whatever the blocks claim (sizes past the end, volume flags with no
// next volume, continued entries, solid entries after a damaged one), and the
// listing's totals stay consistent with what was reported.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/other/zidUnRar.h"
#include "fuzz_rizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("rizer_rar_fuzz", ".rar", data, size, path)) return 0;
  fuzzrizer::Walk(path, false);
  fuzzrizer::ExtractTest<zid::TUnRar>(path);
  return 0;
}
