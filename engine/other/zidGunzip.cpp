#include "engine/other/zidGunzip.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/base/zidCrc.h"
#include "engine/base/zidRawInflate.h"

namespace zid {

namespace {

constexpr uint32_t kInBlock = 65536;
constexpr uint32_t kOutBlock = 262144;
constexpr uint32_t kKeepBehind = 8;  // bytes an inflater may read past its stream

uint32_t Le32(const uint8_t* p) {
  return p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

class TGunzipper {
 public:
  TGunzipper(const TDecodeJob& job, TGunzipReport& report)
      : job_(job), report_(report), in_(new uint8_t[kInBlock]), out_(new uint8_t[kOutBlock]) {
    limit_ = job.expectedSize;
  }

  int Run() {
    auto next = [this] { return NextByte(); };
    for (;;) {
      if (DecodeCancelled(job_)) return drCancelled;
      TGzipHeader h;
      const TGzipParse p = ParseGzipHeader(next, h);
      if (p == TGzipParse::Truncated) return drInputExhausted;
      if (p != TGzipParse::Ok) return drInvalidData;
      const int r = Member();
      if (r != drOk) return r;
      ++report_.members;
      // Another member follows only when its magic does; anything else is padding.
      if (!StartsAnotherMember()) return drOk;
    }
  }

 private:
  int Member() {
    inflater_.Reset();
    uint32_t crc = 0xFFFFFFFFu;  // the running value; the trailer holds its complement
    uint64_t length = 0;
    for (;;) {
      if (DecodeCancelled(job_)) return drCancelled;
      // At the end of the input one more step may still finish from the bits held.
      const bool more = pos_ < end_ || Refill();
      uint32_t used = 0, n = 0;
      const int z = inflater_.Step(in_.get() + pos_, end_ - pos_, out_.get(), kOutBlock, used, n);
      pos_ += used;
      if (n > 0) {
        UpdateCrc32(out_.get(), n, crc);
        length += n;
        const int w = Write(n);
        if (w != drOk) return w;
      }
      if (z != drOk) return z;
      if (inflater_.Finished()) break;
      if (used == 0 && n == 0) {
        if (!more) return drInputExhausted;
        if (pos_ < end_) return drInvalidData;  // would spin on input it will not take
      }
    }
    // Bytes the inflater read past the stream belong to the trailer; Refill
    // keeps enough of the previous block for them to be taken back.
    pos_ -= std::min(pos_, inflater_.OverRead());
    uint8_t t[kGzipTrailerSize];
    for (uint8_t& b : t) {
      const int c = NextByte();
      if (c < 0) return drInputExhausted;
      b = static_cast<uint8_t>(c);
    }
    if (Le32(t) != ~crc || Le32(t + 4) != static_cast<uint32_t>(length))
      report_.trailersOk = false;
    return drOk;
  }

  int Write(uint32_t n) {
    uint32_t take = n;
    bool over = false;
    if (limit_ >= 0 && report_.produced + n > limit_) {
      take = static_cast<uint32_t>(limit_ - report_.produced);
      over = true;
    }
    if (take > 0) {
      if (!job_.sink.write || job_.sink.write(out_.get(), take) != take) return drOutputFailed;
      report_.produced += take;
      if (job_.progress) job_.progress(report_.produced);
    }
    return over ? drInvalidData : drOk;
  }

  bool StartsAnotherMember() {
    const int a = NextByte();
    if (a != kGzipMagic0) return false;
    const int b = PeekByte();
    if (b != kGzipMagic1 && b != kGzipOldMagic1) return false;
    // Put the first magic byte back: the header parse reads it again.
    --pos_;
    return true;
  }

  // Reads the next block after the last bytes of the current one (the few an
  // inflater may have to give back).
  bool Refill() {
    const uint32_t keep = std::min<uint32_t>(end_, kKeepBehind);
    std::memmove(in_.get(), in_.get() + end_ - keep, keep);
    pos_ = end_ = keep;
    return Fill(keep);
  }

  // Reads the next block into the buffer from `at` on.
  bool Fill(uint32_t at = 0) {
    if (ended_) return false;
    int64_t want = kInBlock - at;
    const int64_t budget = job_.source.budget;
    if (budget >= 0) want = std::min<int64_t>(want, budget - taken_);
    const int64_t got = (want > 0 && job_.source.read) ? job_.source.read(in_.get() + at, want) : 0;
    if (got <= 0) {
      ended_ = true;
      return false;
    }
    taken_ += std::min(got, want);
    pos_ = at;
    end_ = at + static_cast<uint32_t>(std::min(got, want));
    return true;
  }

  int NextByte() {
    if (pos_ == end_ && !Fill()) return -1;
    return in_[pos_++];
  }

  // The byte after the one just read, without consuming it; keeps that one
  // in the buffer so it can be put back.
  int PeekByte() {
    if (pos_ == end_) {
      in_[0] = in_[pos_ - 1];
      if (!Fill(1)) return -1;
    }
    return in_[pos_];
  }

  const TDecodeJob& job_;
  TGunzipReport& report_;
  std::unique_ptr<uint8_t[]> in_;
  std::unique_ptr<uint8_t[]> out_;
  uint32_t pos_ = 0;
  uint32_t end_ = 0;
  int64_t taken_ = 0;
  int64_t limit_ = -1;
  bool ended_ = false;
  TRawInflater inflater_;
};

}  // namespace

TGzipParse ParseGzipHeader(const std::function<int()>& next, TGzipHeader& h) {
  h = TGzipHeader{};
  uint8_t f[kGzipHeaderSize];
  for (int i = 0; i < kGzipHeaderSize; ++i) {
    const int c = next();
    if (c < 0) return i < 2 ? TGzipParse::NotGzip : TGzipParse::Truncated;
    f[i] = static_cast<uint8_t>(c);
    if (i == 1 && (f[0] != kGzipMagic0 || (f[1] != kGzipMagic1 && f[1] != kGzipOldMagic1)))
      return TGzipParse::NotGzip;
  }
  h.method = f[2];
  h.flags = f[3];
  h.mtime = Le32(f + 4);
  h.extraFlags = f[8];
  h.os = f[9];
  h.headerSize = kGzipHeaderSize;
  if (h.flags & kGzReserved) return TGzipParse::Reserved;
  if (h.flags & kGzEncrypted) return TGzipParse::Encrypted;
  auto take = [&](int64_t n) {
    for (int64_t i = 0; i < n; ++i)
      if (next() < 0) return false;
    h.headerSize += n;
    return true;
  };
  // A NUL-terminated field; the bytes are kept (up to kGzipMaxName) when wanted.
  auto zeroTerminated = [&](std::string* keep) {
    for (;;) {
      const int c = next();
      if (c < 0) return false;
      ++h.headerSize;
      if (c == 0) return true;
      if (keep && keep->size() < kGzipMaxName) keep->push_back(static_cast<char>(c));
    }
  };
  if (h.flags & kGzExtra) {
    const int lo = next(), hi = next();
    if (lo < 0 || hi < 0) return TGzipParse::Truncated;
    h.headerSize += 2;
    if (!take(lo | (hi << 8))) return TGzipParse::Truncated;
  }
  if (h.flags & kGzName) {
    h.hasName = true;
    if (!zeroTerminated(&h.name)) return TGzipParse::Truncated;
  }
  if ((h.flags & kGzComment) && !zeroTerminated(nullptr)) return TGzipParse::Truncated;
  // The header CRC is not checked: the data and trailer checks cover what matters.
  if ((h.flags & kGzHeaderCrc) && !take(2)) return TGzipParse::Truncated;
  if (h.method != kGzipDeflate) return TGzipParse::BadMethod;
  return TGzipParse::Ok;
}

int Gunzip(const TDecodeJob& job, TGunzipReport* report) {
  TGunzipReport local;
  TGunzipReport& r = report ? *report : local;
  r = TGunzipReport{};
  TGunzipper g(job, r);
  return g.Run();
}

const TMethodTable& GZipMethods() {
  static const TMethodTable table = {
      {0, nullptr, "Stored"},          {8, nullptr, "Deflate"},
      {kGzLzwMethod, nullptr, "LzwMAGIC"}, {kGzPackMagic, nullptr, "PackMAGIC"},
      {kGzLzhMagic, nullptr, "LzhMAGIC"},  {kGzXzMethod, nullptr, "XZ"},
      {kGzBzip2Method, nullptr, "BZip2"},  {kGzZstdMethod, nullptr, "Zstd"},
      {kGzLz4Method, nullptr, "LZ4"},
  };
  return table;
}

}  // namespace zid
