// TUnZoo: extracts ZOO archives: stored entries (method 0), the ZOO LZW
// (method 1) and LZH (method 2, through LzhDecode). Checksums are CRC-16.
//
// The directory is a chain of entries from the archive header's first-entry
// position; it ends at an entry whose next pointer is 0. A chain that does
// not move forward (a pointer to the entry itself or back), a pointer past
// the end of the file and a wrong tag end it with 25114 ("Bad file header");
// the entries found before are still extracted. Entries marked deleted are
// left alone, as ZOO itself does.
#pragma once

#include <vector>

#include "engine/base/zidUnBase.h"
#include "engine/other/zidZooHeader.h"

namespace zid {

class TUnZoo : public TUnBase {
 public:
  TUnZoo();
  ~TUnZoo() override;

 protected:
  void ProcessArchive() override;

 private:
  int64_t ReadAt(int64_t pos, void* buf, int64_t n);
  void ExtractOne(const TZooEntry& e);
};

}  // namespace zid
