// The table builder for prefix codes, shared by the window decoders, in both
// bit orders. Codes are canonical (shorter codes first, equal lengths by
// symbol) or, for PKWARE implode's Shannon-Fano trees, the bitwise complement
// of the canonical codes. LSB-first streams (Deflate, implode) send each code
// starting with its most significant bit in the low bit of the buffer, so the
// table is indexed by the bit-reversed code; MSB-first streams (the LZH family)
// index it by the code itself. Lookup is one root table of `rootBits` entries
// plus sub-tables for the longer codes; no recursion anywhere.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/base/zidBitReader.h"

namespace zid {

template <bool MsbFirst>
class THuffTableT {
 public:
  static constexpr unsigned kMaxCodeLen = 16;

  enum TBuildResult { hbOk, hbOverSubscribed, hbIncomplete, hbBadLength };

  // lengths[i] is the code length of symbol i (0 = unused, at most 16).
  // An incomplete set still builds (its unused codes look up as invalid) and
  // is reported as hbIncomplete so the caller can decide; an over-subscribed
  // set (or a length past 16) is refused and every code looks up as invalid.
  TBuildResult Build(const uint8_t* lengths, unsigned count, unsigned rootBits, bool complement = false);

  // Decodes one symbol; -1 for a code that is not in the set (or an empty
  // table). Consumes the code's bits.
  int Decode(TBitReaderT<MsbFirst>& br) const {
    br.Need(kMaxCodeLen);
    TEntry e = table_[br.Peek(root_)];
    if (e.sub) {
      uint32_t idx;
      if constexpr (MsbFirst) {
        idx = br.Peek(e.len);  // the root bits then the sub-table bits
      } else {
        idx = br.Peek(e.len) >> root_;
      }
      e = table_[e.value + (idx & ((1u << e.sub) - 1))];
    }
    if (e.len == 0) return -1;
    br.Drop(e.len);
    return e.value;
  }

  // Number of codes of nonzero length (after Build).
  unsigned Used() const { return used_; }

 private:
  struct TEntry {
    uint32_t value = 0;  // symbol, or offset of the sub-table
    uint8_t len = 0;     // code length to drop (0 = invalid); for links, root + sub bits
    uint8_t sub = 0;     // nonzero: link to a sub-table indexed by this many bits
  };
  std::vector<TEntry> table_;
  unsigned root_ = 0;
  unsigned used_ = 0;
};

extern template class THuffTableT<false>;
extern template class THuffTableT<true>;

using THuffTable = THuffTableT<false>;
using TMsbHuffTable = THuffTableT<true>;

}  // namespace zid
