#include "engine/lha/zidLhaHeader.h"

#include "platform/codepage.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/base/zidByteSource.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidNames.h"

namespace zid {

namespace {

constexpr int kBaseSize = 22;
// Bounds for hostile headers: no writer comes near them.
constexpr int64_t kMaxLevel3Header = int64_t{1} << 20;
constexpr int64_t kMaxLevel1Extensions = int64_t{1} << 20;
constexpr int kMaxExtensions = 4096;
// Windows FILETIME (100 ns since 1601) of the Unix epoch.
constexpr uint64_t kFileTimeUnixEpoch = 116444736000000000ull;

// A level-2 header whose 16-bit size has a zero low byte starts with 0 like
// the end marker; its method and level tell them apart.
bool LooksLevel2(const uint8_t* b) { return b[20] == 2 && b[2] == '-' && b[6] == '-' && Get16(b) >= 26; }

// UTF-16LE (the Unicode name extensions) to UTF-8; `sep` 0xFFFF or "\" become "/".
std::string Utf16ToUtf8(const uint8_t* p, uint32_t n) {
  std::string out;
  for (uint32_t i = 0; i + 1 < n; i += 2) {
    uint32_t c = Get16(p + i);
    if (c == 0xFFFF || c == '\\') c = '/';
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < n) {
      uint32_t lo = Get16(p + i + 2);
      if (lo >= 0xDC00 && lo < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
    }
    if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;  // a lone surrogate
    plat::AppendUtf8(out, c);
  }
  return out;
}

// 0xFF, the folder separator of level-2 folder extensions, as "/". It is
// never a byte of a character in the multibyte pages; "\\" may be (the
// second byte of a Shift-JIS character), so that one is left to the decoded
// name (DecodeEntryPath).
std::string FolderSeparators(std::string s) {
  for (char& c : s)
    if (static_cast<uint8_t>(c) == 0xFF) c = '/';
  return s;
}

class TParser {
 public:
  TParser(const TLhaReadAt& read, TLhaHeader& h, bool translateOem) : read_(read), h_(h) {
    origin_.unixHost = true;  // a valid UTF-8 name stays as it is
    origin_.translateOem = translateOem;
  }

  TLhaParse Parse(int64_t offset) {
    h_ = TLhaHeader{};
    h_.offset = offset;
    uint8_t b[kBaseSize] = {};
    int64_t got = read_(offset, b, kBaseSize);
    if (got <= 0) return lhEnd;
    if (b[0] == 0 && (got < kBaseSize || !LooksLevel2(b))) return lhEnd;
    if (got < kBaseSize) return lhTruncated;
    std::memcpy(h_.method, b + 2, 5);
    h_.packedSize = Get32(b + 7);
    h_.originalSize = Get32(b + 11);
    h_.attr = b[19];
    h_.level = b[20];
    TLhaParse r;
    switch (h_.level) {
      case 0:
      case 1: r = Level01(b); break;
      case 2:
      case 3: r = Level23(b); break;
      default: return lhBad;
    }
    if (r != lhOk) return r;
    Finish();
    return lhOk;
  }

 private:
  TLhaParse Level01(const uint8_t* b) {
    const unsigned size = b[0];
    const unsigned n = b[21];
    const unsigned fixedAfterName = h_.level == 0 ? 2 : 5;  // CRC-16 (level 1: OS id, extension size)
    if (size < kBaseSize || n + kBaseSize - 2 + fixedAfterName > size) return lhBad;
    uint8_t head[257 + 2];
    const int64_t total = size + 2;
    if (read_(h_.offset, head, total) != total) return lhTruncated;
    // The header sum, as LHa and lhasa check it: a damaged header is not
    // believed (its sizes would lead the walk astray).
    unsigned sum = 0;
    for (int64_t i = 2; i < total; ++i) sum += head[i];
    if ((sum & 0xFF) != head[1]) return lhBad;
    h_.dosTime = Get32(head + 15);
    name_.assign(reinterpret_cast<const char*>(head + kBaseSize), n);
    const unsigned after = kBaseSize + n;
    h_.crc = Get16(head + after);
    int64_t data = h_.offset + total;
    if (h_.level == 0) {
      // LHa for Unix extends level 0: OS id 'U', a version byte, Unix time, mode, uid, gid.
      const unsigned extra = total - after - 2;
      if (extra >= 1) h_.osId = head[after + 2];
      if (extra >= 12 && h_.osId == 'U') {
        h_.unixTime = Get32(head + after + 4);
        h_.unixMode = Get16(head + after + 8);
      }
    } else {
      h_.osId = head[after + 2];
      uint32_t next = Get16(head + total - 2);
      int64_t extBytes = 0;
      int count = 0;
      std::vector<uint8_t> ext;
      while (next != 0) {
        if (next < 3 || ++count > kMaxExtensions || extBytes + next > kMaxLevel1Extensions) return lhBad;
        ext.resize(next);
        if (read_(data + extBytes, ext.data(), next) != static_cast<int64_t>(next)) return lhTruncated;
        Extension(ext.data(), next - 2);
        extBytes += next;
        next = Get16(ext.data() + next - 2);
      }
      if (extBytes > h_.packedSize) return lhBad;
      h_.packedSize -= extBytes;
      data += extBytes;
    }
    h_.dataOffset = data;
    return lhOk;
  }

