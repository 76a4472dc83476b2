#include "engine/other/zidPakDistill.h"

#include <array>
#include <cstdint>
#include <vector>

#include "engine/base/zidBitReader.h"

namespace zid {

namespace {

constexpr int kMaxNodes = 0x274;
constexpr unsigned kWindow = 8192;
constexpr int kEnd = 256;
constexpr int kMaxDepth = 32;  // a longer path means the tree loops
constexpr unsigned kMinMatch = 3;

// The distance codes, least significant bit first, and their lengths.
constexpr uint8_t kDistBits[64] = {3, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
                                   6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
                                   7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};
constexpr uint8_t kDistCode[64] = {
    0x00, 0x02, 0x04, 0x0c, 0x01, 0x06, 0x0a, 0x0e, 0x11, 0x16, 0x1a, 0x1e, 0x05, 0x09, 0x0d, 0x15,
    0x19, 0x1d, 0x25, 0x29, 0x2d, 0x35, 0x39, 0x3d, 0x03, 0x07, 0x0b, 0x13, 0x17, 0x1b, 0x23, 0x27,
    0x2b, 0x33, 0x37, 0x3b, 0x43, 0x47, 0x4b, 0x53, 0x57, 0x5b, 0x63, 0x67, 0x6b, 0x73, 0x77, 0x7b,
    0x0f, 0x1f, 0x2f, 0x3f, 0x4f, 0x5f, 0x6f, 0x7f, 0x8f, 0x9f, 0xaf, 0xbf, 0xcf, 0xdf, 0xef, 0xff};

struct TDistTable {
  std::array<uint8_t, 256> symbol{}, bits{};
  TDistTable() {
    for (int s = 0; s < 64; ++s)
      for (unsigned v = kDistCode[s]; v < 256; v += 1u << kDistBits[s]) {
        symbol[v] = static_cast<uint8_t>(s);
        bits[v] = kDistBits[s];
      }
  }
};

// Extra distance bits: as many as it takes to reach back to the start.
unsigned ExtraBits(int64_t pos) {
  unsigned n = 0;
  for (int64_t limit = 0x40; n < 7 && pos >= limit - 0x3c; limit <<= 1) ++n;
  return n;
}

}  // namespace

int PakUndistill(const TDecodeJob& job) {
  static const TDistTable dist;
  TBitReader br(job.source);
  TOutWindow out(job, kWindow, ' ');  // matches may reach before the start: spaces there
  const int nodes = static_cast<int>(br.Get(16));
  const unsigned width = br.Get(8);
  if (br.Overrun()) return drInputExhausted;
  if (nodes > kMaxNodes || nodes < 2 || width == 0 || width > 16) return drInvalidData;
  std::vector<uint16_t> tree(static_cast<size_t>(nodes));
  for (uint16_t& n : tree) n = static_cast<uint16_t>(br.Get(width));
  if (br.Overrun()) return drInputExhausted;
  const int root = nodes - 2;
  while (!out.Full()) {
    if (DecodeCancelled(job)) return drCancelled;
    int node = root;
    for (int depth = 0; node < nodes; ++depth) {
      if (depth == kMaxDepth || node + 1 >= nodes) return drInvalidData;
      node = tree[static_cast<size_t>(node + static_cast<int>(br.Get(1)))];
    }
    if (br.Overrun()) return drInputExhausted;
    const int symbol = node - nodes;
    if (symbol < 256) {
      if (!out.Put(static_cast<uint8_t>(symbol)) && out.Status() != drOk) return out.Status();
      continue;
    }
    if (symbol == kEnd) break;
    const unsigned length = static_cast<unsigned>(symbol - 0x101) + kMinMatch;
    br.Need(8);
    const unsigned v = br.Peek(8);
    br.Drop(dist.bits[v]);
    const unsigned extra = ExtraBits(out.Total());
    const uint32_t distance = (uint32_t{dist.symbol[v]} << extra) + br.Get(extra) + 1;
    if (br.Overrun()) return drInputExhausted;
    if (!out.Copy(distance, length) && out.Status() != drOk) return out.Status();
  }
  return out.Finish();
}

}  // namespace zid
