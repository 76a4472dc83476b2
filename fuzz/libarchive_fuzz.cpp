// The libarchive adapter over arbitrary bytes: each family's reader walks
// every header and reads every entry's data in blocks, and the input, taken
// as whatever the detector makes of it, goes through the directory reader
// and the 7z/ISO/cpio extractor into a scratch folder. Any outcome is fine
// except a crash, a hang, a walk that reads on after an error, or a file
// written outside the folder.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/other/zidLibArchive.h"
#include "engine/other/zidUnLibArchive.h"
#include "fuzz_extract.h"
#include "fuzz_rizer.h"

namespace {

void Adapter(zid::TLaFamily family, const uint8_t* data, size_t size) {
  zid::TLibArchive la(
      family,
      [data, size](int64_t pos, void* buf, int64_t n) -> int64_t {
        if (pos < 0 || static_cast<size_t>(pos) >= size) return 0;
        const int64_t k = std::min<int64_t>(n, static_cast<int64_t>(size) - pos);
        std::memcpy(buf, data + pos, static_cast<size_t>(k));
        return k;
      },
      static_cast<int64_t>(size));
  if (!la.Open()) return;
  std::vector<uint8_t> buf(65536);
  zid::TLaEntry e;
  for (int entries = 0; entries < 10000; ++entries) {
    const zid::TLaStep step = la.Next(e);
    if (step != zid::TLaStep::Entry) {
      if (step == zid::TLaStep::Error && la.Error().empty()) __builtin_trap();
      return;
    }
    int64_t got;
    while ((got = la.Read(buf.data(), static_cast<int64_t>(buf.size()))) > 0) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (zid::TLaFamily f : {zid::TLaFamily::SevenZip, zid::TLaFamily::Iso9660, zid::TLaFamily::Cpio})
    Adapter(f, data, size);
  static const fuzzextract::TScratch scratch("libarchive_fuzz", "in.bin");
  if (!scratch.Write(data, size)) return 0;
  fuzzrizer::Walk(scratch.Input(), false);
  {
    zid::TUnLibArchive un;
    un.SetArchiveFile(scratch.Input());
    un.SetExtractDir(scratch.Out());
    un.FileSpec = {"*.*"};
    un.CreateStoredDirs = true;
    un.Extract();
  }
  scratch.Check();
  return 0;
}
