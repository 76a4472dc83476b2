// The window's one door into the archive engine.
//
// The main window owns one preconfigured component per format and direction
// (Zip1 ... UnZoo1, RizER1). Here they are records of the published
// properties the window sets; IArchiveEngine runs the engine operation a
// record describes (Compress, Extract, GetFileList). The window assigns no
// engine event but the two it needs to ask the user: progress, to draw it,
// and the password of an encrypted entry. Every other decision stays with the
// component's default.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/zidFormats.h"
#include "engine/base/zidGbls.h"
#include "engine/base/zidTypes.h"

namespace shell {

// A format button or an extractor of the window: a family of the format
// table (engine/base/zidFormats.h), which names its components, its button
// and the extensions the window extracts.
using WriterKind = const zid::TFormat*;
using ExtractorKind = const zid::TFormat*;
// The family of a command-line name ("zip"); it must be in the table.
const zid::TFormat* Family(const char* cliName);
// The families of the format buttons, left to right.
const std::vector<const zid::TFormat*>& FormatButtons();

// The engine's own enumerations, under the names the window uses.
using zid::TCompressMethod;
using zid::TCpuType;
using zid::TDateAttribute;
using zid::TOverwriteMode;
using zid::TStoredDirNames;
using zid::TSwitch;
using zid::TDeleteOptions;
using zid::TCompressionMethod;
using zid::TDeflateType;
// The attribute filter of the file scan, as the writers take it.
enum TzidFileAttribute : unsigned {
  fsZeroAttr = 1u << 0, fsReadOnly = 1u << 1, fsHidden = 1u << 2, fsSysFile = 1u << 3,
  fsVolumeID = 1u << 4, fsDirectory = 1u << 5, fsArchive = 1u << 6, fsCompressed = 1u << 7,
  fsEncrypted = 1u << 8,
};
using TzidFileAttributes = unsigned;  // a set of TzidFileAttribute bits

// The 24 extensions a writer stores without compressing them.
const std::vector<std::string>& DefaultStoreFilesOfType();

// A writer as the window configures it.
struct TWriterProps {
  std::string Name;  // "Zip1"
  WriterKind Kind = nullptr;
  zid::TArcType ArcType = zid::atZip;
  std::vector<TCompressMethod> SupportedMethods;
  TCompressMethod CompressMethod = zid::cmDeflate;
  std::string DefaultExt;
  TzidFileAttributes Attributes = fsZeroAttr | fsReadOnly | fsArchive | fsCompressed | fsEncrypted;
  TzidFileAttributes AttributesEx = 0;
  TDeleteOptions DeleteOptions = zid::doAllowUndo;
  TCompressionMethod CompressionMethod = zid::cmTempFile;
  TDeflateType DeflateType = zid::dtDeflateN;
  std::vector<std::string> StoreFilesOfType;
  // Set per operation by the window.
  std::string ArchiveFile;
  std::vector<std::string> FileSpec;
  std::vector<std::string> ExcludeSpec;
  TDateAttribute DateAttribute = zid::daFileDate;
  TStoredDirNames StoredDirNames = zid::sdRelative;
  bool RecurseDirs = true;
  TSwitch Switch = zid::swAdd;
  // Set per run by the window: the run adds to the archive already on disk
  // (its entries are kept) instead of writing it afresh.
  bool AddToArchive = false;
  // The window's create password: empty, no encryption. Cipher as the
  // writers' SetCipher takes it (0 ZipCrypto, 1 AES-128, 3 AES-256); a
  // family without that cipher uses its own (BH: ZipCrypto).
  std::string Password;
  int Cipher = 3;

  // As the components do: a method outside SupportedMethods is ignored silently.
  void SetCompressMethod(TCompressMethod m);
};

// An extractor as the window configures it.
struct TExtractorProps {
  std::string Name;  // "UnZip1"
  ExtractorKind Kind = nullptr;
  TCpuType CpuType = zid::cptAuto;
  bool UseStoredDirs = true;
  bool CreateStoredDirs = false;
  TOverwriteMode OverwriteMode = zid::omOverwrite;
  bool ConfirmOverwrites = false;
  bool RestoreFileAttr = true;
  TDateAttribute DateAttribute = zid::daFileDate;
  bool RecurseDirs = true;
  // Set per operation by the window.
  std::string ArchiveFile;
  std::vector<std::string> FileSpec;
  std::string ExtractDir;
  // The code page of names stored without a mark ("": guessed per archive).
  std::string NameCharset;
};

// The directory reader.
struct TDirReaderProps {
  std::string Name = "RizER1";
  bool RecurseDirs = true;
  std::string ArchiveFile;
  std::vector<std::string> FileSpec;
  // The code page of names stored without a mark ("": guessed per archive).
  std::string NameCharset;
};

// What an extraction did, entry by entry, for the status line. Extracted
// counts the files whose data came out with a good checksum; Failed counts
// the entries the engine reported a problem for (a bad checksum, an entry it
// could not decode, write or was refused, an encrypted entry without a
// password); Encrypted is the part of Failed that failed for want of a
// password. An archive that cannot be read at all gives 0 and 0.
struct ExtractResult {
  int Extracted = 0;
  int Failed = 0;
  int Encrypted = 0;
  bool Cancelled = false;  // stopped by Cancel
};

// The answer to the password question of an encrypted entry.
enum class PasswordAnswer {
  Ok,      // try the password given
  Skip,    // leave this entry out
  Cancel,  // stop the whole operation
};

class IArchiveEngine {
 public:
  virtual ~IArchiveEngine() = default;

