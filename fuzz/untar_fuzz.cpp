// Whole-file extraction on arbitrary bytes: TUnTar extracts the input into a
// temporary folder (emptied after each run), and TUnGZip tests it. Any
// outcome is fine except a crash, a hang, or a file written outside the folder.
#include <cstddef>
#include <cstdint>

#include "engine/other/zidUnGZip.h"
#include "engine/other/zidUnTar.h"
#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzzextract::TScratch scratch("untar_fuzz", "in.tar");
  if (!scratch.Write(data, size)) return 0;
  {
    zid::TUnTar un;
    un.SetArchiveFile(scratch.Input());
    un.SetExtractDir(scratch.Out());
    un.FileSpec = {"*.*"};
    un.CreateStoredDirs = true;
    un.Extract();
  }
  {
    zid::TUnGZip un;
    un.SetArchiveFile(scratch.Input());
    un.FileSpec = {"*.*"};
    un.AsciiTranslation = size > 0 && (data[0] & 1);
    un.ExtractTest();
  }
  scratch.Check();
  return 0;
}
