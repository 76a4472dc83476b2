#include "engine/zip/zidZipInput.h"

#include <algorithm>
#include <cstring>

#include "engine/zip/zidCrypt.h"
#include "platform/files.h"

namespace zid {

TZipEntryInput::TZipEntryInput(std::function<TStream32*()> current, std::function<bool()> nextVolume, int64_t start,
                               int64_t budget)
    : current_(std::move(current)), nextVolume_(std::move(nextVolume)), left_(std::max<int64_t>(0, budget)),
      streamPos_(start) {}

int64_t TZipEntryInput::Read(void* buffer, int64_t count) {
  if (count <= 0 || left_ <= 0) return 0;
  auto* p = static_cast<uint8_t*>(buffer);
  const int64_t want = std::min(count, left_);
  for (;;) {
    TStream32* s = current_();
    if (s == nullptr) return 0;
    // Other readers (the password check, a listing) may have moved the stream.
    if (s->Position() != streamPos_ && s->Seek(streamPos_, plat::soFromBeginning) != streamPos_) return 0;
    int64_t got = s->Read(p, want);
    if (got > 0) {
      streamPos_ += got;
      if (keys_) keys_->Decrypt(p, got);
      if (cipher_) cipher_->Decrypt(p, got);
      left_ -= got;
      consumed_ += got;
      if (RemainingCounter != nullptr) *RemainingCounter = std::max<int64_t>(0, *RemainingCounter - got);
      return got;
    }
    // The data goes on in the next volume of the set, from its start.
    if (!nextVolume_ || !nextVolume_()) return 0;
    streamPos_ = 0;
  }
}

const uint8_t* TZipEntryInput::TakeInPlace(int64_t n) {
  if (n != left_ || n <= 0 || keys_ != nullptr || cipher_ != nullptr) return nullptr;
  TStream32* s = current_();
  const uint8_t* p = s != nullptr ? s->Peek(streamPos_, n) : nullptr;
  if (p == nullptr) return nullptr;
  streamPos_ += n;
  left_ = 0;
  consumed_ += n;
  if (RemainingCounter != nullptr) *RemainingCounter = std::max<int64_t>(0, *RemainingCounter - n);
  return p;
}

int64_t TZipEntryInput::Seek(int64_t offset, int origin) {
  (void)offset;
  (void)origin;
  return consumed_;
}

namespace {
constexpr int64_t kWindow = 65536;
}  // namespace

void TWindowStream::Attach(TStream32* s) {
  s_ = s;
  bufLen_ = 0;
  pos_ = 0;
  size_ = -1;
}

int64_t TWindowStream::Size() {
  if (size_ < 0 && s_ != nullptr) size_ = s_->Size();
  return size_;
}

int64_t TWindowStream::Seek(int64_t offset, int origin) {
  if (origin == plat::soFromBeginning) pos_ = offset;
  else if (origin == plat::soFromCurrent) pos_ += offset;
  else pos_ = Size() + offset;
  if (pos_ < 0) pos_ = 0;
  return pos_;
}

const uint8_t* TWindowStream::Peek(int64_t pos, int64_t n) {
  if (s_ == nullptr || pos < 0 || n <= 0 || n > kWindow) return nullptr;
  if ((pos < bufPos_ || pos + n > bufPos_ + bufLen_) && (!Fill(pos) || bufLen_ < n)) return nullptr;
  return buf_.get() + (pos - bufPos_);
}

bool TWindowStream::Fill(int64_t pos) {
  bufLen_ = 0;
  if (s_->Seek(pos, plat::soFromBeginning) != pos) return false;
  if (!buf_) buf_.reset(new uint8_t[kWindow]);
  const int64_t got = s_->Read(buf_.get(), kWindow);
  bufPos_ = pos;
  bufLen_ = std::max<int64_t>(0, got);
  return got > 0;
}

int64_t TWindowStream::Read(void* buffer, int64_t count) {
  if (s_ == nullptr || count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (pos_ >= bufPos_ && pos_ < bufPos_ + bufLen_) {
      const int64_t take = std::min(count - done, bufPos_ + bufLen_ - pos_);
      std::memcpy(out + done, buf_.get() + (pos_ - bufPos_), static_cast<size_t>(take));
      done += take;
      pos_ += take;
      continue;
    }
    if (count - done >= kWindow) {
      if (s_->Seek(pos_, plat::soFromBeginning) != pos_) break;
      const int64_t got = s_->Read(out + done, count - done);
      if (got <= 0) break;
      done += got;
      pos_ += got;
      continue;
    }
    if (!Fill(pos_)) break;
  }
  return done;
}

}  // namespace zid
