// TUnZip: extracts the entries of a ZIP archive (single file, self-extractor,
// multi-volume set of files, set spanned over removable disks) through the
// common extract loop of TUnBase. The entry list comes from the central
// directory, or from the local headers of a damaged archive; each entry is
// checked for its password, decoded by method, and its CRC compared.
#pragma once

#include <vector>

#include "engine/base/zidDiskSpan.h"
#include "engine/base/zidUnBase.h"
#include "engine/zip/zidZipDir.h"
#include "engine/zip/zidZipInput.h"

namespace zid {

class TUnZip : public TUnBase {
 public:
  TUnZip();
  ~TUnZip() override;

  // Archive comment buffer; values are clamped to 2,000..32,767.
  int GetZipCmntBufSize() const { return zipCmntBufSize_; }
  void SetZipCmntBufSize(int value);

 protected:
  void ProcessArchive() override;
  void StartOperation() override;
  // JAR types decide folders by name instead of by attributes.
  virtual bool FoldersByName() const;

 private:
  bool ExtractFromDirectory();
  bool ExtractSpanned();
  bool ExtractFromLocalHeaders(bool directoryCut);
  int64_t FirstLocalHeader();
  TZipLayout Layout();
  // False (the entry rejected) for a record that cannot be extracted.
  bool RecordUsable(const TCheckedRecord& c, const TZipDirEntry& e);
  // A problem of the archive's records that does not stop the extraction.
  void Warn(const std::string& text);
  void ExtractOne(TZipDirEntry e);
  bool DecodeData(uint16_t flags, uint16_t method, int64_t packed, int64_t unpacked, TZipEntryInput& in);
  TEntry MakeEntry(const TZipDirEntry& e, uint32_t crc) const { return MakeEntry(e, crc, e.name); }
  TEntry MakeEntry(const TZipDirEntry& e, uint32_t crc, std::string name) const;
  // Multi-volume and spanned sets: makes the disk holding `disk` (0-based) current.
  bool SelectDisk(int disk, int64_t offset);
  bool NextDisk();
  bool Spanned() const;

  // The archive as entries read it: through a read-ahead window for a single
  // file, the stream of the current volume for sets.
  TStream32* Input();

  TDiskSpannObj span_;
  TWindowStream window_;
  TLocalInfo local_;  // the local header of the entry being read
  // Small deflated entries are decoded whole, through these.
  static constexpr int64_t kWholeIn = 65536;
  static constexpr int64_t kWholeOut = 131072;
  std::unique_ptr<uint8_t[]> wholeIn_, wholeOut_;
  int currentDisk_ = 0;
  int lastDisk_ = 0;
  bool passwordFailed_ = false;
  int zipCmntBufSize_ = 32767;
};

}  // namespace zid
