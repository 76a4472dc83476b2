#include "engine/lha/zidLzh5.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/base/zidBitReader.h"
#include "engine/base/zidHuffman.h"
#include "engine/base/zidMethods.h"

namespace zid {

TLzhParams LzhParamsOf(const TMethod& m) { return TLzhParams{m.dicBit, m.pBit}; }

namespace {

constexpr unsigned kNC = 510;  // literal/length codes: 256 literals, lengths 3..256
constexpr unsigned kNT = 19;   // code-length codes
constexpr unsigned kTBit = 5;
constexpr unsigned kCBit = 9;
constexpr unsigned kMaxNP = 17;
constexpr unsigned kMinMatch = 3;
constexpr unsigned kMaxMatch = 256;

// The output ring. It is twice the largest window, so a match may write a few
// bytes past its end (the chunked copy below) without touching any byte a
// later match can still reach; the slack after it takes the chunked copy's
// reads past a source that ends at the ring's end.
constexpr uint32_t kRing = 1u << 17;
constexpr uint32_t kRingMask = kRing - 1;
constexpr uint32_t kSlack = 16;

// One Huffman code of the block header: a table, or the single symbol a zero
// count announces (decoded without reading any bit).
struct TLzhCode {
  TMsbHuffTable table;
  int single = -1;

  int Decode(TMsbBitReader& br) const { return single >= 0 ? single : table.Decode(br); }
};

class TLzhDecoder {
 public:
  TLzhDecoder(const TDecodeJob& job, const TLzhParams& p)
      : job_(job),
        br_(job.source),
        np_(p.dicBit + 1),
        pBit_(p.pBit),
        windowSize_(p.window != 0 ? p.window : 1u << std::min(p.dicBit, 16u)),
        ring_(new uint8_t[kRing + kSlack]()) {}

  int Run() {
    if (job_.expectedSize < 0 || np_ > kMaxNP || np_ < 2 || pBit_ == 0 || pBit_ > 5) return drInvalidData;
    int64_t left = job_.expectedSize;
    uint32_t blockLeft = 0;
    uint32_t pos = 0;
    uint8_t* const ring = ring_.get();
    while (left > 0) {
      if (blockLeft == 0) {
        if (DecodeCancelled(job_)) return drCancelled;
        blockLeft = br_.Get(16);
        if (br_.Overrun()) return drInputExhausted;
        if (blockLeft == 0) return drInvalidData;
        int r = ReadTables();
        if (r != drOk) return r;
      }
      --blockLeft;
      int c = lit_.Decode(br_);
      if (br_.Overrun()) return drInputExhausted;
      if (c < 0) return drInvalidData;
      if (c < 256) {
        ring[pos++] = static_cast<uint8_t>(c);
        --left;
        if (pos == kRing && !Flush(pos)) return Status();
        continue;
      }
      uint32_t len = static_cast<uint32_t>(c) - (256 - kMinMatch);
      int p = pos_.Decode(br_);
      if (p < 0) return drInvalidData;
      uint32_t dist = p == 0 ? 0 : (1u << (p - 1)) + br_.Get(p - 1);
      if (br_.Overrun()) return drInputExhausted;
      // dist + 1 bytes back: within the output so far and within the window
      if (dist >= windowSize_ || dist >= static_cast<uint64_t>(job_.expectedSize - left)) return drInvalidData;
      if (len > left) len = static_cast<uint32_t>(left);  // the size ends inside this match
      left -= len;
      uint32_t src = (pos - dist - 1) & kRingMask;
      if (pos + len + 8 <= kRing && src + len <= kRing) {
        uint8_t* d = ring + pos;
        const uint8_t* s = ring + src;
        if (dist >= 7) {
          // 8-byte steps: each step reads only bytes already in place
          for (uint32_t i = 0; i < len; i += 8) std::memcpy(d + i, s + i, 8);
        } else {
          for (uint32_t i = 0; i < len; ++i) d[i] = s[i];
        }
        pos += len;
      } else {
        while (len-- > 0) {
          ring[pos++] = ring[src];
          src = (src + 1) & kRingMask;
          if (pos == kRing && !Flush(pos)) return Status();
        }
      }
    }
    if (pos > 0 && !Flush(pos)) return Status();
    return drOk;
  }

 private:
  int Status() const { return status_; }

