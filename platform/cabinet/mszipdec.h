// The MSZIP block decoder: each CFDATA block of an MSZIP folder is "CK" and a
// complete raw deflate stream (RFC 1951) ending in a final block, whose back
// references may reach up to 32 KiB into the output of the blocks before it.
// ISA-L's igzip inflates each block with that output as its preset
// dictionary; a block must unpack to exactly the size its record gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace plat::cab {

class TMsZipDecoder {
 public:
  TMsZipDecoder();
  ~TMsZipDecoder();
  TMsZipDecoder(const TMsZipDecoder&) = delete;
  TMsZipDecoder& operator=(const TMsZipDecoder&) = delete;

  // A new folder: the next block has no history.
  void Reset();
  // Decodes the cb bytes of one block that unpacks to uncomp (1..32768)
  // bytes. Returns its output (valid until the next call), or nullptr when
  // the block is not MSZIP data of that size: no "CK", a deflate error, a
  // stream that ends early, runs past uncomp bytes or is cut short.
  const uint8_t* Decode(const uint8_t* data, size_t cb, size_t uncomp);

 private:
  struct TState;
  std::unique_ptr<TState> s_;
};

}  // namespace plat::cab
