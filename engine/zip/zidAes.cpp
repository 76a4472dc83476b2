#include "engine/zip/zidAes.h"

#include <nettle/aes.h>
#include <nettle/hmac.h>
#include <nettle/memxor.h>
#include <nettle/pbkdf2.h>

#include <algorithm>
#include <cstring>

#include "engine/base/zidBytes.h"
#include "engine/zip/zidZipRecords.h"

namespace zid {

namespace {

constexpr unsigned kIterations = 1000;
constexpr size_t kBlock = 16;
// Key stream made per call of the cipher: 64 counter blocks.
constexpr size_t kStreamBytes = 64 * kBlock;

}  // namespace

bool FindAesExtra(const uint8_t* extra, size_t len, TAesExtra& out) {
  for (TExtraFields f(extra, len); f.Next();) {
    if (f.Id() != kExtraAes || f.Size() < 7) continue;
    const uint8_t* d = f.Data();
    if (d[2] != 'A' || d[3] != 'E' || d[4] < 1 || d[4] > 3) return false;
    out.version = Get16(d);
    out.strength = d[4];
    out.method = Get16(d + 5);
    return true;
  }
  return false;
}

std::string AesExtraBytes(const TAesExtra& x) {
  uint8_t b[kAesExtraSize];
  Put16(b, kExtraAes);
  Put16(b + 2, 7);
  Put16(b + 4, x.version);
  b[6] = 'A';
  b[7] = 'E';
  b[8] = static_cast<uint8_t>(x.strength);
  Put16(b + 9, x.method);
  return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

struct TAesCipher::TImpl {
  union {
    aes128_ctx a128;
    aes192_ctx a192;
    aes256_ctx a256;
  } aes;
  int strength = 3;
  hmac_sha1_ctx mac;
  uint64_t counter = 0;
  uint8_t stream[kStreamBytes] = {};
  size_t used = kStreamBytes;  // bytes of `stream` already used

  void Refill() {
    uint8_t blocks[kStreamBytes] = {};
    for (size_t b = 0; b < kStreamBytes; b += kBlock) Put64(blocks + b, ++counter);
    if (strength == 1) aes128_encrypt(&aes.a128, kStreamBytes, stream, blocks);
    else if (strength == 2) aes192_encrypt(&aes.a192, kStreamBytes, stream, blocks);
    else aes256_encrypt(&aes.a256, kStreamBytes, stream, blocks);
    used = 0;
  }
};

TAesCipher::TAesCipher() : impl_(std::make_unique<TImpl>()) {}
TAesCipher::~TAesCipher() = default;

void TAesCipher::Init(const std::string& password, int strength, const uint8_t* salt,
                      uint8_t verifier[kAesVerifierSize]) {
  TImpl& s = *impl_;
  const size_t keyLen = static_cast<size_t>(AesKeyBytes(strength));
  uint8_t derived[2 * 32 + kAesVerifierSize];
  pbkdf2_hmac_sha1(password.size(), reinterpret_cast<const uint8_t*>(password.data()), kIterations,
                   static_cast<size_t>(AesSaltBytes(strength)), salt, 2 * keyLen + kAesVerifierSize, derived);
  s.strength = strength;
  if (strength == 1) aes128_set_encrypt_key(&s.aes.a128, derived);
  else if (strength == 2) aes192_set_encrypt_key(&s.aes.a192, derived);
  else aes256_set_encrypt_key(&s.aes.a256, derived);
  hmac_sha1_set_key(&s.mac, keyLen, derived + keyLen);
  std::memcpy(verifier, derived + 2 * keyLen, kAesVerifierSize);
  s.counter = 0;
  s.used = kStreamBytes;
  std::memset(derived, 0, sizeof derived);
}

void TAesCipher::Crypt(uint8_t* data, int64_t count) {
  TImpl& s = *impl_;
  while (count > 0) {
    if (s.used == kStreamBytes) s.Refill();
    const size_t n = std::min(static_cast<size_t>(count), kStreamBytes - s.used);
    memxor(data, s.stream + s.used, n);
    s.used += n;
    data += n;
    count -= static_cast<int64_t>(n);
  }
}

void TAesCipher::Encrypt(uint8_t* data, int64_t count) {
  Crypt(data, count);
  hmac_sha1_update(&impl_->mac, static_cast<size_t>(count), data);
}

void TAesCipher::Decrypt(uint8_t* data, int64_t count) {
  hmac_sha1_update(&impl_->mac, static_cast<size_t>(count), data);
  Crypt(data, count);
}

void TAesCipher::Mac(uint8_t out[kAesMacSize]) { hmac_sha1_digest(&impl_->mac, kAesMacSize, out); }

}  // namespace zid
