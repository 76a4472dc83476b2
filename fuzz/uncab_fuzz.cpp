// Cabinet extraction in test mode on arbitrary bytes: the input is written to
// a temporary file and tested by TUnCab (the cabinet library decodes stored,
// MSZIP, LZX and Quantum folders). Any outcome is fine except a crash, a
// hang, or a file appearing next to the input.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/cab/zidUnCab.h"

namespace {

const std::string& WorkDir() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/uncab_fuzz-XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (d == nullptr) std::abort();
    return std::string(d);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  const std::string archive = WorkDir() + "/in.cab";
  FILE* f = std::fopen(archive.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  {
    zid::TUnCab un;
    un.SetArchiveFile(archive);
    un.FileSpec = {"*.*"};
    un.OnNextVolume = [](zid::TZipCommon*, std::string&, int, bool, bool& cancel) { cancel = true; };
    un.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
    un.ExtractTest();
  }
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(WorkDir(), ec))
    if (entry.path().filename() != "in.cab") std::abort();
  return 0;
}
