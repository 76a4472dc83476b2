// The compressed data of one ZIP entry as a stream: it reads from the
// archive at most the entry's compressed size, deciphers with the
// traditional cipher once the password check has readied the keys, takes
// the bytes off the owner's progress counter, and goes on with the next
// volume when a spanned or multi-volume set ends in the middle of the data.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "engine/base/zidFilterStreams.h"
#include "engine/base/zidStreams.h"
#include "engine/zip/zidCrypt.h"

namespace zid {

class TZipEntryInput : public TStream32 {
 public:
  // current: the archive stream of the moment (it changes with the volume).
  // nextVolume: opens the next volume at its start; null for single files.
  TZipEntryInput(std::function<TStream32*()> current, std::function<bool()> nextVolume, int64_t start,
                 int64_t budget);

  // Reads min(count, bytes left); 0 at the end of the data or of the last volume.
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  // Only reports the bytes read so far; the data is read once, in order.
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return -1; }

  // Deciphers what it reads with these keys (or this cipher) from here on
  // (null: no more).
  void SetDecipher(TCryptKeys* keys) { keys_ = keys; }
  void SetDecipher(TDataCipher* cipher) { cipher_ = cipher; }
  // All n bytes left, in place in the stream's read-ahead window, taken as
  // read; null (nothing taken) where they are not there as they are, or
  // must be deciphered. The pointer holds until the stream is next used.
  const uint8_t* TakeInPlace(int64_t n);
  int64_t Left() const { return left_; }
  int64_t Consumed() const { return consumed_; }
  // The owner's counter of bytes still to process (may be null).
  int64_t* RemainingCounter = nullptr;

 private:
  std::function<TStream32*()> current_;
  std::function<bool()> nextVolume_;
  int64_t left_;
  int64_t consumed_ = 0;
  int64_t streamPos_;  // where the data goes on in the current volume
  TCryptKeys* keys_ = nullptr;
  TDataCipher* cipher_ = nullptr;
};

// A read-only view of an archive stream through a 64 KiB window: reads that
// follow each other (a local header, then its entry's data, then the next
// header) cost one read() per window instead of a seek and a read each.
// Reads of a window or more go to the stream directly.
class TWindowStream : public TStream32 {
 public:
  // Views `s` (null: nothing) from its start; forgets the window.
  void Attach(TStream32* s);
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override;
  const uint8_t* Peek(int64_t pos, int64_t n) override;

 private:
  // Reads the window from pos; false when nothing was there.
  bool Fill(int64_t pos);

  TStream32* s_ = nullptr;
  std::unique_ptr<uint8_t[]> buf_;
  int64_t bufPos_ = 0;  // stream offset of buf_[0]
  int64_t bufLen_ = 0;
  int64_t pos_ = 0;
  int64_t size_ = -1;
};

}  // namespace zid
