// TUnCab: extracts Microsoft cabinet files, cabinet sets included, through
// the cabinet library's FDI calls (platform/cabinet/fdi.h).
//
// The walk per cabinet is the library's: FDICopy reports each file, and each
// one selected goes through the shared extract loop (ExtractEntry), which
// lets the library decode it into the loop's output there and then. A
// counting pass before each cabinet sums what will be extracted.
//
// Sets: a file that goes on in the next cabinet makes the library ask for it
// (the volume request, OnNextVolume); after a cabinet the walk goes on with
// the next one its header names. Next-cabinet names are taken as file names
// beside the current cabinet, never with folders and never the cabinet
// itself; a set started in the middle reports the files that began earlier
// with 25901 instead of skipping them silently.
//
// Failures: a file whose data are cut short reports 25236, one whose data do
// not decode or fail a block checksum 25116, contradictory header records
// 25140; the walk then goes on with the next file. A cabinet that cannot be
// read at all ends the extraction (the archive failed).
#pragma once

#include <set>
#include <string>

#include "engine/base/zidUnBase.h"
#include "engine/cab/zidCabGbls.h"
#include "platform/cabinet/fdi.h"

namespace zid {

class TUnCab : public TUnBase {
 public:
  TUnCab();
  ~TUnCab() override;

 protected:
  void ProcessArchive() override;
  // The outside library opens the archive and its volumes.
  bool OpensArchiveItself() const override { return true; }

 private:
  bool EnsureContext();
  // Checks the error record after a failed FDICopy; false when the walk must stop.
  bool CheckErrorRecord(const std::string& cabinet);
  bool CopyPass(const std::string& cabinet);
  void CountPass(const std::string& cabinet);
  plat::cab::FileHandle Notify(plat::cab::FDINOTIFICATIONTYPE type, plat::cab::FDINOTIFICATION& n);
  plat::cab::FileHandle CopyFile(plat::cab::FDINOTIFICATION& n);
  plat::cab::FileHandle NextCabinet(plat::cab::FDINOTIFICATION& n);
  std::string PastMissing(const std::string& missing);
  // Maps a failed copy onto the engine's errors; false always.
  bool CopyFailed();

  plat::cab::HFDI fdi_ = nullptr;
  plat::cab::ERF erf_;
  TStreamCabinetFileHandler files_;
  // Per extraction.
  bool capture_ = false;
  std::string nextName_, nextDisk_, cabPath_;
  uint16_t setId_ = 0, cabIndex_ = 0;
  std::string currentCabinet_;
  std::string resumeAt_;           // the cabinet after a missing one, where the walk goes on
  std::set<std::string> granted_;  // cabinets the volume request gave already
  bool firstCabinet_ = true;
  bool stop_ = false;       // a failure that ends the walk (reported)
  bool fatal_ = false;      // a library error the engine has no code for (erf_ says which)
};

}  // namespace zid
