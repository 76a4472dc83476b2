// Random-access reads for probing code (the archive detector, the PE resource
// reader): "read n bytes at position p" over a file stream or a memory block.
//
// Contract: ReadAt never throws and never reads outside [0, Size()); a
// position that is negative or at/after the end reads nothing; the result is
// the number of bytes placed in buf (a short count is not an error).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zid {

class TByteSource {
 public:
  virtual ~TByteSource() = default;
  virtual int64_t Size() const = 0;
  virtual int64_t ReadAt(int64_t pos, void* buf, int64_t count) = 0;
};

// A source over bytes the caller keeps alive.
class TMemorySource : public TByteSource {
 public:
  TMemorySource(const void* data, int64_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}
  int64_t Size() const override { return size_; }
  int64_t ReadAt(int64_t pos, void* buf, int64_t count) override {
    if (pos < 0 || pos >= size_ || count <= 0) return 0;
    const int64_t n = std::min(count, size_ - pos);
    std::memcpy(buf, data_ + pos, static_cast<size_t>(n));
    return n;
  }

 private:
  const uint8_t* data_;
  int64_t size_;
};

}  // namespace zid
