// TUnTar: extracts tar archives (V7, ustar, GNU, pax, star) through the
// common extract loop.
//
// TUnTarBase holds the tar walk itself, over whatever archive stream the
// component has open, so that the GZIP extractor runs the very same walk on
// a tar it has just unpacked (its entries then count in its own tally).
//
// Entries get their full names from ustar prefixes, GNU long-name records
// and pax headers. Regular files are written with their Unix mode (0777
// bits) and time; folders are folder entries; symbolic links are made when
// their target stays inside the folder; a hard link is made when it names a
// file made earlier in the same run; other hard links, devices and FIFOs are
// not created (one message names each); sparse files are reported as
// unsupported, never written with holes filled wrongly.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "engine/base/zidUnBase.h"

namespace zid {

struct TTarItem;

class TUnTarBase : public TUnBase {
 protected:
  // Scans the open archive stream from `start`, then extracts the entries
  // FileSpec selects. A header that fails its checksum ends the walk and
  // marks the archive failed; so does a file that ends inside a header.
  void ExtractTarStream(int64_t start = 0);

 private:
  void ExtractTarItem(const TTarItem& item);
  bool CopyData(const TTarItem& item);
  // A stored name as the components it is extracted to, joined ("" when refused).
  static std::string PathKey(const std::string& name);
  void RememberMade(const std::string& name, TEntryResult r);

  // Names that hard links give as their source: true once this run has made
  // that file under that very name.
  std::unordered_map<std::string, bool> linkSources_;
};

class TUnTar : public TUnTarBase {
 protected:
  void ProcessArchive() override;
};

}  // namespace zid
