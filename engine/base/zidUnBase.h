// The extractors' base: the one extract loop every format runs through.
//
// A format implements ProcessArchive: it walks its headers (a scan pass that
// records the entries, then an extract pass) and hands each entry to
// ExtractEntry with a decode function. ExtractEntry runs the common steps in
// order: selection, output name, folder entries, the overwrite rules and
// events, the password check, output open, the decoded bytes (through
// WriteDecoded), close with date and attributes, and the checksum verdict.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/base/zidBase.h"
#include "engine/base/zidDecoder.h"
#include "engine/base/zidFuncRef.h"
#include "platform/files.h"
#include "platform/safeopen.h"

namespace zid {

class TStream32;

// How one selected entry ended. The loop makes one for every entry FileSpec
// selects (and one for a header lost between entries) and hands it to OnEnd;
// every count of the operation is made from these (TUnBase::TStats::Add).
enum class TVerdict { Passed, Folder, Failed, Skipped };
struct TEntryReport {
  std::string storedName;  // as TEntry has it; empty for a lost header
  std::string outputPath;  // the file or link made on disk; empty when none was (tests, memory, failures)
  TVerdict verdict = TVerdict::Failed;
  int code = 0;            // why it failed or was skipped (0: it did not); E_CRCERROR for a checksum
  std::string extra;       // the words that go with the code (never a password)
};
// The codes that mean "no usable password".
bool PasswordCode(int code);

using TOnBegin = std::function<void(TZipCommon* sender, const std::string& fileName, int count, bool& extract)>;
using TOnEnd = std::function<void(TZipCommon* sender, const TEntryReport& report)>;
using TOnFileExists = std::function<void(TZipCommon* sender, const std::string& fileName, std::string& newFileName,
                                         TOverwriteMode& overwriteMode)>;
using TOnRenameFile = std::function<void(TZipCommon* sender, const std::string& fileName, std::string& newFileName)>;
using TOnGetPassword = std::function<void(TZipCommon* sender, const std::string& fileName, std::string& password,
                                          bool& tryAgain)>;

// What a format knows of one entry when the loop handles it.
struct TEntry {
  std::string storedName;      // decoded to UTF-8; "/" or "\" separate folders
  int64_t packedSize = 0;      // bytes of data in the archive (for progress)
  int64_t unpackedSize = 0;
  uint32_t crc = 0;            // stored checksum
  uint8_t crcKind = 32;        // 32 = CRC-32, 16 = CRC-16, anything else: not checked
  uint32_t dosDate = 0;        // stored local DOS date-time
  int64_t unixTime = -1;       // stored Unix time, when the format keeps one instead
  uint32_t attr = 0x20;        // DOS attributes as stored
  uint32_t unixMode = 0;       // permission bits of an entry made on a Unix host (0: none)
  bool isDir = false;
  bool encrypted = false;
  // Links, made as links only when extracting to disk with the stored
  // folders (else: see ExtractLink).
  bool isSymlink = false;   // a symbolic link to linkTarget
  bool isHardLink = false;  // a second name of the entry stored as linkTarget, extracted earlier in the run
  bool linkInData = false;  // the symbolic link's target is the entry's data (decoded and checked first)
  std::string linkTarget;   // as stored, "/" separated
  // Made on a Unix host (TAR, ZIP's host 3): "\" is a character of the
  // name, only "/" separates folders.
  bool unixName = false;
};

class TCustomDClass : public TZipCommon {
 public:
  // Extracts the entries FileSpec selects; returns the number of files and
  // links that passed (TStats::extracted).
  int Extract();

 protected:
  // The per-format extraction walk.
  virtual void ProcessArchive() = 0;
  // Compares the stored checksum with the one computed over the output; the
  // complement of the computed value is accepted too (some writers store it).
  virtual bool CheckCrc(uint8_t crcKind, uint32_t stored);
  // Accepts the stored value when it equals the computed one or its complement.
  bool CheckCrcAgainst(uint32_t computed, uint32_t stored);
  // True for extractors that open the file themselves (through an outside library).
  virtual bool OpensArchiveItself() const;
  // Hooks around one operation: reset at the start, release at the end (always).
  virtual void StartOperation() {}
  virtual void FinishOperation() {}
  // Extract's result.
  virtual int ExtractedCount() const = 0;
};

class TUnBase : public TCustomDClass {
 public:
  TUnBase();
  ~TUnBase() override;

