// The static-Huffman LZH encoder: the -lh5- and -lh6- methods of LHA and the
// Fused3 method of BH. LZ77 over a sliding dictionary with hash-chain
// matches (zidLzhMatch.h) and zlib's lazy rules (a match is only searched
// less, or not at all, after a good or a long one), short matches priced
// against their literals with the previous block's code lengths, and blocks
// with their own Huffman tables in the LZH block format.
//
// It streams: the dictionary, the look-ahead and one block of tokens are all
// it keeps (a few hundred KiB at most, whatever the input size).
//
// Usage (one encoder per entry):
//   TLzhEncodeJob job;
//   job.read = ...;    // plain bytes in, 0 at the end
//   job.write = ...;   // compressed bytes out
//   job.limit = size;  // give up once the output would be this large
//   TLzhEncoder enc(kLzhEncLh5);
//   switch (enc.Encode(job)) { ... }  // enc.Crc(), enc.BytesIn(), enc.BytesOut()
#pragma once

#include <cstdint>
#include <functional>

#include "engine/base/zidCrc.h"
#include "engine/lha/zidLzhBitWriter.h"

namespace zid {

struct TLzhEncodeParams {
  unsigned dicBit;   // dictionary of 2^dicBit bytes, 10..16; NP = dicBit + 1 position codes
  unsigned pBit;     // bits of the position-code count in a block header (4 or 5)
  TCrcKind crcKind;  // checksum of the plain input: ckCrc16, ckCrc32 or ckNone
};

// -lh5-: 8 KiB dictionary.
inline constexpr TLzhEncodeParams kLzhEncLh5{13, 4, ckCrc16};
// -lh6-: the full 32 KiB dictionary the method allows (every -lh6- decoder
// reads dicBit 15); it compresses better than 16 KiB.
inline constexpr TLzhEncodeParams kLzhEncLh6{15, 5, ckCrc16};
// BH Fused3: the -lh6- layout with a CRC-32.
inline constexpr TLzhEncodeParams kLzhEncFused3{14, 5, ckCrc32};

struct TLzhEncodeJob {
  // Plain input: fills at most count bytes, returns how many; 0 or less ends the input.
  std::function<int64_t(uint8_t* buf, int64_t count)> read;
  // Compressed output, in pieces of at most 32 KiB.
  TLzhOutput write;
  // The output size at which compressing does not pay (usually the input
  // size): the encoder stops with erUnpackable once its output would reach it.
  // Negative: no limit.
  int64_t limit = -1;
  // Tested once per input chunk; may be null.
  const bool* cancel = nullptr;
  // After each input chunk, with the plain bytes taken so far; may be empty.
  std::function<void(int64_t done)> progress;
};

enum TLzhEncodeResult : int {
  erOk = 0,
  erUnpackable = 1,    // the output would not be smaller than the limit: store instead
  erCancelled = 2,     // the owner's cancel flag was set
  erOutputFailed = 3,  // the write callback refused bytes
};

class TLzhEncoder {
 public:
  explicit TLzhEncoder(const TLzhEncodeParams& params);
  ~TLzhEncoder();
  TLzhEncoder(const TLzhEncoder&) = delete;
  TLzhEncoder& operator=(const TLzhEncoder&) = delete;

  // Compresses the whole input. May be called once per encoder.
  TLzhEncodeResult Encode(const TLzhEncodeJob& job);

  // Plain bytes read and compressed bytes produced.
  int64_t BytesIn() const { return bytesIn_; }
  int64_t BytesOut() const { return bytesOut_; }
  // The finished checksum of the input read (CRC-32 already inverted).
  uint32_t Crc() const;

 private:
  struct TState;
  TLzhEncodeParams params_;
  int64_t bytesIn_ = 0;
  int64_t bytesOut_ = 0;
  uint32_t crc_ = 0;
};

}  // namespace zid
