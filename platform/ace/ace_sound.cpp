#include "platform/ace/ace_sound.h"

#include <bit>
#include <cstdlib>

namespace ace {

namespace {

constexpr unsigned kAlphabet = 289;
constexpr unsigned kMaxWidth = 10;
constexpr unsigned kEscape = 288;

inline uint8_t Byte(int v) { return static_cast<uint8_t>(v & 0xFF); }
inline int SByte(int v) { return static_cast<int8_t>(static_cast<uint8_t>(v & 0xFF)); }

// Q[k]: the bit length of k as a signed byte's magnitude.
struct TQuant {
  uint8_t q[256];
  TQuant() {
    q[0] = 0;
    for (unsigned k = 1; k <= 128; ++k) q[k] = static_cast<uint8_t>(std::bit_width(k));
    for (unsigned k = 129; k < 256; ++k) q[k] = static_cast<uint8_t>(std::bit_width(256 - k));
  }
};
const TQuant kQ;

// Channel of output byte i (i mod 4) per mode 3..6.
constexpr uint8_t kChannelOf[4][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 0, 2}, {1, 0, 2, 0}};

}  // namespace

struct TSoundDecoder::TChannel {
  int state = 0;  // 0 normal, 1 after a run, 2 inside a run
  int code = 0;
  int adaptCnt = 0;
  int adaptUse = 0;
  int last = 0;   // the previous sample, signed
  int deltaLast = 0;
  int coef[4] = {0, 0, 0, 0};
  int d[4] = {0, 0, 0, 0};
  int err[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
  int cnt[2] = {0, 0};
  int cntPrev[2] = {0, 0};
  uint32_t samples = 0;

  int Predict() const {
    const int v = 8 * last + coef[0] * d[0] + coef[1] * d[1] + coef[2] * d[2] + coef[3] * d[3];
    return Byte(v >> 3);
  }
};

TSoundDecoder::TSoundDecoder() = default;
TSoundDecoder::~TSoundDecoder() = default;

void TSoundDecoder::Reset(unsigned mode) {
  mode_ = mode;
  channels_ = mode == 3 ? 1 : mode == 4 ? 2 : 3;
  ch_.reset(new TChannel[channels_]);
  models_.reset(new THuffman[3 * channels_]);
  left_ = 0;
}

void TSoundDecoder::ReadBlockHeader(TBitReader& br) {
  for (unsigned m = 0; m < 3 * channels_; ++m) models_[m].Read(br, kMaxWidth, kAlphabet);
  left_ = br.Read(15);
  if (left_ == 0) Fail(TResult::DataError);
}

bool TSoundDecoder::Residual(TBitReader& br, unsigned c, int& residual) {
  TChannel& ch = ch_[c];
  if (ch.state != 2) {
    const unsigned model = 3 * c + (ch.state == 1 ? 2 : ch.adaptUse);
    if (left_ == 0) ReadBlockHeader(br);
    --left_;
    ch.code = static_cast<int>(models_[model].Decode(br));
    if (ch.code == static_cast<int>(kEscape)) return false;
    if (ch.code > static_cast<int>(kEscape)) Fail(TResult::DataError);
  }
  int v = 0;
  if (ch.state == 0) {
    if (ch.code >= 32) {
      v = ch.code - 32;
      ch.adaptCnt = ((ch.adaptCnt * 7) >> 3) + v;
      ch.adaptUse = ch.adaptCnt > 40 ? 1 : 0;
    } else {
      ch.state = 2;  // a run of zero residuals, continued below
    }
  } else if (ch.state == 1) {
    v = ch.code;
    ch.state = 0;
  }
  if (ch.state == 2) {
    if (ch.code == 0)
      ch.state = 1;
    else
      --ch.code;
    v = 0;
  }
  residual = (v & 1) ? 255 - (v >> 1) : v >> 1;
  return true;
}

uint8_t TSoundDecoder::Update(TChannel& ch, int residual) {
  const int predicted = ch.Predict();
  const int guess = ch.cnt[0] > ch.cnt[1] ? Byte(ch.last) : predicted;
  const uint8_t outByte = Byte(residual + guess);
  const int s = SByte(outByte);
  ++ch.samples;
  const int e = SByte(predicted - s) * 8;
  for (int k = 0; k < 4; ++k) {
    ch.err[2 * k] += std::abs(e - ch.d[k]);
    ch.err[2 * k + 1] += std::abs(e + ch.d[k]);
  }
  ch.err[8] += std::abs(e);
  ch.deltaLast = SByte(s - ch.last);
  ch.cnt[0] += kQ.q[Byte(e >> 3)];
  ch.cnt[1] += kQ.q[Byte(ch.last - s)];
  ch.last = s;
  if (ch.samples % 32 == 0) {
    int m = 0;
    for (int k = 1; k < 9; ++k)
      if (ch.err[k] < ch.err[m]) m = k;
    for (int& x : ch.err) x = 0;
    if (m != 8) {
      const int t = m >> 1;
      if ((m & 1) == 0) {
        if (ch.coef[t] >= -16) --ch.coef[t];
      } else {
        if (ch.coef[t] <= 16) ++ch.coef[t];
      }
    }
    if (ch.samples % 256 == 0) {
      for (int t = 0; t < 2; ++t) {
        ch.cnt[t] -= ch.cntPrev[t];
        ch.cntPrev[t] = ch.cnt[t];
      }
    }
  }
  ch.d[3] = ch.d[2];
  ch.d[2] = ch.d[1];
  ch.d[1] = ch.deltaLast - ch.d[0];
  ch.d[0] = ch.deltaLast;
  return outByte;
}

bool TSoundDecoder::DecodeBlock(TBitReader& br, uint64_t limit, THistory& hist, TOutput& out, uint64_t& produced) {
  const uint8_t* map = kChannelOf[mode_ - 3];
  for (uint64_t i = 0; i < limit; ++i) {
    const unsigned c = map[i & 3];
    int residual;
    if (!Residual(br, c, residual)) return true;
    const uint8_t b = Update(ch_[c], residual);
    hist.Put(b);
    out.Put(b);
    ++produced;
  }
  return false;
}

}  // namespace ace
