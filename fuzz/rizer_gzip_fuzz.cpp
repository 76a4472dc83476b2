// The directory reader over arbitrary bytes taken as a GZIP or compress file:
// header fields that run past the end, trailers, names. The walk ends cleanly
// whatever the headers claim, and the totals stay consistent with what was
// reported.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_rizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("rizer_gzip_fuzz", ".gz", data, size, path)) return 0;
  fuzzrizer::Walk(path, false);
  return 0;
}
