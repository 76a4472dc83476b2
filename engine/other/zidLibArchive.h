// TLibArchive: the read-only families Debian's libarchive decodes for us
// (7z, ISO 9660, cpio), behind one small reader the walker and the extractor
// of each family share.
//
// libarchive only ever sees bytes: it reads the archive through the caller's
// ReadAt (with seeks, which 7z needs) and hands back entry headers and entry
// data in blocks. It never opens, creates or names a file on disk: where an
// entry goes is the extract loop's business (safe names, overwrite rules).
//
// Contract: Open once, then Next until it says End or Error; between two
// Next calls Read gives the current entry's data in order (0 at its end,
// -1 on damaged data with the reason in Error()). Data not read is skipped
// by the next Next. After an Error nothing more is read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/base/zidGbls.h"

struct archive;

namespace zid {

enum class TLaFamily : uint8_t { SevenZip, Iso9660, Cpio };

// The family libarchive reads for a detected type; false for the types it does not serve here.
bool LibArchiveFamily(TArcType type, TLaFamily* family);

struct TLaEntry {
  std::string name;      // as stored; UTF-8 when libarchive could make it so
  bool utf8 = false;
  int64_t size = -1;     // unpacked size, -1 when the header does not say
  int64_t mtime = -1;    // Unix seconds, -1 when not stored
  uint32_t mode = 0;     // permission bits
  uint32_t links = 1;    // names the file has (cpio keeps its data with the last one)
  char kind = 'f';       // 'f' file, 'd' folder, 'l' symbolic link, 'h' hard link, 's' device, FIFO or socket
  std::string link;      // target of a symbolic or hard link
  bool encrypted = false;
  int64_t headerOffset = 0;  // where libarchive was reading when it gave the header
};

enum class TLaStep { Entry, End, Error };

class TLibArchive {
 public:
  // Reads up to n bytes at pos; the count read (short at the end, <0 on error).
  using TReadAt = std::function<int64_t(int64_t pos, void* buf, int64_t n)>;

  TLibArchive(TLaFamily family, TReadAt read, int64_t size, int64_t start = 0);
  ~TLibArchive();
  TLibArchive(const TLibArchive&) = delete;
  TLibArchive& operator=(const TLibArchive&) = delete;

  // Reads the archive's opening records; false with Error() when they are not there.
  bool Open();
  TLaStep Next(TLaEntry& e);
  int64_t Read(void* buf, int64_t n);
  const std::string& Error() const { return error_; }

 private:
  friend struct TLaCallbacks;  // libarchive's read, seek and skip callbacks (zidLibArchive.cpp)
  void TakeError(const char* fallback);
  bool CpioNamesFit();

  TLaFamily family_;
  TReadAt read_;
  int64_t size_;
  int64_t start_;
  int64_t pos_ = 0;  // relative to start_
  std::unique_ptr<uint8_t[]> block_;
  struct archive* a_ = nullptr;
  bool failed_ = false;
  std::string error_;
};

}  // namespace zid
