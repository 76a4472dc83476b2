// ACE 2.0 SOUND blocks (modes 3 to 6): audio samples predicted per channel
// from the previous ones, the residuals Huffman-coded with three models per
// channel, one of them chosen by an adaptive counter, with runs of zeros.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/ace/ace_bits.h"
#include "platform/ace/ace_lz77.h"
#include "platform/ace/ace_output.h"

namespace ace {

class TSoundDecoder {
 public:
  TSoundDecoder();
  ~TSoundDecoder();
  // A fresh state for mode 3 (SOUND_8), 4 (SOUND_16), 5 (SOUND_32A) or 6 (SOUND_32B).
  void Reset(unsigned mode);
  // Decodes at most `limit` bytes (a positive multiple of 4) into the history
  // and the output, `produced` counting them. True when the sound escape
  // (a mode instruction follows) ended the block.
  bool DecodeBlock(TBitReader& br, uint64_t limit, THistory& hist, TOutput& out, uint64_t& produced);

 private:
  struct TChannel;
  // The residual of the next byte of channel c; false at the escape symbol.
  bool Residual(TBitReader& br, unsigned c, int& residual);
  uint8_t Update(TChannel& ch, int residual);
  void ReadBlockHeader(TBitReader& br);

  unsigned mode_ = 3;
  unsigned channels_ = 1;
  std::unique_ptr<TChannel[]> ch_;
  std::unique_ptr<THuffman[]> models_;  // 3 per channel
  uint32_t left_ = 0;                   // symbols left in the block
};

}  // namespace ace
