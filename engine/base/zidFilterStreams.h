// Filter streams: compress, decompress, store and checksum on the fly over
// another stream, optionally through the traditional ZIP cipher.
//
// A filter lives for one archive entry. It owns a 131,070-byte work buffer and
// remembers where it left its underlying stream; before each access it seeks
// that stream back there, so several filters (and the component itself) can
// share one archive stream. The filter's own ProgressProc (inherited) is
// called after each chunk with the bytes of that chunk.
//
// Encryption uses the caller's key state (TCryptKeys, zidCrypt.h), readied
// by MakeEncryptionHeader / CheckEncryptionHeader before the filter touches
// data; the filter advances it.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/base/zidCrc.h"
#include "engine/base/zidStreams.h"

struct z_stream_s;

namespace zid {

struct TCryptKeys;

// A cipher of entry data that leaves the checksum to the stream (WinZip
// AES): it enciphers or deciphers in place, chunk after chunk, in order.
class TDataCipher {
 public:
  virtual ~TDataCipher() = default;
  virtual void Encrypt(uint8_t* data, int64_t count) = 0;
  virtual void Decrypt(uint8_t* data, int64_t count) = 0;
};

// The size of every filter's work buffer.
constexpr int64_t kFilterBufferSize = 131070;
// Chunk of TStoreStream::CopyAll.
constexpr int64_t kStoreChunkSize = 102400;
// Chunk in which a decompressor's forward seek decodes and discards.
constexpr int64_t kDiscardChunkSize = 4096;

// What the caller hands to a filter for one entry.
struct CodecControl {
  // Start value of the running CRC when encrypting (the CRC was computed
  // in a pre-pass); otherwise the CRC starts at the kind's initial value.
  uint32_t Crc = kCrc32Init;
  // With keys: encipher output (compress, store) / decipher input
  // (decompress) with them, and do not fold data into the CRC.
  TCryptKeys* Keys = nullptr;
  // With a cipher: the same, but the CRC is folded in as without one.
  TDataCipher* Cipher = nullptr;
  // The owner's bytes-still-to-process counter (may be nullptr).
  int64_t* Remaining = nullptr;
  // The owner's cancel flag (may be nullptr: never cancelled).
  bool* Cancel = nullptr;
};

class TCustomStream : public TStream32 {
 public:
  TCustomStream(TStream32& stream, const CodecControl& control);
  ~TCustomStream() override;

  // Read/Write refuse by default (-1); each filter implements its direction.
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return -1; }

  // The running CRC (of the kind the filter computes; CRC-32 not XORed).
  uint32_t Crc() const { return crc_; }
  int64_t TotalIn() const { return totalIn_; }
  int64_t TotalOut() const { return totalOut_; }

 protected:
  // Seeks the underlying stream back to where this filter left it.
  void Reposition();
  // Records the underlying stream's position after an access.
  void RecordPosition();
  bool IsCancelled() const { return cancel_ != nullptr && *cancel_; }
  void TakeRemaining(int64_t n) {
    if (remaining_ != nullptr) *remaining_ -= n;
  }
  void FireProgress(int64_t n) {
    if (ProgressProc) ProgressProc(n);
  }

  std::unique_ptr<uint8_t[]> buffer_;
  TStream32& stream_;
  int64_t streamPos_ = 0;
  uint32_t crc_ = kCrc32Init;
  TCryptKeys* keys_ = nullptr;
  TDataCipher* cipher_ = nullptr;
  int64_t* remaining_ = nullptr;
  bool* cancel_ = nullptr;
  int64_t totalIn_ = 0;
  int64_t totalOut_ = 0;
};

// Write-only: raw-deflates what is written into the target stream (zlib,
// method 8, memory level 8, default strategy). Level index: 0 -> zlib level 0,
// 1 -> 1, 2 -> 6, 3 -> 9 (other values -> 6). windowBits is -15 for raw
// Deflate. Unless encrypting, the CRC-32 of the input is folded into Crc().
// Finish() flushes the encoder and writes the rest; the destructor calls it
// when the owner did not (and then swallows a failure: call Finish to see it).
class TCompressStream : public TCustomStream {
 public:
  TCompressStream(TStream32& target, const CodecControl& control, int levelIndex, int windowBits = -15);
  ~TCompressStream() override;

