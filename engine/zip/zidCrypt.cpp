// The traditional PKWARE cipher over the engine's CRC-32 table.
#include "engine/zip/zidCrypt.h"

#include "engine/base/zidCrc.h"
#include "platform/hooks.h"

namespace zid {

TCryptKeys CryptKeys = kInitialKeys;

namespace {

bool gReseed = true;
bool gSeeded = false;

// Passwords are limited to 255 bytes (an 8-bit length).
constexpr size_t kMaxPassword = 255;

}  // namespace

void InitKeys(const std::string& password) {
  CryptKeys = kInitialKeys;
  const size_t n = password.size() < kMaxPassword ? password.size() : kMaxPassword;
  for (size_t i = 0; i < n; ++i) UpdateKeys(static_cast<uint8_t>(password[i]));
}

void UpdateKeys(uint8_t plain) {
  CryptKeys.Key0 = Crc32Step(CryptKeys.Key0, plain);
  CryptKeys.Key1 = (CryptKeys.Key1 + (CryptKeys.Key0 & 0xFF)) * 134775813u + 1;
  CryptKeys.Key2 = Crc32Step(CryptKeys.Key2, static_cast<uint8_t>(CryptKeys.Key1 >> 24));
}

uint8_t CipherByte() {
  const uint32_t t = (CryptKeys.Key2 & 0xFFFF) | 2;
  return static_cast<uint8_t>(((t * (t ^ 1)) >> 8) & 0xFF);
}

void EncryptBuffer(void* buffer, int64_t count) {
  if (buffer == nullptr) return;
  auto* p = static_cast<uint8_t*>(buffer);
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t plain = p[i];
    p[i] = static_cast<uint8_t>(plain ^ CipherByte());
    UpdateKeys(plain);
  }
}

void DecryptBuffer(void* buffer, int64_t count) {
  if (buffer == nullptr) return;
  auto* p = static_cast<uint8_t*>(buffer);
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t plain = static_cast<uint8_t>(p[i] ^ CipherByte());
    UpdateKeys(plain);
    p[i] = plain;
  }
}

void SetCryptReseed(bool reseed) { gReseed = reseed; }

TEncryptionHeader MakeEncryptionHeader(const std::string& password, uint32_t crc32) {
  InitKeys(password);
  if (gReseed && !gSeeded) {
    plat::Randomize();
    gSeeded = true;
  }
  TEncryptionHeader h{};
  for (int i = 0; i < 10; ++i) h[i] = static_cast<uint8_t>(plat::Random(32767) >> 7);
  h[10] = static_cast<uint8_t>(crc32 >> 16);
  h[11] = static_cast<uint8_t>(crc32 >> 24);
  EncryptBuffer(h.data(), kEncryptionHeaderSize);
  return h;
}

bool CheckEncryptionHeader(const uint8_t* header, uint16_t gpFlags, uint32_t crc32, const std::string& password,
                           uint32_t dosTime) {
  if (password.empty() || header == nullptr) return false;
  InitKeys(password);
  uint8_t h[kEncryptionHeaderSize];
  for (int i = 0; i < kEncryptionHeaderSize; ++i) h[i] = header[i];
  DecryptBuffer(h, kEncryptionHeaderSize);
  // With a data descriptor the CRC is not known when the header is written:
  // writers put the high byte of the DOS time there instead.
  const uint8_t expected = (gpFlags & 0x0008) != 0 ? static_cast<uint8_t>(dosTime >> 8)
                                                   : static_cast<uint8_t>(crc32 >> 24);
  return h[11] == expected;
}

void EncryptHeaderRecord(uint8_t* record, THeaderRecordKind kind, uint8_t* name, int64_t nameLen) {
  CryptKeys = kHeaderKeys;
  if (record != nullptr) EncryptBuffer(record + 4, static_cast<int>(kind));
  if (name != nullptr && nameLen > 0) EncryptBuffer(name, nameLen);
}

void DecryptHeaderRecord(uint8_t* record, THeaderRecordKind kind, uint8_t* name, int64_t nameLen) {
  CryptKeys = kHeaderKeys;
  if (record != nullptr) DecryptBuffer(record + 4, static_cast<int>(kind));
  if (name != nullptr && nameLen > 0) DecryptBuffer(name, nameLen);
}

}  // namespace zid
