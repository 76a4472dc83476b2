#include "engine/zip/zidExplode.h"

#include "engine/base/zidBitReader.h"
#include "engine/base/zidHuffman.h"

namespace zid {

namespace {

constexpr uint32_t kWindowSize = 32768;

// A tree is sent as a count byte N, then N + 1 bytes, each holding in its high
// nibble how many consecutive symbols follow minus one and in its low nibble
// their code length minus one. Those runs must cover the tree exactly.
int ReadTree(TBitReader& br, THuffTable& table, unsigned size, unsigned rootBits) {
  uint8_t lens[256];
  unsigned runs = br.Get(8) + 1;
  unsigned n = 0;
  for (unsigned k = 0; k < runs; ++k) {
    unsigned b = br.Get(8);
    unsigned count = (b >> 4) + 1;
    if (count > size - n) return drInvalidData;
    for (unsigned j = 0; j < count; ++j) lens[n++] = static_cast<uint8_t>((b & 15) + 1);
  }
  if (br.Overrun()) return drInputExhausted;
  if (n != size) return drInvalidData;
  // Shannon-Fano codes are the complements of the canonical ones
  if (table.Build(lens, size, rootBits, true) != THuffTable::hbOk) return drInvalidData;
  return drOk;
}

}  // namespace

TExplodeOptions ExplodeOptionsFromFlags(uint16_t gpFlags) {
  TExplodeOptions o;
  o.dict8k = (gpFlags & 2) != 0;
  o.literalTree = (gpFlags & 4) != 0;
  return o;
}

int Explode(const TDecodeJob& job, const TExplodeOptions& options) {
  TBitReader br(job.source);
  TOutWindow out(job, kWindowSize);
  THuffTable litTree, lenTree, distTree;
  const unsigned distLowBits = options.dict8k ? 7 : 6;
  const unsigned minMatch = options.literalTree ? 3 : 2;
  // wider distance lookups pay off only on long entries
  const unsigned distRoot = job.source.budget > 200000 ? 8 : 7;

  int r;
  if (options.literalTree && (r = ReadTree(br, litTree, 256, 9)) != drOk) return r;
  if ((r = ReadTree(br, lenTree, 64, 7)) != drOk) return r;
  if ((r = ReadTree(br, distTree, 64, distRoot)) != drOk) return r;

  // With a known size the input must last until the size is reached; with an
  // unknown one the end of the input is the end of the entry.
  const int ended = job.expectedSize < 0 ? drOk : drInputExhausted;
  while (!out.Full()) {
    if (DecodeCancelled(job)) return drCancelled;
    if (br.Get(1)) {
      int lit = options.literalTree ? litTree.Decode(br) : static_cast<int>(br.Get(8));
      if (br.Overrun()) return ended == drOk ? out.Finish() : ended;
      if (lit < 0) return drInvalidData;
      if (!out.Put(static_cast<uint8_t>(lit)) && out.Status() != drOk) return out.Status();
    } else {
      uint32_t low = br.Get(distLowBits);
      int high = distTree.Decode(br);
      if (high < 0 && !br.Overrun()) return drInvalidData;
      int len = lenTree.Decode(br);
      if (len < 0 && !br.Overrun()) return drInvalidData;
      uint32_t length = static_cast<uint32_t>(len);
      if (len == 63) length += br.Get(8);
      length += minMatch;
      if (br.Overrun()) return ended == drOk ? out.Finish() : ended;
      uint32_t dist = ((static_cast<uint32_t>(high) << distLowBits) | low) + 1;
      if (!out.Copy(dist, length) && out.Status() != drOk) return out.Status();
    }
  }
  return out.Finish();
}

}  // namespace zid
