// Helpers of the ARJ, ZOO and RAR tests: byte builders for hand-made (and hostile)
// archives, a test-side ZOO LZW encoder, and runners that extract or list
// under a 20 s watchdog and collect what the components reported.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/base/zidCrc.h"
#include "engine/base/zidUnBase.h"
#include "support/component_runner.h"
#include "support/le_bytes.h"
#include "support/testutil.h"

namespace othertest {

using testutil::Put8;
using testutil::Put16;
using testutil::Put32;
inline uint32_t Crc32(const std::string& s) { return zid::Crc32Of(s.data(), static_cast<int64_t>(s.size())); }
inline uint16_t Crc16(const std::string& s) { return zid::Crc16Of(s.data(), static_cast<int64_t>(s.size())); }

// ---- ARJ -----------------------------------------------------------------------

struct ArjFields {
  uint8_t firstSize = 30;
  uint8_t version = 11;
  uint8_t minVersion = 1;
  uint8_t host = 0;  // MS-DOS
  uint8_t flags = 0;
  uint8_t method = 0;
  uint8_t fileType = 0;
  uint8_t modifier = 0;
  uint32_t date = 0x58210000;  // 2024-01-01 00:00 as DOS date-time
  uint32_t packed = 0;
  uint32_t original = 0;
  uint32_t crc = 0;
  uint16_t access = 0x20;
  std::string name;
};

// One header with its CRC and an empty extended-header list.
inline std::string ArjHeader(const ArjFields& f) {
  std::string b;
  Put8(b, f.firstSize);
  Put8(b, f.version);
  Put8(b, f.minVersion);
  Put8(b, f.host);
  Put8(b, f.flags);
  Put8(b, f.method);
  Put8(b, f.fileType);
  Put8(b, f.modifier);
  Put32(b, f.date);
  Put32(b, f.packed);
  Put32(b, f.original);
  Put32(b, f.crc);
  Put16(b, 0);
  Put16(b, f.access);
  Put16(b, 0);
  b.resize(f.firstSize, '\0');
  b += f.name;
  b.push_back('\0');
  b.push_back('\0');  // comment
  std::string h("\x60\xEA", 2);
  Put16(h, static_cast<uint16_t>(b.size()));
  h += b;
  Put32(h, Crc32(b));
  Put16(h, 0);
  return h;
}

inline std::string ArjMain(uint8_t flags = 0, const std::string& name = "T.ARJ") {
  ArjFields f;
  f.fileType = 2;
  f.flags = flags;
  f.name = name;
  return ArjHeader(f);
}

// One ARC entry: header and data (method 1 has the short header).
inline std::string ArcEntry(uint8_t method, const std::string& name, const std::string& data, const std::string& original) {
  std::string h("\x1A", 1);
  Put8(h, method);
  std::string name13 = name;
  name13.resize(13, '\0');
  h += name13;
  Put32(h, static_cast<uint32_t>(data.size()));
  Put32(h, 0x60005821u);  // 2024-01-01 12:00
  Put16(h, Crc16(original));
  if (method != 1) Put32(h, static_cast<uint32_t>(original.size()));
  return h + data;
}

inline std::string ArjEnd() { return std::string("\x60\xEA\0\0", 4); }

// A stored file entry with its data.
inline std::string ArjStored(const std::string& name, const std::string& data, uint8_t flags = 0) {
  ArjFields f;
  f.name = name;
  f.flags = flags;
  f.packed = f.original = static_cast<uint32_t>(data.size());
  f.crc = Crc32(data);
  return ArjHeader(f) + data;
}

// ---- ZOO -----------------------------------------------------------------------

struct ZooFile {
  std::string name;     // short name
  std::string packed;   // the data as stored
  std::string original; // for the CRC and the size
  uint8_t method = 0;
  bool deleted = false;
};

// Lays out the archive header, then each directory entry (58 bytes, type 2
// with an empty variable part) followed by its data, and the end marker.
// nextOverride: entry index -> a next pointer to write instead of the real one.
inline std::string ZooArchive(const std::vector<ZooFile>& files, const std::map<int, uint32_t>& nextOverride = {}) {
  constexpr uint32_t kHeader = 42;
  constexpr uint32_t kEntry = 58;
  std::string s("ZOO 2.10 Archive.\x1a\0\0", 20);
  Put32(s, 0xFDC4A7DCu);
  Put32(s, kHeader);
  Put32(s, static_cast<uint32_t>(-static_cast<int32_t>(kHeader)));
  Put8(s, 2);
  Put8(s, 0);
  Put8(s, 1);
  Put32(s, 0);
  Put16(s, 0);
  Put8(s, 0);
  uint32_t pos = kHeader;
  for (size_t i = 0; i < files.size(); ++i) {
    const ZooFile& f = files[i];
    const uint32_t data = pos + kEntry;
    uint32_t next = data + static_cast<uint32_t>(f.packed.size());
    auto it = nextOverride.find(static_cast<int>(i));
    if (it != nextOverride.end()) next = it->second;
    std::string e;
    Put32(e, 0xFDC4A7DCu);
    Put8(e, 2);
    Put8(e, f.method);
    Put32(e, next);
    Put32(e, data);
    Put16(e, 0x5821);  // date
    Put16(e, 0x6000);  // time
    Put16(e, Crc16(f.original));
    Put32(e, static_cast<uint32_t>(f.original.size()));
    Put32(e, static_cast<uint32_t>(f.packed.size()));
    Put8(e, 2);
    Put8(e, 1);
    Put8(e, f.deleted ? 1 : 0);
    Put8(e, 0);
    Put32(e, 0);
    Put16(e, 0);
    std::string shortName = f.name.substr(0, 12);
    shortName.resize(13, '\0');
    e += shortName;
    Put16(e, 2);  // variable part: name and folder lengths, both 0
    Put8(e, 0);
    Put16(e, 0);
    Put8(e, 0);
    Put8(e, 0);
    s += e + f.packed;
    pos = static_cast<uint32_t>(s.size());
  }
  // the end marker: a short entry whose next pointer is 0
  std::string end;
  Put32(end, 0xFDC4A7DCu);
  Put8(end, 2);
  Put8(end, 0);
  end.resize(56, '\0');
  return s + end;
}

// ZOO LZW (method 1): codes of 9 to 13 bits, least significant bit first,
// the width following the decoder's rule. clearWhenFull false makes the
// stream go on past a full table, which no writer does.
inline std::string ZooLzwEncode(const std::string& in, bool clearWhenFull = true, int extraClears = 0) {
  std::string out;
  uint64_t acc = 0;
  unsigned nbits = 0;
  unsigned width = 9, limit = 512, decoderFree = 258, freeCode = 258;
  std::map<std::pair<int, uint8_t>, int> dict;
  auto emit = [&](unsigned code) {
    acc |= static_cast<uint64_t>(code) << nbits;
    nbits += width;
    while (nbits >= 8) {
      out.push_back(static_cast<char>(acc & 0xFF));
      acc >>= 8;
      nbits -= 8;
    }
  };
  auto reset = [&] {
    dict.clear();
    width = 9;
    limit = 512;
    decoderFree = 258;
    freeCode = 258;
  };
  int emitted = 0;  // codes since the last clear
  auto emitData = [&](unsigned code) {
    emit(code);
    if (++emitted >= 2) {
      ++decoderFree;
      if (decoderFree >= limit && width < 13) {
        ++width;
        limit <<= 1;
      }
    }
  };
  emit(256);
  int w = -1;
  size_t clearEvery = extraClears > 0 ? in.size() / (extraClears + 1) + 1 : 0;
  for (size_t i = 0; i < in.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(in[i]);
    if (w < 0) {
      w = c;
      continue;
    }
    auto it = dict.find({w, c});
    if (it != dict.end()) {
      w = it->second;
      continue;
    }
    emitData(static_cast<unsigned>(w));
    if (freeCode < 8192) {
      dict[{w, c}] = static_cast<int>(freeCode++);
    } else if (clearWhenFull) {
      emit(256);
      reset();
      emitted = 0;
    }
    if (clearEvery && i % clearEvery == 0) {
      emit(256);
      reset();
      emitted = 0;
    }
    w = c;
  }
  if (w >= 0) emitData(static_cast<unsigned>(w));
  emit(257);
  if (nbits > 0) out.push_back(static_cast<char>(acc & 0xFF));
  return out;
}

// ---- RAR 1.5-4 -------------------------------------------------------------------

// Blocks with their header CRCs (the low half of the CRC-32 of the rest of the header).

inline std::string RarBlock(uint8_t type, uint16_t flags, const std::string& body, const std::string& data = "") {
  const bool sized = (flags & 0x8000) != 0;
  std::string h;
  Put8(h, type);
  Put16(h, flags);
  Put16(h, static_cast<uint16_t>(7 + (sized ? 4 : 0) + body.size()));
  if (sized) Put32(h, static_cast<uint32_t>(data.size()));
  h += body;
  std::string out;
  Put16(out, Crc32(h) & 0xFFFF);
  return out + h + data;
}

inline std::string RarHead(uint16_t mainFlags = 0) {
  return std::string("Rar!\x1A\x07\x00", 7) + RarBlock(0x73, mainFlags, std::string(6, '\0'));
}

struct RarFileSpec {
  std::string name;
  std::string packed;    // the data as stored
  std::string original;  // for the CRC and the size
  uint16_t flags = 0;
  uint8_t version = 20;
  uint8_t method = 0x30;
  uint32_t crc = 0;  // 0: the CRC of original
};

inline std::string RarFile(const RarFileSpec& f) {
  std::string body;
  Put32(body, static_cast<uint32_t>(f.original.size()));
  Put8(body, 2);  // Windows
  Put32(body, f.crc ? f.crc : Crc32(f.original));
  Put32(body, 0x58216000);
  Put8(body, f.version);
  Put8(body, f.method);
  Put16(body, static_cast<uint16_t>(f.name.size()));
  Put32(body, 0x20);
  body += f.name;
  return RarBlock(0x74, static_cast<uint16_t>(0x8000 | f.flags), body, f.packed);
}

inline std::string RarStored(const std::string& name, const std::string& data, uint16_t flags = 0) {
  return RarFile({name, data, data, flags});
}

inline std::string RarEnd(uint16_t flags = 0) { return RarBlock(0x7B, static_cast<uint16_t>(0x4000 | flags), ""); }

// ---- running the components --------------------------------------------------------

using Report = testutil::ExtractReport;
using testutil::Watchdog;

// Extracts archive into dir (dir empty: test mode) with extractor T.
template <class T>
Report Extract(const std::string& archive, const std::string& dir,
               const std::function<void(T&)>& setup = nullptr) {
  return testutil::RunExtractor<T>(archive, dir, setup);
}

struct Listed {
  std::string name;
  int64_t packed = 0;
  int64_t unpacked = 0;
  int filenum = 0;
};

struct Listing {
  std::vector<Listed> entries;
  std::vector<int> errors;
  int totalFiles = -1;
};

inline Listing List(const std::string& archive, const std::function<void(zid::TRizER&)>& setup = nullptr) {
  Listing res;
  res.errors = testutil::RunLister(
      archive,
      [&res](const zid::TRizER& z, int filenum) {
        res.entries.push_back({z.FileName, z.PackedSize, z.UnpackedSize, filenum});
      },
      [&](zid::TRizER& r) {
        r.OnTotals = [&res](zid::TZipCommon*, int64_t, int64_t, int, int n) { res.totalFiles = n; };
        if (setup) setup(r);
      });
  return res;
}

}  // namespace othertest
