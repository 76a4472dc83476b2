// The data step the ZIP, JAR and BH writers share for one file: its bytes
// stored or raw-deflated behind the caller's header, optionally enciphered
// behind a 12-byte encryption header or with WinZip AES (zidAes.h). The caller writes its header (with
// room for the sizes) before this step and rewrites it afterwards; this step
// only appends to the end of the archive stream.
//
// Its decisions: a file shorter than 257 bytes is deflated into memory first
// and stored when the deflated form would be larger; encrypting needs the
// CRC-32 before any data goes out (it is in the encryption header), so the
// file is read twice then. The cipher's key state is the step's own: files
// may go through it on several threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/base/zidCompBase.h"
#include "engine/base/zidStreams.h"
#include "engine/base/zidTypes.h"
#include "engine/zip/zidCrypt.h"

namespace zid {

struct TStoreDeflateJob {
  TStream32* source = nullptr;  // the file, at position 0
  int64_t size = 0;             // its size in bytes
  bool store = false;           // store it without trying to deflate
  bool encrypt = false;         // encipher (callers never encrypt an empty file)
  std::string password;
  // The encryption header's random bytes; none: drawn by this step.
  std::optional<TCryptSalt> salt;
  // 0: the traditional cipher; 1, 2, 3: WinZip AES-128, -192, -256 (salt,
  // verifier and MAC around the data, the CRC computed on the way).
  int aesStrength = 0;
  TDeflateType type = dtDeflateN;
  // Threads for a file large enough to be deflated in pieces (zidDeflatePieces.h):
  // 0 one per core, 1 this one. The bytes do not depend on it.
  int workers = 0;
  bool* cancel = nullptr;                  // the owner's cancel flag; may be null
  std::function<void(int64_t)> progress;   // plain bytes of each chunk; may be empty
};

enum class TStoreDeflateStatus { Ok, Cancelled, ReadError };

struct TStoreDeflateResult {
  TStoreDeflateStatus status = TStoreDeflateStatus::Ok;
  bool stored = false;  // the data went out stored (asked for, or deflating did not pay)
  uint32_t crc = 0;     // finished CRC-32 of the file, 0 for an empty file
  int64_t read = 0;     // bytes read from the source; ReadError when not job.size
};

// Appends the data (with the encryption header when encrypting) at the
// current position of out. A write the archive refuses raises E_RAISE 25136.
TStoreDeflateResult WriteStoredOrDeflated(TStream32& out, const TStoreDeflateJob& job);

// The same step for one file of a writer: the cancel flag and the password
// are the writer's, progress goes to it as bytes of a file of `fileSize`, and
// a file that cannot be read, or whose size changed while it was read, fails
// the writer's run against `sourcePath` (TCompBase::SourceChanged).
TStoreDeflateResult WriteFileData(TCompBase& writer, TStream32& out, TStoreDeflateJob job, int64_t fileSize,
                                  const std::string& sourcePath);

}  // namespace zid
