// Whole-file extraction on arbitrary bytes for the families without their own
// harness, through the format table: the first byte picks LHA, ARJ or ZOO,
// the rest is the archive. Extracted into a temporary folder (emptied after
// each run); any outcome is fine except a crash, a hang, or a file written
// outside the folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/base/zidFormats.h"
#include "engine/base/zidUnBase.h"

namespace {

const std::string& WorkDir() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/unformats_fuzz-XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (d == nullptr) std::abort();
    return std::string(d);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  if (size < 1) return 0;
  static const char* const kFormats[] = {"lha", "arj", "zoo"};
  const zid::TFormat* format = zid::FormatByName(kFormats[data[0] % 3]);
  if (format == nullptr || format->makeExtractor == nullptr) return 0;
  const std::string archive = WorkDir() + "/in.arc";
  const std::string out = WorkDir() + "/out";
  FILE* f = std::fopen(archive.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
  std::fclose(f);
  {
    auto un = format->makeExtractor(format->types[0]);
    un->SetArchiveFile(archive);
    un->FileSpec = {"*.*"};
    un->OnGetPassword = [](zid::TZipCommon*, const std::string&, std::string& pw, bool& again) {
      pw = "x";
      again = false;
    };
    if (data[0] & 0x80) {
      un->OutputMode = zid::omTest;
      un->ExtractTest();
    } else {
      un->SetExtractDir(out);
      un->CreateStoredDirs = true;
      un->Extract();
    }
  }
  std::error_code ec;
  fs::remove_all(out, ec);
  for (const auto& entry : fs::directory_iterator(WorkDir(), ec))
    if (entry.path().filename() != "in.arc") std::abort();
  return 0;
}
