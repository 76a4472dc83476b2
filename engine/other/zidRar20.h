// The RAR 2.0 decoder (unpack versions 2.0 and 2.6): LZ77 over the shared
// window with Huffman-coded literals, lengths and distances, and the
// multimedia ("audio") mode, which codes each byte as a prediction error of
// up to four interleaved channels. Tables are sent as changes to the ones
// before; the tables, the four last distances and the predictors carry over
// from entry to entry of a solid archive.
#pragma once

#include <cstdint>
#include <string>

#include "engine/base/zidBitReader.h"
#include "engine/base/zidHuffman.h"
#include "engine/other/zidRarUnpack.h"

namespace zid {

class TRar20Decoder {
 public:
  static constexpr unsigned kMainCodes = 298, kDistCodes = 48, kRepCodes = 28, kLevelCodes = 19, kAudioCodes = 257;
  static constexpr unsigned kMaxChannels = 4;

  explicit TRar20Decoder(TRarWindow& window) : window_(window) {}
  // Forgets everything: the next entry starts a stream.
  void Reset();
  // Decodes one entry (window_.Begin done); problem says why on drInvalidData.
  int Decode(const TDecodeJob& job, std::string& problem);

 private:
  struct TAudio {
    int k[5] = {};
    int d[4] = {};
    int lastDelta = 0;
    uint32_t dif[11] = {};
    uint32_t count = 0;
    int lastChar = 0;
  };
  bool ReadTables(TMsbBitReader& br, std::string& problem);
  uint8_t DecodeAudio(int delta);
  bool CopyMatch(uint32_t length, uint32_t dist, std::string& problem);

  TRarWindow& window_;
  TMsbHuffTable main_, dist_, rep_;
  TMsbHuffTable audioTables_[kMaxChannels];
  uint8_t lengths_[kMaxChannels * kAudioCodes] = {};  // the last tables sent (the base of the next)
  bool tablesRead_ = false;
  bool audio_ = false;
  unsigned channels_ = 1;
  unsigned channel_ = 0;
  int channelDelta_ = 0;
  TAudio audioState_[kMaxChannels];
  uint32_t oldDist_[4] = {};
  unsigned oldDistPos_ = 0;
  uint32_t lastDist_ = 0;
  uint32_t lastLength_ = 0;
};

}  // namespace zid
