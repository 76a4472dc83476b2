#include "engine/other/zidHaHsc.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/other/zidHaCoder.h"

namespace zid {

namespace {

constexpr unsigned kMaxOrder = 4;
constexpr uint16_t kContexts = 10000;
constexpr uint16_t kCells = 32760;  // the first kContexts are each context's own first cell
constexpr uint16_t kHashSize = 16384;
constexpr uint16_t kNil = 0xFFFF;
constexpr int kEscape = 256;
constexpr unsigned kInitialEscapeLimit = 32;
constexpr unsigned kNoEscapeLimit = 5, kNoEscapeTotalLimit = 4, kNoEscapeMax = 10;
constexpr unsigned kRareBelow = 3;      // a count under this counts toward the escape weight
constexpr unsigned kMaxTotal = 8000;    // a context's counts are halved at this total
constexpr unsigned kRefreshStart = 4;
constexpr uint8_t kUnused = 0xFF;

using TContext = std::array<uint8_t, kMaxOrder>;

class THscModel {
 public:
  explicit THscModel(THaCoder& ac);
  // The next byte, or kEscape at the end of the data.
  int Decode();

 private:
  uint16_t Hash(const TContext& s, unsigned len) const {
    uint16_t h = 0;
    for (unsigned k = 0; k < len; ++k) h = k == 0 ? random_[s[0]] : random_[(s[k] + h) & (kHashSize - 1)];
    return h;
  }
  void ReleaseCells();
  uint16_t MakeContext(uint8_t order, int c);
  void MoveToFront(uint16_t cp);
  void Update(int c);
  uint16_t FindNext();
  uint16_t FindLongest();
  uint16_t EscapeWeight(uint16_t esc, uint16_t cp) const;
  int DecodeFirst(uint16_t cp);
  int DecodeRest(uint16_t cp);
  int DecodeNew();
  void Shift(int c) {
    for (unsigned k = kMaxOrder - 1; k > 0; --k) current_[k] = current_[k - 1];
    current_[0] = static_cast<uint8_t>(c);
  }

