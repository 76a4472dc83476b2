#include "engine/lha/zidLzhHuffEnc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <queue>
#include <utility>
#include <vector>

namespace zid {

namespace {

// Unlimited Huffman depths of the used symbols (sym[0..m), m >= 2).
void HuffmanDepths(const uint32_t* freq, const unsigned* sym, unsigned m, unsigned* depth) {
  // Nodes 0..m-1 are the leaves, m..2m-2 the joins in the order they are made.
  std::vector<unsigned> parent(2 * m - 1, 0);
  using TNode = std::pair<uint64_t, unsigned>;  // weight, node; ties go to the older node
  std::priority_queue<TNode, std::vector<TNode>, std::greater<TNode>> heap;
  for (unsigned i = 0; i < m; ++i) heap.emplace(freq[sym[i]], i);
  unsigned next = m;
  while (heap.size() > 1) {
    const TNode a = heap.top();
    heap.pop();
    const TNode b = heap.top();
    heap.pop();
    parent[a.second] = parent[b.second] = next;
    heap.emplace(a.first + b.first, next++);
  }
  // A join is always younger than its children: walk from the root down.
  std::vector<unsigned> d(2 * m - 1, 0);
  for (unsigned i = 2 * m - 2; i-- > 0;) d[i] = d[parent[i]] + 1;
  for (unsigned i = 0; i < m; ++i) depth[i] = d[i];
}

}  // namespace

TLzhCode LzhMakeCode(const uint32_t* freq, unsigned n, uint8_t* len, uint16_t* code) {
  TLzhCode r;
  std::memset(len, 0, n);
  std::memset(code, 0, n * sizeof(uint16_t));
  std::vector<unsigned> sym;
  sym.reserve(n);
  for (unsigned i = 0; i < n; ++i)
    if (freq[i] != 0) sym.push_back(i);
  r.used = static_cast<unsigned>(sym.size());
  if (r.used < 2) {
    r.single = r.used == 1 ? sym[0] : 0;
    return r;
  }
  const unsigned m = r.used;
  std::vector<unsigned> depth(m);
  HuffmanDepths(freq, sym.data(), m, depth.data());

  // Clamp to the longest length, then restore Kraft's equality: each round
  // drops one longest code and splits one shorter code into two.
  std::array<unsigned, kLzhMaxCodeLen + 1> count{};
  for (unsigned i = 0; i < m; ++i) ++count[std::min(depth[i], kLzhMaxCodeLen)];
  uint64_t kraft = 0;
  for (unsigned l = 1; l <= kLzhMaxCodeLen; ++l) kraft += uint64_t{count[l]} << (kLzhMaxCodeLen - l);
  while (kraft > (uint64_t{1} << kLzhMaxCodeLen)) {
    --count[kLzhMaxCodeLen];
    for (unsigned l = kLzhMaxCodeLen - 1; l > 0; --l) {
      if (count[l] != 0) {
        --count[l];
        count[l + 1] += 2;
        break;
      }
    }
    --kraft;
  }

  // The rarest symbols get the longest codes.
  std::stable_sort(sym.begin(), sym.end(), [freq](unsigned a, unsigned b) { return freq[a] < freq[b]; });
  unsigned k = 0;
  for (unsigned l = kLzhMaxCodeLen; l > 0; --l)
    for (unsigned c = 0; c < count[l]; ++c) len[sym[k++]] = static_cast<uint8_t>(l);

  // Canonical codes.
  std::array<uint32_t, kLzhMaxCodeLen + 2> start{};
  for (unsigned l = 1; l <= kLzhMaxCodeLen; ++l) start[l + 1] = (start[l] + count[l]) << 1;
  for (unsigned i = 0; i < n; ++i)
    if (len[i] != 0) code[i] = static_cast<uint16_t>(start[len[i]]++);
  return r;
}

}  // namespace zid
