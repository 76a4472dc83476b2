// Whole-file extraction on arbitrary bytes for the families without their own
// harness, through the format table: the first byte picks LHA, ARJ or ZOO,
// the rest is the archive. Extracted into a temporary folder (emptied after
// each run); any outcome is fine except a crash, a hang, or a file written
// outside the folder.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/base/zidFormats.h"
#include "engine/base/zidUnBase.h"
#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const fuzzextract::TScratch scratch("unformats_fuzz", "in.arc");
  static const char* const kFormats[] = {"lha", "arj", "zoo"};
  const zid::TFormat* format = zid::FormatByName(kFormats[data[0] % 3]);
  if (format == nullptr || format->makeExtractor == nullptr) return 0;
  if (!scratch.Write(data + 1, size - 1)) return 0;
  {
    auto un = format->makeExtractor(format->types[0]);
    un->SetArchiveFile(scratch.Input());
    un->FileSpec = {"*.*"};
    un->OnGetPassword = [](zid::TZipCommon*, const std::string&, std::string& pw, bool& again) {
      pw = "x";
      again = false;
    };
    if (data[0] & 0x80) {
      un->OutputMode = zid::omTest;
      un->ExtractTest();
    } else {
      un->SetExtractDir(scratch.Out());
      un->CreateStoredDirs = true;
      un->Extract();
    }
  }
  scratch.Check();
  return 0;
}
