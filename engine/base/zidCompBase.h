// The writers' base: the properties every archive writer shares and the write
// loop (Compress) that merges an existing archive with scanned files.
//
// Compress never changes the archive on disk in place: the new archive is
// built in a temporary file (or in memory) and replaces the old one only when
// everything went well and something changed. The format supplies the hooks
// (ReadArchiveDirectory, CompressEntry, CopyRenamedEntry, FinishArchive ...).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/zidBase.h"
#include "engine/base/zidCompHeader.h"
#include "engine/base/zidConsts.h"
#include "engine/base/zidTempStreams.h"
#include "platform/files.h"

namespace zid {

class TzidFileScan;

// Writer events (sender first, answers by reference).
using TOnReplaceFile = std::function<void(TZipCommon* sender, const std::string& fileName,
                                          const std::string& newFileName, uint32_t date, uint32_t newDate,
                                          int64_t fileSize, int64_t newFileSize, uint32_t attr, uint32_t newAttr,
                                          bool& replace)>;
using TOnRenameDupeFile =
    std::function<void(TZipCommon* sender, const std::string& fileName, std::string& newFileName, bool& rename)>;
using TOnDeleteFile = std::function<void(TZipCommon* sender, const std::string& fileName, int count, int maxCount)>;
using TOnNonWriteableArchive =
    std::function<void(TZipCommon* sender, const std::string& archiveFile, bool& writeToFile)>;
using TOnCompBegin = std::function<void(TZipCommon* sender, const std::string& fileName, int count, bool& compress)>;
using TOnCompEnd = std::function<void(TZipCommon* sender, const std::string& fileName, bool crcPass)>;
using TOnTmpFileMoveBegin = std::function<void(TZipCommon* sender, const std::string& archive,
                                               const std::string& tempFileName, bool& cancel)>;
using TOnTmpFileProgress =
    std::function<void(TZipCommon* sender, const std::string& fileName, int64_t done, int64_t total)>;
using TOnTmpFileMoveEnd = std::function<void(TZipCommon* sender, const std::string& archive)>;
using TOnRecurseDirW = std::function<void(TZipCommon* sender, const std::string& directory)>;
using TOnFileScanStatus = std::function<void(TZipCommon* sender, const std::string& fileName, int filesCount,
                                             int64_t filesSize)>;

class TCustomCClass : public TZipCommon {
 public:
  TCustomCClass();
};

class TCompBase : public TCustomCClass, public TTempStreamOwner {
 public:
  TCompBase();
  ~TCompBase() override;

  // ---- published properties ---------------------------------------------------
  TzidFileAttributes Attributes;
  TzidFileAttributes AttributesEx;
  TDeleteOptions DeleteOptions = doAllowUndo;
  TCompressionMethod CompressionMethod = cmTempFile;
  TDeflateType DeflateType = dtDeflateN;
  std::string DefaultExt;
  // The folder sdExplorer_Auto finds and sdExplorer_UserDefineDefaultDir takes.
  std::string DefaultDir;
  TStoredDirNames StoredDirNames = sdRelative;
  bool StoreEmptySubDirs = false;
  TStrings StoreFilesOfType;
  TSwitch Switch = swAdd;
  bool VerifyBeforeDelete = false;
  bool IncludeHiddenDirs = false;
  // A symbolic link is added as the file it leads to, and a link to a folder
  // is walked as that folder (as zip does); off, links are left out.
  bool FollowLinks = true;
  TDateAttribute DateAttribute = daFileDate;
  // A file found by the scan that cannot be opened when its turn comes (it
  // vanished, its permissions changed) is reported with the reason and left
  // out while the rest is written; off, the run fails and the old archive
  // stays as it was. A file whose size changes while it is read always fails
  // the run: its entry would declare bytes it does not hold.
  bool SkipUnreadableFiles = true;
  // The cipher of the entries when Password is set: 0 the traditional ZIP
  // cipher, 1, 2, 3 WinZip AES-128, -192, -256. False (nothing changed) when
  // the format has no such cipher.
  virtual bool SetCipher(int aesStrength) { return aesStrength == 0; }

