// TUnLibArchive: extracts (or tests) the families libarchive decodes for
// us (7z, ISO 9660, cpio; zidLibArchive.h) through the common extract loop.
//
// The walk is libarchive's, in archive order (a solid 7z is decoded as one
// stream): each header becomes an entry for ExtractEntry, whose decode
// reads the entry's data in blocks and hands them to WriteDecoded, so the
// selection, the safe names, the overwrite rules and the tally are the
// loop's. Folders are folder entries, symbolic links are made when their
// target stays inside the folder, hard links when they name a file of the
// same folder; devices, FIFOs and sockets are not created. cpio keeps a
// hard-linked file's data with its last name and gives the earlier names
// empty: those wait until the data comes, which goes to the first name, the
// others becoming links to it. libarchive checks
// the data itself (7z's CRCs): a damaged entry ends with its reason. 7z's
// encryption is not offered by libarchive: such entries are refused.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/base/zidUnBase.h"
#include "engine/other/zidLibArchive.h"

namespace zid {

class TUnLibArchive : public TUnBase {
 protected:
  void ProcessArchive() override;

 private:
  void ExtractOne(TLibArchive& la, const TLaEntry& le);
  bool CopyData(TLibArchive& la, int64_t expected);
  TEntry EntryOf(const TLaEntry& le) const;
  // A cpio name of a hard-linked file waits for the data; true when le was kept for later.
  bool Deferred(TLibArchive& la, const TLaEntry& le);
  // The first name of a linked file with its data (la: the data's reader, nullptr: empty), then the others as links.
  void ExtractLinked(TLibArchive* la, const TLaEntry& first, const std::vector<TLaEntry>& others, int64_t size);

  // Waiting names by the first name of their file: that one, then the links to it.
  std::map<std::string, std::vector<TLaEntry>> waiting_;
};

}  // namespace zid
