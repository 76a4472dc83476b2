#include "engine/zip/zidInflate.h"

#include <algorithm>

#include "engine/base/zidBitReader.h"
#include "engine/base/zidHuffman.h"

namespace zid {

namespace {

bool gDeflate64 = false;

constexpr uint16_t kLenBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLenExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Codes 30 and 31 exist only in Deflate64.
constexpr uint32_t kDistBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                    7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr uint8_t kClOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// An incomplete code is accepted only in the one form RFC 1951 allows: a
// single code of one bit (a block that uses one distance, or none at all).
bool AcceptableIncomplete(const uint8_t* lengths, unsigned n) {
  unsigned used = 0;
  for (unsigned i = 0; i < n; ++i) {
    if (lengths[i] == 0) continue;
    if (lengths[i] != 1) return false;
    ++used;
  }
  return used <= 1;
}

class TInflater {
 public:
  TInflater(const TDecodeJob& job, bool deflate64)
      : job_(job), d64_(deflate64), br_(job.source), out_(job, deflate64 ? 65536 : 32768) {}

  int Run() {
    bool last = false;
    while (!last) {
      if (DecodeCancelled(job_)) return drCancelled;
      last = br_.Get(1) != 0;
      unsigned type = br_.Get(2);
      if (br_.Overrun()) return drInputExhausted;
      int r;
      switch (type) {
        case 0: r = Stored(); break;
        case 1: r = Fixed(); break;
        case 2: r = Dynamic(); break;
        default: r = drInvalidData; break;
      }
      if (r != drOk) return r;
    }
    return out_.Finish();
  }

 private:
  // A byte would go past the declared size, or the sink failed.
  int OutputStopped() const { return out_.Status() != drOk ? out_.Status() : drInvalidData; }

  int Stored() {
    br_.AlignToByte();
    uint32_t len = br_.Get(16);
    uint32_t nlen = br_.Get(16);
    if (br_.Overrun()) return drInputExhausted;
    if ((len ^ 0xFFFF) != nlen) return drInvalidData;
    uint8_t chunk[4096];
    while (len > 0) {
      if (DecodeCancelled(job_)) return drCancelled;
      uint32_t n = std::min<uint32_t>(len, sizeof chunk);
      if (br_.ReadBytes(chunk, n) != n) return drInputExhausted;
      if (!out_.PutBytes(chunk, n)) return OutputStopped();
      len -= n;
    }
    return drOk;
  }

  int Fixed() {
    if (!fixedBuilt_) {
      uint8_t lens[288 + 32];
      std::fill(lens, lens + 144, 8);
      std::fill(lens + 144, lens + 256, 9);
      std::fill(lens + 256, lens + 280, 7);
      std::fill(lens + 280, lens + 288, 8);
      // all 32 five-bit distance codes; 30 and 31 are refused when decoded
      // unless the data is Deflate64, whose encoders use them in fixed blocks
      std::fill(lens + 288, lens + 320, 5);
      fixedLit_.Build(lens, 288, 7);
      fixedDist_.Build(lens + 288, 32, 5);
      fixedBuilt_ = true;
    }
    return Codes(fixedLit_, fixedDist_);
  }

  int Dynamic() {
    unsigned nlit = br_.Get(5) + 257;
    unsigned ndist = br_.Get(5) + 1;
    unsigned ncl = br_.Get(4) + 4;
    if (nlit > 288 || ndist > 32) return drInvalidData;
    uint8_t cl[19] = {};
    for (unsigned i = 0; i < ncl; ++i) cl[kClOrder[i]] = static_cast<uint8_t>(br_.Get(3));
    if (br_.Overrun()) return drInputExhausted;
    THuffTable clTable;
    if (clTable.Build(cl, 19, 7) != THuffTable::hbOk) return drInvalidData;

    uint8_t lens[288 + 32] = {};
    const unsigned total = nlit + ndist;
    unsigned i = 0;
    while (i < total) {
      int sym = clTable.Decode(br_);
      if (br_.Overrun()) return drInputExhausted;
      if (sym < 0) return drInvalidData;
      if (sym < 16) {
        lens[i++] = static_cast<uint8_t>(sym);
        continue;
      }
      uint8_t value = 0;
      unsigned repeat;
      if (sym == 16) {
        if (i == 0) return drInvalidData;  // nothing to repeat
        value = lens[i - 1];
        repeat = 3 + br_.Get(2);
      } else if (sym == 17) {
        repeat = 3 + br_.Get(3);
      } else {
        repeat = 11 + br_.Get(7);
      }
      if (br_.Overrun()) return drInputExhausted;
      if (repeat > total - i) return drInvalidData;  // runs past HLIT + HDIST
      std::fill(lens + i, lens + i + repeat, value);
      i += repeat;
    }
    if (lens[256] == 0) return drInvalidData;  // no end-of-block code
    auto r = lit_.Build(lens, nlit, 9);
    if (r == THuffTable::hbOverSubscribed || r == THuffTable::hbBadLength ||
        (r == THuffTable::hbIncomplete && !AcceptableIncomplete(lens, nlit)))
      return drInvalidData;
    r = dist_.Build(lens + nlit, ndist, 6);
    if (r == THuffTable::hbOverSubscribed || r == THuffTable::hbBadLength ||
        (r == THuffTable::hbIncomplete && !AcceptableIncomplete(lens + nlit, ndist)))
      return drInvalidData;
    return Codes(lit_, dist_);
  }

  int Codes(const THuffTable& lit, const THuffTable& dist) {
    const unsigned distCodes = d64_ ? 32 : 30;
    for (;;) {
      if (DecodeCancelled(job_)) return drCancelled;
      int sym = lit.Decode(br_);
      if (br_.Overrun()) return drInputExhausted;
      if (sym < 256) {
        if (sym < 0) return drInvalidData;
        if (!out_.Put(static_cast<uint8_t>(sym))) return OutputStopped();
        continue;
      }
      if (sym == 256) return drOk;
      sym -= 257;
      if (sym >= 29) return drInvalidData;
      uint32_t len;
      if (d64_ && sym == 28) {
        len = 3 + br_.Get(16);
      } else {
        len = kLenBase[sym] + br_.Get(kLenExtra[sym]);
      }
      int dsym = dist.Decode(br_);
      if (br_.Overrun()) return drInputExhausted;
      if (dsym < 0 || static_cast<unsigned>(dsym) >= distCodes) return drInvalidData;
      uint32_t d = kDistBase[dsym] + br_.Get(kDistExtra[dsym]);
      if (br_.Overrun()) return drInputExhausted;
      if (d > out_.Total()) return drInvalidData;  // before the start of the output
      if (len > out_.Room()) return OutputStopped();
      if (!out_.Copy(d, len)) return OutputStopped();
    }
  }

  const TDecodeJob& job_;
  const bool d64_;
  TBitReader br_;
  TOutWindow out_;
  THuffTable lit_, dist_, fixedLit_, fixedDist_;
  bool fixedBuilt_ = false;
};

}  // namespace

void SetDeflate64(bool on) { gDeflate64 = on; }
bool Deflate64Enabled() { return gDeflate64; }

int InflateWindow(const TDecodeJob& job, bool deflate64) {
  TInflater inflater(job, deflate64);
  return inflater.Run();
}

}  // namespace zid
