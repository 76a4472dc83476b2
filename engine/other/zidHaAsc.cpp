#include "engine/other/zidHaAsc.h"

#include <array>
#include <cstdint>

#include "engine/other/zidHaCoder.h"

namespace zid {

namespace {

constexpr uint16_t kWindow = 31200;  // the distances the format can reach
constexpr uint16_t kShortLengths = 16, kLongLengthGroups = 48, kLongLengthStep = 16;
constexpr uint16_t kLengthCodes = kShortLengths + kLongLengthGroups;
constexpr uint16_t kMaxLengthCode = kShortLengths + kLongLengthGroups * kLongLengthStep - 1;
constexpr uint16_t kCharCodes = 256, kPosCodes = 16;
constexpr uint16_t kLengthStep = 8, kLengthMax = 750 * kLengthStep, kLengthCutoff = 3 * kLengthStep;
constexpr uint16_t kCharStep = 1, kCharMax = 1000 * kCharStep, kCharCutoff = 3 * kCharStep;
constexpr uint16_t kPosStep = 24, kPosMax = 250 * kPosStep;
constexpr uint16_t kTypeStep = 40, kTypeMax = 150 * kTypeStep;
constexpr uint16_t kCharSpread = 8, kLengthSpread = 4;
constexpr unsigned kMinMatch = 3;

// A binary tree of frequencies over N symbols: the leaves at [N, 2N), each
// inner node the sum of its children, the total at [1].
template <uint16_t N>
struct TFreqTree {
  std::array<uint16_t, 2 * N> t{};

  void Init(uint16_t value) {
    for (uint16_t i = N; i < 2 * N; ++i) t[i] = value;
    Sum();
  }
  void Sum() {
    for (uint16_t i = N - 1; i > 0; --i) t[i] = static_cast<uint16_t>(t[2 * i] + t[2 * i + 1]);
  }
  uint16_t Total() const { return t[1]; }
  uint16_t Leaf(uint16_t s) const { return t[N + s]; }
  void Add(uint16_t s, uint16_t step, uint16_t max) {
    for (unsigned i = N + s; i; i >>= 1) t[i] = static_cast<uint16_t>(t[i] + step);
    if (t[1] >= max) {
      for (uint16_t i = N; i < 2 * N; ++i)
        if (t[i] > 1) t[i] >>= 1;
      Sum();
    }
  }
  void Zero(uint16_t s) {
    const uint16_t f = t[N + s];
    for (unsigned i = N + s; i; i >>= 1) t[i] = static_cast<uint16_t>(t[i] - f);
  }
  // The symbol whose cumulative range holds `target`, and where that range starts.
  uint16_t Find(uint16_t target, uint16_t& start) const {
    unsigned node = 2;
    uint16_t below = 0;
    for (;;) {
      if (below + t[node] <= target) {
        below = static_cast<uint16_t>(below + t[node]);
        ++node;
      }
      if (node >= N) break;
      node <<= 1;
    }
    start = below;
    return static_cast<uint16_t>(node - N);
  }
};

// A symbol from `tree`, with an escape of weight `esc` to `fresh`, the tree of
// symbols not seen yet (each of weight one until seen, then zero). Seeing a
// fresh symbol brightens its untouched neighbours within `spread`.
template <uint16_t N>
uint16_t DecodeWithEscape(THaCoder& ac, TFreqTree<N>& tree, TFreqTree<N>& fresh, uint16_t& esc, uint16_t step,
                          uint16_t max, uint16_t cutoff, uint16_t spread) {
  uint16_t start = 0, s = 0;
  const uint16_t total = static_cast<uint16_t>(tree.Total() + esc);
  if (ac.Threshold(total) >= tree.Total()) {
    ac.Take(tree.Total(), total, total);
    s = fresh.Find(ac.Threshold(fresh.Total()), start);
    ac.Take(start, static_cast<uint16_t>(start + fresh.Leaf(s)), fresh.Total());
    fresh.Zero(s);
    esc = fresh.Total() != 0 ? static_cast<uint16_t>(esc + step) : 0;
    const uint16_t from = s < spread ? 0 : static_cast<uint16_t>(s - spread);
    const uint16_t to = s + spread >= N - 1 ? N - 1 : static_cast<uint16_t>(s + spread);
    for (uint16_t i = from; i < to; ++i)
      if (fresh.Leaf(i)) fresh.Add(i, 1, max);
  } else {
    s = tree.Find(ac.Threshold(total), start);
    ac.Take(start, static_cast<uint16_t>(start + tree.Leaf(s)), total);
  }
  tree.Add(s, step, max);
  if (tree.Leaf(s) == cutoff) esc = static_cast<uint16_t>(esc - (step < esc ? step : esc - 1));
  return s;
}

struct TAscModel {
  TFreqTree<kLengthCodes> lengths, freshLengths;
  TFreqTree<kCharCodes> chars, freshChars;
  TFreqTree<kPosCodes> positions;
  uint16_t type[4][2];  // literal / match weights after the last two choices
  uint16_t charEsc = kCharStep, lengthEsc = kLengthStep;
  uint16_t seen = 0;  // bytes in the window, up to its size
  uint16_t posLimit = 1, posCodes = 1;
  unsigned typeContext = 0;