  // ---- events -------------------------------------------------------------------
  TOnReplaceFile OnReplaceFile;
  TOnRenameDupeFile OnRenameDupeFile;
  TOnDeleteFile OnDeleteFile;
  TOnNonWriteableArchive OnNonWriteableArchive;
  TOnCompBegin OnBegin;
  TOnCompEnd OnEnd;
  TOnRead OnRead;
  TOnTmpFileMoveBegin OnTmpFileMoveBegin;
  TOnTmpFileProgress OnTmpFileProgress;
  TOnTmpFileMoveEnd OnTmpFileMoveEnd;
  TOnRecurseDirW OnRecurseDir;
  TOnFileScanStatus OnFileScanStatus;

  TCompressMethod GetCompressMethod() const { return compressMethod_; }
  // A method outside SupportedMethods is ignored silently.
  void SetCompressMethod(TCompressMethod m);
  const TCompressMethods& SupportedMethods() const { return supported_; }

  // The folder new archives are built in (see TZipCommon::GetTempDir).
  std::string GetTempDir() { return TempDirValue(tempDir_); }
  void SetTempDir(const std::string& dir) {
    tempDir_ = AssignTempDir(dir);
    tempDirAssigned_ = !dir.empty();
  }

  void SetArchiveFile(const std::string& name) override;
  // Compress writes a new archive from FileSpec alone, replacing any archive
  // of that name; off, it adds to the archive as the file is when it starts.
  bool WriteAfresh = false;
  // The caller's detection of the archive as it is now: the next Compress
  // takes it instead of detecting again when its archive is still the file
  // detected (same identity and size).
  void UseDetection(const TArchiveDetection& d);

  // Runs the write loop over the archive as it is when the call starts (a
  // missing archive is created); returns the files added (entries deleted
  // for swDelete), 0 when cancelled or failed.
  int Compress();

  // Results of the last Compress.
  int FilesAdded() const { return added_; }
  int EntriesDeleted() const { return deleted_; }
  // The last Compress stopped before its archive was written (an error that
  // fails the run, a refusal, a cancel): the old archive is as it was.
  bool RunFailed() const { return !walkOk_; }

  // For the writers' per-file steps:
  // A source that cannot be opened (errno in LastError): reported with the
  // reason; fatal (raises) unless SkipUnreadableFiles. Returns false.
  bool SourceUnreadable(const std::string& path);
  // A source whose bytes read differ from the size its entry declares:
  // raises 25236 with both counts (the run fails, the old archive stays).
  // Returns false (when cancelled, nothing is raised).
  bool SourceChanged(const std::string& path, int64_t read, int64_t declared);

  // The stored name a file gets under StoredDirNames (root: the scan's
  // current root folder, with its trailing "/").
  std::string StoredName(const std::string& fullPath, const std::string& root) const;
  // The code page new names are stored in, for DOS tools: NameCharset's
  // canonical name, empty for the default (UTF-8, marked as such where the
  // format can).
  std::string StoredNamePage() const;
  // A name's bytes in StoredNamePage (the name itself without one). The
  // write loop has refused, before writing anything, every new name the
  // page cannot hold, so the writers' calls always get its bytes.
  std::string StoredNameBytes(const std::string& name) const;

