// The ZIP writer's reading of an existing archive over arbitrary bytes: the
// central directory walk (place and overlap checks, the end record's counts)
// ends cleanly whatever the records claim, entries it keeps lie inside the
// file, and a delete that copies the kept entries from what was read never
// fails in a way other than a reported error.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/zip/zidZip.h"
#include "fuzz_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path;
  if (!fuzzrizer::WriteScratch("zip_writer_read_fuzz", ".zip", data, size, path)) return 0;

  zid::TZip reader;
  fuzzwriter::Quiet(reader);
  reader.SetArchiveFile(path);
  if (reader.LoadComments()) {
    for (int i = 0; i < reader.CommentCount(); ++i) reader.GetEntryComment(i);
    reader.SetArchiveComment("fuzz");
    reader.SaveComments();
  }
  fuzzrizer::WriteScratch("zip_writer_read_fuzz", ".zip", data, size, path);

  // Deleting copies every kept entry from the directory just read.
  fuzzwriter::DeleteSome<zid::TZip>(path);
  return 0;
}