  THaCoder& ac_;
  TContext current_{};
  std::vector<uint16_t> hashHead_, hashNext_, lruPrev_, lruNext_, total_, count_, next_;
  std::vector<TContext> context_;
  std::vector<uint8_t> order_, chars_, rare_, refresh_, symbol_;
  uint16_t lruFirst_ = 0, lruLast_ = kContexts - 1;
  uint16_t freeCells_ = kContexts, releaseAt_ = 0;
  std::array<uint8_t, 256> masked_{};
  std::array<uint8_t, 256> maskStack_{};
  unsigned maskDepth_ = 0;
  unsigned noEscape_ = 0;
  std::array<uint8_t, kMaxOrder + 1> initialEscape_{};
  unsigned stackDepth_ = 0;
  std::array<uint16_t, kMaxOrder + 1> stackContext_{}, stackCell_{};
  int dropCount_ = kContexts / 4;
  uint8_t maxOrder_ = kMaxOrder;
  std::array<uint16_t, kHashSize> random_{};
  std::array<uint16_t, kMaxOrder + 1> searchHash_{};
  int searchLen_ = 0;
};

THscModel::THscModel(THaCoder& ac)
    : ac_(ac),
      hashHead_(kHashSize, kNil),
      hashNext_(kContexts),
      lruPrev_(kContexts),
      lruNext_(kContexts),
      total_(kContexts),
      count_(kCells),
      next_(kCells),
      context_(kContexts),
      order_(kContexts, kUnused),
      chars_(kContexts),
      rare_(kContexts),
      refresh_(kContexts),
      symbol_(kCells) {
  initialEscape_[0] = kInitialEscapeLimit >> 1;
  for (unsigned i = 1; i <= kMaxOrder; ++i) initialEscape_[i] = (kInitialEscapeLimit >> 1) - 1;
  for (uint16_t i = 0; i < kContexts; ++i) {
    lruNext_[i] = static_cast<uint16_t>(i + 1);
    lruPrev_[i] = static_cast<uint16_t>(i - 1);
    next_[i] = kNil;
  }
  for (uint16_t i = kContexts; i < kCells - 1; ++i) next_[i] = static_cast<uint16_t>(i + 1);
  next_[kCells - 1] = kNil;
  // Park and Miller's minimal standard generator, seeded with 10
  int32_t z = 10;
  for (uint16_t& r : random_) {
    const int32_t hi = z / (2147483647 / 16807), lo = z % (2147483647 / 16807);
    const int32_t t = 16807 * lo - (2147483647 % 16807) * hi;
    z = t > 0 ? t : t + 2147483647;
    r = static_cast<uint16_t>(z) & (kHashSize - 1);
  }
}

// Out of free cells: halve the counts of the next context not in use and free
// the cells that fall under the smallest count plus one.
void THscModel::ReleaseCells() {
  unsigned i;
  do {
    do {
      if (++releaseAt_ == kContexts) releaseAt_ = 0;
    } while (next_[releaseAt_] == kNil);
    for (i = 0; i <= stackDepth_; ++i)
      if ((stackContext_[i] & 0x7FFF) == releaseAt_) break;
  } while (i <= stackDepth_);
  const uint16_t r = releaseAt_;
  uint16_t d = count_[r];
  for (uint16_t k = next_[r]; k != kNil; k = next_[k])
    if (count_[k] < d) d = count_[k];
  ++d;
  if (count_[r] < d) {
    uint16_t k = next_[r];
    while (count_[k] < d && next_[k] != kNil) k = next_[k];
    count_[r] = count_[k];
    symbol_[r] = symbol_[k];
    const uint16_t rest = next_[k];
    next_[k] = freeCells_;
    freeCells_ = next_[r];
    if ((next_[r] = rest) == kNil) {
      chars_[r] = 0;
      rare_[r] = (total_[r] = count_[r]) < kRareBelow ? 1 : 0;
      return;
    }
  }
  count_[r] = static_cast<uint16_t>(count_[r] / d);
  rare_[r] = (total_[r] = count_[r]) < kRareBelow ? 1 : 0;
  chars_[r] = 0;
  for (uint16_t j = r, k = next_[j]; k != kNil;) {
    if (count_[k] < d) {
      next_[j] = next_[k];
      next_[k] = freeCells_;
      freeCells_ = k;
      k = next_[j];
    } else {
      ++chars_[r];
      count_[k] = static_cast<uint16_t>(count_[k] / d);
      total_[r] = static_cast<uint16_t>(total_[r] + count_[k]);
      if (count_[k] < kRareBelow) ++rare_[r];
      j = k;
      k = next_[k];
    }
  }
}

// A context for the current one cut to `order`, its first character c; it
// takes the place of the least recently used one.
uint16_t THscModel::MakeContext(uint8_t order, int c) {
  const uint16_t nc = lruLast_;
  lruLast_ = lruPrev_[nc];
  lruPrev_[lruFirst_] = nc;
  lruNext_[nc] = lruFirst_;
  lruFirst_ = nc;
  if (order_[nc] != kUnused) {
    if (order_[nc] == kMaxOrder && --dropCount_ == 0) maxOrder_ = kMaxOrder - 1;
    const uint16_t h = Hash(context_[nc], order_[nc]);
    if (hashHead_[h] == nc) {
      hashHead_[h] = hashNext_[nc];
    } else {
      uint16_t k = hashHead_[h];
      while (k != kNil && hashNext_[k] != nc) k = hashNext_[k];
      if (k != kNil) hashNext_[k] = hashNext_[nc];
    }
    if (next_[nc] != kNil) {
      uint16_t k = next_[nc];
      while (next_[k] != kNil) k = next_[k];
      next_[k] = freeCells_;
      freeCells_ = next_[nc];
    }
  }
  next_[nc] = kNil;
  rare_[nc] = 1;
  total_[nc] = count_[nc] = 1;
  symbol_[nc] = static_cast<uint8_t>(c);
  refresh_[nc] = kRefreshStart;
  chars_[nc] = 0;
  order_[nc] = order;
  context_[nc] = current_;
  const uint16_t h = Hash(current_, order);
  hashNext_[nc] = hashHead_[h];
  hashHead_[h] = nc;
  return nc;
}

void THscModel::MoveToFront(uint16_t cp) {
  if (cp == lruFirst_) return;
  if (cp == lruLast_) {
    lruLast_ = lruPrev_[cp];
  } else {
    lruPrev_[lruNext_[cp]] = lruPrev_[cp];
    lruNext_[lruPrev_[cp]] = lruNext_[cp];
  }
  lruPrev_[lruFirst_] = cp;
  lruNext_[cp] = lruFirst_;
  lruFirst_ = cp;
}

// Counts c in every context the decode went through; the ones it escaped
// from get a new cell for it.
void THscModel::Update(int c) {
  while (stackDepth_ != 0) {
    uint16_t i = stackCell_[--stackDepth_];
    uint16_t cp = stackContext_[stackDepth_];
    if (cp & 0x8000) {
      cp &= 0x7FFF;
      if (freeCells_ == kNil) ReleaseCells();
      next_[i] = freeCells_;
      i = next_[i];
      freeCells_ = next_[freeCells_];
      next_[i] = kNil;
      count_[i] = 1;
      symbol_[i] = static_cast<uint8_t>(c);
      ++chars_[cp];
      ++rare_[cp];
    } else if (++count_[i] == kRareBelow) {
      --rare_[cp];
    }
    if ((count_[i] << 1) < ++total_[cp] / (chars_[cp] + 1)) {
      --refresh_[cp];
    } else if (refresh_[cp] < kRefreshStart) {
      ++refresh_[cp];
    }
    if (!refresh_[cp] || total_[cp] >= kMaxTotal) {
      ++refresh_[cp];
      rare_[cp] = 0;
      total_[cp] = 0;
      for (uint16_t k = cp; k != kNil; k = next_[k]) {
        if (count_[k] > 1) {
          count_[k] >>= 1;
          total_[cp] = static_cast<uint16_t>(total_[cp] + count_[k]);
          if (count_[k] < kRareBelow) ++rare_[cp];
        } else {
          ++total_[cp];
          ++rare_[cp];
        }
      }
    }
  }
}

// The next context, shorter than the last one found, that matches.
uint16_t THscModel::FindNext() {
  for (int i = searchLen_ - 1; i >= 0; --i) {
    for (uint16_t cp = hashHead_[searchHash_[i]]; cp != kNil; cp = hashNext_[cp]) {
      if (order_[cp] != i) continue;
      bool same = true;
      for (int k = 0; k < i && same; ++k) same = current_[k] == context_[cp][k];
      if (same) {
        searchLen_ = i;
        return cp;
      }
    }
  }
  return kNil;
}

uint16_t THscModel::FindLongest() {
  searchHash_[0] = 0;
  searchHash_[1] = random_[current_[0]];
  for (unsigned k = 2; k <= kMaxOrder; ++k)
    searchHash_[k] = random_[(current_[k - 1] + searchHash_[k - 1]) & (kHashSize - 1)];
  stackDepth_ = 0;
  while (maskDepth_) masked_[maskStack_[--maskDepth_]] = 0;
  searchLen_ = kMaxOrder + 1;
  return FindNext();
}

uint16_t THscModel::EscapeWeight(uint16_t esc, uint16_t cp) const {
  if (total_[cp] == 1) return initialEscape_[order_[cp]] >= (kInitialEscapeLimit >> 1) ? 2 : 1;
  if (chars_[cp] == 255) return 1;
  if (chars_[cp] && ((chars_[cp] + 1) << 1) >= total_[cp]) {
    esc = static_cast<uint16_t>(static_cast<int32_t>(esc) * ((chars_[cp] + 1) << 1) / total_[cp]);
    if (chars_[cp] + 1 == total_[cp]) esc = static_cast<uint16_t>(esc + ((chars_[cp] + 1) >> 1));
  }
  return esc ? esc : 1;
}

// The first context tried for a byte: nothing masked yet; after a run of
// bytes without an escape the counts are scaled up against the escape.
int THscModel::DecodeFirst(uint16_t cp) {
  const uint16_t esc = EscapeWeight(rare_[cp], cp);
  uint16_t tot = total_[cp];
  unsigned shift = 0;
  if (noEscape_ >= kNoEscapeLimit) shift = tot <= kNoEscapeTotalLimit && noEscape_ == kNoEscapeMax ? 2 : 1;
  tot = static_cast<uint16_t>(tot << shift);
  const uint16_t tv = static_cast<uint16_t>(ac_.Threshold(static_cast<uint16_t>(tot + esc)) >> shift);
  uint16_t c = cp, sum = 0, width = 0;
  for (; c != kNil; c = next_[c]) {
    if (sum + count_[c] <= tv) {
      sum = static_cast<uint16_t>(sum + count_[c]);
    } else {
      width = static_cast<uint16_t>(count_[c] << shift);
      break;
    }
  }
  sum = static_cast<uint16_t>(sum << shift);
  stackDepth_ = 1;
  uint8_t& iec = initialEscape_[order_[cp]];
  if (c != kNil) {
    ac_.Take(sum, static_cast<uint16_t>(sum + width), static_cast<uint16_t>(tot + esc));
    if (total_[cp] == 1 && iec) --iec;
    stackCell_[0] = c;
    stackContext_[0] = cp;
    if (noEscape_ < kNoEscapeMax) ++noEscape_;
    return symbol_[c];
  }
  ac_.Take(tot, static_cast<uint16_t>(tot + esc), static_cast<uint16_t>(tot + esc));
  if (total_[cp] == 1 && iec < kInitialEscapeLimit) ++iec;
  uint16_t last = cp;
  for (uint16_t k = cp; k != kNil; last = k, k = next_[k]) {
    maskStack_[maskDepth_++] = symbol_[k];
    masked_[symbol_[k]] = 1;
  }
  stackContext_[0] = static_cast<uint16_t>(0x8000 | cp);
  stackCell_[0] = last;
  noEscape_ = 0;
  return kEscape;
}

// A shorter context after an escape: the characters seen in the longer ones
// are masked out.
int THscModel::DecodeRest(uint16_t cp) {
  uint16_t esc = 0, tot = 0;
  for (uint16_t k = cp; k != kNil; k = next_[k]) {
    if (masked_[symbol_[k]]) continue;
    tot = static_cast<uint16_t>(tot + count_[k]);
    if (count_[k] < kRareBelow) ++esc;
  }
  esc = EscapeWeight(esc, cp);
  const uint16_t tv = ac_.Threshold(static_cast<uint16_t>(tot + esc));
  uint16_t c = cp, sum = 0, width = 0;
  for (; c != kNil; c = next_[c]) {
    if (masked_[symbol_[c]]) continue;
    if (sum + count_[c] <= tv) {
      sum = static_cast<uint16_t>(sum + count_[c]);
    } else {
      width = count_[c];
      break;
    }
  }
  uint8_t& iec = initialEscape_[order_[cp]];
  if (c != kNil) {
    ac_.Take(sum, static_cast<uint16_t>(sum + width), static_cast<uint16_t>(tot + esc));
    if (total_[cp] == 1 && iec) --iec;
    stackCell_[stackDepth_] = c;
    stackContext_[stackDepth_++] = cp;
    ++noEscape_;
    return symbol_[c];
  }
  ac_.Take(tot, static_cast<uint16_t>(tot + esc), static_cast<uint16_t>(tot + esc));
  if (total_[cp] == 1 && iec < kInitialEscapeLimit) ++iec;
  uint16_t last = cp;
  for (uint16_t k = cp; k != kNil; last = k, k = next_[k]) {
    if (!masked_[symbol_[k]]) {
      maskStack_[maskDepth_++] = symbol_[k];
      masked_[symbol_[k]] = 1;
    }
  }
  stackContext_[stackDepth_] = static_cast<uint16_t>(0x8000 | cp);
  stackCell_[stackDepth_++] = last;
  return kEscape;
}

// No context left: every byte not masked is equally likely; the escape ends the data.
int THscModel::DecodeNew() {
  const uint16_t tot = static_cast<uint16_t>(257 - maskDepth_);
  const uint16_t tv = ac_.Threshold(tot);
  int c = 0;
  uint16_t sum = 0;
  for (; c < 256; ++c) {
    if (masked_[c]) continue;
    if (sum + 1 <= tv) {
      ++sum;
    } else {
      break;
    }
  }
  ac_.Take(sum, static_cast<uint16_t>(sum + 1), tot);
  return c;
}

int THscModel::Decode() {
  uint16_t cp = FindLongest();
  const uint8_t shortest = cp == kNil ? 0 : static_cast<uint8_t>(order_[cp] + 1);
  uint8_t longest = static_cast<uint8_t>(maxOrder_ + 1);
  int c;
  for (;;) {
    if (cp == kNil) {
      c = DecodeNew();
      break;
    }
    c = maskDepth_ ? DecodeRest(cp) : DecodeFirst(cp);
    if (c != kEscape) {
      MoveToFront(cp);
      break;
    }
    if (ac_.Broken()) return kEscape;
    cp = FindNext();
  }
  if (c == kEscape) return c;
  Update(c);
  while (longest > shortest) MakeContext(--longest, c);
  Shift(c);
  return c;
}

}  // namespace

int HaHscDecode(const TDecodeJob& job) {
  THaCoder ac(job.source);
  auto model = std::make_unique<THscModel>(ac);
  constexpr uint32_t kBuf = 16384;
  std::unique_ptr<uint8_t[]> buf(new uint8_t[kBuf]);
  uint32_t n = 0;
  int64_t done = 0;
  auto flush = [&] {
    if (n && job.sink.write(buf.get(), n) != n) return false;
    done += n;
    n = 0;
    if (job.progress) job.progress(done);
    return true;
  };
  for (;;) {
    if (job.expectedSize >= 0 && done + n >= job.expectedSize) break;
    if (DecodeCancelled(job)) return drCancelled;
    const int c = model->Decode();
    if (ac.Broken()) return drInvalidData;
    if (ac.Exhausted()) return drInputExhausted;
    if (c == kEscape) break;
    buf[n++] = static_cast<uint8_t>(c);
    if (n == kBuf && !flush()) return drOutputFailed;
  }
  return flush() ? drOk : drOutputFailed;
}

}  // namespace zid
