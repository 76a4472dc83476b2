#include "engine/other/zidRarHeader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <string_view>

#include "engine/base/zidByteSource.h"
#include "engine/base/Err_Msgs.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidCrc.h"
#include "engine/base/zidNames.h"
#include "platform/codepage.h"
#include "platform/paths.h"

namespace zid {

namespace {

constexpr uint8_t kMarker[] = {'R', 'a', 'r', '!', 0x1A, 0x07};
constexpr int kMarkerSize = 7;
constexpr int kMainSize = 13;
constexpr int kBlockHeadSize = 7;
constexpr int kLongHeadSize = 11;
constexpr int kFileHeadSize = 32;
constexpr int kHighSizes = 8;
constexpr size_t kMaxNameChars = 4096;
constexpr int kUnsupportedVersion = 25328;

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max() : a + b;
}

// RAR's compact form of a UTF-16 name, stored after the NUL of the name's
// single-byte form: a high byte shared by many characters, then groups of
// four 2-bit commands, each taking its operands from the bytes after it:
// 0 one byte (high byte 0), 1 one byte with the shared high byte, 2 a whole
// character, 3 a run copied from the single-byte form (with a correction
// added and the shared high byte when its length byte has bit 7).
std::u16string DecodeUnicodeName(std::string_view plain, std::string_view enc) {
  std::u16string out;
  size_t pos = 0;
  auto next = [&](uint8_t& b) {
    if (pos >= enc.size()) return false;
    b = static_cast<uint8_t>(enc[pos++]);
    return true;
  };
  uint8_t high = 0, flags = 0, lo = 0, hi = 0, len = 0, corr = 0;
  if (!next(high)) return out;
  int bits = 0;
  while (pos < enc.size() && out.size() < kMaxNameChars) {
    if (bits == 0) {
      if (!next(flags)) break;
      bits = 8;
    }
    switch (flags >> 6) {
      case 0:
        if (!next(lo)) return out;
        out += static_cast<char16_t>(lo);
        break;
      case 1:
        if (!next(lo)) return out;
        out += static_cast<char16_t>(lo | (high << 8));
        break;
      case 2:
        if (!next(lo) || !next(hi)) return out;
        out += static_cast<char16_t>(lo | (hi << 8));
        break;
      default: {
        if (!next(len)) return out;
        const bool corrected = (len & 0x80) != 0;
        if (corrected && !next(corr)) return out;
        for (int n = (len & 0x7F) + 2; n > 0 && out.size() < plain.size(); --n) {
          const uint8_t c = static_cast<uint8_t>(plain[out.size()]);
          out += corrected ? static_cast<char16_t>(static_cast<uint8_t>(c + corr) | (high << 8))
                           : static_cast<char16_t>(c);
        }
        break;
      }
    }
    flags = static_cast<uint8_t>(flags << 2);
    bits -= 2;
  }
  return out;
}

// Up to the first NUL character; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string& w) {
  std::string out;
  for (size_t i = 0; i < w.size() && w[i] != 0; ++i) {
    uint32_t c = w[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < w.size() && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (w[i + 1] - 0xDC00u);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    plat::AppendUtf8(out, c);
  }
  return out;
}

bool Fail(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

}  // namespace

int64_t TRarBlock::NextOffset() const {
  const uint64_t next = SaturatingAdd(SaturatingAdd(static_cast<uint64_t>(offset), headSize), dataSize);
  return next > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                                          : static_cast<int64_t>(next);
}

uint32_t TRarBlock::DosAttributes() const {
  if (host != kRarHostUnix) return attr;
  return (attr & 0xF000) == 0x4000 ? 0x10 : 0x20;
}

TRarRead ReadRarBlock(const TRarReadAt& read, int64_t pos, TRarBlock& b, std::string* why) {
  b = TRarBlock();
  b.offset = pos;
  uint8_t h[kFileHeadSize + kHighSizes];
  const int64_t got = read(pos, h, kBlockHeadSize);
  if (got <= 0) return TRarRead::End;
  if (got < kBlockHeadSize) {
    Fail(why, "a block header cut short by the end of the file");
    return TRarRead::Bad;
  }
  b.headCrc = Get16(h);
  b.type = h[2];
  b.flags = Get16(h + 3);
  b.headSize = Get16(h + 5);
  if (b.headSize < kBlockHeadSize) {
    Fail(why, "a block header shorter than 7 bytes");
    return TRarRead::Bad;
  }
  std::string head(b.headSize, '\0');
  if (read(pos, head.data(), b.headSize) != b.headSize) {
    Fail(why, "a block header cut short by the end of the file");
    return TRarRead::Bad;
  }
  uint32_t crc = kCrc32Init;
  UpdateCrc32(reinterpret_cast<const uint8_t*>(head.data()) + 2, b.headSize - 2, crc);
  b.crcOk = ((crc ^ 0xFFFFFFFFu) & 0xFFFF) == b.headCrc;
  // The old comment block keeps its data in its header: no data size.
  const bool carriesData = (b.flags & kRarLongBlock) && b.type != kRarTypeOldComment;
  if (carriesData) {
    if (b.headSize < kLongHeadSize) {
      Fail(why, "a block with data but no data size");
      return TRarRead::Bad;
    }
    b.dataSize = Get32(reinterpret_cast<const uint8_t*>(head.data()) + 7);
  }
  // Service blocks share the file layout when they are long enough for it.
  if (b.type != kRarTypeFile && (b.type != kRarTypeService || b.headSize < kFileHeadSize)) return TRarRead::Ok;
  if (!carriesData || b.headSize < kFileHeadSize) {
    Fail(why, "a file header shorter than its fixed part");
    return TRarRead::Bad;
  }
  std::memcpy(h, head.data(), kFileHeadSize);
  b.unpacked = Get32(h + 11);
  b.host = h[15];
  b.crc = Get32(h + 16);
  b.dosDate = Get32(h + 20);
  b.unpVer = h[24];
  b.method = h[25];
  const uint16_t nameSize = Get16(h + 26);
  b.attr = Get32(h + 28);
  int nameAt = kFileHeadSize;
  if (b.flags & kRarLargeSizes) {
    if (b.headSize < kFileHeadSize + kHighSizes) {
      Fail(why, "a file header too short for its 64-bit sizes");
      return TRarRead::Bad;
    }
    const uint8_t* high = reinterpret_cast<const uint8_t*>(head.data()) + kFileHeadSize;
    b.dataSize |= static_cast<uint64_t>(Get32(high)) << 32;
    b.unpacked |= static_cast<uint64_t>(Get32(high + 4)) << 32;
    nameAt += kHighSizes;
  }
  if (nameAt + nameSize > b.headSize) {
    Fail(why, "a file name past the end of its header");
    return TRarRead::Bad;
  }
  b.nameField.assign(head, nameAt, nameSize);
  return TRarRead::Ok;
}

int ReadRarVolumeHead(const TRarReadAt& read, int64_t pos, int64_t& firstBlock, uint16_t& mainFlags, bool* rar5) {
  if (rar5) *rar5 = false;
  uint8_t head[kMarkerSize + kMainSize];
  const int64_t got = read(pos, head, sizeof head);
  if (got < kMarkerSize || std::memcmp(head, kMarker, sizeof kMarker) != 0) return E_BADFILEHEADER;
  if (head[kMarkerSize - 1] == 1 && got >= kMarkerSize + 1 && head[kMarkerSize] == 0) {
    if (rar5) *rar5 = true;
    firstBlock = pos + kMarkerSize + 1;
    return kUnsupportedVersion;
  }
  if (head[kMarkerSize - 1] != 0) return E_BADFILEHEADER;
  if (got != static_cast<int64_t>(sizeof head)) return E_READERROR;
  const uint8_t* m = head + kMarkerSize;
  const uint16_t size = Get16(m + 5);
  if (m[2] != kRarTypeMain || size < kMainSize) return E_BADFILEHEADER;
  mainFlags = Get16(m + 3);
  if (mainFlags & kRarMainHeadersEncrypted) return E_PASSWORDPROTECTED;
  firstBlock = pos + kMarkerSize + size;
  return 0;
}

std::string RarEntryName(const TRarBlock& b, bool translateOem) {
  const size_t nul = b.nameField.find('\0');
  const std::string single = b.nameField.substr(0, nul);
  std::string name;
  if ((b.flags & kRarUnicodeName) && nul != std::string::npos)
    name = Utf16ToUtf8(DecodeUnicodeName(single, std::string_view(b.nameField).substr(nul + 1)));
  if (name.empty()) {
    TNameOrigin origin;
    origin.utf8 = true;
    origin.unixHost = b.host == kRarHostUnix;
    origin.translateOem = translateOem;
    name = DecodeEntryName(single, origin);
  }
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

std::string RarNextVolumeName(const std::string& name, bool newNumbering) {
  const std::string folder = plat::ExtractFilePath(name);
  std::string file = plat::ExtractFileName(name);
  const size_t dot = file.rfind('.');
  if (newNumbering) {
    // the last run of digits before the extension
    size_t end = dot == std::string::npos ? file.size() : dot;
    while (end > 0 && !std::isdigit(static_cast<unsigned char>(file[end - 1]))) --end;
    size_t start = end;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(file[start - 1]))) --start;
    if (start == end) return std::string();
    size_t i = end;
    while (i > start && file[i - 1] == '9') file[--i] = '0';
    if (i == start) file.insert(start, "1");
    else ++file[i - 1];
    return folder + file;
  }
  if (dot == std::string::npos || file.size() - dot != 4) return folder + file + ".r00";
  char* ext = file.data() + dot + 1;
  const bool upper = std::isupper(static_cast<unsigned char>(ext[0])) != 0;
  if (std::tolower(static_cast<unsigned char>(ext[0])) == 'r' && std::tolower(static_cast<unsigned char>(ext[1])) == 'a' &&
      std::tolower(static_cast<unsigned char>(ext[2])) == 'r') {
    ext[1] = '0';
    ext[2] = '0';
    ext[0] = upper ? 'R' : 'r';
    return folder + file;
  }
  if (!std::isdigit(static_cast<unsigned char>(ext[1])) || !std::isdigit(static_cast<unsigned char>(ext[2])))
    return folder + file.substr(0, dot) + ".r00";
  if (ext[2] != '9') {
    ++ext[2];
  } else if (ext[1] != '9') {
    ext[2] = '0';
    ++ext[1];
  } else {
    if (ext[0] == 'z' || ext[0] == 'Z') return std::string();
    ext[1] = ext[2] = '0';
    ++ext[0];
  }
  return folder + file;
}

