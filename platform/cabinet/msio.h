// The file system libmspack works through: an mspack_system whose files are
// the FDI caller's callbacks. Cabinets are opened for reading by name
// through the open callback; the one name kOutputName opened for writing is
// the output the FDI caller handed out, and every other write open is
// refused, so libmspack never creates a path itself. Memory comes from the
// caller's alloc and free callbacks.
//
// libmspack hands copies of the table to its parts, so the table's address
// does not lead back to this object: the object is found as the one whose
// call is running on this thread (TMsCall, around every call into libmspack).
//
// libmspack is C: nothing may unwind through it. Each entry point here
// catches what a callback throws, keeps the first exception and reports a
// plain failure to libmspack; the caller rethrows it once libmspack returned
// (TakeException).
#pragma once

#include <mspack.h>

#include <exception>

#include "platform/cabinet/fdi.h"

namespace plat::cab {

class TMsSystem {
 public:
  TMsSystem(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read, PFNWRITE write, PFNCLOSE close,
            PFNSEEK seek);
  TMsSystem(const TMsSystem&) = delete;
  TMsSystem& operator=(const TMsSystem&) = delete;

  // The table to give libmspack; valid for the life of this object.
  mspack_system* System() { return &holder_.sys; }

  // The name libmspack is asked to extract to.
  static const char* const kOutputName;
  // Where writes to kOutputName go until the next SetOutput.
  void SetOutput(FileHandle hf);

  // State of the last libmspack call (reset by TMsCall).
  bool AllocFailed() const { return allocFailed_; }
  bool WriteShort() const { return writeShort_; }
  // Rethrows the exception a callback threw during the last call, if any.
  void TakeException();

  // The caller's callbacks, for the FDI layer's own reads and its MSZIP folders.
  const PFNOPEN& Open() const { return open_; }
  const PFNREAD& Read() const { return read_; }
  const PFNWRITE& Write() const { return write_; }
  const PFNCLOSE& Close() const { return close_; }
  const PFNSEEK& Seek() const { return seek_; }

 private:
  friend class TMsCall;
  struct Holder {
    mspack_system sys;  // first: libmspack hands back its address
    TMsSystem* owner;
  };
  struct File {
    mspack_file base;
    TMsSystem* owner;
    FileHandle hf;
    bool output;
  };

  // The object whose call is running on this thread (nullptr outside calls).
  static TMsSystem* Active();
  static File* FileOf(mspack_file* f) { return reinterpret_cast<File*>(f); }
  // Runs f; a throw is kept and fallback returned.
  template <class R, class F>
  R Guard(R fallback, F&& f);

  static mspack_file* MsOpen(mspack_system* self, const char* filename, int mode);
  static void MsClose(mspack_file* file);
  static int MsRead(mspack_file* file, void* buffer, int bytes);
  static int MsWrite(mspack_file* file, void* buffer, int bytes);
  static int MsSeek(mspack_file* file, off_t offset, int mode);
  static off_t MsTell(mspack_file* file);
  static void MsMessage(mspack_file* file, const char* format, ...);
  static void* MsAlloc(mspack_system* self, size_t bytes);
  static void MsFree(void* ptr);
  static void MsCopy(void* src, void* dest, size_t bytes);

  PFNALLOC alloc_;
  PFNFREE free_;
  PFNOPEN open_;
  PFNREAD read_;
  PFNWRITE write_;
  PFNCLOSE close_;
  PFNSEEK seek_;
  Holder holder_;
  FileHandle output_ = kNoFile;
  bool allocFailed_ = false;
  bool writeShort_ = false;
  std::exception_ptr pending_;
};

// Marks a call into libmspack: the system is the active one on this thread
// for the life of the object, and its per-call state starts afresh.
class TMsCall {
 public:
  explicit TMsCall(TMsSystem& s);
  ~TMsCall();
  TMsCall(const TMsCall&) = delete;
  TMsCall& operator=(const TMsCall&) = delete;

 private:
  TMsSystem* previous_;
};

}  // namespace plat::cab
