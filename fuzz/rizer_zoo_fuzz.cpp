// The directory reader and the extractor (test mode: nothing is written)
// over arbitrary bytes taken as a ZOO archive: both end cleanly whatever the
// headers claim (directory chains that loop or run off the end, deleted entries, sizes past the end),
// and the listing's totals stay consistent with what was reported.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/listing/zidRizER.h"
#include "engine/other/zidUnZoo.h"

namespace {

std::string ScratchFile() {
  return "/tmp/rizer_zoo_fuzz." + std::to_string(static_cast<long>(getpid())) + ".zoo";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  auto quiet = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  zid::TRizER r;
  r.SetArchiveFile(path);
  r.FileSpec = {"*.*"};
  int64_t unpacked = 0;
  int reported = 0;
  r.OnRead = [&](zid::TZipCommon* s, int, int) {
    unpacked += s->UnpackedSize;
    ++reported;
  };
  r.OnError = quiet;
  r.Activate();
  if (reported > r.FileCount) __builtin_trap();
  if (unpacked != r.TotalUnpackedSize) __builtin_trap();

  zid::TUnZoo un;
  un.SetArchiveFile(path);
  un.FileSpec = {"*.*"};
  un.Password = "fuzz";
  un.OnError = quiet;
  un.ExtractTest();
  return 0;
}
