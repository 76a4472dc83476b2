#include "platform/codepage.h"

#include <cstdint>
#include <cstring>

namespace plat {

namespace {

// CP437 bytes 0x80..0xFF as Unicode code points (the IBM PC glyph set).
constexpr uint16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,  // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,  // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,  // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,  // F8
};


int FindOem(uint32_t cp) {
  if (cp < 0x80) return static_cast<int>(cp);
  for (int k = 0; k < 128; ++k) {
    if (kCp437High[k] == cp) return 0x80 + k;
  }
  return -1;
}

}  // namespace

int32_t NextCodePoint(std::string_view s, size_t& i) {
  auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len;
  uint32_t cp;
  uint32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return -1;
  }
  if (s.size() - i < static_cast<size_t>(len)) return -1;
  for (int k = 1; k < len; ++k) {
    auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
    if ((b & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  i += static_cast<size_t>(len);
  return static_cast<int32_t>(cp);
}


void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string OemToAnsi(std::string_view oem) {
  std::string out;
  out.reserve(oem.size());
  for (char c : oem) {
    auto b = static_cast<unsigned char>(c);
    AppendUtf8(out, b < 0x80 ? b : kCp437High[b - 0x80]);
  }
  return out;
}

bool AnsiToOem(std::string_view ansi, std::string& out) {
  std::string result;
  result.reserve(ansi.size());
  size_t i = 0;
  while (i < ansi.size()) {
    int32_t cp = NextCodePoint(ansi, i);
    if (cp < 0) return false;
    int b = FindOem(static_cast<uint32_t>(cp));
    if (b < 0) return false;
    result += static_cast<char>(b);
  }
  out = std::move(result);
  return true;
}

namespace {

// Where the first byte of 0x80 or more lies (s.size() when none): eight bytes
// at a time, as names are nearly always ASCII and this runs once per entry.
size_t AsciiPrefix(std::string_view s) {
  size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + i, 8);
    if (w & 0x8080808080808080ull) break;
  }
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

}  // namespace

bool IsValidUtf8(std::string_view s) {
  size_t i = AsciiPrefix(s);
  while (i < s.size()) {
    if (NextCodePoint(s, i) < 0) return false;
  }
  return true;
}

bool IsAscii(std::string_view s) { return AsciiPrefix(s) == s.size(); }

}  // namespace plat
