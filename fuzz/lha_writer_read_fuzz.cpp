// The LHA writer's reading of an existing archive over arbitrary bytes: the
// header walk (levels 0, 1, 2, extended headers, a look-alike start) ends
// cleanly whatever the headers claim, and a delete that rewrites the archive
// from what was read never fails in a way other than a reported error.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/lha/zidLha.h"

namespace {

std::string ScratchFile() { return "/tmp/lha_writer_read_fuzz." + std::to_string(static_cast<long>(getpid())) + ".lzh"; }

bool Write(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  return true;
}

void Quiet(zid::TLha& w) {
  w.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  w.DeleteOptions = zid::doFinal;
  w.CompressionMethod = zid::cmInMemory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile();
  if (!Write(path, data, size)) return 0;

  zid::TLha reader;
  Quiet(reader);
  reader.Switch = zid::swRead;
  int64_t packed = 0;
  reader.OnRead = [&packed](zid::TZipCommon* s, int64_t, int) {
    if (s->PackedSize < 0 || s->UnpackedSize < 0) __builtin_trap();
    packed += s->PackedSize;
  };
  reader.SetArchiveFile(path);
  reader.Compress();
  if (packed > static_cast<int64_t>(size)) __builtin_trap();

  // Deleting rewrites every kept entry from the headers just read.
  zid::TLha del;
  Quiet(del);
  del.Switch = zid::swDelete;
  del.FileSpec = {"*a*"};
  del.SetArchiveFile(path);
  del.Compress();
  return 0;
}
