// Whole-archive extraction on arbitrary bytes: the input is written to a
// temporary file and extracted by TUnZip into a temporary folder (with a
// password for encrypted entries), which is emptied after each run. Every
// input is extracted twice: method 8 entries decoded in one call, then all
// streamed through zlib. Any outcome is fine except a crash, a hang, or a file
// written outside the folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/zip/zidUnZip.h"
#include "engine/zip/zidUnZipDecode.h"

namespace {

const std::string& WorkDir() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/unzip_fuzz-XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (d == nullptr) std::abort();
    return std::string(d);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  const std::string archive = WorkDir() + "/in.zip";
  const std::string out = WorkDir() + "/out";
  FILE* f = std::fopen(archive.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  for (const int64_t cap : {int64_t{32} << 20, int64_t{0}}) {
    zid::SetInflateOneCallCap(cap);
    {
      zid::TUnZip un;
      un.SetArchiveFile(archive);
      un.SetExtractDir(out);
      un.FileSpec = {"*.*"};
      un.CreateStoredDirs = true;
      un.Password = "fuzz";
      un.Extract();
    }
    std::error_code ec;
    fs::remove_all(out, ec);
    // Nothing may appear next to the folder.
    for (const auto& entry : fs::directory_iterator(WorkDir(), ec))
      if (entry.path().filename() != "in.zip") std::abort();
  }
  return 0;
}
