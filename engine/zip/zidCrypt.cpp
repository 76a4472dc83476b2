// The traditional PKWARE cipher over the engine's CRC-32 table.
#include "engine/zip/zidCrypt.h"

#include <atomic>
#include <mutex>

#include "engine/base/zidCrc.h"
#include "platform/hooks.h"

namespace zid {

namespace {

std::atomic<bool> gReseed{true};
std::atomic<bool> gSeeded{false};

// Passwords are limited to 255 bytes (an 8-bit length).
constexpr size_t kMaxPassword = 255;

}  // namespace

void TCryptKeys::Init(const std::string& password) {
  *this = kInitialKeys;
  const size_t n = password.size() < kMaxPassword ? password.size() : kMaxPassword;
  for (size_t i = 0; i < n; ++i) Update(static_cast<uint8_t>(password[i]));
}

void TCryptKeys::Update(uint8_t plain) {
  Key0 = Crc32Step(Key0, plain);
  Key1 = (Key1 + (Key0 & 0xFF)) * 134775813u + 1;
  Key2 = Crc32Step(Key2, static_cast<uint8_t>(Key1 >> 24));
}

uint8_t TCryptKeys::CipherByte() const {
  const uint32_t t = (Key2 & 0xFFFF) | 2;
  return static_cast<uint8_t>(((t * (t ^ 1)) >> 8) & 0xFF);
}

void TCryptKeys::Encrypt(void* buffer, int64_t count) {
  if (buffer == nullptr) return;
  auto* p = static_cast<uint8_t*>(buffer);
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t plain = p[i];
    p[i] = static_cast<uint8_t>(plain ^ CipherByte());
    Update(plain);
  }
}

void TCryptKeys::Decrypt(void* buffer, int64_t count) {
  if (buffer == nullptr) return;
  auto* p = static_cast<uint8_t*>(buffer);
  for (int64_t i = 0; i < count; ++i) {
    const uint8_t plain = static_cast<uint8_t>(p[i] ^ CipherByte());
    Update(plain);
    p[i] = plain;
  }
}

void SetCryptReseed(bool reseed) { gReseed = reseed; }

TCryptSalt RandomCryptSalt() {
  static std::mutex mu;
  std::lock_guard<std::mutex> lock(mu);
  if (gReseed && !gSeeded.exchange(true)) plat::Randomize();
  TCryptSalt s{};
  for (auto& b : s) b = static_cast<uint8_t>(plat::Random(32767) >> 7);
  return s;
}

TEncryptionHeader MakeEncryptionHeader(TCryptKeys& keys, const std::string& password, uint32_t crc32,
                                       const TCryptSalt& salt) {
  keys.Init(password);
  TEncryptionHeader h{};
  for (size_t i = 0; i < salt.size(); ++i) h[i] = salt[i];
  h[10] = static_cast<uint8_t>(crc32 >> 16);
  h[11] = static_cast<uint8_t>(crc32 >> 24);
  keys.Encrypt(h.data(), kEncryptionHeaderSize);
  return h;
}

bool CheckEncryptionHeader(TCryptKeys& keys, const uint8_t* header, uint16_t gpFlags, uint32_t crc32,
                           const std::string& password, uint32_t dosTime) {
  if (password.empty() || header == nullptr) return false;
  keys.Init(password);
  uint8_t h[kEncryptionHeaderSize];
  for (int i = 0; i < kEncryptionHeaderSize; ++i) h[i] = header[i];
  keys.Decrypt(h, kEncryptionHeaderSize);
  // With a data descriptor the CRC is not known when the header is written:
  // writers put the high byte of the DOS time there instead.
  const uint8_t expected = (gpFlags & 0x0008) != 0 ? static_cast<uint8_t>(dosTime >> 8)
                                                   : static_cast<uint8_t>(crc32 >> 24);
  return h[11] == expected;
}

TCryptKeys EncryptHeaderRecord(uint8_t* record, THeaderRecordKind kind, uint8_t* name, int64_t nameLen) {
  TCryptKeys keys = kHeaderKeys;
  if (record != nullptr) keys.Encrypt(record + 4, static_cast<int>(kind));
  if (name != nullptr && nameLen > 0) keys.Encrypt(name, nameLen);
  return keys;
}

TCryptKeys DecryptHeaderRecord(uint8_t* record, THeaderRecordKind kind, uint8_t* name, int64_t nameLen) {
  TCryptKeys keys = kHeaderKeys;
  if (record != nullptr) keys.Decrypt(record + 4, static_cast<int>(kind));
  if (name != nullptr && nameLen > 0) keys.Decrypt(name, nameLen);
  return keys;
}

}  // namespace zid
