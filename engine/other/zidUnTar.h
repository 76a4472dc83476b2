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
// not created (one message names each); sparse files (old GNU and pax 0.0,
// 0.1, 1.0) are written with their holes (zeros where the output cannot hold one).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "engine/base/zidUnBase.h"

namespace zid {

struct TTarItem;
class TTarScanner;
enum class TTarStep;

class TUnTarBase : public TUnBase {
 protected:
  // Scans the open archive stream from `start`, then extracts the entries
  // FileSpec selects. A header that fails its checksum ends the walk and
  // marks the archive failed; so does a file that ends inside a header.
  void ExtractTarStream(int64_t start = 0);
  // The same walk over other bytes than the archive file's (a decompressor's):
  // readAt(pos, buf, n) as TTarScanner takes it, size their size (or more
  // when unknown: the walk ends where the bytes do).
  using TTarReadAt = std::function<int64_t(int64_t pos, uint8_t* buf, int64_t n)>;
  void ExtractTarStream(TTarReadAt readAt, int64_t size);

 private:
  void ExtractTar(int64_t size, int64_t start);
  // Reports how the walk ended (a bad header, a cut record).
  void EndTar(const TTarScanner& scan, TTarStep step);
  void ExtractTarItem(const TTarItem& item);
  bool CopyData(const TTarItem& item);
  bool CopySparse(const TTarItem& item);
  TTarReadAt tarRead_;     // where the walk reads
  bool tarFromFile_ = true;  // the archive file itself
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