  // Whether the component of that kind exists in this build. The window
  // leaves a format alone until its component has joined.
  virtual bool WriterAvailable(WriterKind kind) const = 0;
  virtual bool ExtractorAvailable(ExtractorKind kind) const = 0;
  virtual bool ListerAvailable() const = 0;

  // Compress with the writer's properties; the number of entries written,
  // 0 after a failure.
  virtual int Compress(const TWriterProps& writer) = 0;
  virtual ExtractResult Extract(const TExtractorProps& extractor) = 0;
  // Appends one line per entry name; on failure the whole list is emptied.
  virtual void GetFileList(const TDirReaderProps& reader, std::vector<std::string>& lines) = 0;

  // Asks the running operation to stop at its next check.
  virtual void Cancel() = 0;
  // The code page the last GetFileList read unmarked names in (the one
  // chosen, else the one guessed for the archive).
  const std::string& LastNamePage() const { return namePage_; }

  // Why the last Compress or Extract failed: the engine's first error
  // message of the run ("Cabinet.dll not found"), "" when nothing was reported.
  const std::string& FailureText() const { return failure_; }

  // ByFile and ByArchive percentages of the running operation (0..100).
  using ProgressHandler = std::function<void(int byFile, int byArchive)>;
  void SetProgressHandler(ProgressHandler h) { progress_ = std::move(h); }

  // Asked when an encrypted entry needs a password none of the known ones
  // opens. entry: the entry's name; again: the password just given was
  // wrong. Without a handler encrypted entries are skipped unasked.
  using PasswordHandler = std::function<PasswordAnswer(const std::string& entry, bool again, std::string& password)>;
  void SetPasswordHandler(PasswordHandler h) { password_ = std::move(h); }
  bool HasPasswordHandler() const { return static_cast<bool>(password_); }

 protected:
  std::string namePage_ = "CP437";
  void ReportProgress(int byFile, int byArchive) {
    if (progress_) progress_(byFile, byArchive);
  }
  PasswordAnswer AskPassword(const std::string& entry, bool again, std::string& password) {
    return password_ ? password_(entry, again, password) : PasswordAnswer::Skip;
  }
  void SetFailure(const std::string& text) { failure_ = text; }

 private:
  ProgressHandler progress_;
  PasswordHandler password_;
  std::string failure_;
};

// "LHA archives cannot be written yet": why a format button's writer is missing.
std::string WriterMissingText(WriterKind kind);

// The engine of this build. A format joins by adding its component to the
// dispatch in ArchiveEngine.cpp; until then it is reported unavailable.
//
// Like the window, the engine keeps one component per format and direction
// for its whole life. A run without AddToArchive writes the archive afresh
// from its FileSpec (the runs of a build, each with all paths so far); a run
// with it adds to the archive the previous run wrote.
class ArchiveEngine : public IArchiveEngine {
 public:
  ArchiveEngine();
  ~ArchiveEngine() override;
  ArchiveEngine(const ArchiveEngine&) = delete;
  ArchiveEngine& operator=(const ArchiveEngine&) = delete;

  bool WriterAvailable(WriterKind kind) const override;
  bool ExtractorAvailable(ExtractorKind kind) const override;
  bool ListerAvailable() const override;
  int Compress(const TWriterProps& writer) override;
  ExtractResult Extract(const TExtractorProps& extractor) override;
  void GetFileList(const TDirReaderProps& reader, std::vector<std::string>& lines) override;
  void Cancel() override;

 private:
  struct Components;
  class RunningScope;

  std::unique_ptr<Components> parts_;
  bool* cancelFlag_ = nullptr;  // the running component's flag
};

}  // namespace shell
