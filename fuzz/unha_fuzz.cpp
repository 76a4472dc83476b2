// HA extraction on arbitrary bytes (taken as HA whatever detection says;
// 0x80 of byte 0: test instead of extract) into a temporary folder emptied
// after each run. Any outcome is fine except a crash, a hang, or a file
// written outside the folder.
#include <cstddef>
#include <cstdint>

#include "engine/other/zidUnHa.h"
#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const fuzzextract::TScratch scratch("unha_fuzz", "in.ha");
  if (!scratch.Write(data + 1, size - 1)) return 0;
  {
    zid::TUnHa un;
    un.SetArchiveFile(scratch.Input());
    un.Detection().ArcType = zid::atHA;
    un.Detection().ArcStartOffset = 0;
    un.FileSpec = {"*.*"};
    if (data[0] & 0x80) {
      un.OutputMode = zid::omTest;
      un.ExtractTest();
    } else {
      un.SetExtractDir(scratch.Out());
      un.CreateStoredDirs = true;
      un.Extract();
    }
  }
  scratch.Check();
  return 0;
}
