#include "platform/ace/ace_crypt.h"

#include <cstring>
#include <utility>

#include "platform/ace/ace_base.h"

namespace ace {

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

void PutLe32(uint8_t* p, uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(v >> (8 * k));
}

}  // namespace

std::array<uint32_t, 5> DeriveKey(const std::string& password) {
  const size_t len = password.size() < kMaxPasswordBytes ? password.size() : kMaxPasswordBytes;
  uint8_t m[60] = {};
  std::memcpy(m, password.data(), len);
  m[len] = 0x80;
  uint32_t w[80];
  for (int t = 0; t < 15; ++t) w[t] = Le32(m + 4 * t);
  w[15] = static_cast<uint32_t>(8 * len);
  for (int t = 16; t < 80; ++t) w[t] = w[t - 16] ^ w[t - 14] ^ w[t - 8] ^ w[t - 3];
  const uint32_t h[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    const uint32_t tmp = Rotl(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = tmp;
  }
  return {a + h[0], b + h[1], c + h[2], d + h[3], e + h[4]};
}

TBlowfish::TBlowfish(const std::array<uint32_t, 5>& key) {
  std::memcpy(p_, kBlowfishP, sizeof p_);
  std::memcpy(s_, kBlowfishS, sizeof s_);
  for (int i = 0; i < 18; ++i) p_[i] ^= key[i % 5];
  uint32_t l = 0, r = 0;
  for (int i = 0; i < 18; i += 2) {
    Encrypt(l, r);
    p_[i] = l;
    p_[i + 1] = r;
  }
  for (auto& box : s_)
    for (int i = 0; i < 256; i += 2) {
      Encrypt(l, r);
      box[i] = l;
      box[i + 1] = r;
    }
}

void TBlowfish::Encrypt(uint32_t& l, uint32_t& r) const {
  for (int i = 0; i < 16; i += 2) {
    l ^= p_[i];
    r ^= F(l);
    r ^= p_[i + 1];
    l ^= F(r);
  }
  l ^= p_[16];
  r ^= p_[17];
  std::swap(l, r);
}

void TBlowfish::Decrypt(uint32_t& l, uint32_t& r) const {
  for (int i = 16; i > 0; i -= 2) {
    l ^= p_[i + 1];
    r ^= F(l);
    r ^= p_[i];
    l ^= F(r);
  }
  l ^= p_[1];
  r ^= p_[0];
  std::swap(l, r);
}

void TCbcDecryptor::Decrypt(uint8_t* p, size_t n) {
  for (size_t i = 0; i + 8 <= n; i += 8) {
    const uint32_t cl = Le32(p + i), cr = Le32(p + i + 4);
    uint32_t l = cl, r = cr;
    bf_.Decrypt(l, r);
    PutLe32(p + i, l ^ prevL_);
    PutLe32(p + i + 4, r ^ prevR_);
    prevL_ = cl;
    prevR_ = cr;
  }
}

}  // namespace ace
