// Helpers of the decoder tests: memory sources and sinks, a bit writer for
// hand-made streams and a minimal ZIP reader that finds an entry's data.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/zidBytes.h"
#include "engine/base/zidDecoder.h"
#include "support/testutil.h"

namespace dectest {

// The outcome of one decode from memory.
struct Decoded {
  int result = 0;
  std::string out;
  int64_t maxAsked = 0;  // compressed bytes asked for in total
  int writes = 0;
};

using DecodeFn = std::function<int(const zid::TDecodeJob&)>;

// Runs a decoder over `in` (budget = in.size()) with the given expected size.
inline Decoded Decode(const DecodeFn& fn, const std::string& in, int64_t expected) {
  Decoded d;
  size_t pos = 0;
  zid::TDecodeJob job;
  job.source.budget = static_cast<int64_t>(in.size());
  job.source.read = [&](uint8_t* buf, int64_t count) -> int64_t {
    d.maxAsked += count;
    size_t n = std::min<size_t>(static_cast<size_t>(count), in.size() - pos);
    std::memcpy(buf, in.data() + pos, n);
    pos += n;
    return static_cast<int64_t>(n);
  };
  job.sink.write = [&](const uint8_t* buf, int64_t count) -> int64_t {
    ++d.writes;
    d.out.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(count));
    return count;
  };
  job.expectedSize = expected;
  d.result = fn(job);
  return d;
}

inline uint32_t Crc(const std::string& s) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

// Raw deflate through zlib (window bits -15).
inline std::string ZlibDeflate(const std::string& data, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Writes bits LSB-first, as DEFLATE and its relatives read them.
class BitWriter {
 public:
  void Bits(uint32_t value, unsigned n) {
    for (unsigned i = 0; i < n; ++i) Bit((value >> i) & 1);
  }
  // A Huffman code: its most significant bit goes first.
  void Code(uint32_t code, unsigned len) {
    for (unsigned i = len; i-- > 0;) Bit((code >> i) & 1);
  }
  void Byte(uint8_t b) { Bits(b, 8); }
  void Align() {
    while (nbits_ != 0) Bit(0);
  }
  std::string Take() {
    Align();
    return out_;
  }

 private:
  void Bit(unsigned b) {
    acc_ |= b << nbits_;
    if (++nbits_ == 8) {
      out_.push_back(static_cast<char>(acc_));
      acc_ = 0;
      nbits_ = 0;
    }
  }
  std::string out_;
  unsigned acc_ = 0, nbits_ = 0;
};

// One entry of a ZIP archive, located through its central directory.
struct ZipEntry {
  std::string name;
  uint16_t flags = 0, method = 0;
  uint32_t crc = 0;
  uint64_t csize = 0, usize = 0;
  std::string data;  // the compressed bytes
};

// Enough of the ZIP layout to reach the data of a plain (unencrypted,
// non-Zip64) archive.
inline std::vector<ZipEntry> ReadZip(const std::string& path) {
  std::vector<ZipEntry> entries;
  std::string z = testutil::ReadFile(path);
  if (z.size() < 22) return entries;
  size_t eocd = std::string::npos;
  for (size_t i = z.size() - 22 + 1; i-- > 0;) {
    if (zid::Get32(z.data() + i) == 0x06054b50) {
      eocd = i;
      break;
    }
  }
  if (eocd == std::string::npos) return entries;
  unsigned count = zid::Get16(z.data() + eocd + 10);
  size_t p = zid::Get32(z.data() + eocd + 16);
  for (unsigned k = 0; k < count && p + 46 <= z.size(); ++k) {
    const char* c = z.data() + p;
    if (zid::Get32(c) != 0x02014b50) break;
    ZipEntry e;
    e.flags = zid::Get16(c + 8);
    e.method = zid::Get16(c + 10);
    e.crc = zid::Get32(c + 16);
    e.csize = zid::Get32(c + 20);
    e.usize = zid::Get32(c + 24);
    unsigned nlen = zid::Get16(c + 28), xlen = zid::Get16(c + 30), clen = zid::Get16(c + 32);
    size_t local = zid::Get32(c + 42);
    e.name.assign(c + 46, nlen);
    if (local + 30 <= z.size()) {
      const char* l = z.data() + local;
      size_t data = local + 30 + zid::Get16(l + 26) + zid::Get16(l + 28);
      if (data + e.csize <= z.size()) e.data = z.substr(data, e.csize);
    }
    entries.push_back(e);
    p += 46 + nlen + xlen + clen;
  }
  return entries;
}

// The corpus ZIP file `name`, or "" when the corpus is absent.
inline std::string CorpusZip(const std::string& name) {
  std::string dir = testutil::CorpusDir();
  return dir.empty() ? std::string() : dir + "/zip/" + name;
}

}  // namespace dectest
