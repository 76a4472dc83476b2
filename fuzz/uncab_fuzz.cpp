// Cabinet extraction in test mode on arbitrary bytes: the input is written to
// a temporary file and tested by TUnCab (the cabinet library decodes stored,
// MSZIP, LZX and Quantum folders). Any outcome is fine except a crash, a
// hang, or a file appearing next to the input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/cab/zidUnCab.h"
#include "fuzz_extract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzzextract::TScratch scratch("uncab_fuzz", "in.cab");
  if (!scratch.Write(data, size)) return 0;
  {
    zid::TUnCab un;
    un.SetArchiveFile(scratch.Input());
    un.FileSpec = {"*.*"};
    un.OnNextVolume = [](zid::TZipCommon*, std::string&, int, bool, bool& cancel) { cancel = true; };
    un.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
    un.ExtractTest();
  }
  scratch.Check();
  return 0;
}
