// The directory reader's ARC, PAK, HA, RAR, UUE and MsGZ walkers over
// arbitrary bytes. The first byte picks the type the rest is listed as
// (whether or not detection would have recognised it) and, with bit 0x80,
// whether folders are reported. A RAR input is also written as its own next
// volume, so the volume switch is walked too. Every walk must end, and the
// totals must agree with what was reported.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_rizer.h"

namespace {

const zid::TArcType kTypes[] = {zid::atArc, zid::atPak, zid::atHA, zid::atRar, zid::atUUE, zid::atMsGZ};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const zid::TArcType type = kTypes[(data[0] & 0x7F) % (sizeof kTypes / sizeof kTypes[0])];
  static std::string path, next;
  if (!fuzzrizer::WriteScratch("rizer_walkers_fuzz", ".rar", data + 1, size - 1, path)) return 0;
  fuzzrizer::WriteScratch("rizer_walkers_fuzz", ".r00", data + 1, type == zid::atRar ? size - 1 : 0, next);

  fuzzrizer::Walk(path, (data[0] & 0x80) != 0, [type](zid::TRizER& r) {
    if (r.GetArcType() != type) {
      r.Detection().ArcType = type;
      r.Detection().ArcStartOffset = 0;
    }
  });
  return 0;
}
