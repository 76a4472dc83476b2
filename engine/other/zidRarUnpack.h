// The RAR 1.5 and 2.x unpacker: one window and the decoders' state, kept
// from entry to entry so that the entries of a solid archive continue one
// stream. Each entry's compressed data is its own input (a new bit reader,
// byte-aligned); only the dictionary, the tables and the decoders' adaptive
// state carry over.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/base/zidDecoder.h"

namespace zid {

// The dictionary of a RAR stream: a 4 MiB ring the entries of a solid
// archive share. Bytes go out to the current entry's sink as the ring fills
// and at Finish, never past the entry's declared size; a match that runs past
// it still goes into the ring (the next solid entry starts after it).
class TRarWindow {
 public:
  static constexpr uint32_t kSize = 1u << 22;

  TRarWindow();
  TRarWindow(const TRarWindow&) = delete;
  TRarWindow& operator=(const TRarWindow&) = delete;

  // A new stream: nothing before the next byte can be matched.
  void Clear();
  // One entry's output; the job must outlive the entry's decode.
  void Begin(const TDecodeJob& job);
  // The entry has all its bytes.
  bool Done() const { return produced_ >= want_; }
  int64_t Produced() const { return produced_; }
  // drOk, or why output stopped (drOutputFailed, drCancelled).
  int Status() const { return status_; }

  void Put(uint8_t b) {
    ring_[pos_] = b;
    pos_ = (pos_ + 1) & kMask;
    ++produced_;
    if (filled_ < kSize) ++filled_;
    if (++pending_ == kChunk) Flush();
  }
  // The byte `dist` back (1 = the last one written).
  uint8_t Back(uint32_t dist) const { return ring_[(pos_ - dist) & kMask]; }
  // Copies len bytes from dist back. False, copying nothing, when the match
  // starts before the first byte of the stream (or dist is 0).
  bool Copy(uint32_t dist, uint32_t len);
  // Writes out what the entry has not had yet; returns Status().
  int Finish();

 private:
  static constexpr uint32_t kMask = kSize - 1;
  static constexpr uint32_t kChunk = 1u << 16;
  void Flush();

  std::unique_ptr<uint8_t[]> ring_;
  uint32_t pos_ = 0;
  uint32_t filled_ = 0;   // bytes of the stream in the ring (up to its size)
  uint32_t pending_ = 0;  // bytes not yet handed to the sink
  const TDecodeJob* job_ = nullptr;
  int64_t produced_ = 0;
  int64_t want_ = 0;
  int64_t written_ = 0;
  int status_ = drOk;
};

class TRar15Decoder;
class TRar20Decoder;

class TRarUnpacker {
 public:
  TRarUnpacker();
  ~TRarUnpacker();
  TRarUnpacker(const TRarUnpacker&) = delete;
  TRarUnpacker& operator=(const TRarUnpacker&) = delete;

  // Whether an entry needing this version (the header's unpack version) can be decoded.
  static bool Supports(int version) { return version == 15 || version == 20 || version == 26; }
  // Decodes one entry into job.sink, up to job.expectedSize bytes. solid: the
  // entry continues the stream of the entry decoded before; refused with
  // drInvalidData when that one did not decode to its end. Returns a
  // TDecodeResult; Problem() says what was wrong with invalid data.
  int Decode(const TDecodeJob& job, int version, bool solid);
  const std::string& Problem() const { return problem_; }
  // An entry of the stream was passed over undecoded: a solid entry after it cannot be decoded.
  void Interrupt() { streamOk_ = false; }

 private:
  TRarWindow window_;
  std::unique_ptr<TRar15Decoder> v15_;
  std::unique_ptr<TRar20Decoder> v20_;
  bool streamOk_ = false;
  std::string problem_;
};

}  // namespace zid