  // Compresses the buffer; returns count (0 for a negative count). Stops
  // early when cancelled. A short write to the target raises E_RAISE 25136.
  int64_t Write(const void* buffer, int64_t count) override;
  // Seek(0, soFromCurrent) gives the total input consumed; other seeks -1.
  // Offsets outside the signed 32-bit range raise E_RAISE "Range check error".
  int64_t Seek(int64_t offset, int origin) override;
  // Flushes the encoder and writes all remaining output. Idempotent. Raises
  // E_RAISE 25136 when the target refuses a write.
  void Finish();
  // True when the encoder could not be set up (nothing will be written).
  bool Failed() const { return zs_ == nullptr; }

 private:
  void FlushBuffer(int64_t n);
  z_stream_s* zs_ = nullptr;
  bool finished_ = false;
};

// Read-only: raw-inflates from the source stream, starting at its position at
// construction. Read fills the caller's buffer and returns the requested count
// when the buffer was filled or the compressed stream ended (TotalOut() tells
// the true amount), or a negative zlib code: -5 when the source ran out before
// the end of the stream, -3 on a data error. With keys the input is
// deciphered as it is read. The destructor seeks the source back by the input
// still buffered, so the source stands right behind the consumed compressed data.
class TDecompressStream : public TCustomStream {
 public:
  TDecompressStream(TStream32& source, const CodecControl& control, int windowBits = -15);
  ~TDecompressStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  // Seek(0, soFromBeginning) restarts decoding from the source's start
  // position; a forward seek decodes and discards; other backward seeks are
  // ignored. Returns TotalOut(). Offsets outside the signed 32-bit range raise
  // E_RAISE "Range check error".
  int64_t Seek(int64_t offset, int origin) override;
  // The end of the compressed stream was reached.
  bool Finished() const { return finished_; }
  // Compressed bytes handed to the decoder but not yet consumed.
  int64_t Buffered() const;
  // Limits the compressed bytes read from the source (-1: no limit).
  void SetInputLimit(int64_t limit) { inputLimit_ = limit; }

 private:
  bool InitCodec();
  z_stream_s* zs_ = nullptr;
  int windowBits_;
  int64_t startPos_ = 0;
  int64_t inputLimit_ = -1;
  int64_t inputRead_ = 0;
  bool finished_ = false;
  int error_ = 0;
};

// Write-only: copies to the target, folding the bytes into a CRC of the chosen
// kind (16, 32; anything else: none) unless encrypting, and enciphering
// the output with the control's keys. The caller's buffer is never modified.
class TStoreStream : public TCustomStream {
 public:
  TStoreStream(TStream32& target, const CodecControl& control, int crcKind);

  // Returns count; a short write to the target raises E_RAISE 25136.
  int64_t Write(const void* buffer, int64_t count) override;
  // Copies source from its current position to its end in chunks of
  // min(remaining, 102400), servicing the user interface before each chunk
  // and stopping when cancelled. Returns the bytes copied.
  int64_t CopyAll(TStream32& source);


 private:
  int crcKind_;
};

// A sink that only checksums. The constructor does the whole pass: it reads
// count bytes from source (0: the whole source from position 0), folds them
// into the CRC of the kind, and seeks source back to 0. With a progress hook
// it takes the bytes off control.Remaining and reports them.
class TCalcStreamCRC : public TCustomStream {
 public:
  TCalcStreamCRC(TStream32& source, TStreamProgress progress, bool* cancel, const CodecControl& control,
                 int crcKind, int64_t count);

  int64_t Write(const void* buffer, int64_t count) override;

 private:
  int crcKind_;
};

// The CRC-32 pre-pass of an encrypted entry: returns the raw running value
// (the caller XORs it with 0xFFFFFFFF); 0xFFFFFFFF for an empty source.
uint32_t CalcStreamCrc32(TStream32& source, const CodecControl& control, bool* cancel,
                         TStreamProgress progress, int64_t count);

}  // namespace zid
