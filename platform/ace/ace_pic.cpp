#include "platform/ace/ace_pic.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

namespace ace {

namespace {

constexpr unsigned kContexts = 365;
// Bounds on what a stream may declare: rows of up to 1 MiB, 256 planes, and
// pixel errors whose Golomb-Rice value stays below 2^16 (a real one is below 512).
constexpr uint32_t kMaxWidth = 1u << 20;
constexpr uint32_t kMaxPlanes = 256;
constexpr uint32_t kMaxErrorCode = 1u << 16;

inline uint8_t Byte(int v) { return static_cast<uint8_t>(v & 0xFF); }

int Quantise(int t) {
  if (t <= -21) return -4;
  if (t <= -7) return -3;
  if (t <= -3) return -2;
  if (t <= -1) return -1;
  if (t == 0) return 0;
  if (t <= 2) return 1;
  if (t <= 6) return 2;
  if (t <= 20) return 3;
  return 4;
}

// The cost of a prediction error u (a byte taken as signed).
int Weight(uint8_t u) {
  const int s = static_cast<int8_t>(u);
  return std::bit_width(static_cast<unsigned>(s >= 0 ? 2 * s : -2 * s - 1));
}

// The neighbour above as seen by the plane's decoder kind.
inline int Above(int kind, int above, int abovePrevPlane) {
  if (kind == 0) return above;
  if (kind == 1) return Byte(128 + above - abovePrevPlane);
  return Byte(128 + above - ((abovePrevPlane * 11) >> 4));
}
// The pixel from the decoded value and the previous plane's pixel to its left.
inline uint8_t Pixel(int kind, int x, int leftPrevPlane) {
  if (kind == 0) return Byte(x);
  if (kind == 1) return Byte(x + leftPrevPlane - 128);
  return Byte(x + ((leftPrevPlane * 11) >> 4) - 128);
}

}  // namespace

void TPicDecoder::Start(TBitReader& br) {
  width_ = br.GolombRice(12, kMaxWidth);
  planes_ = br.GolombRice(2, kMaxPlanes);
  if (width_ == 0 || planes_ == 0) Fail(TResult::DataError);
  modelA_.assign(kContexts, TContext());
  modelB_.assign(kContexts, TContext());
  prev_.assign(width_ + planes_, 0);
  row_.assign(width_ + planes_, 0);
}

uint8_t TPicDecoder::DecodePixel(TBitReader& br, TContext& c, int a, int b, int cc) {
  ++c.used;
  const unsigned k = static_cast<unsigned>(std::bit_width(static_cast<unsigned>(c.avg / c.used)));
  const int e = br.SignedGolombRice(k, kMaxErrorCode);
  const int predictions[4] = {a, b, (a + b) >> 1, Byte(a + b - cc)};
  const uint8_t x = Byte(predictions[c.pred] + e);
  c.avg += std::abs(e);
  if (c.used == 128) {
    c.used = 64;
    c.avg >>= 1;
  }
  bool halve = false;
  for (int t = 0; t < 4; ++t) {
    c.errs[t] += Weight(Byte(x - predictions[t]));
    halve = halve || c.errs[t] > 127;
  }
  c.pred = 0;
  for (int t = 1; t < 4; ++t)
    if (c.errs[t] < c.errs[c.pred]) c.pred = t;
  if (halve)
    for (int& v : c.errs) v >>= 1;
  return x;
}

void TPicDecoder::DecodeRow(TBitReader& br) {
  std::fill(row_.begin(), row_.end(), 0);
  const size_t w = width_, p = planes_, last = w + p - 1;  // `last` is never written: the index -1
  for (size_t plane = 0; plane < p; ++plane) {
    int kind = 0;
    std::vector<TContext>* model = &modelA_;
    if (plane > 0) {
      kind = static_cast<int>(br.Read(2));
      if (kind == 3) Fail(TResult::DataError);
      model = &modelB_;
    }
    const int init = kind == 0 ? 0 : 128;
    int a = init, b = init, c = init, x = init;
    int d = Above(kind, prev_[plane], prev_[plane == 0 ? last : plane - 1]);
    for (size_t col = plane; col < w; col += p) {
      c = a;
      a = d;
      b = x;
      d = Above(kind, prev_[col + p], prev_[col + p - 1]);
      const int ctx = std::abs(81 * Quantise(d - a) + 9 * Quantise(a - c) + Quantise(c - b));
      x = DecodePixel(br, (*model)[static_cast<size_t>(ctx)], a, b, c);
      row_[col] = Pixel(kind, x, row_[col == 0 ? last : col - 1]);
    }
  }
  prev_.swap(row_);
}

bool TPicDecoder::DecodeBlock(TBitReader& br, uint64_t limit, THistory& hist, TOutput& out, uint64_t& produced) {
  while (produced < limit) {
    if (br.Read(1) == 0) return true;
    DecodeRow(br);
    const size_t n = static_cast<size_t>(std::min<uint64_t>(width_, limit - produced));
    hist.Append(prev_.data(), n);
    out.Put(prev_.data(), n);
    produced += n;
  }
  return false;
}

}  // namespace ace
