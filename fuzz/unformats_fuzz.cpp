// Whole-file extraction on arbitrary bytes through the format table: the
// first byte picks one of the families that extract, the rest is the archive. Extracted into a temporary folder (emptied after
// each run); any outcome is fine except a crash, a hang, or a file written
// outside the folder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/zidFormats.h"
#include "engine/base/zidUnBase.h"
#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const fuzzextract::TScratch scratch("unformats_fuzz", "in.arc");
  static const std::vector<const zid::TFormat*> families = [] {
    std::vector<const zid::TFormat*> r;
    for (const zid::TFormat& f : zid::Formats())
      if (f.makeExtractor != nullptr && !f.types.empty()) r.push_back(&f);
    return r;
  }();
  const zid::TFormat* format = families[(data[0] & 0x7F) % families.size()];
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
