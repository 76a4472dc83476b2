#include "engine/lha/zidLzhuf.h"

#include <cstring>

#include "engine/base/zidBitReader.h"
#include "engine/lha/zidLzRing.h"

namespace zid {

namespace {

constexpr uint32_t kN = 4096;             // ring size
constexpr uint32_t kF = 60;               // longest match
constexpr unsigned kThreshold = 2;        // matches are longer than this
constexpr unsigned kNChar = 256 - kThreshold + kF;  // 314 symbols
constexpr unsigned kT = kNChar * 2 - 1;   // tree nodes
constexpr unsigned kR = kT - 1;           // the root
constexpr unsigned kMaxFreq = 0x8000;

// The fixed code of a position's upper 6 bits: lengths 3 to 8 bits, with
// 1, 3, 8, 12, 24 and 16 codes of each. Filled per 8-bit prefix.
struct TPosCode {
  uint8_t upper[256];
  uint8_t len[256];
  TPosCode() {
    static const unsigned counts[6] = {1, 3, 8, 12, 24, 16};
    unsigned slot = 0, value = 0;
    for (unsigned k = 0; k < 6; ++k) {
      const unsigned bits = 3 + k;
      for (unsigned c = 0; c < counts[k]; ++c, ++value) {
        for (unsigned i = 0; i < (1u << (8 - bits)); ++i, ++slot) {
          upper[slot] = static_cast<uint8_t>(value);
          len[slot] = static_cast<uint8_t>(bits);
        }
      }
    }
  }
};

// The adaptive tree. Nodes 0..T-1 are kept in nondecreasing frequency order;
// son[n] >= T marks a leaf for symbol son[n] - T, otherwise the node's
// children are son[n] and son[n] + 1.
class TAdaptiveTree {
 public:
  TAdaptiveTree() {
    for (unsigned i = 0; i < kNChar; ++i) {
      freq_[i] = 1;
      son_[i] = i + kT;
      prnt_[i + kT] = i;
    }
    for (unsigned i = 0, j = kNChar; j <= kR; i += 2, ++j) {
      freq_[j] = freq_[i] + freq_[i + 1];
      son_[j] = i;
      prnt_[i] = prnt_[i + 1] = j;
    }
    freq_[kT] = 0xFFFF;  // a sentinel above every real frequency
    prnt_[kR] = 0;
  }

  unsigned Decode(TMsbBitReader& br) {
    unsigned c = son_[kR];
    while (c < kT) c = son_[c + br.Get(1)];
    c -= kT;
    Update(c);
    return c;
  }

 private:
  // Halves every leaf frequency and builds the tree again.
  void Reconstruct() {
    unsigned j = 0;
    for (unsigned i = 0; i < kT; ++i) {
      if (son_[i] >= kT) {
        freq_[j] = (freq_[i] + 1) / 2;
        son_[j] = son_[i];
        ++j;
      }
    }
    for (unsigned i = 0, j2 = kNChar; j2 < kT; i += 2, ++j2) {
      unsigned f = freq_[i] + freq_[i + 1];
      freq_[j2] = f;
      unsigned k = j2;
      while (k > 0 && f < freq_[k - 1]) --k;
      std::memmove(&freq_[k + 1], &freq_[k], (j2 - k) * sizeof freq_[0]);
      freq_[k] = f;
      std::memmove(&son_[k + 1], &son_[k], (j2 - k) * sizeof son_[0]);
      son_[k] = i;
    }
    for (unsigned i = 0; i < kT; ++i) {
      unsigned k = son_[i];
      prnt_[k] = i;
      if (k < kT) prnt_[k + 1] = i;
    }
  }

  // Counts one more occurrence of symbol c, moving nodes to keep the order.
  void Update(unsigned c) {
    if (freq_[kR] == kMaxFreq) Reconstruct();
    c = prnt_[c + kT];
    do {
      unsigned k = ++freq_[c];
      unsigned l = c + 1;
      if (k > freq_[l]) {
        while (k > freq_[++l]) {
        }
        --l;
        freq_[c] = freq_[l];
        freq_[l] = k;
        unsigned i = son_[c];
        prnt_[i] = l;
        if (i < kT) prnt_[i + 1] = l;
        unsigned j = son_[l];
        son_[l] = i;
        prnt_[j] = c;
        if (j < kT) prnt_[j + 1] = c;
        son_[c] = j;
        c = l;
      }
    } while ((c = prnt_[c]) != 0);
  }

  unsigned freq_[kT + 1];
  unsigned prnt_[kT + kNChar];
  unsigned son_[kT];
};

}  // namespace

int LzhufDecode(const TDecodeJob& job) {
  if (job.expectedSize < 0) return drInvalidData;
  if (job.expectedSize == 0) return drOk;
  static const TPosCode posCode;
  TMsbBitReader br(job.source);
  TAdaptiveTree tree;
  TLzRing ring(job, kN, kN - kF);
  std::memset(ring.Dict(), ' ', kN - kF);
  while (ring.Left() > 0) {
    unsigned c = tree.Decode(br);
    if (br.Overrun()) return drInputExhausted;
    if (c < 256) {
      if (!ring.Put(static_cast<uint8_t>(c))) return ring.Status();
      continue;
    }
    br.Need(8);
    unsigned first = br.Peek(8);
    br.Drop(posCode.len[first]);
    unsigned dist = (static_cast<unsigned>(posCode.upper[first]) << 6) | br.Get(6);
    if (br.Overrun()) return drInputExhausted;
    if (!ring.Copy(ring.Pos() - dist - 1, c - 256 + kThreshold + 1)) return ring.Status();
  }
  return ring.Finish();
}

}  // namespace zid
