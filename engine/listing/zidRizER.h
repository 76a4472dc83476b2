// The directory reader: lists the entries of an archive without extracting.
//
// Activate walks the archive's headers once, first to last. For every entry
// that passes the name filter it fills the current-entry properties of
// TZipCommon and fires OnReadBegin / OnRead / OnReadEnd; at the end OnTotals,
// OnDeactivate and OnElapsedTime. Entry data are never read: a walker moves
// from header to header by the stored sizes.
//
// The walk loop lives here once. Each archive type plugs in a walker (see
// zidRizWalker.h): a set-up run before the loop and a step run for every
// header block the loop reads. The loop reads a block only when it ends
// strictly before the end of the file (a header that would end exactly at
// the end is not read).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/zidBase.h"
#include "engine/base/zidDiskSpan.h"

namespace zid {

class TRizWalker;

// OnRead(Sender, Offset, Filenum): Offset is the header offset (low 32 bits).
using TOnTotals = std::function<void(TZipCommon* sender, int64_t unpackSize, int64_t packSize, int ratio,
                                     int numFiles)>;

// FileDate of an entry whose DOS date-time is 0: 1980-01-01 00:01:00.
plat::TDateTime ZeroDosDate();
// FileDate of an invalid date (also the value between walks).
constexpr plat::TDateTime kInvalidFileDate = 29221.000694;
// A packed DOS date-time (date in the high word) as a TDateTime.
plat::TDateTime DosDateToFileDate(uint32_t dos);
// The same for formats that store the date word before the time word.
plat::TDateTime SwappedDosDateToFileDate(uint32_t dateFirst);
// Unix seconds as a local TDateTime; 0 is taken as 1980-01-01 00:01:00.
plat::TDateTime UnixToFileDate(int64_t unixTime);

class TRizER : public TZipCommon {
 public:
  TRizER();
  ~TRizER() override;

  // ---- published properties (besides those of TZipCommon) -----------------
  bool ShowEmptyDirs = false;
  int ZipCmntBufSize = 32000;
  // The current entry's link target when it is a symbolic link whose header
  // holds the target (TAR, LHA); empty otherwise.
  std::string LinkTarget;
  // The archive's own comment, as stored (ZIP, ARJ, RAR, ACE); set by the
  // walk, empty when there is none.
  std::string ArchiveComment;

  // ---- events ---------------------------------------------------------------
  TOnFileNameEvent OnReadFile;  // a header's name is known, before filtering
  TNotifyEvent OnReadBegin;
  TOnRead OnRead;  // required outside list mode
  TNotifyEvent OnReadEnd;
  TOnTotals OnTotals;

  // Walks the whole archive once. True when the walk ran (even when it listed
  // nothing or the file could not be opened); false when it could not start
  // (missing file, no OnRead, already running) or an exception ended it.
  bool Activate();
  // Appends the names of the entries to list in archive order (the list is
  // not cleared first); clears it when the archive cannot be read. Events,
  // mode and start offset are restored afterwards.
  void GetFileList(std::vector<std::string>* list);
  // Runs the walk with the reporting events silenced; false for an empty
  // ArchiveFile, an unrecognised type or a walk that did not run.
  bool IsArchiveReadable();

  bool Busy() const { return busy_; }
  bool ListMode() const { return list_ != nullptr; }
  // The offset of the header block being walked.
  int64_t HeaderOffset() const { return headerOffset_; }
  // The offset reported with the current entry (OnRead's Offset in full):
  // the local header of a ZIP entry, else the entry's header.
  int64_t EntryOffset() const { return entryOffset_; }

  // ---- for the format walkers ------------------------------------------------
  // Reads up to n bytes at pos; returns the count read (short at the end of the
  // file, 0 on error). Served from a read-ahead window, so walking many small
  // headers does not cost a system call each.
  int64_t ReadAt(int64_t pos, void* buf, int64_t n);
  // The block the loop read for the current step, and its length (0 ends the walk).
  uint8_t* HeaderBuf() { return header_.data(); }
  int HeaderLength() const { return headerLength_; }
  void SetHeaderLength(int len);
  // Where the loop reads the next header; EndWalk moves it to the end of the file.
  int64_t NextOffset = 0;
  void EndWalk() { NextOffset = archiveSize_; }
  // The start offset the walk began from (detection's, which set-ups may move).
  int64_t StartOffset = 0;
  // 32 KiB for comments and text a walker needs to look at.
  uint8_t* Scratch() { return scratch_.data(); }
  static constexpr int kScratchSize = 32768;
  TDiskSpannObj& DiskSpan() { return diskSpan_; }
  // The walk's archive size (the loop's end).
  int64_t WalkSize() const { return archiveSize_; }
  // Switches the walk to another file of a set (opened through RequestVolume
  // or the disk-span object): forgets the read-ahead window.
  void ArchiveSwitched();
  const std::string& MissingVolumeSubject() const override { return GetArchiveFile(); }

  // A decoded entry name becomes FileName: "\" separators become "/". Then
  // OnReadFile fires, and the shared name filter decides whether the entry
  // is listed (recurse: the RecurseDirs rule of the filter).
  // unixName: made on a Unix host, the "\" is kept as part of the name.
  bool AcceptName(const std::string& decodedName, bool recurse, bool unixName = false);
  // Counts and reports the current entry (its properties are filled). A file
  // entry adds to FileCount and the totals; a folder is reported only with
  // ShowEmptyDirs (its name then ends with "/") and counts when folderCounts
  // is set, never in the totals. offset goes to OnRead.
  void ReportEntry(bool isFolder, bool folderCounts, int64_t offset);
  // The name rule for formats without their own: CP437 with TranslateOemChar.
  std::string DecodeName(const std::string& raw, bool utf8 = false, bool unixHost = false) const;

 private:
  void ResetEntry();
  void CheckDrive();
  void Walk(TRizWalker& walker);
  void Fire();

  bool busy_ = false;
  std::vector<std::string>* list_ = nullptr;
  int64_t headerOffset_ = 0;
  int64_t entryOffset_ = 0;
  int headerLength_ = 0;
  std::vector<uint8_t> header_;
  std::vector<uint8_t> scratch_;
  // Read-ahead window over the archive stream.
  std::vector<uint8_t> window_;
  int64_t windowPos_ = -1;
  int64_t windowLen_ = 0;
  TDiskSpannObj diskSpan_;
};

}  // namespace zid