  // Writes ring[0, pos) and starts the ring again at 0.
  bool Flush(uint32_t& pos) {
    int64_t n = job_.sink.write ? job_.sink.write(ring_.get(), pos) : 0;
    if (n != static_cast<int64_t>(pos)) {
      status_ = drOutputFailed;
      return false;
    }
    written_ += pos;
    pos = 0;
    if (job_.progress) job_.progress(written_);
    if (DecodeCancelled(job_)) {
      status_ = drCancelled;
      return false;
    }
    return true;
  }

  // Lengths of the code-length codes (nn = NT, special index 3) or of the
  // position codes (nn = NP, no special index): a count, then 3-bit lengths
  // where 7 goes on with one more for each following 1 bit.
  int ReadPtLen(TLzhCode& code, unsigned nn, unsigned nbit, unsigned special) {
    uint8_t lens[kNT] = {};
    code.single = -1;
    unsigned n = br_.Get(nbit);
    if (n == 0) {
      unsigned c = br_.Get(nbit);
      if (br_.Overrun()) return drInputExhausted;
      if (c >= nn) return drInvalidData;
      code.single = static_cast<int>(c);
      return drOk;
    }
    if (n > nn) return drInvalidData;
    unsigned i = 0;
    while (i < n) {
      unsigned c = br_.Get(3);
      if (c == 7) {
        while (br_.Get(1) != 0) {
          if (++c > THuffTableT<true>::kMaxCodeLen) return br_.Overrun() ? drInputExhausted : drInvalidData;
        }
      }
      lens[i++] = static_cast<uint8_t>(c);
      if (i == special) {
        unsigned zeros = br_.Get(2);
        if (i + zeros > nn) return drInvalidData;
        i += zeros;  // lens[] is zero already
      }
    }
    if (br_.Overrun()) return drInputExhausted;
    return Build(code, lens, nn, 8);
  }

  // Lengths of the literal/length codes, each coded with the code-length code:
  // 0 one zero, 1 a run of 3..18 zeros, 2 a run of 20..531 zeros, c >= 3 the
  // length c - 2.
  int ReadCLen() {
    uint8_t lens[kNC] = {};
    lit_.single = -1;
    unsigned n = br_.Get(kCBit);
    if (n == 0) {
      unsigned c = br_.Get(kCBit);
      if (br_.Overrun()) return drInputExhausted;
      if (c >= kNC) return drInvalidData;
      lit_.single = static_cast<int>(c);
      return drOk;
    }
    if (n > kNC) return drInvalidData;
    unsigned i = 0;
    while (i < n) {
      int c = pt_.Decode(br_);
      if (br_.Overrun()) return drInputExhausted;
      if (c < 0) return drInvalidData;
      if (c <= 2) {
        unsigned zeros = c == 0 ? 1 : c == 1 ? br_.Get(4) + 3 : br_.Get(kCBit) + 20;
        if (i + zeros > kNC) return drInvalidData;
        i += zeros;
      } else {
        lens[i++] = static_cast<uint8_t>(c - 2);
      }
    }
    if (br_.Overrun()) return drInputExhausted;
    return Build(lit_, lens, kNC, 12);
  }

  int ReadTables() {
    int r = ReadPtLen(pt_, kNT, kTBit, 3);
    if (r == drOk) r = ReadCLen();
    if (r == drOk) r = ReadPtLen(pos_, np_, pBit_, 0);
    return r;
  }

  // An incomplete set is accepted (its missing codes fail when met); an
  // over-subscribed one is not.
  static int Build(TLzhCode& code, const uint8_t* lens, unsigned n, unsigned rootBits) {
    auto r = code.table.Build(lens, n, rootBits);
    return (r == TMsbHuffTable::hbOk || r == TMsbHuffTable::hbIncomplete) ? drOk : drInvalidData;
  }

  const TDecodeJob& job_;
  TMsbBitReader br_;
  const unsigned np_;
  const unsigned pBit_;
  const uint32_t windowSize_;
  std::unique_ptr<uint8_t[]> ring_;
  TLzhCode pt_, lit_, pos_;
  int64_t written_ = 0;
  int status_ = drOk;
};

static_assert(kMaxMatch - kMinMatch + 256 == kNC - 1, "c - 253 covers the lengths 3..256");

}  // namespace

int LzhDecode(const TDecodeJob& job, const TLzhParams& p) {
  if (job.expectedSize == 0) return drOk;
  TLzhDecoder decoder(job, p);
  return decoder.Run();
}

}  // namespace zid
