// TMakeCab: writes Microsoft cabinet files through the cabinet library's FCI
// calls (platform/cabinet/fci.h), as a writer of the shared write loop.
//
// The loop scans the files and calls CompressEntry for each; every file goes
// to the library (FCIAddFile), which keeps the compressed data aside until
// FinishArchive flushes the cabinet. The library writes the cabinet by name;
// that name is mapped onto the loop's temporary output, so the archive on
// disk changes only when the loop puts the finished cabinet in place.
//
// Cabinets are always written whole. Adding to an existing cabinet rebuilds
// it: its entries are decoded (through the library's FDI calls) and added
// again in their places, then the new files follow, so nothing it held is
// lost; an entry that cannot be decoded stops the write and leaves the
// cabinet as it was. Cabinet sets are not rebuilt (25244), and neither is
// anything else that is not a cabinet. swDelete is refused (25244); swRead
// lists the existing cabinet through OnRead. A read-only cabinet without
// OnNonWriteableArchive is reported as not writable (25136).
//
// Methods: cmStore and cmMsZip are written. cmLzx and cmQuantum give the
// library compression values it does not produce; every file then fails
// with 25326 "Unsupported compression method" and nothing is written.
//
// Names: "/" becomes "\"; a name that is not plain ASCII is stored in UTF-8
// with the name-is-UTF attribute (0x80), which every reader here honours.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/base/zidCompBase.h"
#include "engine/cab/zidCabGbls.h"
#include "platform/cabinet/cabformat.h"
#include "platform/cabinet/fci.h"
#include "platform/cabinet/fdi.h"

namespace zid {

using TCCAB = plat::cab::CCAB;
// OnGetNextCabinet(Sender, var CabParameters, NewCabFileName, PreviousCabEstimatedSize, var AbortCreation):
// NewCabFileName arrives with a proposal and names the next cabinet of a set.
using TGetNextCabinetEvent = std::function<void(TZipCommon* sender, TCCAB& cabParameters, std::string& newCabFileName,
                                                int previousCabEstimatedSize, bool& abortCreation)>;

// The writer base of cabinets: the handle table the library's file callbacks use.
class TCabInterface : public TCompBase {
 protected:
  TStreamCabinetFileHandler files_;
};

class TMakeCab : public TCabInterface {
 public:
  TMakeCab();
  ~TMakeCab() override;

  bool FailOnIncompressible = true;
  // Files a cabinet may hold (the format's 16-bit count); lower only to test the refusal.
  int64_t MaxFiles = 65535;
  // Threads compressing MSZIP blocks: 0 one per core, 1 none. The cabinet is
  // the same either way.
  int CompressWorkers = 0;
  TGetNextCabinetEvent OnGetNextCabinet;

  int GetLzxLevel() const { return lzxLevel_; }
  void SetLzxLevel(int v);  // clamped to 15..21
  TCompressionType GetQuantumType() const { return quantumType_; }
  void SetQuantumType(TCompressionType t) { quantumType_ = t; }
  int GetQuantumLevel() const { return quantumLevel_; }
  void SetQuantumLevel(int v);  // clamped to 1..7
  int GetQuantumMemory() const { return quantumMemory_; }
  void SetQuantumMemory(int v);  // clamped to 10..21

  // The compression value given to the library for the current CompressMethod.
  plat::cab::TCOMP CompressionValue() const;
  // The writer's own type; the value is kept (no detection on writers).
  void SetArcType(TArcType value) override;
  // A read-only cabinet is reported as not writable (25136) rather than as a missing event.
  void ReportError(const std::string& fileName, const std::string& extendedMsg, const std::string& volumeID,
                   int eCode) override;

 protected:
  bool ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list) override;
  bool CompressEntry(TStream32& out, TCompHeaderObj& list, int index) override;
  bool CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) override;
  bool CopyRenamedEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index) override;
  bool FinishArchive(TStream32& out, TCompHeaderObj& list) override;
  int EntryHeaderSize() const override { return 16; }
  TWriterLimits WriterLimits() const override;

 private:
  bool EnsureContext(TStream32& out);
  void DestroyContext();
  // Reports a failed FCIAddFile for the item.
  void AddFailed(const TCompHeaderItem& item);
  void ListExisting(const plat::cab::CabHeader& h, const std::vector<plat::cab::CabFolder>& folders);
  // Decodes the kept entries of the old cabinet and adds them again, all in one walk.
  void CopyOldEntries(TStream32& in, TStream32& out, TCompHeaderObj& list);
  bool AddOldEntry(plat::cab::FDINOTIFICATION& n, const TCompHeaderItem& item, size_t record,
                   TStreamCabinetFileHandler& old, const plat::cab::ERF& erf);
  // FCIAddFile with this writer's callbacks.
  bool AddToCabinet(const std::string& source, const std::string& storedName);
  plat::cab::FileHandle OpenInfo(const std::string& name, uint16_t& date, uint16_t& time, uint16_t& attribs,
                                 int& err);
  bool NextCabinet(TCCAB& ccab, uint32_t previousSize);

  int lzxLevel_ = 21;
  TCompressionType quantumType_ = ctMsZip;
  int quantumLevel_ = 7;
  int quantumMemory_ = 21;

  plat::cab::HFCI fci_ = nullptr;
  plat::cab::ERF erf_;
  TStream32* fciOut_ = nullptr;
  std::string cabinetPath_;
  // The file being added, and its old record when it comes from the old cabinet.
  const TCompHeaderItem* item_ = nullptr;
  const plat::cab::CabFile* oldRecord_ = nullptr;
  int64_t itemDone_ = 0;
  // The old cabinet's records, and whether each kept one was added again.
  std::vector<plat::cab::CabFile> oldRecords_;
  int64_t oldBase_ = 0;
  bool oldCopied_ = false;
  std::vector<bool> oldAdded_;
};

}  // namespace zid
