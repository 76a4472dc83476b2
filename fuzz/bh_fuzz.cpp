// The directory reader and the extractor (test mode: nothing is written) over
// arbitrary bytes taken as a BH archive: both walks end cleanly whatever the
// headers claim (sizes past the end, unknown methods, encryption headers cut
// short, broken Fused and Deflate streams), and the tallies stay consistent.
// The last byte picks whether a password is offered, so encrypted entries are
// decoded too.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/lha/zidUnBH.h"
#include "engine/listing/zidRizER.h"

namespace {

std::string ScratchFile() { return "/tmp/bh_fuzz." + std::to_string(static_cast<long>(getpid())) + ".bh"; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  const uint8_t last = size > 0 ? data[size - 1] : 0;

  zid::TRizER r;
  r.SetArchiveFile(path);
  r.FileSpec = {"*.*"};
  r.ShowEmptyDirs = (last & 1) != 0;
  int64_t unpacked = 0;
  r.OnRead = [&](zid::TZipCommon* s, int, int) { unpacked += s->UnpackedSize; };
  r.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  r.Activate();
  if (!r.ShowEmptyDirs && unpacked != r.TotalUnpackedSize) __builtin_trap();

  zid::TUnBh un;
  un.SetArchiveFile(path);
  un.FileSpec = {"*.*"};
  if (last & 2) un.Password = "pw";
  un.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  un.ExtractTest();
  const auto& st = un.Stats();
  if (st.passed + st.failed + st.skipped > st.listed) __builtin_trap();
  return 0;
}
