// The directory reader and the extractor (test mode: nothing is written) over
// arbitrary bytes taken as an LHA archive: both walks end cleanly whatever
// the headers claim (levels, extension chains, sizes past the end), and the
// totals stay consistent with what was reported.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/lha/zidUnLha.h"
#include "engine/listing/zidRizER.h"

namespace {

std::string ScratchFile() {
  return "/tmp/rizer_lha_fuzz." + std::to_string(static_cast<long>(getpid())) + ".lzh";
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
  r.OnRead = [&](zid::TZipCommon* s, int, int) { unpacked += s->UnpackedSize; };
  r.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  r.Activate();
  if (!r.ShowEmptyDirs && unpacked != r.TotalUnpackedSize) __builtin_trap();

  zid::TUnLha un;
  un.SetArchiveFile(path);
  un.FileSpec = {"*.*"};
  un.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  un.ExtractTest();
  const auto& st = un.Stats();
  if (st.passed + st.failed + st.skipped > st.listed) __builtin_trap();
  return 0;
}
