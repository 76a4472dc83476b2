// ACE 2.0 PIC blocks (mode 7): image rows predicted from the row above and
// the previous plane, each pixel's error Golomb-Rice coded with a parameter
// taken from one of 365 gradient contexts.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ace/ace_bits.h"
#include "platform/ace/ace_lz77.h"
#include "platform/ace/ace_output.h"

namespace ace {

class TPicDecoder {
 public:
  // Entering PIC from another mode: reads the row width and the plane count
  // and starts from a blank state. Absurd sizes are a data error.
  void Start(TBitReader& br);
  // Decodes rows while fewer than `limit` bytes were produced (a row cut by
  // the limit loses its tail: the limit is the member's end). True when a
  // row flag of 0 (a mode instruction follows) ended the block.
  bool DecodeBlock(TBitReader& br, uint64_t limit, THistory& hist, TOutput& out, uint64_t& produced);

 private:
  struct TContext {
    int used = 0;
    int avg = 4;
    int pred = 0;
    int errs[4] = {0, 0, 0, 0};
  };
  void DecodeRow(TBitReader& br);
  uint8_t DecodePixel(TBitReader& br, TContext& c, int a, int b, int cc);

  unsigned width_ = 0;
  unsigned planes_ = 0;
  std::vector<TContext> modelA_;  // plane 0
  std::vector<TContext> modelB_;  // every other plane
  std::vector<uint8_t> prev_;     // the row above, width + planes bytes (the tail stays 0)
  std::vector<uint8_t> row_;
};

}  // namespace ace
