// The directory reader over arbitrary bytes taken as a GZIP or compress file:
// header fields that run past the end, trailers, names. The walk ends cleanly
// whatever the headers claim, and the totals stay consistent with what was
// reported.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/listing/zidRizER.h"

namespace {

std::string ScratchFile() {
  return "/tmp/rizer_gzip_fuzz." + std::to_string(static_cast<long>(getpid())) + ".gz";
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
  r.ShowEmptyDirs = size > 0 && (data[size - 1] & 1);
  int64_t unpacked = 0;
  int reported = 0;
  r.OnRead = [&](zid::TZipCommon* s, int, int) {
    unpacked += s->UnpackedSize;
    ++reported;
  };
  r.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  r.Activate();
  if (reported > r.FileCount && !r.ShowEmptyDirs) __builtin_trap();
  if (!r.ShowEmptyDirs && unpacked != r.TotalUnpackedSize) __builtin_trap();
  std::vector<std::string> names;
  r.GetFileList(&names);
  return 0;
}