namespace {
// The main header behind the marker, its CRC checked (RAR 4: the low 16 bits
// of the CRC-32 of the header from its type on; RAR 5: the CRC-32 of the
// header from its size on).
bool RarProbeCheck(TByteSource& src, int64_t start) {
  uint8_t b[8 + 4 + 3 + 256];
  const int64_t got = src.ReadAt(start, b, sizeof b);
  if (got < 20) return false;
  if (b[6] == 0x00) {
    const uint8_t* m = b + 7;
    const unsigned size = Get16(m + 5);
    if (m[2] != 0x73 || size < 13 || 7 + size > got) return false;
    return (Crc32Of(m + 2, size - 2) & 0xFFFF) == Get16(m);
  }
  if (b[6] != 0x01 || b[7] != 0x00) return false;
  const uint8_t* m = b + 8;
  const uint32_t stored = Get32(m);
  unsigned size = 0, k = 0;
  for (int shift = 0; k < 3; shift += 7) {
    const uint8_t v = m[4 + k++];
    size |= static_cast<unsigned>(v & 0x7F) << shift;
    if (!(v & 0x80)) break;
  }
  if (size < 2 || 12 + k + size > got || m[4 + k] != 1) return false;  // type 1: the main header
  return Crc32Of(m + 4, k + size) == stored;
}
}  // namespace

const TProbe kRarProbe = {"Rar!\x1A\x07", 6, 0, RarProbeCheck};

}  // namespace zid
