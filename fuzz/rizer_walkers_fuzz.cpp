// The directory reader's ARC, PAK, HA, RAR, UUE and MsGZ walkers over
// arbitrary bytes. The first byte picks the type the rest is listed as
// (whether or not detection would have recognised it) and, with bit 0x80,
// whether folders are reported. A RAR input is also written as its own next
// volume, so the volume switch is walked too. Every walk must end, and the
// totals must agree with what was reported.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/listing/zidRizER.h"

namespace {

const zid::TArcType kTypes[] = {zid::atArc, zid::atPak, zid::atHA, zid::atRar, zid::atUUE, zid::atMsGZ};

std::string ScratchBase() { return "/tmp/rizer_walkers_fuzz." + std::to_string(static_cast<long>(getpid())); }

void WriteAll(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const std::string base = ScratchBase();
  const zid::TArcType type = kTypes[(data[0] & 0x7F) % (sizeof kTypes / sizeof kTypes[0])];
  const std::string path = base + ".rar";
  WriteAll(path, data + 1, size - 1);
  WriteAll(base + ".r00", data + 1, type == zid::atRar ? size - 1 : 0);

  zid::TRizER r;
  r.SetArchiveFile(path);
  if (r.GetArcType() != type) {
    r.Detection().ArcType = type;
    r.Detection().ArcStartOffset = 0;
  }
  r.FileSpec = {"*.*"};
  r.ShowEmptyDirs = (data[0] & 0x80) != 0;
  int64_t unpacked = 0;
  int reported = 0;
  r.OnRead = [&](zid::TZipCommon* s, int, int) {
    unpacked += s->UnpackedSize;
    ++reported;
  };
  r.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  r.Activate();
  if (!r.ShowEmptyDirs && reported > r.FileCount) __builtin_trap();
  if (!r.ShowEmptyDirs && unpacked != r.TotalUnpackedSize) __builtin_trap();
  std::vector<std::string> names;
  r.GetFileList(&names);
  return 0;
}