  TLhaParse Level23(const uint8_t* b) {
    const bool l3 = h_.level == 3;
    const unsigned w = l3 ? 4 : 2;  // width of the size fields
    int64_t total;
    std::vector<uint8_t> head;
    if (l3) {
      if (Get16(b) != 4) return lhBad;
      uint8_t more[8];
      if (read_(h_.offset + kBaseSize + 2, more, 4) != 4) return lhTruncated;
      total = Get32(more);
      if (total < 32 || total > kMaxLevel3Header) return lhBad;
    } else {
      total = Get16(b);
      if (total < 26) return lhBad;
    }
    // OSK LHa leaves the 2 size bytes out of a level-2 header's size: read
    // them too, in case the extension chain needs them.
    const int64_t extra = l3 ? 0 : 2;
    head.resize(static_cast<size_t>(total + extra));
    const int64_t got = read_(h_.offset, head.data(), total + extra);
    if (got < total) return lhTruncated;
    h_.unixTime = Get32(head.data() + 15);
    h_.crc = Get16(head.data() + 21);
    h_.osId = head[23];
    int64_t pos = l3 ? 28 : 24;
    uint32_t next = l3 ? Get32(head.data() + pos) : Get16(head.data() + pos);
    pos += w;
    int count = 0;
    while (next != 0) {
      // the chain must stay inside the header; whatever follows it is padding
      if (pos + next > total && pos + next == total + extra && got == total + extra) total += extra;
      if (next < 1 + w || ++count > kMaxExtensions || pos + next > total) return lhBad;
      const uint8_t* e = head.data() + pos;
      Extension(e, next - w);
      pos += next;
      next = l3 ? Get32(e + next - w) : Get16(e + next - w);
    }
    h_.dataOffset = h_.offset + total;
    return lhOk;
  }

  // One extended header: e[0] is its type, e[1..len) its data.
  void Extension(const uint8_t* e, uint32_t len) {
    const uint8_t* d = e + 1;
    const uint32_t n = len - 1;
    switch (e[0]) {
      case 0x01: name_.assign(reinterpret_cast<const char*>(d), n); break;
      case 0x02: folder_.assign(reinterpret_cast<const char*>(d), n); break;
      case 0x44:
        wideName_ = Utf16ToUtf8(d, n);
        hasWideName_ = true;
        break;
      case 0x45:
        wideFolder_ = Utf16ToUtf8(d, n);
        hasWideFolder_ = true;
        break;
      case 0x40:
        if (n >= 2) h_.attr = d[0];
        break;
      case 0x41:
        // Windows times: creation, last write, last access
        if (n >= 16) {
          uint64_t ft = Get64(d + 8);
          if (ft > kFileTimeUnixEpoch) h_.unixTime = static_cast<int64_t>((ft - kFileTimeUnixEpoch) / 10000000);
          fileTime_ = true;
        }
        break;
      case 0x42:
        // 64-bit sizes; beyond 2^62 they cannot be real
        if (n >= 16) {
          uint64_t packed = Get64(d), original = Get64(d + 8);
          if (packed < (uint64_t{1} << 62) && original < (uint64_t{1} << 62)) {
            h_.packedSize = static_cast<int64_t>(packed);
            h_.originalSize = static_cast<int64_t>(original);
          }
        }
        break;
      case 0x50:
        if (n >= 2) h_.unixMode = Get16(d);
        break;
      case 0x54:
        if (n >= 4 && !fileTime_) h_.unixTime = Get32(d);
        break;
      default: break;  // header CRC, comments, owners, OS/2 and other attributes
    }
  }

