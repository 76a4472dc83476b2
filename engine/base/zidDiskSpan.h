// Switching the disks of a ZIP set spanned over removable disks.
#pragma once

#include <cstdint>
#include <string>

namespace zid {

class TZipCommon;

class TDiskSpannObj {
 public:
  explicit TDiskSpannObj(TZipCommon& owner) : owner_(owner) {}

  // 0 = the last disk is wanted, 1 = the first, 2 and more = the next ones.
  int DiskCounter = 0;

  // Asks for the wanted disk through the owner's disk events until the disk
  // in the drive holds a ZIP record at wantedOffset (or, for the set types,
  // is the wanted disk); then opens ArchiveFile again. On failure the owner's
  // cancel flag is set.
  bool SwitchDisk(int64_t wantedOffset, int wantedDisk);

 private:
  bool IsRightDisk(int64_t wantedOffset, int wantedDisk);
  bool HasEndRecord();
  TZipCommon& owner_;
};

}  // namespace zid
