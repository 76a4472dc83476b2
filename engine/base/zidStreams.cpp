// Base, handle, file and memory streams.
#include "engine/base/zidStreams.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidGbls.h"
#include "platform/hooks.h"

namespace zid {

// ---------------------------------------------------------------- TStream32

int64_t TStream32::Size() {
  const int64_t pos = Seek(0, plat::soFromCurrent);
  if (pos < 0) return -1;
  const int64_t end = Seek(0, plat::soFromEnd);
  Seek(pos, plat::soFromBeginning);
  return end;
}

void TStream32::SetSize(int64_t /*newSize*/) {}

int64_t ReadFullAt(TStream32& s, int64_t pos, void* buf, int64_t n) {
  if (pos < 0 || s.Seek(pos, plat::soFromBeginning) != pos) return 0;
  auto* p = static_cast<uint8_t*>(buf);
  int64_t got = 0;
  while (got < n) {
    const int64_t r = s.Read(p + got, n - got);
    if (r <= 0) break;
    got += r;
  }
  return got;
}

void TStream32::ReadBuffer(void* buffer, int64_t count) {
  if (count < 0 || (count != 0 && Read(buffer, count) != count)) throw E_RAISE(LoadStr(E_READERROR), E_READERROR);
}

void TStream32::WriteBuffer(const void* buffer, int64_t count) {
  plat::SetLastError(0);
  if (count < 0 || (count != 0 && Write(buffer, count) != count)) {
    const int code = plat::IsDiskFullError(plat::LastError()) ? E_DISKFULL : E_WRITEERROR;
    throw E_RAISE(LoadStr(code), code);
  }
}

int64_t TStream32::CopyFrom(TStream32& source, int64_t count) {
  if (count < 0) return 0;
  if (count == 0) {
    if (source.Seek(0, plat::soFromBeginning) < 0) return 0;
    count = source.Size();
    if (count <= 0) return 0;
  }
  std::vector<uint8_t> buf(static_cast<size_t>(count < kCopyChunkSize ? count : kCopyChunkSize));
  int64_t copied = 0;
  while (copied < count) {
    plat::ProcessMessages();
    if (Cancelled()) break;
    const int64_t want = count - copied < kCopyChunkSize ? count - copied : kCopyChunkSize;
    const int64_t got = source.Read(buf.data(), want);
    if (got <= 0) break;
    WriteBuffer(buf.data(), got);
    copied += got;
    if (ProgressProc) ProgressProc(got);
    // A short read is the end of the source: looping again would spin.
    if (got < want) break;
  }
  return copied;
}

// ----------------------------------------------------------- THandleStream32

int64_t THandleStream32::Read(void* buffer, int64_t count) {
  if (handle_ < 0 || count <= 0 || buffer == nullptr) return 0;
  const int64_t n = plat::FileRead(handle_, buffer, count);
  if (n <= 0) return 0;
  if (OnRead) {
    // Actual rather than requested counts, so the counter ends at zero.
    if (Remaining != nullptr) *Remaining -= n;
    OnRead(n);
  }
  return n;
}

int64_t THandleStream32::Write(const void* buffer, int64_t count) {
  if (handle_ < 0 || count <= 0 || buffer == nullptr) return 0;
  const int64_t n = plat::FileWrite(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t THandleStream32::Seek(int64_t offset, int origin) {
  if (handle_ < 0) return -1;
  return plat::FileSeek(handle_, offset, origin);
}

int64_t THandleStream32::Size() {
  if (handle_ < 0) return -1;
  return plat::FileSizeOf(handle_);
}

void THandleStream32::SetSize(int64_t newSize) {
  if (handle_ < 0) return;
  if (newSize < 0 || plat::FileSeek(handle_, newSize, plat::soFromBeginning) < 0 ||
      !plat::FileTruncate(handle_, newSize))
    throw E_RAISE(plat::ErrorText(plat::LastError()));
}

// ------------------------------------------------------------- TFileStream32

TFileStream32::TFileStream32(const std::string& fileName, int mode)
    : THandleStream32(mode == plat::fmCreate ? plat::FileCreate(fileName) : plat::FileOpen(fileName, mode)),
      fileName_(fileName) {}

TFileStream32::~TFileStream32() { Close(); }

void TFileStream32::Close() {
  if (handle_ >= 0) plat::FileClose(handle_);
  handle_ = plat::kNoHandle;
}

// ----------------------------------------------------- TCustomMemoryStream32

int64_t TCustomMemoryStream32::Read(void* buffer, int64_t count) {
  if (count <= 0 || buffer == nullptr || position_ < 0 || position_ >= size_) return 0;
  const int64_t n = size_ - position_ < count ? size_ - position_ : count;
  std::memcpy(buffer, memory_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TCustomMemoryStream32::Write(const void* /*buffer*/, int64_t /*count*/) { return 0; }

int64_t TCustomMemoryStream32::Seek(int64_t offset, int origin) {
  int64_t base;
  switch (origin) {
    case plat::soFromBeginning: base = 0; break;
    case plat::soFromCurrent: base = position_; break;
    case plat::soFromEnd: base = size_; break;
    default: return -1;
  }
  if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0) return -1;
  position_ = base + offset;
  return position_;
}

void TCustomMemoryStream32::SetPointer(void* ptr, int64_t size) {
  memory_ = static_cast<uint8_t*>(ptr);
  size_ = ptr != nullptr && size > 0 ? size : 0;
  position_ = 0;
}

void TCustomMemoryStream32::SaveToStream(TStream32& target) { target.WriteBuffer(memory_, size_); }

void TCustomMemoryStream32::SaveToFile(const std::string& fileName) {
  TFileStream32 f(fileName, plat::fmCreate);
  if (f.Handle() < 0) throw E_RAISE(LoadStr(E_OPENERROR), E_OPENERROR);
  SaveToStream(f);
}

// ----------------------------------------------------------- TMemoryStream32

TMemoryStream32::~TMemoryStream32() { std::free(memory_); }

uint8_t* TMemoryStream32::Realloc(int64_t& newCapacity) {
  if (newCapacity > 0 && newCapacity != size_) {
    if (newCapacity > std::numeric_limits<int64_t>::max() - (kMemoryDelta - 1))
      throw E_RAISE(LoadStr(E_STREAMEXPAND), E_STREAMEXPAND);
    newCapacity = (newCapacity + (kMemoryDelta - 1)) & ~(kMemoryDelta - 1);
  }
  if (newCapacity == capacity_) return memory_;
  if (newCapacity <= 0) {
    std::free(memory_);
    newCapacity = 0;
    return nullptr;
  }
  if (static_cast<uint64_t>(newCapacity) > std::numeric_limits<size_t>::max())
    throw E_RAISE(LoadStr(E_STREAMEXPAND), E_STREAMEXPAND);
  void* p = std::realloc(memory_, static_cast<size_t>(newCapacity));
  if (p == nullptr) throw E_RAISE(LoadStr(E_STREAMEXPAND), E_STREAMEXPAND);
  return static_cast<uint8_t*>(p);
}

void TMemoryStream32::SetCapacity(int64_t newCapacity) {
  if (newCapacity < 0) newCapacity = 0;
  // The block may not shrink below the data it holds.
  if (newCapacity < size_) newCapacity = size_;
  memory_ = Realloc(newCapacity);
  capacity_ = newCapacity;
}

void TMemoryStream32::SetSize(int64_t newSize) {
  if (newSize < 0) return;
  const int64_t oldPos = position_;
  const int64_t oldSize = size_;
  if (newSize > capacity_ || newSize < oldSize) {
    int64_t cap = newSize;
    memory_ = Realloc(cap);  // keeps the first min(old, new) bytes
    capacity_ = cap;
  }
  if (newSize > oldSize) std::memset(memory_ + oldSize, 0, static_cast<size_t>(newSize - oldSize));
  size_ = newSize;
  if (oldPos > newSize) position_ = newSize;
}

void TMemoryStream32::Clear() {
  size_ = 0;
  position_ = 0;
  SetCapacity(0);
}

int64_t TMemoryStream32::Write(const void* buffer, int64_t count) {
  if (position_ < 0 || count <= 0 || buffer == nullptr) return 0;
  if (position_ > std::numeric_limits<int64_t>::max() - count) return 0;
  const int64_t end = position_ + count;
  if (end > size_) {
    if (end > capacity_) SetCapacity(end);
    // A gap left by a seek past the end reads as zeros.
    if (position_ > size_) std::memset(memory_ + size_, 0, static_cast<size_t>(position_ - size_));
    size_ = end;
  }
  std::memcpy(memory_ + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

void TMemoryStream32::LoadFromStream(TStream32& source) {
  if (source.Seek(0, plat::soFromBeginning) < 0) throw E_RAISE(LoadStr(E_READERROR), E_READERROR);
  const int64_t n = source.Size();
  if (n < 0) throw E_RAISE(LoadStr(E_READERROR), E_READERROR);
  size_ = 0;
  position_ = 0;
  SetSize(n);
  if (n != 0) source.ReadBuffer(memory_, n);
}

void TMemoryStream32::LoadFromFile(const std::string& fileName) {
  TFileStream32 f(fileName, plat::fmOpenRead | plat::fmShareDenyWrite);
  if (f.Handle() < 0) throw E_RAISE(LoadStr(E_OPENERROR), E_OPENERROR);
  LoadFromStream(f);
}

}  // namespace zid
