// TUnArc: extracts ARC and PAK archives (and their self-extractors):
// stored (1, 2), packed (3), squeezed (4), crunched (5-8) and squashed (9)
// entries, each checked by its CRC-16, the entries of ARC 6 folders below
// their folder names. ARC's encryption (the packed bytes XORed with the
// password in capitals, repeated) cannot be told from the headers: with a password (-p)
// every entry is deciphered, and a wrong one fails the CRC.
//
// The headers are read as the directory reader reads them (zidArcHeader.h),
// the methods are the records of zidArcMethods.h.
// A header that cannot be right ends the walk with 25114 ("Bad file header");
// the entries before it are still extracted.
#pragma once

#include <string>
#include <vector>

#include "engine/base/zidUnBase.h"
#include "engine/other/zidArcHeader.h"

namespace zid {

class TUnArc : public TUnBase {
 public:
  TUnArc();
  ~TUnArc() override;

 protected:
  void ProcessArchive() override;

 private:
  struct TItem {
    TArcHeader header;
    std::string folder;  // the ARC 6 folders it is in, each with a trailing "/"
    int64_t dataOffset = 0;
  };
  void ExtractOne(const TItem& item);
  bool pak_ = false;  // PAK's method table (its own 10 and 11)
};

}  // namespace zid
