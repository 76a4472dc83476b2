// Whole-archive extraction on arbitrary bytes: TUnZip extracts the input into
// a temporary folder (with a password for encrypted entries), emptied after
// each run. Any outcome is fine except a crash, a hang, or a file written
// outside the folder.
#include <cstddef>
#include <cstdint>

#include "engine/zip/zidUnZip.h"
#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzzextract::TScratch scratch("unzip_fuzz", "in.zip");
  if (!scratch.Write(data, size)) return 0;
  {
    zid::TUnZip un;
    un.SetArchiveFile(scratch.Input());
    un.SetExtractDir(scratch.Out());
    un.FileSpec = {"*.*"};
    un.CreateStoredDirs = true;
    un.Password = "fuzz";
    un.Extract();
  }
  scratch.Check();
  return 0;
}
