// ACE encryption: a key of five words from the password (one SHA-1-like
// compression with little-endian message words and no rotation in the
// expansion), Blowfish with ACE's initial tables on little-endian halves,
// and CBC with a zero IV that restarts for every member.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ace {

extern const uint32_t kBlowfishP[18];
extern const uint32_t kBlowfishS[4][256];

// Passwords longer than this are cut.
constexpr size_t kMaxPasswordBytes = 50;

std::array<uint32_t, 5> DeriveKey(const std::string& password);

class TBlowfish {
 public:
  explicit TBlowfish(const std::array<uint32_t, 5>& key);
  // One block (l, r) in place; the halves come out exchanged as the cipher defines.
  void Encrypt(uint32_t& l, uint32_t& r) const;
  void Decrypt(uint32_t& l, uint32_t& r) const;

 private:
  uint32_t F(uint32_t x) const {
    return ((s_[0][x >> 24] + s_[1][(x >> 16) & 255]) ^ s_[2][(x >> 8) & 255]) + s_[3][x & 255];
  }
  uint32_t p_[18];
  uint32_t s_[4][256];
};

// The CBC decryption of one member's packed data.
class TCbcDecryptor {
 public:
  explicit TCbcDecryptor(const std::string& password) : bf_(DeriveKey(password)) {}
  // Deciphers n bytes in place; n is a multiple of 8.
  void Decrypt(uint8_t* p, size_t n);

 private:
  TBlowfish bf_;
  uint32_t prevL_ = 0;
  uint32_t prevR_ = 0;
};

}  // namespace ace
