// The traditional PKWARE stream cipher, shared by ZIP and BH.
//
// One key state serves the whole engine: one encryption or decryption at a
// time, on the user-interface thread. A second, fixed key state enciphers the
// header records of archives written with enciphered headers; it does not
// depend on any password.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zid {

struct TCryptKeys {
  uint32_t Key0;
  uint32_t Key1;
  uint32_t Key2;
};

constexpr TCryptKeys kInitialKeys{0x12345678u, 0x23456789u, 0x34567890u};
// Header key state: (first AND third, first AND second, third AND second) of the initial words.
constexpr TCryptKeys kHeaderKeys{kInitialKeys.Key0 & kInitialKeys.Key2, kInitialKeys.Key0 & kInitialKeys.Key1,
                                 kInitialKeys.Key2 & kInitialKeys.Key1};

// The engine-wide key state.
extern TCryptKeys CryptKeys;

// Saves the engine-wide keys and restores them on destruction.
class TCryptKeysSaver {
 public:
  TCryptKeysSaver() : saved_(CryptKeys) {}
  ~TCryptKeysSaver() { CryptKeys = saved_; }
  TCryptKeysSaver(const TCryptKeysSaver&) = delete;
  TCryptKeysSaver& operator=(const TCryptKeysSaver&) = delete;

 private:
  TCryptKeys saved_;
};

// Resets the keys and folds in the password's bytes (at most the first 255).
void InitKeys(const std::string& password);
void UpdateKeys(uint8_t plain);
uint8_t CipherByte();
void EncryptBuffer(void* buffer, int64_t count);
void DecryptBuffer(void* buffer, int64_t count);

constexpr int kEncryptionHeaderSize = 12;
using TEncryptionHeader = std::array<uint8_t, kEncryptionHeaderSize>;

// Builds the enciphered 12-byte header: ten random bytes, then bits 16-23 and
// 24-31 of the CRC-32. Leaves the keys ready to encipher the entry's data.
// The random generator is seeded from the clock once per process (seeding per
// header from a coarse clock would repeat headers); SetCryptReseed(false)
// leaves the generator alone so a test can fix it with plat::RandSeed.
TEncryptionHeader MakeEncryptionHeader(const std::string& password, uint32_t crc32);
void SetCryptReseed(bool reseed);

// Deciphers the 12 header bytes (the caller's copy is not changed) with the
// password and compares byte 11 with the high byte of the DOS time (general
// purpose flag bit 3 set) or bits 24-31 of the CRC-32. An empty password
// fails. On success the keys are ready to decipher the data that follows.
bool CheckEncryptionHeader(const uint8_t* header, uint16_t gpFlags, uint32_t crc32, const std::string& password,
                           uint32_t dosTime);

// Record kinds of enciphered headers, by the length of the body behind the
// 4-byte signature.
enum THeaderRecordKind : int {
  hrLocal = 26,    // local header (30 bytes)
  hrCentral = 42,  // central header (46 bytes)
  hrEnding = 18,   // end record (22 bytes)
  hrEnding64 = 22, // large end record (26 bytes)
};

// Load the header key state and encipher/decipher the record body after its
// signature in place. The name that follows a local or central header is
// then processed with EncryptBuffer/DecryptBuffer (the state continues), or
// through the optional name arguments here.
void EncryptHeaderRecord(uint8_t* record, THeaderRecordKind kind, uint8_t* name = nullptr, int64_t nameLen = 0);
void DecryptHeaderRecord(uint8_t* record, THeaderRecordKind kind, uint8_t* name = nullptr, int64_t nameLen = 0);

}  // namespace zid
