// ARC's run-length step ("packing"): 0x90 n repeats the byte before it n-1
// more times, 0x90 0 is a 0x90 of the data. Packed (3), squeezed (4) and
// crunched (6-8) entries pass through it after their decoder.
#pragma once

#include <cstdint>

#include "engine/base/zidDecoder.h"

namespace zid {

// A sink that expands runs into `out` and stops at `limit` bytes (negative:
// no limit). Output past the limit is dropped and ends the decode feeding
// it (the write returns short): Over() then tells that decode's
// drOutputFailed apart from a failing sink, and the checksum decides.
class TArcRleSink {
 public:
  TArcRleSink(const TDecodeSink& out, int64_t limit) : out_(out), limit_(limit) {}
  TArcRleSink(const TArcRleSink&) = delete;
  TArcRleSink& operator=(const TArcRleSink&) = delete;

  // The sink to hand the decoder (it refers to this object).
  TDecodeSink Sink();
  // Writes what is still collected; false when the sink failed.
  bool Finish();
  bool Over() const { return over_; }
  bool Failed() const { return failed_; }
  int64_t Produced() const { return produced_; }

 private:
  int64_t Write(const uint8_t* buf, int64_t n);
  bool Emit(uint8_t b, uint32_t count);
  bool FlushBuf();

  const TDecodeSink& out_;
  int64_t limit_;
  int64_t produced_ = 0;
  bool inRun_ = false;
  uint8_t last_ = 0;
  bool over_ = false;
  bool failed_ = false;
  uint8_t buf_[16384];
  uint32_t pos_ = 0;
};

// Maps the result of a decode that wrote through the RLE sink: a decode
// stopped by the limit is a decode that ended there.
int ArcRleResult(int decodeResult, TArcRleSink& rle);

}  // namespace zid
