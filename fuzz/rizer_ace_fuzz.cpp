// The directory reader over arbitrary bytes taken as an ACE archive: the
// walk ends cleanly whatever the blocks claim (sizes past the end, names past
// their header, split members without a next volume), and the reported
// sizes add up to the totals.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/listing/zidRizER.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/rizer_ace_fuzz." + std::to_string(static_cast<long>(getpid())) + ".ace";
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
  r.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  r.Activate();
  if (reported != r.FileCount || unpacked != r.TotalUnpackedSize) __builtin_trap();
  return 0;
}
