#include "engine/lha/zidLhaPack.h"

#include <array>
#include <cstring>
#include <vector>

#include "engine/lha/zidLzhHuffEnc.h"
#include "engine/lha/zidLzhMatch.h"

namespace zid {

namespace {

// The block format (shared with the decoders).
constexpr unsigned kNC = 510;  // literal/length codes: 256 bytes, lengths 3..256
constexpr unsigned kNT = 19;   // code-length codes
constexpr unsigned kTBit = 5;
constexpr unsigned kCBit = 9;
constexpr unsigned kMaxNP = 17;
constexpr unsigned kLengthBias = 253;  // code = length + 253

// A block is sent once its tokens would take this much room in the classic
// token buffer: 1 byte per literal, 3 per match, 1 flag byte per 8 tokens.
constexpr uint32_t kBlockBytes = 32768 - 24;
constexpr uint32_t kMaxBlockTokens = kBlockBytes;

// Before the first block has been sent there are no code lengths to price a
// short match with: a three-byte match further back than this is taken to
// cost more than its three literals.
constexpr uint32_t kTooFar = 4096;
// The match search, as zlib's: at most kChain candidates per search, a
// quarter of them after a match of kGoodMatch bytes, none after one of
// kLazyMatch; a match of kNiceMatch bytes ends a search.
constexpr uint32_t kChain = 256;
constexpr uint32_t kGoodMatch = 16;
constexpr uint32_t kLazyMatch = 64;
constexpr uint32_t kNiceMatch = 256;
// Matches up to this long are priced against their literals.
constexpr uint32_t kPricedMatch = 6;
// The price in bits of a code the last block did not use.
constexpr uint8_t kUnusedCodeBits = 12;

inline unsigned BitLength(uint32_t v) { return v == 0 ? 0 : 32 - static_cast<unsigned>(__builtin_clz(v)); }

// Whether the match at the next byte (len at dist) is worth a literal in
// front of it rather than taking the previous one: a byte of match is worth
// about four bits, a doubling of the distance one more bit.
inline bool LazyPays(uint32_t len, uint32_t dist, uint32_t prevLen, uint32_t prevDist) {
  if (len <= prevLen) return false;
  const int gain = 4 * static_cast<int>(len) - static_cast<int>(BitLength(dist));
  const int prevGain = 4 * static_cast<int>(prevLen) - static_cast<int>(BitLength(prevDist));
  return gain > prevGain + 1;
}

// One block of tokens and its frequencies, and the code tables it is sent with.
class TLzhBlock {
 public:
  TLzhBlock(unsigned np, unsigned pBit, TLzhBitWriter& out) : np_(np), pBit_(pBit), out_(out) {
    tokens_.reserve(kMaxBlockTokens);
  }

  // Both return true when the block is full and must be sent.
  bool Literal(uint8_t c) {
    ++cFreq_[c];
    tokens_.push_back(c);
    bytes_ += 1;
    return Account();
  }
  bool Match(uint32_t len, uint32_t dist) {
    const uint32_t code = len + kLengthBias;
    const uint32_t p = dist - 1;
    ++cFreq_[code];
    ++pFreq_[BitLength(p)];
    tokens_.push_back(code | (p << 9));
    bytes_ += 3;
    return Account();
  }
  bool Empty() const { return tokens_.empty(); }
  void Send();

  // Whether a match of len bytes (at most kPricedMatch) at dist, standing for
  // the literals text[0..len), costs fewer bits than those literals with the
  // codes of the last block sent.
  bool Pays(uint32_t len, uint32_t dist, const uint8_t* text) const {
    if (!priced_) return len > TLzhMatchFinder::kMinMatch || dist <= kTooFar;
    const unsigned pc = BitLength(dist - 1);
    unsigned match = cBits_[len + kLengthBias] + pBits_[pc] + (pc > 1 ? pc - 1 : 0);
    unsigned literals = 0;
    for (uint32_t i = 0; i < len; ++i) literals += cBits_[text[i]];
    return match < literals;
  }

 private:
  bool Account() {
    if ((tokens_.size() & 7) == 1) ++bytes_;  // a new flag byte
    return bytes_ >= kBlockBytes;
  }
  void CountCodeLengthFreq(unsigned n);
  void PutCodeLengths(unsigned n);
  void PutTable(const uint8_t* len, unsigned count, unsigned nBit, int special);
  void PutCode(const uint8_t* len, const uint16_t* code, unsigned sym) { out_.Put(len[sym], code[sym]); }

