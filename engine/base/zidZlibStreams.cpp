// The compressing and decompressing filters over zlib's raw Deflate.
#include <zlib.h>

#include <cstdint>
#include <limits>

#include "engine/base/Err_Msgs.h"
#include "engine/base/zidFilterStreams.h"
#include "engine/base/zidGbls.h"
#include "engine/zip/zidCrypt.h"

namespace zid {
namespace {

// zlib counts in unsigned ints; larger buffers go through in slices.
constexpr int64_t kZlibSlice = 1 << 30;

void CheckRange(int64_t offset) {
  if (offset < std::numeric_limits<int32_t>::min() || offset > std::numeric_limits<int32_t>::max())
    throw E_RAISE("Range check error");
}

// DeflateType ordinal -> zlib level: stored, fast, normal, maximum.
int LevelOf(int levelIndex) {
  switch (levelIndex) {
    case 0: return 0;
    case 1: return 1;
    case 3: return 9;
    default: return 6;
  }
}

}  // namespace

// ----------------------------------------------------------- TCompressStream

TCompressStream::TCompressStream(TStream32& target, const CodecControl& control, int levelIndex, int windowBits)
    : TCustomStream(target, control) {
  // Unless encrypting, the CRC of the input is computed here as it goes.
  crc_ = control.Keys ? control.Crc : kCrc32Init;
  zs_ = new z_stream{};
  if (deflateInit2(zs_, LevelOf(levelIndex), Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    delete zs_;
    zs_ = nullptr;
    return;
  }
  zs_->next_out = buffer_.get();
  zs_->avail_out = static_cast<uInt>(kFilterBufferSize);
}

TCompressStream::~TCompressStream() {
  try {
    Finish();
  } catch (...) {
    // The owner calls Finish itself when it wants to see a failure.
  }
  if (zs_ != nullptr) {
    deflateEnd(zs_);
    delete zs_;
  }
}

void TCompressStream::FlushBuffer(int64_t n) {
  if (n > 0) {
    if (keys_) keys_->Encrypt(buffer_.get(), n);
    if (cipher_) cipher_->Encrypt(buffer_.get(), n);
    stream_.WriteBuffer(buffer_.get(), n);
    totalOut_ += n;
    RecordPosition();
  }
  zs_->next_out = buffer_.get();
  zs_->avail_out = static_cast<uInt>(kFilterBufferSize);
}

int64_t TCompressStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || buffer == nullptr) return 0;
  if (zs_ == nullptr || finished_) return 0;
  Reposition();
  const auto* p = static_cast<const uint8_t*>(buffer);
  int64_t offered = 0;
  while (offered < count && !IsCancelled()) {
    const int64_t slice = count - offered < kZlibSlice ? count - offered : kZlibSlice;
    zs_->next_in = const_cast<Bytef*>(p + offered);
    zs_->avail_in = static_cast<uInt>(slice);
    while (zs_->avail_in > 0 && !IsCancelled()) {
      const uInt before = zs_->avail_in;
      deflate(zs_, Z_NO_FLUSH);
      const int64_t used = before - zs_->avail_in;
      if (!keys_) UpdateCrc32(zs_->next_in - used, used, crc_);
      totalIn_ += used;
      TakeRemaining(used);
      if (zs_->avail_out == 0) FlushBuffer(kFilterBufferSize);
      FireProgress(used);
    }
    offered += slice - zs_->avail_in;
    if (zs_->avail_in > 0) break;  // cancelled
  }
  zs_->next_in = nullptr;
  zs_->avail_in = 0;
  return count;
}

void TCompressStream::Finish() {
  if (zs_ == nullptr || finished_) return;
  finished_ = true;
  Reposition();
  for (;;) {
    const int r = deflate(zs_, Z_FINISH);
    if (zs_->avail_out != 0 || r == Z_STREAM_ERROR) break;
    FlushBuffer(kFilterBufferSize);
    if (r == Z_STREAM_END || IsCancelled()) break;
  }
  FlushBuffer(kFilterBufferSize - zs_->avail_out);
}

int64_t TCompressStream::Seek(int64_t offset, int origin) {
  CheckRange(offset);
  if (offset == 0 && origin == plat::soFromCurrent) return totalIn_;
  return -1;
}

