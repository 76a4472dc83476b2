// The RAR 1.5 decoder: LZ77 over the shared window where literals, lengths,
// distances and the flag bytes that choose between them are coded by fixed
// prefix-code families picked by running averages, through symbol tables
// that move each symbol towards the front as it is used (with a periodic
// reshuffle). A run of literals switches to a plain byte mode until an
// escape code ends it. Everything adaptive carries over in a solid archive.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/zidBitReader.h"
#include "engine/other/zidRarUnpack.h"

namespace zid {

class TRar15Decoder {
 public:
  explicit TRar15Decoder(TRarWindow& window) : window_(window) {}
  void Reset();
  int Decode(const TDecodeJob& job, std::string& problem);

 private:
  void ShortMatch(TMsbBitReader& br);
  void LongMatch(TMsbBitReader& br);
  void Literal(TMsbBitReader& br);
  void ReadFlags(TMsbBitReader& br);
  bool Copy(uint32_t dist, uint32_t length);
  static void Reshuffle(uint16_t* set, uint8_t* place);

  TRarWindow& window_;
  uint16_t chSet_[256] = {}, chSetA_[256] = {}, chSetB_[256] = {}, chSetC_[256] = {};
  uint8_t place_[256] = {}, placeB_[256] = {}, placeC_[256] = {};
  uint32_t avrPlc_ = 0, avrPlcB_ = 0, avrLn1_ = 0, avrLn2_ = 0, avrLn3_ = 0;
  uint32_t numHuf_ = 0, nhfb_ = 0, nlzb_ = 0, maxDist3_ = 0;
  unsigned buf60_ = 0;
  int flagsLeft_ = 0;
  uint32_t flagBuf_ = 0;
  bool byteMode_ = false;
  unsigned lCount_ = 0;
  uint32_t oldDist_[4] = {};
  unsigned oldDistPos_ = 0;
  uint32_t lastDist_ = 0, lastLength_ = 0;
  bool badMatch_ = false;
  uint32_t badDist_ = 0;
};

}  // namespace zid
