// HA's binary arithmetic decoder (16-bit low/high/value registers), shared by
// its ASC and HSC methods. The input is read a byte at a time, most
// significant bit first; past the end of the input it goes on with one bits,
// as HA itself does, and counts how far it went so that a decoder fed a
// stream that ends too early can stop.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/base/zidDecoder.h"

namespace zid {

class THaCoder {
 public:
  explicit THaCoder(const TDecodeSource& src);
  THaCoder(const THaCoder&) = delete;
  THaCoder& operator=(const THaCoder&) = delete;

  // The count in [0, tot) the next symbol's interval holds.
  uint16_t Threshold(uint16_t tot);
  // Takes the symbol whose interval is [low, high) out of tot.
  void Take(uint16_t low, uint16_t high, uint16_t tot);

  // A total of zero or an interval outside the total was asked for: the data
  // is not what the model expects.
  bool Broken() const { return broken_; }
  // More than a few bytes past the end of the input were needed.
  bool Exhausted() const { return pastEnd_ > 4; }

 private:
  int NextByte();
  unsigned NextBit();

  const TDecodeSource& src_;
  std::unique_ptr<uint8_t[]> in_;
  uint32_t pos_ = 0, end_ = 0;
  int64_t taken_ = 0;
  bool ended_ = false;
  unsigned pastEnd_ = 0;
  bool broken_ = false;
  uint16_t low_ = 0, high_ = 0xFFFF, value_ = 0;
  unsigned pattern_ = 0;  // the byte being read, a marker bit behind its last bit
};

}  // namespace zid
