#include "engine/other/zidRar15.h"

#include <cstring>

namespace zid {

namespace {

constexpr unsigned kCancelCheck = 1u << 14;

// Each family: the shortest length, the limits, the first symbol per length.
struct TFamily {
  unsigned firstLength;
  uint16_t limits[12];
  uint8_t firstSymbol[13];
};
constexpr TFamily kL1 = {2,
                         {0x8000, 0xa000, 0xc000, 0xd000, 0xe000, 0xea00, 0xee00, 0xf000, 0xf200, 0xf200, 0xffff, 0xffff},
                         {0, 0, 0, 2, 3, 5, 7, 11, 16, 20, 24, 32, 32}};
constexpr TFamily kL2 = {3,
                         {0xa000, 0xc000, 0xd000, 0xe000, 0xea00, 0xee00, 0xf000, 0xf200, 0xf240, 0xffff, 0xffff, 0xffff},
                         {0, 0, 0, 0, 5, 7, 9, 13, 18, 22, 26, 34, 36}};
constexpr TFamily kHf0 = {4,
                          {0x8000, 0xc000, 0xe000, 0xf200, 0xf200, 0xf200, 0xf200, 0xf200, 0xffff, 0xffff, 0xffff, 0xffff},
                          {0, 0, 0, 0, 0, 8, 16, 24, 33, 33, 33, 33, 33}};
constexpr TFamily kHf1 = {5,
                          {0x2000, 0xc000, 0xe000, 0xf000, 0xf200, 0xf200, 0xf7e0, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff},
                          {0, 0, 0, 0, 0, 0, 4, 44, 60, 76, 80, 80, 127}};
constexpr TFamily kHf2 = {5,
                          {0x1000, 0x2400, 0x8000, 0xc000, 0xfa00, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff},
                          {0, 0, 0, 0, 0, 0, 2, 7, 53, 117, 233, 0, 0}};
constexpr TFamily kHf3 = {6,
                          {0x0800, 0x2400, 0xee00, 0xfe80, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff},
                          {0, 0, 0, 0, 0, 0, 0, 2, 16, 218, 251, 0, 0}};
constexpr TFamily kHf4 = {8,
                          {0xff00, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff, 0xffff},
                          {0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0}};

// The short-match codes, two sets picked by the average short length: the
// code's bits (left-aligned in a byte) and its length. One length in each
// set is 3 or 4 by a switch the stream toggles; the last entry ends the
// search whatever the bits.
constexpr uint8_t kShortLen1[16] = {1, 3, 4, 4, 5, 6, 7, 8, 8, 4, 4, 5, 6, 6, 4, 0};
constexpr uint8_t kShortBits1[16] = {0,    0xa0, 0xd0, 0xe0, 0xf0, 0xf8, 0xfc, 0xfe,
                                     0xff, 0xc0, 0x80, 0x90, 0x98, 0x9c, 0xb0, 0};
constexpr uint8_t kShortLen2[16] = {2, 3, 3, 3, 4, 4, 5, 6, 6, 4, 4, 5, 6, 6, 4, 0};
constexpr uint8_t kShortBits2[16] = {0,    0x40, 0x60, 0xa0, 0xd0, 0xe0, 0xf0, 0xf8,
                                     0xfc, 0xc0, 0x80, 0x90, 0x98, 0x9c, 0xb0, 0};
constexpr unsigned kSwitched1 = 1, kSwitched2 = 3;

unsigned Code(TMsbBitReader& br, const TFamily& c) {
  br.Need(16);
  const uint32_t num = br.Peek(16) & 0xfff0;
  unsigned len = c.firstLength, i = 0;
  while (c.limits[i] <= num) {
    ++i;
    ++len;
  }
  br.Drop(len);
  return ((num - (i ? c.limits[i - 1] : 0)) >> (16 - len)) + c.firstSymbol[len];
}

uint32_t Peek16(TMsbBitReader& br) {
  br.Need(16);
  return br.Peek(16);
}

}  // namespace

void TRar15Decoder::Reshuffle(uint16_t* set, uint8_t* place) {
  for (int rank = 7; rank >= 0; --rank)
    for (int j = 0; j < 32; ++j, ++set) *set = static_cast<uint16_t>((*set & ~0xff) | rank);
  std::memset(place, 0, 256);
  for (int i = 6; i >= 0; --i) place[i] = static_cast<uint8_t>((7 - i) * 32);
}

void TRar15Decoder::Reset() {
  for (unsigned i = 0; i < 256; ++i) {
    chSet_[i] = chSetB_[i] = static_cast<uint16_t>(i << 8);
    chSetA_[i] = static_cast<uint16_t>(i);
    chSetC_[i] = static_cast<uint16_t>(((~i + 1) & 0xff) << 8);
  }
  std::memset(place_, 0, sizeof place_);
  std::memset(placeB_, 0, sizeof placeB_);
  std::memset(placeC_, 0, sizeof placeC_);
  Reshuffle(chSetB_, placeB_);
  avrPlcB_ = avrLn1_ = avrLn2_ = avrLn3_ = numHuf_ = 0;
  buf60_ = 0;
  avrPlc_ = 0x3500;
  maxDist3_ = 0x2001;
  nhfb_ = nlzb_ = 0x80;
  std::memset(oldDist_, 0, sizeof oldDist_);
  oldDistPos_ = 0;
  lastDist_ = lastLength_ = 0;
}

bool TRar15Decoder::Copy(uint32_t dist, uint32_t length) {
  if (length == 0 || window_.Copy(dist, length)) return true;
  badMatch_ = true;
  badDist_ = dist;
  return false;
}

void TRar15Decoder::ReadFlags(TMsbBitReader& br) {
  const unsigned place = Code(br, kHf2);
  if (place >= 256) return;
  uint32_t flags = 0, newPlace = 0;
  for (;;) {
    flags = chSetC_[place];
    flagBuf_ = flags >> 8;
    newPlace = placeC_[flags++ & 0xff]++;
    if ((flags & 0xff) != 0) break;
    Reshuffle(chSetC_, placeC_);
  }
  chSetC_[place] = chSetC_[newPlace];
  chSetC_[newPlace] = static_cast<uint16_t>(flags);
}

void TRar15Decoder::Literal(TMsbBitReader& br) {
  const uint32_t bits = Peek16(br);
  const TFamily& codes = avrPlc_ > 0x75ff ? kHf4 : avrPlc_ > 0x5dff ? kHf3 : avrPlc_ > 0x35ff ? kHf2
                         : avrPlc_ > 0x0dff ? kHf1 : kHf0;
  int place = static_cast<int>(Code(br, codes) & 0xff);
  if (byteMode_) {
    if (place == 0 && bits > 0xfff) place = 0x100;
    if (--place < 0) {
      // the escape: back to flagged mode, or a short match
      if (br.Get(1)) {
        numHuf_ = 0;
        byteMode_ = false;
        return;
      }
      const uint32_t length = br.Get(1) ? 4 : 3;
      const uint32_t dist = (Code(br, kHf2) << 5) | br.Get(5);
      Copy(dist, length);
      return;
    }
  } else if (numHuf_++ >= 16 && flagsLeft_ == 0) {
    byteMode_ = true;
  }
  avrPlc_ += place;
  avrPlc_ -= avrPlc_ >> 8;
  nhfb_ += 16;
  if (nhfb_ > 0xff) {
    nhfb_ = 0x90;
    nlzb_ >>= 1;
  }
  window_.Put(static_cast<uint8_t>(chSet_[place] >> 8));
  uint32_t cur = 0, newPlace = 0;
  for (;;) {
    cur = chSet_[place];
    newPlace = place_[cur++ & 0xff]++;
    if ((cur & 0xff) <= 0xa1) break;
    Reshuffle(chSet_, place_);
  }
  chSet_[place] = chSet_[newPlace];
  chSet_[newPlace] = static_cast<uint16_t>(cur);
}

void TRar15Decoder::ShortMatch(TMsbBitReader& br) {
  numHuf_ = 0;
  uint32_t bits = Peek16(br);
  if (lCount_ == 2) {
    br.Drop(1);
    if (bits >= 0x8000) {
      Copy(lastDist_, lastLength_);
      return;
    }
    bits <<= 1;
    lCount_ = 0;
  }
  bits = (bits >> 8) & 0xff;
  const bool first = avrLn1_ < 37;
  const uint8_t* lens = first ? kShortLen1 : kShortLen2;
  const uint8_t* codes = first ? kShortBits1 : kShortBits2;
  const unsigned switched = first ? kSwitched1 : kSwitched2;
  unsigned length = 0, codeLen = 0;
  for (;; ++length) {
    codeLen = length == switched ? buf60_ + 3 : lens[length];
    if (((bits ^ codes[length]) & ~(0xffu >> codeLen) & 0xff) == 0) break;
  }
  br.Drop(codeLen);
  uint32_t dist = 0;
  if (length >= 9) {
    if (length == 9) {
      ++lCount_;
      Copy(lastDist_, lastLength_);
      return;
    }
    lCount_ = 0;
    if (length == 14) {
      length = Code(br, kL2) + 5;
      dist = br.Get(15) | 0x8000;
      lastLength_ = length;
      lastDist_ = dist;
      Copy(dist, length);
      return;
    }
    const unsigned code = length;
    dist = oldDist_[(oldDistPos_ - (code - 9)) & 3];
    length = Code(br, kL1) + 2;
    if (length == 0x101 && code == 10) {
      buf60_ ^= 1;
      return;
    }
    if (dist > 256) ++length;
    if (dist >= maxDist3_) ++length;
  } else {
    lCount_ = 0;
    avrLn1_ += length;
    avrLn1_ -= avrLn1_ >> 4;
    const unsigned place = Code(br, kHf2) & 0xff;
    dist = chSetA_[place];
    if (place > 0) {
      chSetA_[place] = chSetA_[place - 1];
      chSetA_[place - 1] = static_cast<uint16_t>(dist);
    }
    length += 2;
    ++dist;
  }
  oldDist_[oldDistPos_] = dist;
  oldDistPos_ = (oldDistPos_ + 1) & 3;
  lastLength_ = length;
  lastDist_ = dist;
  Copy(dist, length);
}

void TRar15Decoder::LongMatch(TMsbBitReader& br) {
  numHuf_ = 0;
  nlzb_ += 16;
  if (nlzb_ > 0xff) {
    nlzb_ = 0x90;
    nhfb_ >>= 1;
  }
  const uint32_t oldAvr2 = avrLn2_;
  uint32_t bits = Peek16(br);
  uint32_t length = 0;
  if (avrLn2_ >= 122) {
    length = Code(br, kL2);
  } else if (avrLn2_ >= 64) {
    length = Code(br, kL1);
  } else if (bits < 0x100) {
    length = bits;
    br.Drop(16);
  } else {
    while (((bits << length) & 0x8000) == 0) ++length;
    br.Drop(length + 1);
  }
  avrLn2_ += length;
  avrLn2_ -= avrLn2_ >> 5;
  const TFamily& codes = avrPlcB_ > 0x28ff ? kHf2 : avrPlcB_ > 0x6ff ? kHf1 : kHf0;
  const unsigned place = Code(br, codes);
  avrPlcB_ += place;
  avrPlcB_ -= avrPlcB_ >> 8;
  uint32_t dist = 0, newPlace = 0;
  for (;;) {
    dist = chSetB_[place & 0xff];
    newPlace = placeB_[dist++ & 0xff]++;
    if (dist & 0xff) break;
    Reshuffle(chSetB_, placeB_);
  }
  chSetB_[place & 0xff] = chSetB_[newPlace];
  chSetB_[newPlace] = static_cast<uint16_t>(dist);
  // eight bits complete the distance, whose lowest bit is dropped: seven are consumed
  dist = ((dist & 0xff00) | (Peek16(br) >> 8)) >> 1;
  br.Drop(7);
  const uint32_t oldAvr3 = avrLn3_;
  if (length != 1 && length != 4) {
    if (length == 0 && dist <= maxDist3_) {
      ++avrLn3_;
      avrLn3_ -= avrLn3_ >> 8;
    } else if (avrLn3_ > 0) {
      --avrLn3_;
    }
  }
  length += 3;
  if (dist >= maxDist3_) ++length;
  if (dist <= 256) length += 8;
  maxDist3_ = oldAvr3 > 0xb0 || (avrPlc_ >= 0x2a00 && oldAvr2 < 0x40) ? 0x7f00 : 0x2001;
  oldDist_[oldDistPos_] = dist;
  oldDistPos_ = (oldDistPos_ + 1) & 3;
  lastLength_ = length;
  lastDist_ = dist;
  Copy(dist, length);
}

int TRar15Decoder::Decode(const TDecodeJob& job, std::string& problem) {
  TMsbBitReader br(job.source);
  flagsLeft_ = 0;
  flagBuf_ = 0;
  byteMode_ = false;
  lCount_ = 0;
  badMatch_ = false;
  if (!window_.Done()) {
    ReadFlags(br);
    flagsLeft_ = 8;
  }
  unsigned tick = 0;
  while (!window_.Done()) {
    if (window_.Status() != drOk) return window_.Status();
    if (br.Overrun()) return drInputExhausted;
    if (++tick == kCancelCheck) {
      tick = 0;
      if (DecodeCancelled(job)) return drCancelled;
    }
    if (byteMode_) {
      Literal(br);
    } else {
      if (--flagsLeft_ < 0) {
        ReadFlags(br);
        flagsLeft_ = 7;
      }
      const bool high = (flagBuf_ & 0x80) != 0;
      flagBuf_ <<= 1;
      if (high) {
        if (nlzb_ > nhfb_) LongMatch(br);
        else Literal(br);
      } else {
        if (--flagsLeft_ < 0) {
          ReadFlags(br);
          flagsLeft_ = 7;
        }
        const bool second = (flagBuf_ & 0x80) != 0;
        flagBuf_ <<= 1;
        if (!second) ShortMatch(br);
        else if (nlzb_ > nhfb_) Literal(br);
        else LongMatch(br);
      }
    }
    if (badMatch_) {
      problem = "a match that reaches " + std::to_string(badDist_) + " bytes back, before the start of the data";
      return drInvalidData;
    }
  }
  if (br.Overrun()) return drInputExhausted;
  return window_.Finish();
}

}  // namespace zid
