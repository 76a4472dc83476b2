// The directory reader and the extractor (test mode: nothing is written) over
// arbitrary bytes taken as a BH archive: both walks end cleanly whatever the
// headers claim (sizes past the end, unknown methods, encryption headers cut
// short, broken Fused and Deflate streams), and the tallies stay consistent.
// The last byte picks whether folders are reported and whether a password is
// offered, so encrypted entries are decoded too.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/lha/zidUnBH.h"
#include "fuzz_rizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("bh_fuzz", ".bh", data, size, path)) return 0;
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  fuzzrizer::Walk(path, (last & 1) != 0);
  fuzzrizer::ExtractTest<zid::TUnBh>(path, (last & 2) ? "pw" : "");
  return 0;
}
