// TUnACE: extracts (or tests) ACE archives, plain or behind a self-extractor
// stub, over volume sets, solid and encrypted, through the ACE library of
// platform/ace driven by its five calls and four callbacks.
//
// The engine pre-scans the headers (totals for progress), hands the library
// the FileSpec masks, and answers its questions: the next volume
// (OnNextVolume) and an existing output; passwords are settled by the
// loop's password check (OnGetPassword) through the library's. Each
// member the library starts runs through the common extract loop
// (ExtractEntry) inside the start-of-entry callback; its decode step asks the
// library for the member's bytes, which come back through the progress
// callback and go out through the safe output layer of TUnBase. The library
// itself never writes a file.
#pragma once

#include <string>

#include "engine/base/zidUnBase.h"
#include "engine/base/zidMethods.h"

namespace ace {
struct TRequest;
struct TState;
}  // namespace ace

namespace zid {

class TUnACE : public TUnBase {
 public:
  TUnACE();
  ~TUnACE() override;

  // Volume n of the set beside `name`: the extension replaced by VolumeLetter
  // and two digits (x.ace, n 0: x.C00; n 100 and up: x.100), in the case of
  // an existing file (x.c00) when only that one is there.
  std::string VolumeFileName(const std::string& name, int n) override;

 protected:
  void ProcessArchive() override;
  // The outside library opens the archive and its volumes.
  bool OpensArchiveItself() const override { return true; }

 private:
  // The FileSpec masks, each ended by CR; "*" when there are none.
  std::string BuildFileList() const;
  // Reads the headers of a volume: the selected files' sizes go to the
  // totals (progress) and MaxFileDate. False when the file cannot be opened
  // or holds no ACE main header at `start` (reported).
  bool PreScan(const std::string& volume, int64_t start);

  // The library's callbacks.
  int OnInfo(int code);
  int OnLibraryError(int code, const std::string& file, const std::string& text);
  int OnRequest(ace::TRequest& r);
  int OnState(ace::TState& s);
  int ChangeVolume(ace::TRequest& r);
  int StartEntry(ace::TState& s);
  int Progress(ace::TState& s);
  // The decode step of the current entry: the library's bytes for it.
  bool DecodeEntry(ace::TState& s);
  std::string StoredName(const std::string& raw) const;

  int processed_ = 0;          // the library's processed-files counter
  bool anyEntry_ = false;      // an entry was started (errors after it are not the whole archive's)
  TEntry entry_;               // the entry being handled; its CRC is the final one after the CRC state
  bool decoding_ = false;      // the progress blocks are entry_'s output
  int progressOf_ = -1;        // the member the progress counts are of
  uint64_t packedSeen_ = 0;
};

// ACE's compression qualities, as listings name them.
const TMethodTable& AceMethods();

}  // namespace zid
