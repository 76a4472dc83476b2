// The stream inflater for raw DEFLATE (RFC 1951): ISA-L's igzip, about twice
// as fast as zlib's inflate here, without holding a whole stream in memory.
// Used for ZIP method 8, BH Deflate entries and gzip members; the window
// inflater (zidInflate) stays for Deflate64.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/base/zidDecoder.h"

namespace zid {

// One raw DEFLATE stream decoded step by step from the caller's buffers.
class TRawInflater {
 public:
  TRawInflater();
  ~TRawInflater();
  TRawInflater(const TRawInflater&) = delete;
  TRawInflater& operator=(const TRawInflater&) = delete;

  // Starts a new stream.
  void Reset();
  // Decodes from in[0..inLen) into out[0..outLen). Returns drOk (more to come,
  // or Finished()) or drInvalidData; inUsed and outMade say what moved.
  int Step(const uint8_t* in, uint32_t inLen, uint8_t* out, uint32_t outLen, uint32_t& inUsed, uint32_t& outMade);
  // True once the final block has ended.
  bool Finished() const;
  // After Finished(): the bytes the decoder took past the end of the stream
  // (at most 8), which the caller gives back to whatever follows.
  uint32_t OverRead() const;

 private:
  struct TState;
  std::unique_ptr<TState> s_;
};

// Decodes one raw DEFLATE stream from job.source (at most its budget) into
// job.sink, in chunks of up to 256 KiB. Output stops at job.expectedSize when
// it is known (a longer stream is cut there and left to the CRC check).
// `produced` receives the bytes handed to the sink. Returns drOk,
// drInputExhausted (the data ended before the final block), drInvalidData,
// drOutputFailed or drCancelled. The input may be read a few bytes past the
// end of the stream: give it a source bounded to the stream (a ZIP entry's
// compressed size).
int InflateRaw(const TDecodeJob& job, int64_t& produced);

// A whole small raw DEFLATE stream in one call (libdeflate, one decoder kept
// per thread): true when in[0..inLen) is exactly one complete stream whose
// output fits in outCap; *made gets its length. On false the caller decodes
// the same bytes with InflateRaw, which says what is wrong with them.
bool InflateWhole(const uint8_t* in, size_t inLen, uint8_t* out, size_t outCap, size_t* made);

}  // namespace zid
