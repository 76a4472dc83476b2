// The directory reader over arbitrary bytes taken as a cabinet: the walk ends
// cleanly whatever the records claim (counts, names without their NUL, folder
// indexes, reserved areas, next-cabinet names), and the totals stay
// consistent with what was reported.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/listing/zidRizER.h"

namespace {

std::string ScratchFile() {
  return "/tmp/rizer_cab_fuzz." + std::to_string(static_cast<long>(getpid())) + ".cab";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  zid::TRizER r;
  r.SetArchiveFile(path);
  r.FileSpec = {"*.*"};
  int64_t unpacked = 0;
  int reported = 0;
  r.OnRead = [&](zid::TZipCommon* s, int, int) {
    unpacked += s->UnpackedSize;
    ++reported;
  };
  // Next cabinets are never taken: a walk stays on this one file.
  r.OnNextVolume = [](zid::TZipCommon*, std::string&, int, bool, bool& cancel) { cancel = true; };
  r.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  r.Activate();
  if (reported > r.FileCount) __builtin_trap();
  if (unpacked != r.TotalUnpackedSize) __builtin_trap();
  return 0;
}
