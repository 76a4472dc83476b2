// The ZIP writer's reading of an existing archive over arbitrary bytes: the
// central directory walk (place and overlap checks, the end record's counts)
// ends cleanly whatever the records claim, entries it keeps lie inside the
// file, and a delete that copies the kept entries from what was read never
// fails in a way other than a reported error.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/zip/zidZip.h"

namespace {

std::string ScratchFile() { return "/tmp/zip_writer_read_fuzz." + std::to_string(static_cast<long>(getpid())) + ".zip"; }

bool Write(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
  return true;
}

void Quiet(zid::TZip& w) {
  w.OnError = [](zid::TZipCommon*, const std::string&, const std::string&, const std::string&, int) {};
  w.DeleteOptions = zid::doFinal;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = ScratchFile();
  if (!Write(path, data, size)) return 0;

  zid::TZip reader;
  Quiet(reader);
  reader.SetArchiveFile(path);
  if (reader.LoadComments()) {
    for (int i = 0; i < reader.CommentCount(); ++i) reader.GetEntryComment(i);
    reader.SetArchiveComment("fuzz");
    reader.SaveComments();
  }
  Write(path, data, size);

  // Deleting copies every kept entry from the directory just read.
  zid::TZip del;
  Quiet(del);
  del.Switch = zid::swDelete;
  del.FileSpec = {"*a*"};
  del.SetArchiveFile(path);
  del.Compress();
  return 0;
}