  TAscModel() {
    for (auto& t : type) t[0] = t[1] = kTypeStep;
    lengths.Init(0);
    freshLengths.Init(1);
    chars.Init(0);
    freshChars.Init(1);
    positions.Init(0);
    positions.Add(0, kPosStep, kPosMax);
  }
  void Grow(unsigned by) { seen = static_cast<uint16_t>(seen + by > kWindow ? kWindow : seen + by); }
  void ScaleType() {
    for (uint16_t& w : type[typeContext])
      if ((w >>= 1) == 0) w = 1;
  }
  uint16_t Distance(THaCoder& ac) {
    while (seen > posLimit) {
      positions.Add(posCodes++, kPosStep, kPosMax);
      posLimit = static_cast<uint16_t>(posLimit << 1);
    }
    uint16_t start = 0;
    uint16_t p = positions.Find(ac.Threshold(positions.Total()), start);
    ac.Take(start, static_cast<uint16_t>(start + positions.Leaf(p)), positions.Total());
    positions.Add(p, kPosStep, kPosMax);
    if (p > 1) {
      const uint16_t base = static_cast<uint16_t>(1u << (p - 1));
      const uint16_t span = base == (posLimit >> 1) ? static_cast<uint16_t>(seen - base) : base;
      const uint16_t extra = ac.Threshold(span);
      ac.Take(extra, static_cast<uint16_t>(extra + 1), span);
      p = static_cast<uint16_t>(base + extra);
    }
    return p;
  }
  unsigned Length(THaCoder& ac) {
    uint16_t l = DecodeWithEscape(ac, lengths, freshLengths, lengthEsc, kLengthStep, kLengthMax, kLengthCutoff,
                                  kLengthSpread);
    if (l == kShortLengths - 1) {
      l = kMaxLengthCode;
    } else if (l >= kShortLengths) {
      const uint16_t low = ac.Threshold(kLongLengthStep);
      ac.Take(low, static_cast<uint16_t>(low + 1), kLongLengthStep);
      l = static_cast<uint16_t>(((l - kShortLengths) << 4) + low + kShortLengths - 1);
    }
    return l + kMinMatch;
  }
};

}  // namespace

int HaAscDecode(const TDecodeJob& job) {
  THaCoder ac(job.source);
  TOutWindow out(job, 32768);
  TAscModel m;
  for (;;) {
    if (DecodeCancelled(job)) return drCancelled;
    if (ac.Broken()) return drInvalidData;
    if (ac.Exhausted()) return drInputExhausted;
    if (out.Full()) break;
    uint16_t* w = m.type[m.typeContext];
    const uint16_t sum = static_cast<uint16_t>(w[0] + w[1]);
    const uint16_t tv = ac.Threshold(static_cast<uint16_t>(sum + 1));
    if (w[0] > tv) {
      ac.Take(0, w[0], static_cast<uint16_t>(sum + 1));
      w[0] = static_cast<uint16_t>(w[0] + kTypeStep);
      if (sum >= kTypeMax) m.ScaleType();
      m.typeContext = (m.typeContext << 1) & 3;
      const uint16_t c = DecodeWithEscape(ac, m.chars, m.freshChars, m.charEsc, kCharStep, kCharMax, kCharCutoff,
                                          kCharSpread);
      if (ac.Broken()) return drInvalidData;
      if (!out.Put(static_cast<uint8_t>(c)) && out.Status() != drOk) return out.Status();
      m.Grow(1);
    } else if (sum > tv) {
      ac.Take(w[0], sum, static_cast<uint16_t>(sum + 1));
      w[1] = static_cast<uint16_t>(w[1] + kTypeStep);
      if (sum >= kTypeMax) m.ScaleType();
      m.typeContext = ((m.typeContext << 1) | 1) & 3;
      const uint32_t dist = m.Distance(ac) + 1u;
      const unsigned len = m.Length(ac);
      if (ac.Broken() || dist > out.Total()) return drInvalidData;
      m.Grow(len);
      if (!out.Copy(dist, len) && out.Status() != drOk) return out.Status();
    } else {
      ac.Take(sum, static_cast<uint16_t>(sum + 1), static_cast<uint16_t>(sum + 1));  // the end
      break;
    }
  }
  return out.Finish();
}

}  // namespace zid
