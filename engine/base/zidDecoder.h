// The shape every streaming decoder of the engine shares (inflate, Deflate64,
// explode, unshrink, unreduce, the LZH family): a source of compressed bytes
// with a byte budget, a sink for the output, the expected output size, the
// owner's cancel flag and an optional progress callback. A decoder returns a
// TDecodeResult and knows nothing of archive headers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace zid {

// Compressed input. `read` fills at most `count` bytes and returns how many it
// gave; 0 (or a negative value) means the input has ended. Deciphering, volume
// changes and the like happen behind it. The decoder never asks for more than
// `budget` bytes in total; a negative budget means "no limit".
struct TDecodeSource {
  std::function<int64_t(uint8_t* buf, int64_t count)> read;
  int64_t budget = -1;
};

// The source with every block it gives passed through `transform` in place
// (deciphering), in the order read.
TDecodeSource TransformedSource(TDecodeSource source, std::function<void(uint8_t* buf, int64_t count)> transform);

// Decoded output. `write` returns the bytes it took; fewer than offered is a
// failure and ends the decode with drOutputFailed. The owner folds the bytes
// into its CRC and counts them; the decoder only hands them over.
struct TDecodeSink {
  std::function<int64_t(const uint8_t* buf, int64_t count)> write;
};

// Called after each flush with the number of bytes written so far.
using TDecodeProgress = std::function<void(int64_t done)>;

// One decode: everything a decoder needs from its owner.
struct TDecodeJob {
  TDecodeSource source;
  TDecodeSink sink;
  // The owner's cancel flag, tested by the decoder between symbols; may be null.
  const bool* cancel = nullptr;
  // The uncompressed size the header declares. Output never goes past it, so a
  // hostile header with data that goes on forever ends at the declared size.
  // Negative means unknown: decoders with an end marker (inflate) stop at it,
  // the others at the end of the input.
  int64_t expectedSize = -1;
  TDecodeProgress progress;
};

// Results shared by every decoder. The extractors map them onto error codes:
// drOutputFailed -> 25136 "Error writing to file", drInvalidData -> 25116
// "Bad block", drStackOverflow -> 25305 "Stack overflow", drInputExhausted ->
// the CRC check fails (or the next volume is asked for).
enum TDecodeResult : int {
  drOk = 0,
  drOutputFailed = -2,    // the sink took fewer bytes than offered
  drInputExhausted = -3,  // the compressed data ended before the output did
  drInvalidData = -4,     // bad block type, bad tables, invalid code or distance
  drCancelled = -5,       // the owner's cancel flag was set; nothing more written
  drStackOverflow = -6,   // unshrink: a string chain longer than its 8 KiB stack
};

// The circular output window of the window decoders: bytes go in one at a time
// or as copies from earlier output, and the whole window is written to the sink
// each time it fills (and by Finish at the end). The window is zero-filled, so
// explode and unreduce can reach before the start of the output and get zeros.
// Never accepts more than the job's expected size: Put/Copy report false when a
// byte would go past it (the caller decides whether that is an end or an error).
class TOutWindow {
 public:
  // `fill` is what reaching back before the start of the output gives.
  TOutWindow(const TDecodeJob& job, uint32_t size, uint8_t fill = 0);
  TOutWindow(const TOutWindow&) = delete;
  TOutWindow& operator=(const TOutWindow&) = delete;

  // Bytes produced so far (written or still in the window).
  int64_t Total() const { return total_; }
  // Bytes the job still accepts; INT64_MAX when the size is unknown.
  int64_t Room() const { return limit_ - total_; }
  bool Full() const { return total_ >= limit_; }
  // Result of the last flush: drOk or drOutputFailed.
  int Status() const { return status_; }

  // Appends one byte. False when the expected size is reached or a flush failed.
  bool Put(uint8_t b) {
    if (total_ >= limit_ || status_ != 0) return false;
    buf_[pos_++] = b;
    ++total_;
    if (pos_ == size_) return FlushWindow();
    return true;
  }
  // Appends n bytes (stored data). False as for Put; the bytes that fit are kept.
  bool PutBytes(const uint8_t* p, uint32_t n);
  // Copies `len` bytes starting `dist` bytes back (1 = the previous byte);
  // overlapping copies repeat the pattern as LZ77 requires. The caller checks
  // the distance against Total() when reaching back before the start is an
  // error; dist must not exceed the window size. False as for Put (the bytes
  // that fit are still produced).
  bool Copy(uint32_t dist, uint32_t len);
  // Writes out what is left in the window.
  int Finish();

 private:
  bool FlushWindow();

  const TDecodeJob& job_;
  std::unique_ptr<uint8_t[]> buf_;
  uint32_t size_;
  uint32_t pos_ = 0;
  int64_t total_ = 0;
  int64_t written_ = 0;
  int64_t limit_;
  int status_ = drOk;
};

// True when the owner asked to stop.
inline bool DecodeCancelled(const TDecodeJob& job) { return job.cancel && *job.cancel; }

}  // namespace zid