  // How the last operation went: the counts of its entry reports, made by
  // Add and nothing else. The command line, the window and Extract's result
  // all read these.
  struct TStats {
    int listed = 0;     // entries selected by FileSpec (folders included), and headers lost between them
    int passed = 0;     // extracted (or tested) with a good checksum, and folders
    int extracted = 0;  // of the passed: files and links
    int failed = 0;     // selected but not extracted: bad data, checksum, password, refused name, write error
    int skipped = 0;    // left alone by choice: the file existed and was kept, OnBegin said no
    int encrypted = 0;  // of the failed: encrypted entries without a usable password
    bool archiveFailed = false;  // no usable entry list: the archive itself failed (not an entry)
    void Add(const TEntryReport& r);
  };
  const TStats& Stats() const { return stats_; }
  // Errors a handler sees name the stored entry (FileName); this is where the on disk (empty for tests and memory output).
  // current (or last) entry goes on disk (empty for tests and memory output).
  const std::string& OutputPath() const { return outPath_; }

  // The first error reported while an entry is open becomes its report's code.
  void ReportError(const std::string& fileName, const std::string& extendedMsg, const std::string& volumeID,
                   int eCode) override;
  // A full disk ends the operation as a cancel would (without E_USERCANCELED):
  // no entry after it is tried.
  bool Cancelled() const override { return cancel_ || diskFull_; }

  // Runs the same walk as Extract with OutputMode 6: decode and check, store nothing.
  int ExtractTest();

  // ---- published properties ---------------------------------------------------
  const std::string& GetExtractDir() const { return extractDir_; }
  // Non-empty: expanded to a full path with a trailing separator. Empty: the
  // folder of ArchiveFile when that is set, else empty.
  void SetExtractDir(const std::string& dir);
  bool UseStoredDirs = true;
  bool CreateStoredDirs = false;
  TOverwriteMode OverwriteMode = omOverwrite;
  bool ConfirmOverwrites = false;
  bool RestoreFileAttr = true;
  TDateAttribute DateAttribute = daFileDate;
  int PasswordAttempts = 3;
  TStrings Passwords;
  TCpuType CpuType = cptAuto;
  uint8_t OutputMode = omToFile;
  // An entry that fails (bad data, checksum, write error) leaves nothing
  // behind and an existing file of its name untouched. Set, an entry that
  // decoded to its end but failed its checksum is kept under its name.
  bool KeepFailedFiles = false;
  // The guard against decompression bombs: an entry whose output passes both
  // RatioLimitBytes and RatioLimitFactor times its packed size is stopped
  // there (26800, its partial output removed) unless AskRatioLimit is set
  // and the question box (plat::MessageBox) answers Yes. 0 in either: no guard.
  int64_t RatioLimitBytes = int64_t{1} << 30;
  int64_t RatioLimitFactor = 1000;
  bool AskRatioLimit = false;
  // Entries the guard stopped in the last operation.
  int RatioStops() const { return ratioStops_; }
  // Targets of the output modes 1 and 2 (streams) and 3 (a memory block).
  TStream32* OutputStream1 = nullptr;
  TStream32* OutputStream2 = nullptr;
  uint8_t* OutputMemory = nullptr;
  int64_t OutputMemorySize = 0;

  // ---- events -------------------------------------------------------------------
  // OnBegin, OnFileExists and OnRenameFile get the output path (the stored
  // name for tests and memory output); OnGetPassword and the errors the
  // stored name; OnEnd the entry's report. With OnEnd assigned a checksum
  // failure goes there only (code E_CRCERROR), not to OnError.
  TOnBegin OnBegin;
  TOnEnd OnEnd;
  TOnFileExists OnFileExists;
  TOnRenameFile OnRenameFile;
  TOnGetPassword OnGetPassword;

