#include "engine/zip/zidZipInput.h"

#include <algorithm>

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
      if (decipher_) DecryptBuffer(p, got);
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

int64_t TZipEntryInput::Seek(int64_t offset, int origin) {
  (void)offset;
  (void)origin;
  return consumed_;
}

}  // namespace zid
