// The MSZIP block encoder: each block is "CK" and a complete raw deflate
// stream of at most 32 KiB of input, primed with the input before it (up to
// 32 KiB) as its dictionary, so that back references may reach into the
// previous block as MSZIP decoders expect. zlib does the deflating; its
// memory comes from the library's alloc and free callbacks.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <vector>

#include "platform/cabinet/cabinet.h"

namespace plat::cab {

class TMsZipEncoder {
 public:
  TMsZipEncoder(const PFNALLOC& alloc, const PFNFREE& free, int level = Z_DEFAULT_COMPRESSION);
  ~TMsZipEncoder();
  TMsZipEncoder(const TMsZipEncoder&) = delete;
  TMsZipEncoder& operator=(const TMsZipEncoder&) = delete;

  // False when zlib could not be set up (no memory).
  bool Ready() const { return ready_; }
  // Encodes n (1..32768) bytes after historyLen bytes of history into out
  // (replaced). False when zlib fails.
  bool EncodeBlock(const uint8_t* data, size_t n, const uint8_t* history, size_t historyLen,
                   std::vector<uint8_t>& out);

 private:
  static voidpf ZAlloc(voidpf opaque, uInt items, uInt size);
  static void ZFree(voidpf opaque, voidpf address);

  const PFNALLOC& alloc_;
  const PFNFREE& free_;
  z_stream zs_{};
  bool ready_ = false;
};

}  // namespace plat::cab
