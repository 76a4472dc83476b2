// The directory reader over arbitrary bytes taken as a cabinet: the walk ends
// cleanly whatever the records claim (counts, names without their NUL, folder
// indexes, reserved areas, next-cabinet names), and the totals stay
// consistent with what was reported.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_rizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("rizer_cab_fuzz", ".cab", data, size, path)) return 0;
  // Next cabinets are never taken: a walk stays on this one file.
  fuzzrizer::Walk(path, false, [](zid::TRizER& r) {
    r.OnNextVolume = [](zid::TZipCommon*, std::string&, int, bool, bool& cancel) { cancel = true; };
  });
  return 0;
}
