// TLha: the LHA writer. Plugs into the write loop of TCompBase: reads the
// headers of an existing archive (levels 0, 1, 2), copies kept entries as
// they are, rewrites renamed ones as level 0, and writes each new file under
// a level-0 header: -lh0- (stored), -lh5- or -lh6- (the LZH encoder), -lhd-
// for folders.
//
// A new entry's header goes out first with a packed size of 0; the data is
// compressed behind it and the header rewritten with the real sizes and the
// CRC-16. The files of a tree are compressed ahead on worker threads, one
// file per core (TZipPrefetch with this writer's data step), and written in
// order: the archive is the one a single thread writes. When compressing does not pay, the archive is cut back to the end
// of the header and the file stored, so nothing of the abandoned data stays.
//
// Names are written as their UTF-8 bytes (no OEM translation: lhasa and 7-Zip
// show UTF-8 names right on Linux, a CP437 name comes out mangled), with "\"
// between folders. Each header carries the Unix extension of level 0 (Unix
// time and mode), which lhasa applies when extracting. The old archive is
// read with the shared header reader (each old entry keeps its header as
// its record); level-0 and level-1 checksums must hold, since the new
// archive is rebuilt from what was read.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/base/zidCompBase.h"
#include "engine/lha/zidLhaEntry.h"
#include "engine/lha/zidLhaHeader.h"
#include "engine/zip/zidZipPrefetch.h"

namespace zid {

class TLha : public TCompBase {
 public:
  TLha();

  // The type is fixed: any value restores atLha.
  void SetArcType(TArcType value) override;
  // Threads compressing files ahead of the write loop: 0 one per core, 1 none
  // (the loop compresses each file itself). The archive is the same either way.
  int CompressWorkers = 0;

 protected:
  bool ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) override;
  bool CompressEntry(TStream32& out, TCompHeaderObj& list, int index) override;
  bool CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) override;
  bool CopyRenamedEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) override;
  void WriteEmptyArchive(TStream32& out) override;
  bool FinishArchive(TStream32& out, TCompHeaderObj& list) override;
  void AfterWrite(TCompHeaderObj& list) override;
  int EntryHeaderSize() const override { return 24; }
  TWriterLimits WriterLimits() const override;

 private:
  // Fills the current-entry properties from a header (swRead).
  void ShowEntry(const TLhaHeader& h, const TLhaEntry& e);
  // Writes the data of a new file behind its header; returns its method
  // character ('0' when stored) or 0 on failure (reported).
  // Hands the files from `from` on to worker threads (see TZipPrefetch).
  void StartPrefetch(TCompHeaderObj& list, int from, char method);

  std::unique_ptr<TZipPrefetch> prefetch_;
  bool planned_ = false;
};

}  // namespace zid
