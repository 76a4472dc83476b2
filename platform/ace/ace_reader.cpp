#include <algorithm>
#include <cstring>

#include "platform/ace/ace_session.h"

namespace ace {

TPackedReader::TPackedReader(TSession& session, TMember& member, const std::string* password)
    : session_(session), member_(member) {
  if (password) cbc_ = std::make_unique<TCbcDecryptor>(*password);
}

size_t TPackedReader::ReadRaw(uint8_t* buf, size_t n) {
  size_t got = 0;
  while (got < n && !ended_) {
    if (segment_ == member_.segments.size()) {
      // past the last known segment: a split member goes on in the next volume
      if (!member_.last.ToNext()) {
        ended_ = true;
        break;
      }
      session_.ExtendMember(member_);
    }
    const TSegment& s = member_.segments[segment_];
    if (segmentDone_ == s.size) {
      ++segment_;
      segmentDone_ = 0;
      continue;
    }
    if (fileVolume_ != s.volume) {
      if (!file_.Open(session_.VolumePath(s.volume))) Fail(TResult::ReadError);
      fileVolume_ = s.volume;
    }
    const size_t want = static_cast<size_t>(std::min<uint64_t>(n - got, s.size - segmentDone_));
    const int64_t k = file_.ReadAt(s.offset + static_cast<int64_t>(segmentDone_), buf + got, want);
    if (k < 0) Fail(TResult::ReadError);
    if (k == 0) {
      // the volume ends before the segment does: that is the end of the data
      ended_ = true;
      break;
    }
    got += static_cast<size_t>(k);
    segmentDone_ += static_cast<uint64_t>(k);
    done_ += static_cast<uint64_t>(k);
  }
  return got;
}

size_t TPackedReader::Read(uint8_t* buf, size_t n) {
  if (!cbc_) return ReadRaw(buf, n);
  // Deciphered in whole 8-byte blocks (segments need not end on one) into a
  // buffer the reads are served from.
  if (plainPos_ == plain_.size()) {
    plain_.resize(kPlainSize);
    std::memcpy(plain_.data(), carry_, carryN_);
    size_t have = carryN_ + ReadRaw(plain_.data() + carryN_, kPlainSize - carryN_);
    const size_t whole = have & ~size_t{7};
    carryN_ = have - whole;
    std::memcpy(carry_, plain_.data() + whole, carryN_);
    // a partial cipher block at the very end: damaged data
    if (whole == 0 && carryN_ > 0) Fail(TResult::DataError);
    cbc_->Decrypt(plain_.data(), whole);
    plain_.resize(whole);
    plainPos_ = 0;
  }
  const size_t k = std::min(n, plain_.size() - plainPos_);
  std::memcpy(buf, plain_.data() + plainPos_, k);
  plainPos_ += k;
  return k;
}

}  // namespace ace
