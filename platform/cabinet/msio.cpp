#include "platform/cabinet/msio.h"

#include <cstddef>
#include <cstring>
#include <new>

namespace plat::cab {

namespace {

// Every block handed to libmspack starts this far into the caller's block;
// the owner sits in front of it, because libmspack's free has no context.
constexpr size_t kBlockHeader = alignof(std::max_align_t) > sizeof(void*) ? alignof(std::max_align_t) : sizeof(void*);

thread_local TMsSystem* tActive = nullptr;

}  // namespace

TMsCall::TMsCall(TMsSystem& s) : previous_(tActive) {
  tActive = &s;
  s.allocFailed_ = false;
  s.writeShort_ = false;
  s.pending_ = nullptr;
}

TMsCall::~TMsCall() { tActive = previous_; }

TMsSystem* TMsSystem::Active() { return tActive; }

const char* const TMsSystem::kOutputName = "<fdi output>";

TMsSystem::TMsSystem(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read, PFNWRITE write, PFNCLOSE close,
                     PFNSEEK seek)
    : alloc_(std::move(alloc)),
      free_(std::move(free)),
      open_(std::move(open)),
      read_(std::move(read)),
      write_(std::move(write)),
      close_(std::move(close)),
      seek_(std::move(seek)) {
  std::memset(&holder_, 0, sizeof holder_);
  holder_.sys.open = &MsOpen;
  holder_.sys.close = &MsClose;
  holder_.sys.read = &MsRead;
  holder_.sys.write = &MsWrite;
  holder_.sys.seek = &MsSeek;
  holder_.sys.tell = &MsTell;
  holder_.sys.message = &MsMessage;
  holder_.sys.alloc = &MsAlloc;
  holder_.sys.free = &MsFree;
  holder_.sys.copy = &MsCopy;
  holder_.sys.null_ptr = nullptr;
  holder_.owner = this;
}

void TMsSystem::SetOutput(FileHandle hf) { output_ = hf; }

void TMsSystem::TakeException() {
  if (!pending_) return;
  std::exception_ptr e = pending_;
  pending_ = nullptr;
  std::rethrow_exception(e);
}

template <class R, class F>
R TMsSystem::Guard(R fallback, F&& f) {
  try {
    return f();
  } catch (...) {
    if (!pending_) pending_ = std::current_exception();
    return fallback;
  }
}

mspack_file* TMsSystem::MsOpen(mspack_system*, const char* filename, int mode) {
  TMsSystem* s = Active();
  if (s == nullptr || filename == nullptr) return nullptr;
  return s->Guard<mspack_file*>(nullptr, [&]() -> mspack_file* {
    const bool output = filename == kOutputName;
    if (output != (mode == MSPACK_SYS_OPEN_WRITE)) return nullptr;
    if (mode != MSPACK_SYS_OPEN_READ && !output) return nullptr;
    FileHandle hf = s->output_;
    if (!output) {
      hf = s->open_(filename, kOpenReadOnly | kOpenBinary, 0);
      if (hf == kNoFile) return nullptr;
    }
    auto* f = new (std::nothrow) File{{0}, s, hf, output};
    if (f == nullptr) {
      if (!output) s->close_(hf);
      s->allocFailed_ = true;
      return nullptr;
    }
    return &f->base;
  });
}

void TMsSystem::MsClose(mspack_file* file) {
  if (file == nullptr) return;
  File* f = FileOf(file);
  TMsSystem* s = f->owner;
  if (!f->output) s->Guard<int>(0, [&] { return s->close_(f->hf); });
  delete f;
}

int TMsSystem::MsRead(mspack_file* file, void* buffer, int bytes) {
  File* f = FileOf(file);
  if (f->output || bytes < 0) return -1;
  TMsSystem* s = f->owner;
  return s->Guard<int>(-1, [&] {
    const int64_t n = s->read_(f->hf, buffer, bytes);
    return n < 0 || n > bytes ? -1 : static_cast<int>(n);
  });
}

int TMsSystem::MsWrite(mspack_file* file, void* buffer, int bytes) {
  File* f = FileOf(file);
  if (!f->output || bytes < 0) return -1;
  TMsSystem* s = f->owner;
  return s->Guard<int>(-1, [&] {
    const int64_t n = s->write_(f->hf, buffer, bytes);
    if (n != bytes) {
      s->writeShort_ = true;
      return -1;
    }
    return bytes;
  });
}

int TMsSystem::MsSeek(mspack_file* file, off_t offset, int mode) {
  File* f = FileOf(file);
  if (f->output) return -1;
  TMsSystem* s = f->owner;
  const int origin = mode == MSPACK_SYS_SEEK_START ? kSeekSet : mode == MSPACK_SYS_SEEK_CUR ? kSeekCur : kSeekEnd;
  return s->Guard<int>(-1, [&] { return s->seek_(f->hf, static_cast<int64_t>(offset), origin) < 0 ? -1 : 0; });
}

off_t TMsSystem::MsTell(mspack_file* file) {
  File* f = FileOf(file);
  if (f->output) return -1;
  TMsSystem* s = f->owner;
  return s->Guard<off_t>(-1, [&] { return static_cast<off_t>(s->seek_(f->hf, 0, kSeekCur)); });
}

void TMsSystem::MsMessage(mspack_file*, const char*, ...) {
  // libmspack's warnings are not shown: every failure comes back as an error code.
}

void* TMsSystem::MsAlloc(mspack_system*, size_t bytes) {
  TMsSystem* s = Active();
  if (s == nullptr || bytes > SIZE_MAX - kBlockHeader) return nullptr;
  void* block = s->Guard<void*>(nullptr, [&] { return s->alloc_(bytes + kBlockHeader); });
  if (block == nullptr) {
    s->allocFailed_ = true;
    return nullptr;
  }
  *static_cast<TMsSystem**>(block) = s;
  return static_cast<char*>(block) + kBlockHeader;
}

void TMsSystem::MsFree(void* ptr) {
  if (ptr == nullptr) return;
  void* block = static_cast<char*>(ptr) - kBlockHeader;
  TMsSystem* s = *static_cast<TMsSystem**>(block);
  s->Guard<int>(0, [&] {
    s->free_(block);
    return 0;
  });
}

void TMsSystem::MsCopy(void* src, void* dest, size_t bytes) { std::memcpy(dest, src, bytes); }

}  // namespace plat::cab
