// WinZip AES encryption of ZIP entries (AE-1 and AE-2), through Nettle.
//
// An entry's data is: a salt (8, 12 or 16 bytes for AES-128, -192, -256),
// a 2-byte password verifier, the compressed data enciphered with AES in
// counter mode (a little-endian block counter from 1), and the first 10 bytes
// of an HMAC-SHA1 over the enciphered data. Keys and verifier come from
// PBKDF2-HMAC-SHA1 of the password and the salt, 1000 iterations. The entry's
// method is 99; extra field 0x9901 names the version (AE-1 keeps the CRC,
// AE-2 stores 0 for it), the strength and the real method.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/base/zidFilterStreams.h"

namespace zid {

// The cipher a ZIP writer uses for the entries of a password; the AES
// values are the strengths of the 0x9901 field.
enum TZipEncryption : uint8_t { zeTraditional = 0, zeAes128 = 1, zeAes192 = 2, zeAes256 = 3 };

constexpr uint16_t kExtraAes = 0x9901;
constexpr uint16_t kMethodAes = 99;
constexpr uint16_t kAesVersionNeeded = 51;
constexpr size_t kAesExtraSize = 11;  // with its ID and size
constexpr int kAesVerifierSize = 2;
constexpr int kAesMacSize = 10;
constexpr size_t kAesMaxSalt = 16;

// Strength 1, 2 or 3: AES-128, -192, -256.
inline int AesKeyBytes(int strength) { return 8 + 8 * strength; }
inline int AesSaltBytes(int strength) { return 4 + 4 * strength; }
// Bytes the cipher adds to an entry's data: salt, verifier and MAC.
inline int AesOverhead(int strength) { return AesSaltBytes(strength) + kAesVerifierSize + kAesMacSize; }

// The 0x9901 field.
struct TAesExtra {
  uint16_t version = 2;  // 1: AE-1, 2: AE-2
  int strength = 3;
  uint16_t method = 0;   // the real compression method
};
// The 0x9901 field in an extra field; false when there is none or it is not
// one this reader knows (vendor "AE", strength 1-3).
bool FindAesExtra(const uint8_t* extra, size_t len, TAesExtra& out);
// The field's kAesExtraSize bytes.
std::string AesExtraBytes(const TAesExtra& x);

// WinZip writes AE-2 (no CRC) for files this small: a CRC would tell much of them.
constexpr int64_t kAe2Below = 20;

class TAesCipher : public TDataCipher {
 public:
  TAesCipher();
  ~TAesCipher() override;
  TAesCipher(const TAesCipher&) = delete;
  TAesCipher& operator=(const TAesCipher&) = delete;

  // Derives the keys; gives the password verifier. salt: AesSaltBytes(strength).
  void Init(const std::string& password, int strength, const uint8_t* salt, uint8_t verifier[kAesVerifierSize]);
  // Counter mode, the MAC over the enciphered bytes.
  void Encrypt(uint8_t* data, int64_t count) override;
  void Decrypt(uint8_t* data, int64_t count) override;
  // The MAC of everything enciphered or deciphered so far.
  void Mac(uint8_t out[kAesMacSize]);

 private:
  void Crypt(uint8_t* data, int64_t count);
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

}  // namespace zid
