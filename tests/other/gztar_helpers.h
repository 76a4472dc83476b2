// Helpers of the GZIP and TAR tests: byte builders for hand-made (and
// hostile) gzip members, compress streams and tar headers, and small file
// and peer-tool utilities. The runners of other_helpers.h do the extracting.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "other_helpers.h"
#include "support/raw_deflate.h"
#include "support/testutil.h"

namespace gztartest {

using othertest::Put16;
using othertest::Put32;
using othertest::Put8;

using testutil::RawDeflate;

// One gzip member; the optional fields are written when set.
struct Member {
  std::string data;
  uint8_t flags = 0;  // the optional-field bits are added from the fields below
  uint8_t method = 8;
  uint8_t xfl = 0;
  uint32_t mtime = 1700000000;
  std::string name;     // FNAME when not empty
  std::string extra;    // FEXTRA when not empty
  int64_t xlen = -1;    // -1: extra.size(); else the XLEN written (a lie)
  std::string comment;  // FCOMMENT when not empty
  bool headerCrc = false;
  int64_t crcDelta = 0;   // added to the trailer's CRC
  int64_t sizeDelta = 0;  // added to the trailer's length
};

inline std::string Gzip(const Member& m) {
  std::string s("\x1f\x8b", 2);
  uint8_t flags = m.flags;
  if (!m.name.empty()) flags |= 0x08;
  if (!m.extra.empty() || m.xlen >= 0) flags |= 0x04;
  if (!m.comment.empty()) flags |= 0x10;
  if (m.headerCrc) flags |= 0x02;
  Put8(s, m.method);
  Put8(s, flags);
  Put32(s, m.mtime);
  Put8(s, m.xfl);
  Put8(s, 3);
  if (flags & 0x04) {
    Put16(s, static_cast<uint16_t>(m.xlen >= 0 ? m.xlen : static_cast<int64_t>(m.extra.size())));
    s += m.extra;
  }
  if (!m.name.empty()) s += m.name + std::string(1, '\0');
  if (!m.comment.empty()) s += m.comment + std::string(1, '\0');
  if (m.headerCrc) Put16(s, static_cast<uint16_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), s.size())));
  s += RawDeflate(m.data);
  Put32(s, static_cast<uint32_t>(othertest::Crc32(m.data) + m.crcDelta));
  Put32(s, static_cast<uint32_t>(m.data.size() + m.sizeDelta));
  return s;
}

// A compress stream of 9-bit codes as given, after the header with `flags`.
inline std::string Lzw9(uint8_t flags, const std::vector<unsigned>& codes) {
  std::string s("\x1f\x9d", 2);
  Put8(s, flags);
  uint32_t acc = 0;
  unsigned n = 0;
  for (unsigned c : codes) {
    acc |= c << n;
    n += 9;
    while (n >= 8) {
      Put8(s, static_cast<uint8_t>(acc));
      acc >>= 8;
      n -= 8;
    }
  }
  if (n > 0) Put8(s, static_cast<uint8_t>(acc));
  return s;
}

// ---- tar ---------------------------------------------------------------------------------

struct TarFields {
  std::string name;
  char type = '0';
  int64_t size = 0;
  uint32_t mode = 0644;
  int64_t mtime = 1700000000;
  std::string link;
  std::string prefix;
  bool ustar = true;
  bool base256Size = false;
  bool signedSum = false;        // checksum over signed bytes (old writers)
  int64_t checksumDelta = 0;     // added to the right checksum (a lie)
};

inline void Octal(std::string& h, int at, int len, int64_t v) {
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + (v & 7)));
    v >>= 3;
  } while (v > 0);
  while (static_cast<int>(digits.size()) < len - 1) digits.insert(digits.begin(), '0');
  h.replace(static_cast<size_t>(at), digits.size(), digits);
}

inline std::string TarHeader(const TarFields& f) {
  std::string h(512, '\0');
  h.replace(0, std::min<size_t>(f.name.size(), 100), f.name.substr(0, 100));
  Octal(h, 100, 8, f.mode);
  Octal(h, 108, 8, 0);
  Octal(h, 116, 8, 0);
  if (f.base256Size) {
    h[124] = static_cast<char>(0x80);
    for (int i = 0; i < 8; ++i) h[135 - i] = static_cast<char>((f.size >> (8 * i)) & 0xFF);
  } else {
    Octal(h, 124, 12, f.size);
  }
  Octal(h, 136, 12, f.mtime);
  h[156] = f.type;
  h.replace(157, std::min<size_t>(f.link.size(), 100), f.link.substr(0, 100));
  if (f.ustar) {
    h.replace(257, 6, std::string("ustar\0", 6));
    h.replace(263, 2, "00");
    h.replace(345, std::min<size_t>(f.prefix.size(), 155), f.prefix.substr(0, 155));
  }
  int64_t sum = 0;
  for (int i = 0; i < 512; ++i) {
    const uint8_t b = (i >= 148 && i < 156) ? ' ' : static_cast<uint8_t>(h[i]);
    sum += f.signedSum ? static_cast<int8_t>(b) : b;
  }
  Octal(h, 148, 7, sum + f.checksumDelta);
  h[155] = ' ';
  return h;
}

inline std::string Padded(const std::string& data) {
  std::string s = data;
  s.resize((s.size() + 511) / 512 * 512, '\0');
  return s;
}

// A header and its data.
inline std::string TarFile(const std::string& name, const std::string& data, TarFields f = TarFields{}) {
  f.name = name;
  f.size = static_cast<int64_t>(data.size());
  return TarHeader(f) + Padded(data);
}

inline std::string TarEnd() { return std::string(1024, '\0'); }

// A pax extended header carrying the records.
inline std::string PaxHeader(const std::map<std::string, std::string>& records, char type = 'x') {
  std::string body;
  for (const auto& [k, v] : records) {
    const std::string rec = " " + k + "=" + v + "\n";
    size_t len = rec.size() + 1;
    while (std::to_string(len).size() + rec.size() != len) ++len;
    body += std::to_string(len) + rec;
  }
  TarFields f;
  f.name = "PaxHeaders/x";
  f.type = type;
  f.size = static_cast<int64_t>(body.size());
  return TarHeader(f) + Padded(body);
}

// ---- files -----------------------------------------------------------------------------

namespace fs = std::filesystem;

// Regular files below root: relative path -> content.
inline std::map<std::string, std::string> FilesBelow(const std::string& root) {
  std::map<std::string, std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
    out[fs::relative(it->path(), root).generic_string()] = testutil::ReadFile(it->path().string());
  }
  return out;
}

// Runs a peer command; its standard output goes to outFile. Returns the exit status.
inline int PeerToFile(const std::string& command, const std::string& outFile) {
  return testutil::Run("(" + command + " 2>/dev/null > " + testutil::ShellQuote(outFile) + ")");
}

}  // namespace gztartest
