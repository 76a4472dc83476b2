// Copies a finished ZIP archive onto removable disks (a spanned set): asks
// for each disk through the writer's events, labels it, splits headers and
// data wherever a disk is full, and writes the central directory and the end
// record with the disk numbers of the set.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/base/zidCompHeader.h"
#include "engine/base/zidStreams.h"

namespace zid {

class TZip;

// Space every disk must offer besides the first disk's reserve.
constexpr int64_t kSpanMinFree = 10000;

class TZipSpanWriter {
 public:
  explicit TZipSpanWriter(TZip& owner) : z_(owner) {}
  // Copies the archive built in src (entries described by list) onto disks.
  bool Write(TStream32& src, TCompHeaderObj& list);

 private:
  bool RequestDisk(int64_t required);
  bool NextDisk();
  bool Put(const uint8_t* p, int64_t n);
  bool CopyRange(TStream32& src, int64_t offset, int64_t count);

  TZip& z_;
  std::unique_ptr<TFileStream32> disk_;
  int diskNo_ = -1;           // 0-based number of the disk in the drive
  uint32_t lastSerial_ = 0;
  bool haveSerial_ = false;
  int64_t room_ = 0;          // bytes still free on this disk
};

}  // namespace zid
