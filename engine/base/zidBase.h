// The root of every archive component: the archive and its detected type,
// masks, password, the cancel flag, progress and error events, the
// current-entry properties, volume naming, and the error routines.
// Extractors (TUnBase), writers (TCompBase) and the directory reader derive from it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidDetect.h"
#include "engine/base/zidGbls.h"
#include "engine/base/zidTimer.h"
#include "engine/base/zidTypes.h"
#include "platform/datetime.h"

namespace zid {

class TZipCommon;
class TStream32;
class TFileStream32;

// Events. The sender comes first; answers are passed by reference.
using TOnError = std::function<void(TZipCommon* sender, const std::string& fileName,
                                    const std::string& extendedMsg, const std::string& volumeID, int eCode)>;
using TNotifyEvent = std::function<void(TZipCommon* sender)>;
using TOnElapsedTime = std::function<void(TZipCommon* sender, float elapsedTime)>;
using TOnProgress = std::function<void(TZipCommon* sender, uint8_t byFile, uint8_t byArchive)>;
using TOnFileNameEvent = std::function<void(TZipCommon* sender, const std::string& fileName)>;
// OnNextVolume(Sender, var VolumeName, VolumeID, FExists, var Cancel)
using TOnNextVolume = std::function<void(TZipCommon* sender, std::string& volumeName, int volumeID, bool fExists,
                                         bool& cancel)>;
using TOnCancelQuery = std::function<void(TZipCommon* sender, bool& cancel)>;
using TOnGetZipNextDisk = std::function<void(TZipCommon* sender, const std::string& volumeName, bool& cancel)>;
using TOnInsertDisk = std::function<void(TZipCommon* sender, int diskNumber, bool& cancel)>;
// OnRead(Sender, Offset, Filenum): one listed entry (directory reader, and writers under swRead).
using TOnRead = std::function<void(TZipCommon* sender, int64_t offset, int filenum)>;
using TOnCorruptZipHeader = std::function<void(TZipCommon* sender, uint8_t headFlag, bool& cancel)>;

class TZipCommon {
 public:
  TZipCommon();
  virtual ~TZipCommon();
  TZipCommon(const TZipCommon&) = delete;
  TZipCommon& operator=(const TZipCommon&) = delete;

  // ---- the archive --------------------------------------------------------
  const std::string& GetArchiveFile() const { return det_.ArchiveFile; }
  // Runs type detection (extractors and the reader); writers have their own rule.
  virtual void SetArchiveFile(const std::string& name);
  TArcType GetArcType() const { return det_.ArcType; }
  // The value is ignored: detection runs again on the current ArchiveFile.
  virtual void SetArcType(TArcType value);
  const TArchiveDetection& Detection() const { return det_; }
  TArchiveDetection& Detection() { return det_; }
  int64_t ArcStartOffset() const { return det_.ArcStartOffset; }
  int VolumeNumber() const { return det_.VolumeNumber; }
  char VolumeLetter() const { return det_.VolumeLetter; }

  // ---- published properties common to every component ---------------------
  TStrings FileSpec;
  TStrings ExcludeSpec;
  bool RecurseDirs = true;
  bool TranslateOemChar = true;
  std::string Password;
  // The code page of the names stored without a mark of their encoding
  // (plat::CanonicalCharset names): empty guesses it once per archive
  // (ArchiveNamePage, engine/listing/zidNamePage.h).
  std::string NameCharset;

  // ---- events ----------------------------------------------------------------
  TOnError OnError;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TOnElapsedTime OnElapsedTime;
  TOnProgress OnProgress;
  TOnFileNameEvent OnExcludeFile;
  TOnNextVolume OnNextVolume;
  TOnInsertDisk OnInsertDisk;
  TOnCancelQuery OnGetZipFirstDisk;
  TOnGetZipNextDisk OnGetZipNextDisk;
  TOnCancelQuery OnGetZipLastDisk;
  TOnCancelQuery OnDiskWriteProtectErr;
  TOnCancelQuery OnDiskInDrvErr;
  TOnCorruptZipHeader OnCorruptZipHeader;

