// TUnLibArchive: extracts (or tests) the families libarchive decodes for
// us (7z, ISO 9660, cpio; zidLibArchive.h) through the common extract loop.
//
// The walk is libarchive's, in archive order (a solid 7z is decoded as one
// stream): each header becomes an entry for ExtractEntry, whose decode
// reads the entry's data in blocks and hands them to WriteDecoded, so the
// selection, the safe names, the overwrite rules and the tally are the
// loop's. Folders are folder entries, symbolic links are made when their
// target stays inside the folder, hard links when they name a file of the
// same folder; devices, FIFOs and sockets are not created. libarchive checks
// the data itself (7z's CRCs): a damaged entry ends with its reason. 7z's
// encryption is not offered by libarchive: such entries are refused.
#pragma once

#include "engine/base/zidUnBase.h"

namespace zid {

struct TLaEntry;
class TLibArchive;

class TUnLibArchive : public TUnBase {
 protected:
  void ProcessArchive() override;

 private:
  void ExtractOne(TLibArchive& la, const TLaEntry& le);
  bool CopyData(TLibArchive& la, int64_t expected);
};

}  // namespace zid
