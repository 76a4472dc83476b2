// The directory reader over arbitrary bytes taken as a ZIP archive: the walk
// ends cleanly whatever the headers claim (names and sizes past the end,
// huge entry counts, zip64 fields, enciphered records), and the totals stay
// consistent with what was reported.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_rizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("rizer_zip_fuzz", ".zip", data, size, path)) return 0;
  fuzzrizer::Walk(path, size > 0 && (data[size - 1] & 1));
  return 0;
}
