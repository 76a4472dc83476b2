// The LHA writer's reading of an existing archive over arbitrary bytes: the
// header walk (levels 0, 1, 2, extended headers, a look-alike start) ends
// cleanly whatever the headers claim, and a delete that rewrites the archive
// from what was read never fails in a way other than a reported error.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/lha/zidLha.h"
#include "fuzz_writer.h"

namespace {

void InMemory(zid::TLha& w) { w.CompressionMethod = zid::cmInMemory; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("lha_writer_read_fuzz", ".lzh", data, size, path)) return 0;

  zid::TLha reader;
  fuzzwriter::Quiet(reader);
  InMemory(reader);
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
  fuzzwriter::DeleteSome<zid::TLha>(path, InMemory);
  return 0;
}