  // ---- the current entry -----------------------------------------------------
  // The stored name of the entry in hand (extractors: TUnBase::OutputPath
  // tells where it goes on disk).
  std::string FileName;
  // For a name stored without a mark of its encoding and not plain ASCII:
  // its stored bytes and the code page FileName was read in; both empty
  // otherwise.
  std::string FileNameRaw;
  std::string FileNameCharset;
  // The archive or volume file being worked on; sent as VolumeID in error reports.
  std::string VolumeName;
  int64_t PackedSize = 0;
  int64_t UnpackedSize = 0;
  int Ratio = 0;
  plat::TDateTime FileDate = 0;
  uint32_t CRC = 0;
  bool Encrypted = false;
  uint16_t MethodId = 0;
  std::string MethodName;
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  uint32_t ExternalAttr = 0;
  uint32_t InternalAttr = 0;
  int FileCount = 0;
  int64_t TotalUnpackedSize = 0;
  int64_t TotalPackedSize = 0;
  // Newest packed DOS date seen so far.
  uint32_t MaxFileDate = 0;

  // The shared name filter of the extractors and the directory reader: whether
  // a stored name is selected by FileSpec and not left out by ExcludeSpec.
  // A name without a dot is tried once more with a dot appended (and one on the
  // mask when it has none), so "*.*" selects README. FileSpec is left as it is.
  bool MatchesSpec(const std::string& storedName, bool recurse);
  // When set, it decides the selection instead of FileSpec (ExcludeSpec still
  // applies first): a front end with its own matching rules plugs in here.
  std::function<bool(const std::string& storedName)> NameFilter;

  // ---- errors and cancelling ------------------------------------------------
  // For problems after which the operation cannot go on: pauses the stopwatch,
  // turns the code into 25443 when cancelled, fires OnError, and raises E_RAISE
  // with the code's message unless the operation was cancelled.
  virtual void RaiseError(const std::string& fileName, const std::string& extendedMsg,
                          const std::string& volumeID, int eCode);
  // As RaiseError but never raises: the caller goes on.
  virtual void ReportError(const std::string& fileName, const std::string& extendedMsg,
                           const std::string& volumeID, int eCode);
  // Inside a catch: reports the exception against the archive unless it is
  // an E_RAISE already reported (out of memory 25253, anything else 25355
  // with its text). Nothing that ends an operation goes unsaid.
  void ReportCaught();
  // Stores the cancel flag; true also reports 25443 for the current entry and volume.
  virtual void SetCancel(bool value);
  virtual bool Cancelled() const { return cancel_; }
  // The flag the component's helpers (streams, decoders, scanner) watch.
  bool* CancelFlag() { return &cancel_; }

  TzidTimer& Stopwatch() { return timer_; }

  // ---- progress -----------------------------------------------------------------
  // Lets the platform process pending messages, then fires OnProgress with the
  // percent of the entry and of the whole operation.
  void ReportProgress(int64_t entryTotal, int64_t entryDone);
  // Bytes still to process in this operation (progress by archive).
  int64_t BytesTotal = 0;
  int64_t BytesRemaining = 0;

  // ---- volumes --------------------------------------------------------------------
  // Name of volume n of an ACE, ARJ, JAR or RAR set: the folder and the name
  // without its extension, then a new extension from n and VolumeLetter.
  // RAR types advance VolumeLetter every hundred volumes.
  virtual std::string VolumeFileName(const std::string& name, int n);

  // Ratio of two sizes: 0 when unpacked is 0 or packed is not smaller,
  // else (unpacked - packed) * 100 / unpacked rounded.
  static int CalcRatio(int64_t unpacked, int64_t packed);

