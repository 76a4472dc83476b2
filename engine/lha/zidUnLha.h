// TUnLha: extracts LHA/LZH archives (and their self-extractors) through the
// common extract loop.
//
// Headers of levels 0 to 3 are read by zidLhaHeader; methods -lh0-, -lh1-,
// -lh4- to -lh7-, LArc's -lz4-, -lz5- and -lzs-, and -lhd- folders. Every
// entry is checked against its CRC-16. Symbolic links (-lhd- entries of
// LHa for Unix) are not created; other methods (-lh2-, -lh3-, -lh8-, PMarc
// ...) are reported as unsupported.
#pragma once

#include "engine/base/zidUnBase.h"

namespace zid {

struct TLhaHeader;
struct TMethod;

class TUnLha : public TUnBase {
 protected:
  void ProcessArchive() override;

 private:
  void ExtractItem(const TLhaHeader& h);
  bool Decode(const TLhaHeader& h, const TMethod& method);
};

}  // namespace zid
