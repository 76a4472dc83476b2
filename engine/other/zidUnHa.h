// TUnHa: extracts HA 0.98 archives: stored (CPY) entries and folders, each
// file checked by its CRC-32. ASC and HSC entries are reported as an
// unsupported method and left alone; the entries around them still extract.
//
// The headers are read as the directory reader reads them (zidHaHeader.h).
// A header that cannot be right ends the walk with 25114 ("Bad file header");
// the entries before it are still extracted.
#pragma once

#include "engine/base/zidUnBase.h"
#include "engine/other/zidHaHeader.h"

namespace zid {

class TUnHa : public TUnBase {
 public:
  TUnHa();
  ~TUnHa() override;

 protected:
  void ProcessArchive() override;

 private:
  void ExtractOne(const THaEntry& e);
};

}  // namespace zid