// --------------------------------------------------------- TDecompressStream

TDecompressStream::TDecompressStream(TStream32& source, const CodecControl& control, int windowBits)
    : TCustomStream(source, control), windowBits_(windowBits) {
  startPos_ = streamPos_;
  InitCodec();
}

bool TDecompressStream::InitCodec() {
  zs_ = new z_stream{};
  if (inflateInit2(zs_, windowBits_) != Z_OK) {
    delete zs_;
    zs_ = nullptr;
    return false;
  }
  return true;
}

TDecompressStream::~TDecompressStream() {
  if (zs_ == nullptr) return;
  // Give back what was read ahead: the source then stands right behind the
  // compressed data the decoder consumed.
  if (zs_->avail_in > 0) stream_.Seek(streamPos_ - static_cast<int64_t>(zs_->avail_in), plat::soFromBeginning);
  inflateEnd(zs_);
  delete zs_;
}

int64_t TDecompressStream::Buffered() const { return zs_ != nullptr ? zs_->avail_in : 0; }

int64_t TDecompressStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || buffer == nullptr) return 0;
  if (zs_ == nullptr) return Z_MEM_ERROR;
  if (error_ != 0) return error_;
  if (finished_) return count;
  Reposition();
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t produced = 0;
  while (produced < count) {
    const int64_t room = count - produced < kZlibSlice ? count - produced : kZlibSlice;
    zs_->next_out = out + produced;
    zs_->avail_out = static_cast<uInt>(room);
    if (zs_->avail_in == 0) {
      int64_t want = count < kFilterBufferSize ? count : kFilterBufferSize;
      if (inputLimit_ >= 0 && want > inputLimit_ - inputRead_) want = inputLimit_ - inputRead_;
      int64_t got = want > 0 ? stream_.Read(buffer_.get(), want) : 0;
      if (got < 0) got = 0;
      RecordPosition();
      if (got > 0) {
        if (keys_) keys_->Decrypt(buffer_.get(), got);
        if (cipher_) cipher_->Decrypt(buffer_.get(), got);
        inputRead_ += got;
        FireProgress(got);
      }
      zs_->next_in = buffer_.get();
      zs_->avail_in = static_cast<uInt>(got);
    }
    const uInt inBefore = zs_->avail_in;
    const int r = inflate(zs_, Z_NO_FLUSH);
    const int64_t made = room - zs_->avail_out;
    produced += made;
    totalOut_ += made;
    totalIn_ += inBefore - zs_->avail_in;
    if (r == Z_STREAM_END) {
      finished_ = true;
      break;
    }
    if (r == Z_BUF_ERROR) return Z_BUF_ERROR;  // input exhausted: the caller may supply more
    if (r == Z_NEED_DICT || r == Z_DATA_ERROR) {
      error_ = Z_DATA_ERROR;
      return error_;
    }
    if (r < 0) {
      error_ = r;
      return r;
    }
  }
  return count;
}

int64_t TDecompressStream::Seek(int64_t offset, int origin) {
  CheckRange(offset);
  if (zs_ == nullptr) return -1;
  if (origin == plat::soFromBeginning && offset == 0) {
    inflateReset(zs_);
    zs_->next_in = nullptr;
    zs_->avail_in = 0;
    streamPos_ = startPos_;
    inputRead_ = 0;
    totalIn_ = 0;
    totalOut_ = 0;
    finished_ = false;
    error_ = 0;
    return 0;
  }
  int64_t target;
  if (origin == plat::soFromBeginning)
    target = offset;
  else if (origin == plat::soFromCurrent)
    target = totalOut_ + offset;
  else
    return totalOut_;
  uint8_t scratch[kDiscardChunkSize];
  while (target > totalOut_ && !finished_ && error_ == 0) {
    const int64_t want = target - totalOut_ < kDiscardChunkSize ? target - totalOut_ : kDiscardChunkSize;
    const int64_t before = totalOut_;
    if (Read(scratch, want) < 0 || totalOut_ == before) break;
  }
  return totalOut_;
}

}  // namespace zid
