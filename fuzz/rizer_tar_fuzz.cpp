// The directory reader over arbitrary bytes taken as a TAR archive: checksums,
// octal and base-256 numbers, long-name and pax records of any size, sizes
// past the end. The walk ends cleanly whatever the headers claim, and the
// totals stay consistent with what was reported.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_rizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("rizer_tar_fuzz", ".tar", data, size, path)) return 0;
  fuzzrizer::Walk(path, false);
  return 0;
}