 protected:
  enum class TEntryResult { NotSelected, Skipped, Refused, Folder, Extracted, Failed };
  // Runs every per-entry step for one entry. decode() reads the entry's data
  // and passes the plain bytes to WriteDecoded; it returns false after it has
  // reported its own error. verify (for encrypted entries) checks one password
  // against the entry's encryption header; it is called with each candidate.
  bool CheckCrc(uint8_t crcKind, uint32_t stored) override;
  int ExtractedCount() const override { return stats_.extracted; }
  void StartOperation() override;
  void FinishOperation() override;

  TEntryResult ExtractEntry(const TEntry& e, TFuncRef<bool()> decode,
                            const std::function<bool(const std::string&)>& verify = nullptr);

  // An entry that cannot go through ExtractEntry (unsupported method, bad
  // header, cut encryption header): when FileSpec selects it, reported with
  // code and extra and counted as failed (code 0: reported already where it
  // failed); its data is passed over either way.
  void RejectEntry(const TEntry& e, int code, const std::string& extra = std::string());
  // A header between entries cannot be read, so whatever it held is lost:
  // reported against `where` and counted as one failed entry.
  void HeaderFailed(const std::string& where, int code, const std::string& extra = std::string());
  // The archive itself cannot be used (no entry list, wrong type): reported, and
  // the tally says so.
  void ArchiveFailed(int code, const std::string& extra = std::string());
  // The same without a report (it was made where the failure happened).
  void MarkArchiveFailed() { stats_.archiveFailed = true; }
  // Maps a decoder's result (zidDecoder.h) onto the engine's errors, reported
  // against the current entry: truncated data 25236, corrupt data 25116, output
  // short of the declared size 25140, a looping string chain 25305. True only
  // for drOk with exactly `expected` bytes produced (expected < 0: any count).
  bool DecodeResultOk(int result, int64_t produced, int64_t expected);
  // The input of one entry: at most `packed` bytes of the archive stream from
  // `offset`, taken off BytesRemaining as they are read.
  TDecodeSource EntrySource(int64_t offset, int64_t packed);
  // A whole decode job for one entry: `source` (any input: EntrySource, a
  // stream of the format, a deciphering wrapper), the output through
  // WriteOutput or through `sink` when one is given (bytes counted in
  // `produced`, which must outlive the job), the cancel flag, the declared
  // size and the progress report.
  TDecodeJob EntryJob(TDecodeSource source, int64_t expected, int64_t& produced, TDecodeSink sink = TDecodeSink());
  // The same over EntrySource(offset, packed).
  TDecodeJob EntryJob(int64_t offset, int64_t packed, int64_t expected, int64_t& produced) {
    return EntryJob(EntrySource(offset, packed), expected, produced);
  }
  // The steps, for formats that need to run them one by one.
  bool BuildOutputName(const std::string& storedName, bool unixName = false);
  bool BeginEntry(const TEntry& e);
  bool CheckPassword(const std::function<bool(const std::string&)>& verify);
  bool OpenOutput();
  // The output of decoded bytes; updates the running checksum over the bytes
  // as written. False on a short write. (Deciphering belongs to the entry's
  // input, before decoding: compressed data is enciphered, not its output.)
  bool WriteOutput(const uint8_t* buf, int64_t count);
  bool WriteDecoded(const uint8_t* buf, int64_t count) { return WriteOutput(buf, count); }
  // The progress report a decode job gives after each piece of output.
  void EntryProgress() { ReportProgress(entryTotal_, entryDone_); }
  // count zero bytes (a sparse file's hole): a disk file is extended past
  // them without writing, so it keeps the hole where the file system can;
  // any other output gets the zeros. False as WriteOutput.
  bool WriteHole(int64_t count);
  // Stamps date and attributes and closes the output; keep puts the file in
  // place under its name, otherwise it is removed and any earlier file of
  // that name stays as it was.
  // False when a kept file could not be closed or put in place (reported).
  bool CloseOutput(const TEntry& e, bool keep = true);
  void SkipEntry(int64_t packedSize);
  // The longest link target made (the data of a longer one is refused).
  static constexpr int64_t kMaxLinkTarget = 4096;
  // Why a symbolic link whose folder lies linkDepth folders below the
  // extraction folder may not point at `target` (the reason, as a message
  // ends); empty when it may: the target is relative, at most 4 KiB, and
  // resolved from the link's folder it stays inside, with ".." only in front.
  static std::string LinkTargetProblem(const std::string& target, size_t linkDepth);
  // The checksum of the bytes written so far, in the stored form of its kind.
  uint32_t ComputedCrc() const;
  void BeginChecksum(uint8_t kind);

