// Whole-file extraction on arbitrary bytes: TUnTar extracts the input into a
// temporary folder (emptied after each run), and TUnGZip tests it. Any
// outcome is fine except a crash, a hang, or a file written outside the folder.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/other/zidUnGZip.h"
#include "engine/other/zidUnTar.h"

namespace {

const std::string& WorkDir() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/untar_fuzz-XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (d == nullptr) std::abort();
    return std::string(d);
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  const std::string archive = WorkDir() + "/in.tar";
  const std::string out = WorkDir() + "/out";
  FILE* f = std::fopen(archive.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  {
    zid::TUnTar un;
    un.SetArchiveFile(archive);
    un.SetExtractDir(out);
    un.FileSpec = {"*.*"};
    un.CreateStoredDirs = true;
    un.Extract();
  }
  {
    zid::TUnGZip un;
    un.SetArchiveFile(archive);
    un.FileSpec = {"*.*"};
    un.AsciiTranslation = size > 0 && (data[0] & 1);
    un.ExtractTest();
  }
  std::error_code ec;
  fs::remove_all(out, ec);
  // Nothing may appear next to the folder.
  for (const auto& entry : fs::directory_iterator(WorkDir(), ec))
    if (entry.path().filename() != "in.tar") std::abort();
  return 0;
}