  void Finish() {
    h_.isDir = h_.MethodChar() == 'd';
    // Amiga writers put the file's comment after a NUL in the name field
    name_.resize(std::min(name_.size(), name_.find('\0')));
    h_.rawName = Join(FolderSeparators(folder_), FolderSeparators(name_));
    // names in the Unicode extensions are UTF-16 whatever the code page
    const bool wide = hasWideName_ || hasWideFolder_;
    std::string decoded =
        wide ? Join(hasWideFolder_ ? wideFolder_ : DecodeEntryPath(FolderSeparators(folder_), origin_),
                    hasWideName_ ? wideName_ : DecodeEntryPath(FolderSeparators(name_), origin_))
             : DecodeEntryPath(h_.rawName, origin_);
    if (h_.isDir) {
      // LHa for Unix keeps a symbolic link as a folder entry "link|target"
      // with the link's Unix file type; the bar is looked for in the decoded
      // name, as it too may be the second byte of a Shift-JIS character
      bool link = (h_.unixMode & 0xF000) == 0xA000;
      const size_t bar = decoded.find('|');
      if (bar != std::string::npos) {
        h_.linkTarget = decoded.substr(bar + 1);
        decoded.resize(bar);
        link = true;
      }
      h_.isSymlink = link;
    }
    h_.name = decoded;
    h_.nextOffset = h_.dataOffset + h_.packedSize;
  }

  static std::string Join(std::string folder, const std::string& name) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + name;
  }

  const TLhaReadAt& read_;
  TLhaHeader& h_;
  TNameOrigin origin_;
  std::string name_;
  std::string folder_;
  std::string wideName_;
  std::string wideFolder_;
  bool hasWideName_ = false;
  bool hasWideFolder_ = false;
  bool fileTime_ = false;
};

}  // namespace

namespace {

// A header a writer made: a known method and, for levels 0 and 1, the
// header checksum (the sum of the header bytes after the first two).
bool LooksReal(const TLhaReadAt& read, int64_t offset) {
  TLhaHeader h;
  if (ReadLhaHeader(read, offset, h) != lhOk) return false;
  const std::string id = h.MethodId();
  if (id.compare(0, 3, "-lh") != 0 && id.compare(0, 3, "-lz") != 0) return false;
  if (h.level > 1) return true;
  uint8_t head[257 + 2];
  const int64_t got = read(offset, head, 2);
  if (got != 2) return false;
  const int64_t n = head[0];
  if (read(offset + 2, head + 2, n) != n) return false;
  unsigned sum = 0;
  for (int64_t i = 0; i < n; ++i) sum += head[2 + i];
  return (sum & 0xFF) == head[1];
}

int64_t FindRealHeader(const TLhaReadAt& read, int64_t from, int64_t span) {
  constexpr int64_t kChunk = 65536;
  std::vector<uint8_t> buf(kChunk + 8);
  for (int64_t base = from; base < from + span; base += kChunk) {
    const int64_t got = read(base, buf.data(), kChunk + 8);
    if (got < 8) break;
    for (int64_t i = 0; i + 7 <= got && i < kChunk; ++i) {
      if (buf[i + 2] == '-' && buf[i + 3] == 'l' && buf[i + 6] == '-' && LooksReal(read, base + i)) return base + i;
    }
  }
  return -1;
}

}  // namespace

int64_t LhaFirstHeader(const TLhaReadAt& read, int64_t start, bool selfExtractor) {
  uint8_t b[kBaseSize] = {};
  int64_t got = read(start, b, kBaseSize);
  int64_t first = start;
  if (got >= 1 && b[0] == 0 && !(got == kBaseSize && LooksLevel2(b))) first = start + 128;
  if (selfExtractor && !LooksReal(read, first)) {
    const int64_t found = FindRealHeader(read, start + 1, int64_t{4} << 20);
    if (found >= 0) first = found;
  }
  return first;
}

TLhaParse ReadLhaHeader(const TLhaReadAt& read, int64_t offset, TLhaHeader& h, bool translateOem) {
  TParser parser(read, h, translateOem);
  return parser.Parse(offset);
}

namespace {
bool LhaProbeCheck(TByteSource& src, int64_t start) {
  return LooksReal([&src](int64_t pos, void* buf, int64_t n) { return src.ReadAt(pos, buf, n); }, start);
}
}  // namespace

const TProbe kLhaProbe = {"-l", 2, 2, LhaProbeCheck};

}  // namespace zid