  // ---- multi-volume ZIP sets (atZipMV) --------------------------------------------
  // Volume n + 1 of the set: ArchiveFile itself for the last volume, else
  // ArchiveFile with the extension ".z01", ".z02" ... (".z100" and up). Sets VolumeName.
  std::string NextVolumeName();
  // Switches to the next volume through OnNextVolume; opens it for reading.
  // forWriter: the writers pass the number n + 1 and cancel through SetCancel.
  bool OpenNextVolume(bool forWriter = false);
  // The next volume of a set as the directory reader asks for it: the format
  // proposes a name and the number; OnNextVolume may change the name.
  bool RequestVolume(const std::string& proposedName, int number);
  // How RequestSetVolume ended: the volume asked for opened, a later one opened
  // past a missing one, the volume missing with none after it (the set ends in
  // the gap), or none opened (refused or failed).
  enum class TSetVolume { Opened, PastGap, Missing, None };
  static bool VolumeOpened(TSetVolume v) { return v == TSetVolume::Opened || v == TSetVolume::PastGap; }
  // The next volume of a set that is read past a missing volume (ARJ, RAR).
  // Asked for as RequestVolume asks (the handler may name another file); when
  // the file is still not there after that (no handler, or the handler
  // cancelled or kept naming files that are not there) the volume is named
  // once (25192, "the volume X of the set is missing") instead of ending the
  // operation, and the first later volume that exists (nameOf(previous name,
  // its number)) is asked for instead: what continues into the gap fails,
  // the rest is read. number: in, the one asked for; out, the one opened.
  TSetVolume RequestSetVolume(const std::string& proposedName, int& number,
                              const std::function<std::string(const std::string&, int)>& nameOf);
  // 25192 with the words "the volume X of the set is missing" (X: the file's
  // name), against MissingVolumeSubject: the current entry, the archive for the
  // directory reader (the entry it listed last has nothing to do with the gap).
  void ReportMissingVolume(const std::string& name);
  virtual const std::string& MissingVolumeSubject() const { return FileName; }
  int CurrentVolume = 1;  // 1-based number of the open volume
  int LastVolume = 1;     // number of volumes of the set (the last one is ArchiveFile)

  // TempDir of the writers and the GZIP extractor. Reading gives the stored
  // folder unless it is empty or missing; then the system's temporary folder
  // is stored and given. Assigning "" means the system's temporary folder; a
  // missing folder is created after a Yes to the question box, or replaced by
  // the system's temporary folder after a No.
  static std::string TempDirValue(std::string& stored);
  static std::string AssignTempDir(const std::string& dir);

 protected:
  // Opens the archive for reading (deny write); reports 25235 and returns
  // false on failure. Records the size.
  bool OpenArchive(const std::string& name);
  void CloseArchive();

  TArchiveDetection det_;
  bool cancel_ = false;

 private:
  // RequestVolume's steps. *missing set: a file that is still not there is
  // left to the caller (its name there) instead of being reported or cancelling.
  bool AskForVolume(const std::string& proposedName, int number, std::string* missing);

 public:
  // The page ArchiveNamePage decided for the archive named in namePageFor
  // (forgotten when ArchiveFile changes).
  std::string namePage;
  std::string namePageFor;

 protected:
  TzidTimer timer_;
  std::unique_ptr<TFileStream32> archive_;  // the archive (or volume) of this operation

 public:
  // For the helpers that switch volumes and disks.
  void CloseArchiveStream() { CloseArchive(); }
  bool ReopenArchive() { return OpenArchive(det_.ArchiveFile); }
  TFileStream32* ArchiveStream() { return archive_.get(); }
  int64_t ArchiveSize() const { return archiveSize_; }

 protected:
  int64_t archiveSize_ = 0;
};

// Pauses a stopwatch for the lifetime of the guard, also when an exception leaves.
struct TStopwatchPause {
  explicit TStopwatchPause(TzidTimer& t) : timer(t) { timer.Pause(); }
  ~TStopwatchPause() { timer.Resume(); }
  TzidTimer& timer;
};

}  // namespace zid
