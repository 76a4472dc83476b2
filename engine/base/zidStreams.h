// The engine's streams: 64-bit positions, a progress and cancel hook, and the
// file and memory streams every component moves its data through.
//
// Contracts common to all streams:
// - Read returns the bytes read (a short count is not an error; 0 at the end
//   or on error). Write returns the bytes written (0 on error). Neither ever
//   throws. A negative count moves nothing and returns 0.
// - Seek returns the new position, or -1 when the stream refuses the seek
//   (negative target, closed handle). A refused seek leaves the position alone.
// - ReadBuffer / WriteBuffer are the throwing forms: a short transfer raises
//   E_RAISE with "Error reading file or unexpected end of file" (25236) or
//   "Error writing to file" (25136).
// - Streams are single-threaded; the progress hook is called on the caller's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/files.h"

namespace zid {

// Chunk of CopyFrom.
constexpr int64_t kCopyChunkSize = 131072;
// Capacity step of memory streams.
constexpr int64_t kMemoryDelta = 8192;

// Called after each chunk a copy loop or filter moved, with that chunk's byte count.
using TStreamProgress = std::function<void(int64_t bytes)>;
// Fired after each successful read of a handle stream, with the bytes read.
using TStreamOnRead = std::function<void(int64_t bytes)>;

class TStream32 {
 public:
  TStream32() = default;
  virtual ~TStream32() = default;
  TStream32(const TStream32&) = delete;
  TStream32& operator=(const TStream32&) = delete;

  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // origin: plat::soFromBeginning, soFromCurrent or soFromEnd.
  virtual int64_t Seek(int64_t offset, int origin) = 0;
  // The default measures with Seek and puts the position back; -1 when it cannot.
  virtual int64_t Size();
  // The default does nothing (streams that cannot change size).
  virtual void SetSize(int64_t newSize);

  // The n bytes at pos without copying them, where the stream holds them in a
  // buffer of its own (it may read ahead to do so); null otherwise, and then
  // the caller reads. The position does not move. The pointer holds until the
  // next call on the stream.
  virtual const uint8_t* Peek(int64_t pos, int64_t n) {
    (void)pos;
    (void)n;
    return nullptr;
  }

  int64_t Position() { return Seek(0, plat::soFromCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, plat::soFromBeginning); }

  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);

  // Copies count bytes from source at its current position; a count of 0
  // copies the whole source from position 0, whatever its position was.
  // Chunks of min(count, 131072): before each chunk the user interface is
  // serviced (plat::ProcessMessages) and the copy stops when the watched
  // Cancel flag is set. A short read ends the copy. A short write raises
  // E_RAISE 25136. Returns the bytes actually copied, which is the requested
  // count when the copy completed; a negative count copies nothing (0).
  virtual int64_t CopyFrom(TStream32& source, int64_t count);

  // Progress hook of the copy loops (may be empty). Components detach it
  // while probing (see TProgressDetach) so that no progress is reported.
  TStreamProgress ProgressProc;
  // The owner's cancel flag; nullptr watches a flag that is always false.
  bool* Cancel = nullptr;
  // The owner's counter of bytes still to process (may be nullptr). Handle
  // stream reads with OnRead assigned take the bytes read off it.
  int64_t* Remaining = nullptr;
  TStreamOnRead OnRead;

  // True when the watched cancel flag is set.
  bool Cancelled() const { return Cancel != nullptr && *Cancel; }
};

// Reads up to n bytes at pos, going on after short reads; the bytes read (0
// when pos cannot be reached). Moves the stream's position.
int64_t ReadFullAt(TStream32& s, int64_t pos, void* buf, int64_t n);

// Detaches a stream's progress hook for the life of the object.
class TProgressDetach {
 public:
  explicit TProgressDetach(TStream32& s) : stream_(s), saved_(std::move(s.ProgressProc)) { s.ProgressProc = nullptr; }
  ~TProgressDetach() { stream_.ProgressProc = std::move(saved_); }
  TProgressDetach(const TProgressDetach&) = delete;
  TProgressDetach& operator=(const TProgressDetach&) = delete;

 private:
  TStream32& stream_;
  TStreamProgress saved_;
};

// A stream over an open file handle. The handle is not closed by this class.
// Every operation on an invalid (negative) handle returns 0 (Read/Write) or
// -1 (Seek/Size) and never crashes.
class THandleStream32 : public TStream32 {
 public:
  explicit THandleStream32(plat::Handle handle) : handle_(handle) {}

  plat::Handle Handle() const { return handle_; }
  bool IsOpen() const { return handle_ >= 0; }

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override;
  // Seeks to newSize and truncates there; raises E_RAISE with the system's
  // error text when truncation fails. Nothing happens on a closed handle.
  void SetSize(int64_t newSize) override;

 protected:
  plat::Handle handle_;
};

// Opens or creates a named file and closes it on destruction. Mode
// plat::fmCreate (-1) creates or truncates the file (never through a symbolic
// link); any other value opens an existing file with that plat::FileOpen mode.
// A failed open does not raise: Handle() is negative and the caller reports
// "Error opening file" (25235).
class TFileStream32 : public THandleStream32 {
 public:
  TFileStream32(const std::string& fileName, int mode);
  ~TFileStream32() override;

  const std::string& FileName() const { return fileName_; }
  // Closes the handle early; the stream then behaves as a closed handle stream.
  void Close();

 protected:
  std::string fileName_;
};

// Read and seek over a memory block it does not own. Write stores nothing
// (returns 0); TMemoryStream32 adds writing and growth.
class TCustomMemoryStream32 : public TStream32 {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Positions past the end are allowed (a later write fills the gap with
  // zeros); negative targets are refused (-1).
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }

  void* Memory() const { return memory_; }
  // Points the stream at a block of size bytes (not owned), position 0.
  void SetPointer(void* ptr, int64_t size);
  // Writes the whole block to a stream / a new file; raise E_RAISE on failure.
  void SaveToStream(TStream32& target);
  void SaveToFile(const std::string& fileName);

 protected:
  uint8_t* memory_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// A growable memory stream owning its block. Capacity moves in steps of
// 8192 bytes; failing to grow raises E_RAISE "Out of memory while expanding
// memory stream" (25254).
class TMemoryStream32 : public TCustomMemoryStream32 {
 public:
  TMemoryStream32() = default;
  ~TMemoryStream32() override;

  int64_t Write(const void* buffer, int64_t count) override;
  // Sets the size (capacity follows); a position past the new end moves to it.
  void SetSize(int64_t newSize) override;
  void Clear();
  int64_t Capacity() const { return capacity_; }
  void SetCapacity(int64_t newCapacity);
  // Replaces the content with the whole of source (from position 0) / a file.
  void LoadFromStream(TStream32& source);
  void LoadFromFile(const std::string& fileName);

 protected:
  // Returns a block of the requested capacity (rounded up to a multiple of
  // 8192 unless it is 0 or equal to the current size), nullptr for 0.
  virtual uint8_t* Realloc(int64_t& newCapacity);

  int64_t capacity_ = 0;
};

}  // namespace zid