  unsigned np_;
  unsigned pBit_;
  TLzhBitWriter& out_;
  std::vector<uint32_t> tokens_;
  uint32_t bytes_ = 0;
  std::array<uint32_t, kNC> cFreq_{};
  std::array<uint32_t, kMaxNP> pFreq_{};
  std::array<uint32_t, kNT> tFreq_{};
  std::array<uint8_t, kNC> cLen_{};
  std::array<uint16_t, kNC> cCode_{};
  std::array<uint8_t, kMaxNP> pLen_{};
  std::array<uint16_t, kMaxNP> pCode_{};
  std::array<uint8_t, kNT> tLen_{};
  std::array<uint16_t, kNT> tCode_{};
  // Bits per code in the last block sent, for pricing short matches.
  bool priced_ = false;
  std::array<uint8_t, kNC> cBits_{};
  std::array<uint8_t, kMaxNP> pBits_{};
};

// Frequencies of the code-length codes that describe the literal/length
// lengths: 0 = one zero length, 1 = 3..18 zeros, 2 = 20..531 zeros, k + 2 = length k.
void TLzhBlock::CountCodeLengthFreq(unsigned n) {
  tFreq_.fill(0);
  unsigned i = 0;
  while (i < n) {
    const unsigned k = cLen_[i++];
    if (k != 0) {
      ++tFreq_[k + 2];
      continue;
    }
    unsigned run = 1;
    while (i < n && cLen_[i] == 0) {
      ++i;
      ++run;
    }
    if (run <= 2) {
      tFreq_[0] += run;
    } else if (run <= 18) {
      ++tFreq_[1];
    } else if (run == 19) {
      ++tFreq_[0];
      ++tFreq_[1];
    } else {
      ++tFreq_[2];
    }
  }
}

void TLzhBlock::PutCodeLengths(unsigned n) {
  out_.Put(kCBit, n);
  unsigned i = 0;
  while (i < n) {
    const unsigned k = cLen_[i++];
    if (k != 0) {
      PutCode(tLen_.data(), tCode_.data(), k + 2);
      continue;
    }
    unsigned run = 1;
    while (i < n && cLen_[i] == 0) {
      ++i;
      ++run;
    }
    if (run <= 2) {
      for (unsigned r = 0; r < run; ++r) PutCode(tLen_.data(), tCode_.data(), 0);
    } else if (run <= 18) {
      PutCode(tLen_.data(), tCode_.data(), 1);
      out_.Put(4, run - 3);
    } else if (run == 19) {
      PutCode(tLen_.data(), tCode_.data(), 0);
      PutCode(tLen_.data(), tCode_.data(), 1);
      out_.Put(4, 15);
    } else {
      PutCode(tLen_.data(), tCode_.data(), 2);
      out_.Put(kCBit, run - 20);
    }
  }
}

// The lengths of the code-length code and of the position code: 3 bits each,
// 7 and more as 7 followed by one 1 bit per extra unit and a 0. After the
// entry at `special` a 2-bit count of zero lengths follows.
void TLzhBlock::PutTable(const uint8_t* len, unsigned count, unsigned nBit, int special) {
  unsigned n = count;
  while (n > 0 && len[n - 1] == 0) --n;
  out_.Put(nBit, n);
  unsigned i = 0;
  while (i < n) {
    const unsigned k = len[i++];
    if (k <= 6)
      out_.Put(3, k);
    else
      out_.Put(k - 3, (1u << (k - 3)) - 2);
    if (static_cast<int>(i) == special) {
      unsigned zeros = 0;
      while (zeros < 3 && i + zeros < n && len[i + zeros] == 0) ++zeros;
      out_.Put(2, zeros);
      i += zeros;
    }
  }
}

void TLzhBlock::Send() {
  out_.Put(16, static_cast<uint32_t>(tokens_.size()));
  const TLzhCode c = LzhMakeCode(cFreq_.data(), kNC, cLen_.data(), cCode_.data());
  if (c.used >= 2) {
    unsigned n = kNC;
    while (n > 0 && cLen_[n - 1] == 0) --n;
    CountCodeLengthFreq(n);
    const TLzhCode t = LzhMakeCode(tFreq_.data(), kNT, tLen_.data(), tCode_.data());
    if (t.used >= 2) {
      PutTable(tLen_.data(), kNT, kTBit, 3);
    } else {
      out_.Put(kTBit, 0);
      out_.Put(kTBit, t.single);
    }
    PutCodeLengths(n);
  } else {
    // One literal/length code: no code-length code, and the code itself takes no bits.
    out_.Put(kTBit, 0);
    out_.Put(kTBit, 0);
    out_.Put(kCBit, 0);
    out_.Put(kCBit, c.single);
  }
  const TLzhCode p = LzhMakeCode(pFreq_.data(), np_, pLen_.data(), pCode_.data());
  if (p.used >= 2) {
    PutTable(pLen_.data(), np_, pBit_, -1);
  } else {
    out_.Put(pBit_, 0);
    out_.Put(pBit_, p.single);
  }
  for (const uint32_t t : tokens_) {
    const uint32_t code = t & 0x1FF;
    PutCode(cLen_.data(), cCode_.data(), code);
    if (code < 256) continue;
    const uint32_t pos = t >> 9;
    const unsigned pc = BitLength(pos);
    PutCode(pLen_.data(), pCode_.data(), pc);
    if (pc > 1) out_.Put(pc - 1, pos & ((1u << (pc - 1)) - 1));
  }
  // The next block is priced with this one's codes; a single code costs one bit.
  for (unsigned i = 0; i < kNC; ++i)
    cBits_[i] = cLen_[i] != 0 ? cLen_[i] : c.used == 1 && i == c.single ? 1 : kUnusedCodeBits;
  for (unsigned i = 0; i < np_; ++i)
    pBits_[i] = pLen_[i] != 0 ? pLen_[i] : p.used == 1 && i == p.single ? 1 : kUnusedCodeBits;
  priced_ = true;
  tokens_.clear();
  bytes_ = 0;
  cFreq_.fill(0);
  pFreq_.fill(0);
}

}  // namespace

TLzhEncoder::TLzhEncoder(const TLzhEncodeParams& params) : params_(params) {
  if (params_.dicBit < 10) params_.dicBit = 10;
  if (params_.dicBit > 16) params_.dicBit = 16;
}

TLzhEncoder::~TLzhEncoder() = default;

uint32_t TLzhEncoder::Crc() const { return params_.crcKind == ckCrc32 ? crc_ ^ kCrc32Init : crc_; }

TLzhEncodeResult TLzhEncoder::Encode(const TLzhEncodeJob& job) {
  crc_ = params_.crcKind == ckCrc32 ? kCrc32Init : 0;
  bytesIn_ = bytesOut_ = 0;
  const TCrcKind kind = params_.crcKind;
  TLzhMatchFinder mf(params_.dicBit, [&](uint8_t* buf, int64_t count) -> int64_t {
    const int64_t got = job.read(buf, count);
    if (got <= 0) return 0;
    if (kind == ckCrc32)
      UpdateCrc32(buf, got, crc_);
    else if (kind == ckCrc16)
      UpdateCrc16(buf, got, crc_);
    bytesIn_ += got;
    if (job.progress) job.progress(bytesIn_);
    return got;
  });
  TLzhBitWriter out(job.write, job.limit);
  TLzhBlock block(params_.dicBit + 1, params_.pBit, out);
  auto cancelled = [&job] { return job.cancel != nullptr && *job.cancel; };
  // Sends a full block; false when the encoding cannot go on.
  auto send = [&] {
    block.Send();
    return !out.Failed() && !out.OverLimit();
  };

  bool havePrev = false;
  uint8_t prevByte = 0;
  uint32_t prevLen = 0, prevDist = 0;
  uint32_t tick = 0;
  while (mf.Fill()) {
    if ((++tick & 0xFFFF) == 0 && cancelled()) return erCancelled;
    const uint8_t* text = mf.Text();
    uint32_t dist = 0;
    uint32_t len = 0;
    // The lazy step: after a long match the next position is not searched,
    // after a good one it is searched less.
    const bool prevMatch = havePrev && prevLen >= TLzhMatchFinder::kMinMatch;
    if (prevMatch && prevLen >= kLazyMatch)
      mf.Skip();
    else
      len = mf.Next(dist, prevMatch ? prevLen : 0, prevMatch && prevLen >= kGoodMatch ? kChain / 4 : kChain, kNiceMatch);
    if (len != 0 && len <= kPricedMatch && !block.Pays(len, dist, text)) len = 0;
    const uint8_t byte = text[0];
    if (havePrev) {
      if (prevLen >= TLzhMatchFinder::kMinMatch && !LazyPays(len, dist, prevLen, prevDist)) {
        // The match began at the previous byte; enter the rest of it into the dictionary.
        const bool full = block.Match(prevLen, prevDist);
        for (uint32_t k = 2; k < prevLen; ++k) mf.Skip();
        havePrev = false;
        if (full && !send()) break;
        continue;
      }
      if (block.Literal(prevByte) && !send()) break;
    }
    havePrev = true;
    prevByte = byte;
    prevLen = len;
    prevDist = dist;
  }
  if (cancelled()) return erCancelled;
  if (!out.Failed() && !out.OverLimit()) {
    if (havePrev) {
      if (prevLen >= TLzhMatchFinder::kMinMatch)
        block.Match(prevLen, prevDist);
      else
        block.Literal(prevByte);
    }
    if (!block.Empty()) block.Send();
    out.Finish();
  }
  bytesOut_ = out.Produced();
  if (out.Failed()) return erOutputFailed;
  if (out.OverLimit()) return erUnpackable;
  return erOk;
}

}  // namespace zid
