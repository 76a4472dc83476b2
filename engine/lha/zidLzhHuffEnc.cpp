#include "engine/lha/zidLzhHuffEnc.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <utility>

namespace zid {

namespace {

// The most symbols a table has (NC).
constexpr unsigned kMaxSymbols = 512;

// Unlimited Huffman depths of the used symbols (sym[0..m), 2 <= m <= kMaxSymbols),
// in fixed arrays: a block's tables cost no allocation.
void HuffmanDepths(const uint32_t* freq, const unsigned* sym, unsigned m, unsigned* depth) {
  // Nodes 0..m-1 are the leaves, m..2m-2 the joins in the order they are made.
  std::array<unsigned, 2 * kMaxSymbols> parent{};
  using TNode = std::pair<uint64_t, unsigned>;  // weight, node; ties go to the older node
  std::array<TNode, kMaxSymbols> heap;
  auto later = std::greater<TNode>();
  for (unsigned i = 0; i < m; ++i) heap[i] = TNode(freq[sym[i]], i);
  std::make_heap(heap.begin(), heap.begin() + m, later);
  unsigned size = m;
  unsigned next = m;
  while (size > 1) {
    std::pop_heap(heap.begin(), heap.begin() + size--, later);
    const TNode a = heap[size];
    std::pop_heap(heap.begin(), heap.begin() + size--, later);
    const TNode b = heap[size];
    parent[a.second] = parent[b.second] = next;
    heap[size++] = TNode(a.first + b.first, next++);
    std::push_heap(heap.begin(), heap.begin() + size, later);
  }
  // A join is always younger than its children: walk from the root down.
  std::array<unsigned, 2 * kMaxSymbols> d{};
  for (unsigned i = 2 * m - 2; i-- > 0;) d[i] = d[parent[i]] + 1;
  for (unsigned i = 0; i < m; ++i) depth[i] = d[i];
}

}  // namespace

TLzhCode LzhMakeCode(const uint32_t* freq, unsigned n, uint8_t* len, uint16_t* code) {
  TLzhCode r;
  std::memset(len, 0, n);
  std::memset(code, 0, n * sizeof(uint16_t));
  std::array<unsigned, kMaxSymbols> sym;
  unsigned used = 0;
  for (unsigned i = 0; i < n && used < kMaxSymbols; ++i)
    if (freq[i] != 0) sym[used++] = i;
  r.used = used;
  if (r.used < 2) {
    r.single = r.used == 1 ? sym[0] : 0;
    return r;
  }
  const unsigned m = r.used;
  std::array<unsigned, kMaxSymbols> depth;
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
  // (Ties in symbol order, as sym is: std::sort needs no buffer, unlike a stable sort.)
  std::sort(sym.begin(), sym.begin() + m,
            [freq](unsigned a, unsigned b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });
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
