// The filter base, the store and checksum filters and the CRC pre-pass.
// The zlib filters are in zidZlibStreams.cpp.
#include "engine/base/zidFilterStreams.h"

#include <cstring>
#include <vector>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidGbls.h"
#include "engine/zip/zidCrypt.h"
#include "platform/hooks.h"

namespace zid {
namespace {

uint32_t InitialCrc(int kind) { return kind == ckCrc32 ? kCrc32Init : 0; }

void FoldCrc(int kind, const void* buffer, int64_t count, uint32_t& crc) {
  if (kind == ckCrc32)
    UpdateCrc32(buffer, count, crc);
  else if (kind == ckCrc16)
    UpdateCrc16(buffer, count, crc);
}

}  // namespace

// ------------------------------------------------------------- TCustomStream

TCustomStream::TCustomStream(TStream32& stream, const CodecControl& control)
    : buffer_(new uint8_t[kFilterBufferSize]),
      stream_(stream),
      crc_(control.Crc),
      keys_(control.Keys),
      cipher_(control.Cipher),
      remaining_(control.Remaining),
      cancel_(control.Cancel) {
  Cancel = control.Cancel;
  Remaining = control.Remaining;
  streamPos_ = stream_.Position();
  if (streamPos_ < 0) streamPos_ = 0;
}

TCustomStream::~TCustomStream() = default;

int64_t TCustomStream::Read(void* /*buffer*/, int64_t /*count*/) { return -1; }
int64_t TCustomStream::Write(const void* /*buffer*/, int64_t /*count*/) { return -1; }
int64_t TCustomStream::Seek(int64_t /*offset*/, int /*origin*/) { return -1; }

void TCustomStream::Reposition() {
  if (stream_.Position() != streamPos_) stream_.Seek(streamPos_, plat::soFromBeginning);
}

void TCustomStream::RecordPosition() {
  const int64_t p = stream_.Position();
  if (p >= 0) streamPos_ = p;
}

// -------------------------------------------------------------- TStoreStream

TStoreStream::TStoreStream(TStream32& target, const CodecControl& control, int crcKind)
    : TCustomStream(target, control), crcKind_(crcKind) {
  // An encrypted entry's CRC was computed before its header was written.
  crc_ = keys_ ? control.Crc : InitialCrc(crcKind);
}

int64_t TStoreStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || buffer == nullptr) return 0;
  Reposition();
  if (!keys_) FoldCrc(crcKind_, buffer, count, crc_);
  if (keys_ || cipher_) {
    const auto* p = static_cast<const uint8_t*>(buffer);
    for (int64_t done = 0; done < count;) {
      const int64_t n = count - done < kFilterBufferSize ? count - done : kFilterBufferSize;
      std::memcpy(buffer_.get(), p + done, static_cast<size_t>(n));
      if (keys_) keys_->Encrypt(buffer_.get(), n);
      else cipher_->Encrypt(buffer_.get(), n);
      stream_.WriteBuffer(buffer_.get(), n);
      done += n;
    }
  } else {
    stream_.WriteBuffer(buffer, count);
  }
  TakeRemaining(count);
  totalIn_ += count;
  totalOut_ += count;
  RecordPosition();
  FireProgress(count);
  return count;
}

int64_t TStoreStream::CopyAll(TStream32& source) {
  const int64_t pos = source.Position();
  const int64_t size = source.Size();
  if (pos < 0 || size <= pos) return 0;
  const int64_t total = size - pos;
  std::vector<uint8_t> chunk(static_cast<size_t>(total < kStoreChunkSize ? total : kStoreChunkSize));
  int64_t copied = 0;
  while (copied < total) {
    plat::ProcessMessages();
    if (IsCancelled()) break;
    const int64_t want = total - copied < kStoreChunkSize ? total - copied : kStoreChunkSize;
    const int64_t got = source.Read(chunk.data(), want);
    if (got <= 0) break;
    Write(chunk.data(), got);
    copied += got;
    if (got < want) break;
  }
  return copied;
}

// ------------------------------------------------------------ TCalcStreamCRC

TCalcStreamCRC::TCalcStreamCRC(TStream32& source, TStreamProgress progress, bool* cancel,
                               const CodecControl& control, int crcKind, int64_t count)
    : TCustomStream(source, control), crcKind_(crcKind) {
  crc_ = InitialCrc(crcKind);
  ProgressProc = std::move(progress);
  if (cancel != nullptr) cancel_ = cancel;
  if (count < 0) return;
  if (count == 0) {
    source.Seek(0, plat::soFromBeginning);
    count = source.Size();
  }
  int64_t done = 0;
  while (done < count) {
    plat::ProcessMessages();
    if (IsCancelled()) break;
    const int64_t want = count - done < kFilterBufferSize ? count - done : kFilterBufferSize;
    const int64_t got = source.Read(buffer_.get(), want);
    if (got <= 0) break;
    Write(buffer_.get(), got);
    done += got;
    if (got < want) break;
  }
  source.Seek(0, plat::soFromBeginning);
}

int64_t TCalcStreamCRC::Write(const void* buffer, int64_t count) {
  if (count <= 0 || buffer == nullptr) return 0;
  FoldCrc(crcKind_, buffer, count, crc_);
  totalIn_ += count;
  if (ProgressProc) {
    TakeRemaining(count);
    ProgressProc(count);
  }
  return count;
}

uint32_t CalcStreamCrc32(TStream32& source, const CodecControl& control, bool* cancel, TStreamProgress progress,
                         int64_t count) {
  TCalcStreamCRC calc(source, std::move(progress), cancel, control, ckCrc32, count);
  return calc.Crc();
}

}  // namespace zid
