#include "engine/other/zidZooHeader.h"

#include <algorithm>
#include <cstring>

#include "engine/base/zidByteSource.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidNames.h"
#include "engine/lha/zidLzh5.h"
#include "engine/other/zidCopyStored.h"
#include "engine/other/zidZooLzw.h"

namespace zid {

namespace {

constexpr int kFixedPart = 56;          // where the variable part begins
constexpr int kMaxVariablePart = 1024;  // a long name and a folder of at most 255 bytes each, and the rest
constexpr uint32_t kValidUnixAttr = 1u << 22;

std::string CString(const uint8_t* p, size_t max) {
  const void* nul = std::memchr(p, 0, max);
  return std::string(reinterpret_cast<const char*>(p), nul ? static_cast<const uint8_t*>(nul) - p : max);
}

}  // namespace

bool ReadZooArchiveHeader(const TZooReadAt& read, uint32_t* firstEntry, uint32_t* commentPos, uint16_t* commentSize) {
  uint8_t h[kZooArchiveHeaderSize];
  if (read(0, h, sizeof h) != static_cast<int64_t>(sizeof h)) return false;
  const uint32_t start = Get32(h + 24);
  const uint32_t minus = Get32(h + 28);
  if (static_cast<uint32_t>(start + minus) != 0) return false;
  if (firstEntry) *firstEntry = start;
  if (commentPos) *commentPos = Get32(h + 35);
  if (commentSize) *commentSize = Get16(h + 39);
  return true;
}

TZooRead ParseZooEntry(const TZooReadAt& read, int64_t pos, const uint8_t* h, TZooEntry& e) {
  e = TZooEntry{};
  e.offset = pos;
  if (Get32(h) != kZooTag) return TZooRead::Bad;
  e.type = h[4];
  e.method = h[5];
  e.next = Get32(h + 6);
  e.dataOffset = Get32(h + 10);
  e.dosDate = (static_cast<uint32_t>(Get16(h + 14)) << 16) | Get16(h + 16);
  e.crc = Get16(h + 18);
  e.originalSize = Get32(h + 20);
  e.packedSize = Get32(h + 24);
  e.majorVersion = h[28];
  e.minorVersion = h[29];
  e.deleted = h[30] != 0;
  e.commentPos = Get32(h + 32);
  e.commentSize = Get16(h + 36);
  e.shortName = CString(h + 38, 13);
  if (e.type != 2) return TZooRead::Ok;
  // the variable part: name and folder lengths, the long name, the folder,
  // the host id (2 bytes) and the file attributes (3 bytes)
  const int varLen = std::min<int>(Get16(h + 51), kMaxVariablePart);
  if (varLen < 2) return TZooRead::Ok;
  uint8_t v[kMaxVariablePart];
  const int64_t got = read(pos + kFixedPart, v, varLen);
  if (got < 2) return TZooRead::Ok;
  const int n = static_cast<int>(got);
  const int nameLen = v[0];
  const int dirLen = v[1];
  int p = 2;
  if (p + nameLen <= n) e.longName = CString(v + p, nameLen);
  p += nameLen;
  if (p + dirLen <= n) e.folder = CString(v + p, dirLen);
  p += dirLen;
  if (p + 5 <= n) {
    const uint16_t system = Get16(v + p);
    const uint32_t attr = v[p + 2] | (v[p + 3] << 8) | (static_cast<uint32_t>(v[p + 4]) << 16);
    if (system == 0 && (attr & kValidUnixAttr)) e.unixMode = attr & 0777;
  }
  return TZooRead::Ok;
}

TZooRead ReadZooEntry(const TZooReadAt& read, int64_t pos, TZooEntry& e) {
  // The end marker at the end of the file may be shorter than a full entry.
  uint8_t h[kZooEntrySize] = {};
  const int64_t got = read(pos, h, kZooEntrySize);
  e = TZooEntry{};
  if (got < kZooMinEntry) return TZooRead::Bad;
  const TZooRead r = ParseZooEntry(read, pos, h, e);
  if (r == TZooRead::Ok && e.next != 0 && got < kZooEntrySize) return TZooRead::Bad;
  // The fixed part: 51 bytes in type 1 entries, 56 in type 2 (zoo writes its end marker whole).
  e.cut = e.next == 0 && got < (e.type == 2 ? 56 : 51);
  return r;
}

std::string ZooEntryName(const TZooEntry& e, bool translateOem, bool forExtraction) {
  const std::string& name = e.longName.empty() ? e.shortName : e.longName;
  TNameOrigin origin;
  origin.unixHost = true;  // valid UTF-8 stays
  origin.translateOem = translateOem;
  // decoded whole, then split: a "\\" in the stored folder may be the second
  // byte of a Shift-JIS character
  std::string path = DecodeEntryPath(e.folder.empty() ? name : e.folder + '/' + name, origin);
  if (!forExtraction) return path;
  // the folder's "." and ".." parts are dropped
  const size_t last = path.rfind('/');
  if (last == std::string::npos) return path;
  std::string kept;
  size_t i = 0;
  while (i < last) {
    size_t j = path.find('/', i);
    const std::string part = path.substr(i, j - i);
    if (!part.empty() && part != "." && part != "..") kept += part + '/';
    i = j + 1;
  }
  return kept + path.substr(last + 1);
}

namespace {

int ZooStored(const TDecodeJob& job, const TMethod&, uint32_t) { return CopyStored(job); }
int ZooLzw(const TDecodeJob& job, const TMethod&, uint32_t) { return ZooLzwDecode(job); }
int ZooLzh(const TDecodeJob& job, const TMethod& m, uint32_t) { return LzhDecode(job, LzhParamsOf(m)); }

}  // namespace

const TMethodTable& ZooMethods() {
  static const TMethodTable table = {
      {0, nullptr, "Stored", ZooStored},
      {1, nullptr, "Fastest", ZooLzw, 13},
      {2, nullptr, "Greatest", ZooLzh, 13, 4},
  };
  return table;
}

namespace {
bool ZooProbeCheck(TByteSource& src, int64_t start) {
  uint32_t first = 0;
  auto read = [&src, start](int64_t pos, void* buf, int64_t n) { return src.ReadAt(start + pos, buf, n); };
  return ReadZooArchiveHeader(read, &first) && start + first < src.Size();
}
}  // namespace

const TProbe kZooProbe = {"\xDC\xA7\xC4\xFD", 4, 20, ZooProbeCheck};

TResyncProbe ZooResyncProbe(const TZooReadAt& read, int64_t size) {
  TResyncProbe probe;
  probe.magic = std::string_view("\xDC\xA7\xC4\xFD", 4);
  probe.good = [read, size](int64_t at) {
    TZooEntry e;
    return ReadZooEntry(read, at, e) == TZooRead::Ok && (e.next == 0 || (e.next > at && e.next < size)) &&
           int64_t{e.dataOffset} + e.packedSize <= size;
  };
  return probe;
}

}  // namespace zid
