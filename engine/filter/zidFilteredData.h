// Reads at positions of a filter's decoded bytes, for walkers written for
// files (the tar walk): a read ahead of the position decodes on to it, a
// read behind it decodes again from the start. Nothing is kept on disk.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/base/zidDecoder.h"
#include "engine/filter/zidFilters.h"

namespace zid {

class TStream32;

class TFilteredData {
 public:
  // open() makes a reader from the start of the data.
  using TOpen = std::function<std::unique_ptr<TFilterReader>()>;
  explicit TFilteredData(TOpen open) : open_(std::move(open)) {}

  // Up to n bytes at pos; short at the end of the data or when decoding
  // failed (Status then says why).
  int64_t ReadAt(int64_t pos, uint8_t* buf, int64_t n);
  // drOk, or the failure that ended the data early (a TDecodeResult).
  int Status() const { return status_; }
  // The size of the data, once a read has reached their end (else -1).
  int64_t KnownSize() const { return size_; }

 private:
  TOpen open_;
  std::unique_ptr<TFilterReader> reader_;
  int64_t pos_ = 0;
  int64_t size_ = -1;
  int status_ = drOk;
  std::vector<uint8_t> skip_;
  std::vector<uint8_t> head_;  // the first bytes, as read
};

// The source of a filter over the bytes of a stream from `start` to `end`
// (a shared position, so each source made reads from `start` again).
TDecodeSource StreamSource(TStream32& s, int64_t start, int64_t end);

}  // namespace zid
