// The archive under construction: a temporary file (or a memory block) that
// replaces the final archive once the writer has finished it.
//
// Life of a temporary stream in temp mode (mode plat::fmCreate):
//   create -> write the whole new archive -> owner calls Publish()
// Publish may raise (disk full, final file not writable); the destructor never
// publishes and never raises: it only closes and deletes what is left. So an
// abandoned or failed build never touches the final file. Discard() drops the
// temporary data explicitly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/base/zidStreams.h"

namespace zid {

// The name a memory stream in temp mode passes as its temporary file name.
inline const std::string kMemTempName = "NoName";
// Chunk of the copy that publishes across file systems.
constexpr int64_t kTempCopyChunk = 100000;
// A temporary file larger than this fires the move-end step.
constexpr int64_t kMoveEndThreshold = 65536;

// What a temporary stream asks of the component that owns it. Every
// operation has a working default, so a plain instance (or nullptr owner)
// publishes quietly; a writer overrides them to fire its events.
class TTempStreamOwner {
 public:
  virtual ~TTempStreamOwner() = default;

  // Before the move (OnTmpFileMoveBegin); may set *cancel to keep the old
  // archive. Default: nothing.
  virtual void TmpMoveBegin(TStream32& stream, const std::string& finalName, bool* cancel,
                            const std::string& tempName);
  // Puts the finished archive in place. Same file system: rename the temp
  // file over the final name. Otherwise (or when the rename fails): copy the
  // temp file (or, for kMemTempName, the stream itself from position 0) in
  // 100,000-byte chunks into a new file beside the final name, reporting
  // TmpProgress, then rename that over the final name, so the old archive is
  // intact until the new one is complete. Raises E_RAISE 25235 when the temp
  // file cannot be opened, 25160 ("Disk full") or 25136 when a write fails;
  // plat::LastError() keeps the system's error for the caller.
  virtual void TmpMove(TStream32& stream, const std::string& finalName, bool sameDrive, const std::string& tempName);
  // After the move (OnTmpFileMoveEnd). Default: nothing.
  virtual void TmpMoveEnd(TStream32& stream, const std::string& finalName);
  // During a cross-file-system copy (OnTmpFileProgress). Default: nothing.
  virtual void TmpProgress(const std::string& finalName, int64_t done, int64_t total);
  // A publishing failure the owner should report (25160 when the disk was
  // full). Default: nothing.
  virtual void TmpReportError(int eCode, const std::string& fileName);

 protected:
  // Creates the file the cross-file-system copy writes (a seam for tests).
  virtual std::unique_ptr<TStream32> TmpCreateTarget(const std::string& name);
};

// Shared publishing steps of both temporary streams.
class TTempPublisher {
 public:
  TTempPublisher(TTempStreamOwner* owner, bool* cancel, const std::string& finalName);
  const std::string& FinalName() const { return finalName_; }
  TTempStreamOwner& Owner() { return owner_ != nullptr ? *owner_ : defaultOwner_; }
  bool CancelRequested() const { return cancel_ != nullptr && *cancel_; }

 protected:
  TTempStreamOwner* owner_;
  TTempStreamOwner defaultOwner_;
  bool* cancel_;
  bool localCancel_ = false;
  std::string finalName_;
};

// Mode -1: a new temporary file in tempDir (the system temporary folder when
// tempDir is empty or cannot be created). Where the file system allows it the
// file is unnamed, so a killed process leaves nothing behind, and gets its name
// "zid....tmp" only when published: beside the final name on the same file
// system (then renamed over it), in its own folder otherwise (then copied).
// Elsewhere it is a named "zid....tmp" file from the start. Any other mode
// opens finalName directly as a plain file stream (IsTemp() false, Publish a
// no-op). A file that cannot be created gives a negative Handle(), as file
// streams do.
class TTempFileStream : public TFileStream32, public TTempPublisher {
 public:
  TTempFileStream(TTempStreamOwner* owner, int mode, const std::string& finalName, const std::string& tempDir,
                  bool* cancel = nullptr);
  ~TTempFileStream() override;

  // Temp mode: closes the file and puts it in place of the final name through
  // the owner (move-begin, move, move-end when larger than 65,536 bytes).
  // Cancelled (before or in move-begin): the temp file is deleted, the final
  // file untouched, result false. A failure raises (after TmpReportError
  // 25160 when the disk was full); the temp file is deleted in every case.
  // Other modes: closes the file, result true.
  bool Publish();
  // Closes and deletes the temporary file (an unnamed one vanishes on close);
  // the final file is untouched.
  void Discard();

  int64_t Read(void* buffer, int64_t count) override;

  bool IsTemp() const { return isTemp_; }
  // The temporary file's name: "" while an unnamed file is being written.
  const std::string& TempName() const { return tempName_; }
  // The folder the temporary file was created in.
  const std::string& TempFolder() const { return tempDir_; }
  bool IsUnnamed() const { return unnamed_; }

 private:
  struct TTarget {
    std::string name;  // a named temporary file, or finalName in the other modes
    std::string dir;   // where an unnamed file lives
    plat::Handle unnamed = plat::kNoHandle;
  };
  TTempFileStream(TTempStreamOwner* owner, int mode, const std::string& finalName, TTarget target, bool* cancel);
  static TTarget MakeTemp(int mode, const std::string& finalName, const std::string& tempDir);
  // Gives the unnamed file its name before the handle closes; raises on failure.
  void NameUnnamed(bool sameDrive);
  std::string tempName_;
  std::string tempDir_;
  bool isTemp_;
  bool unnamed_ = false;
  bool done_ = false;
};

// Mode -1: the archive is built in memory; Publish writes it to the final name
// through the owner's move (never a rename). Other modes: a plain memory
// stream, Publish a no-op.
class TTempMemStream : public TMemoryStream32, public TTempPublisher {
 public:
  TTempMemStream(TTempStreamOwner* owner, int mode, const std::string& finalName, bool* cancel = nullptr);
  ~TTempMemStream() override = default;

  bool Publish();
  void Discard();
  bool IsTemp() const { return isTemp_; }

 private:
  bool isTemp_;
  bool done_ = false;
};

}  // namespace zid