  bool asciiTranslate_ = false;  // bare LF written as CR LF (GZIP text members)

  // The output of the current entry.
  std::string outRoot_;                 // folder the relative part hangs below
  std::vector<std::string> outRel_;     // components below outRoot_
  std::string outPath_;                 // the whole path (disk output only)
  // Stored folders made and their times, set when the operation ends: every
  // file written into a folder would move its time again.
  std::vector<std::pair<std::string, int64_t>> folderTimes_;
  plat::Handle out_ = plat::kNoHandle;
  plat::PendingFile pending_;
  uint8_t crcKind_ = 32;
  uint32_t crcRunning_ = 0;
  int64_t entryDone_ = 0;
  int64_t entryTotal_ = 0;
  bool lastWasCR_ = false;
  int64_t entryPacked_ = 0;    // the packed size of the current entry (the ratio guard's measure)
  bool ratioAllowed_ = false;  // the user let the current entry pass the guard

 private:
  bool DiskOutput() const { return OutputMode == omToFile || OutputMode == omAppendFile; }
  // Links become links only in a plain extraction with the stored folders.
  bool MakesLinks() const { return OutputMode == omToFile && UseStoredDirs; }
  // The end of an entry that decoded: its report, with the checksum's verdict.
  TEntryResult EndEntry(bool pass);
  // The report of the entry in hand: opened when it is selected, closed once
  // with its verdict (counted and handed to OnEnd), the result passed through.
  void OpenReport(const std::string& storedName);
  TEntryResult CloseReport(TVerdict verdict, TEntryResult result, int code = 0, const std::string& extra = std::string());
  // A link entry, from the overwrite rules to the tally.
  TEntryResult ExtractLink(const TEntry& e, TFuncRef<bool()> decode,
                           const std::function<bool(const std::string&)>& verify);
  // Decodes a link's data into target (at most kMaxLinkTarget bytes), the
  // checksum verdict in pass; false when the decode failed (reported).
  bool DecodeLinkData(const TEntry& e, TFuncRef<bool()> decode, std::string& target, bool& pass);
  bool AppendLinkData(const uint8_t* buf, int64_t count);
  bool MakeLink(const TEntry& e, const std::string& target);
  std::string* linkData_ = nullptr;  // set while a link's data is decoded into memory
  bool TargetExists(plat::FileInfo* info = nullptr) const;
  // True (reported) when the output would replace the archive being read, or
  // the entry's declared size cannot fit on the target's disk.
  bool OutputRefused(int64_t declaredSize);
  void SetOutputPath(const std::string& path);
  void CloseOutputHandle();
  // The Unix time an output is stamped with (DateAttribute), -1 for none.
  int64_t OutputTime(const TEntry& e) const;

  std::string extractDir_;
  TStats stats_;
  TEntryReport report_;
  bool reportOpen_ = false;
  int lastCode_ = 0;  // the last error reported (RejectEntry's code 0)
  std::string lastExtra_;
  bool diskFull_ = false;
  int ratioStops_ = 0;
  // True when the output of the current entry may grow to `done` bytes.
  bool RatioAllows(int64_t done);
  int64_t sourcePos_ = 0;
  int64_t sourceLeft_ = 0;
};

}  // namespace zid