 protected:
  // ---- the format's hooks (the defaults refuse: a plain base writes nothing) -------
  // Fills the list with the entries of the old archive (in); under swDelete
  // marks the entries FileSpec selects as dropped. False: the archive cannot
  // be read (the hook has reported why); nothing is written.
  virtual bool ReadArchiveDirectory(TStream32& in, TCompHeaderObj& list);
  // Writes one file with its headers at the end of out. False when the file
  // was skipped (reported) or the user cancelled.
  virtual bool CompressEntry(TStream32& out, TCompHeaderObj& list, int index);
  // Copies an unchanged entry; the default copies its stored bytes.
  virtual bool CopyEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index);
  virtual bool CopyRenamedEntry(TStream32& in, TStream32& out, TCompHeaderObj& list, int index);
  virtual void WriteEmptyArchive(TStream32& out) { (void)out; }
  virtual bool FinishArchive(TStream32& out, TCompHeaderObj& list);
  virtual void AfterWrite(TCompHeaderObj& list) { (void)list; }
  // For AfterWrite: the totals are the sums over the entries the archive keeps.
  void SumTotals(const TCompHeaderObj& list);
  // What the format holds, checked after the scan and before anything is
  // written: false (each refusal reported) writes nothing. The default
  // checks the limits WriterLimits gives.
  virtual bool CheckLimits(const TCompHeaderObj& list);
  struct TWriterLimits {
    const char* format = "";  // as a sentence names it: "a cabinet", "an LHA header"
    size_t maxName = 0;       // bytes of a stored name (a folder's with its separator); 0: any
    int64_t maxSize = 0;      // bytes of one file; 0: any
    int64_t maxEntries = 0;   // entries (folders too when countFolders) of the archive; 0: any
    bool countFolders = true;
  };
  virtual TWriterLimits WriterLimits() const { return {}; }
  // The file's metadata as its entry stores it: a followed link's target's
  // (mode, times), never the link's own; missing: exists false.
  plat::FileInfo SourceInfo(const std::string& path) const;
  // Size of a new entry's header; 0: the format cannot add files.
  virtual int EntryHeaderSize() const { return 0; }
  // Bytes of a self-extractor stub in front of the old archive (set by ReadArchiveDirectory).
  int64_t stubLength_ = 0;
  // Detection of the old archive for this run.
  TArchiveDetection oldDet_;

  // Puts the finished archive in place; the default publishes the temporary
  // stream (the ZIP writer spans it over removable disks instead).
  virtual bool PublishArchive(TStream32& out, TCompHeaderObj& list, TTempFileStream* file, TTempMemStream* mem);
  // Whether the archive's drive is removable (found by Prepare).
  bool targetRemovable_ = false;
  // The entry list of the last run (the resulting archive's entries).
  TCompHeaderObj list_;

  // ---- publishing (TTempStreamOwner) ------------------------------------------------
  void TmpMoveBegin(TStream32& stream, const std::string& finalName, bool* cancel,
                    const std::string& tempName) override;
  void TmpMoveEnd(TStream32& stream, const std::string& finalName) override;
  void TmpProgress(const std::string& finalName, int64_t done, int64_t total) override;
  void TmpReportError(int eCode, const std::string& fileName) override;

  // The date stored for a file by DateAttribute.
  uint32_t EntryDate(uint32_t fileDate) const;
  // Whether a stored name's extension is in StoreFilesOfType.
  bool StoreByType(const std::string& name) const;
  // The progress of a file being written: bytes done of its size.
  void EntryProgress(int64_t total, int64_t done) { ReportProgress(total, done); }

  TCompressMethods supported_;
  TCompressMethod compressMethod_ = cmStore;
  std::string tempDir_;
  bool tempDirAssigned_ = false;

 private:
  bool Prepare();
  void ProcessArchive();
  bool CheckWritable();
  bool ScanFiles(TCompHeaderObj& list);
  bool AddCandidate(TCompHeaderObj& list, const std::string& dirWithSlash, const plat::FindData& entry);
  bool Excluded(const std::string& fullPath) const;
  void MergeExisting(TCompHeaderObj& list, int existing, TCompHeaderItem&& file);
  bool AskRename(TCompHeaderObj& list, int existing, TCompHeaderItem&& file);
  void MergeLoop(TStream32* in, TStream32& out, TCompHeaderObj& list);
  void DeleteMovedFiles(TCompHeaderObj& list);

  struct TFileId {
    uint64_t device = 0, inode = 0;
    bool operator==(const TFileId&) const = default;
  };
  bool IsOwnArchive(const std::string& path) const;
  TFileId archiveId_, tempId_;
  TArchiveDetection handed_;
  TFileId handedId_;
  bool haveHanded_ = false, handedNow_ = false;
  bool walkOk_ = false;
  std::string scanRoot_;
  std::string baseDir_;
  int found_ = 0;
  int added_ = 0;
  int deleted_ = 0;
  std::vector<std::string> moveList_;
  std::vector<std::string> moveNames_;
};

}  // namespace zid
