// The traditional PKWARE stream cipher, shared by ZIP and BH.
//
// A key state belongs to the one entry it enciphers or deciphers: every
// operation carries its own (TCryptKeys), so entries may be processed on
// several threads at once. The header records of archives written with
// enciphered headers use a fixed key state that depends on no password.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace zid {

struct TCryptKeys {
  uint32_t Key0;
  uint32_t Key1;
  uint32_t Key2;

  // Resets the keys and folds in the password's bytes (at most the first 255).
  void Init(const std::string& password);
  void Update(uint8_t plain);
  uint8_t CipherByte() const;
  void Encrypt(void* buffer, int64_t count);
  void Decrypt(void* buffer, int64_t count);
};

constexpr TCryptKeys kInitialKeys{0x12345678u, 0x23456789u, 0x34567890u};
// Header key state: (first AND third, first AND second, third AND second) of the initial words.
constexpr TCryptKeys kHeaderKeys{kInitialKeys.Key0 & kInitialKeys.Key2, kInitialKeys.Key0 & kInitialKeys.Key1,
                                 kInitialKeys.Key2 & kInitialKeys.Key1};

constexpr int kEncryptionHeaderSize = 12;
using TEncryptionHeader = std::array<uint8_t, kEncryptionHeaderSize>;
// The ten random bytes an encryption header starts with.
using TCryptSalt = std::array<uint8_t, 10>;

// Ten bytes from the random generator, which is seeded from the clock once
// per process (seeding per header from a coarse clock would repeat headers);
// SetCryptReseed(false) leaves the generator alone so a test can fix it with
// plat::RandSeed. Safe from any thread; writers draw them in the order of
// their entries so that a fixed seed gives fixed archives.
TCryptSalt RandomCryptSalt();
void SetCryptReseed(bool reseed);

// Builds the enciphered 12-byte header: the salt, then bits 16-23 and 24-31
// of the CRC-32. Leaves keys ready to encipher the entry's data.
TEncryptionHeader MakeEncryptionHeader(TCryptKeys& keys, const std::string& password, uint32_t crc32,
                                       const TCryptSalt& salt = RandomCryptSalt());

// Deciphers the 12 header bytes (the caller's copy is not changed) with the
// password and compares byte 11 with the high byte of the DOS time (general
// purpose flag bit 3 set) or bits 24-31 of the CRC-32. An empty password
// fails. On success keys are ready to decipher the data that follows.
bool CheckEncryptionHeader(TCryptKeys& keys, const uint8_t* header, uint16_t gpFlags, uint32_t crc32,
                           const std::string& password, uint32_t dosTime);

// Record kinds of enciphered headers, by the length of the body behind the
// 4-byte signature.
enum THeaderRecordKind : int {
  hrLocal = 26,    // local header (30 bytes)
  hrCentral = 42,  // central header (46 bytes)
  hrEnding = 18,   // end record (22 bytes)
  hrEnding64 = 22, // large end record (26 bytes)
};

// Encipher/decipher the record body after its signature in place, from the
// header key state, then the name that follows a local or central header
// when given. Returns the key state reached: a name read later continues
// from it.
TCryptKeys EncryptHeaderRecord(uint8_t* record, THeaderRecordKind kind, uint8_t* name = nullptr, int64_t nameLen = 0);
TCryptKeys DecryptHeaderRecord(uint8_t* record, THeaderRecordKind kind, uint8_t* name = nullptr, int64_t nameLen = 0);

}  // namespace zid
