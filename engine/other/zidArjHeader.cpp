#include "engine/other/zidArjHeader.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/base/zidByteSource.h"
#include "engine/base/zidBytes.h"
#include "engine/base/zidCrc.h"
#include "engine/base/zidNames.h"
#include "platform/paths.h"
#include "engine/lha/zidLzh5.h"
#include "engine/other/zidArj4.h"
#include "engine/other/zidCopyStored.h"

namespace zid {

namespace {

TArjRead Bad(std::string* why, const char* text) {
  if (why) *why = text;
  return TArjRead::Bad;
}

}  // namespace

TArjRead ReadArjHeader(const TArjReadAt& read, int64_t pos, TArjHeader& h, std::string* why) {
  uint8_t pre[4];
  if (read(pos, pre, 4) != 4) return Bad(why, "the archive ends inside a header");
  if (pre[0] != 0x60 || pre[1] != 0xEA) return Bad(why, "no header id");
  h = TArjHeader{};
  h.offset = pos;
  h.basicSize = Get16(pre + 2);
  if (h.basicSize == 0) return TArjRead::End;
  if (h.basicSize > kArjMaxBasicHeader) return Bad(why, "header size past 2600 bytes");
  // basic header and its CRC
  std::vector<uint8_t> b(h.basicSize + 4u);
  if (read(pos + 4, b.data(), static_cast<int64_t>(b.size())) != static_cast<int64_t>(b.size()))
    return Bad(why, "the archive ends inside a header");
  if (Crc32Of(b.data(), h.basicSize) != Get32(b.data() + h.basicSize)) return Bad(why, "header CRC mismatch");
  h.firstSize = b[0];
  if (h.firstSize < kArjFixedPart || h.firstSize >= h.basicSize) return Bad(why, "impossible first header size");
  h.version = b[1];
  h.minVersion = b[2];
  h.hostOs = b[3];
  h.flags = b[4];
  h.method = b[5];
  h.fileType = b[6];
  h.modifier = b[7];
  h.dosDate = Get32(b.data() + 8);
  h.packedSize = Get32(b.data() + 12);
  h.originalSize = Get32(b.data() + 16);
  h.crc = Get32(b.data() + 20);
  h.accessMode = Get16(b.data() + 26);
  h.encryptionVersion = b[28];
  const uint8_t* name = b.data() + h.firstSize;
  const void* nul = std::memchr(name, 0, h.basicSize - h.firstSize);
  if (nul == nullptr) return Bad(why, "unterminated name");
  h.rawName.assign(reinterpret_cast<const char*>(name), static_cast<const uint8_t*>(nul) - name);
  // The comment follows the name's NUL; one without its own NUL runs to the header's end.
  const uint8_t* comment = static_cast<const uint8_t*>(nul) + 1;
  const uint8_t* end = b.data() + h.basicSize;
  if (comment < end) {
    const void* cnul = std::memchr(comment, 0, static_cast<size_t>(end - comment));
    h.rawComment.assign(reinterpret_cast<const char*>(comment),
                        (cnul ? static_cast<const uint8_t*>(cnul) : end) - comment);
  }
  // extended headers: size, bytes, CRC-32, until a size of 0
  int64_t p = pos + 4 + h.basicSize + 4;
  for (;;) {
    uint8_t sz[2];
    if (read(p, sz, 2) != 2) return Bad(why, "the archive ends inside a header");
    p += 2;
    const uint16_t n = Get16(sz);
    if (n == 0) break;
    std::vector<uint8_t> ext(n + 4u);
    if (read(p, ext.data(), static_cast<int64_t>(ext.size())) != static_cast<int64_t>(ext.size()))
      return Bad(why, "the archive ends inside an extended header");
    if (Crc32Of(ext.data(), n) != Get32(ext.data() + n)) return Bad(why, "extended header CRC mismatch");
    p += n + 4;
  }
  h.dataOffset = p;
  return TArjRead::Ok;
}

std::string ArjEntryName(const TArjHeader& h, bool translateOem) {
  TNameOrigin origin;
  origin.unixHost = true;  // valid UTF-8 stays whatever the host
  origin.translateOem = translateOem;
  return DecodeEntryName(h.rawName, origin);
}

std::string ArjVolumeName(const std::string& archive, int n, char letter) {
  if (archive.empty() || n < 0) return std::string();
  char ext[16];
  if (n < 100) std::snprintf(ext, sizeof ext, ".%c%02d", letter, n);
  else std::snprintf(ext, sizeof ext, ".%d", n);
  return plat::ChangeFileExt(archive, ext);
}

namespace {

int ArjStored(const TDecodeJob& job, const TMethod&, uint32_t) { return CopyStored(job); }
int ArjLzh(const TDecodeJob& job, const TMethod&, uint32_t) { return LzhDecode(job, kLzhArj); }
int ArjFast(const TDecodeJob& job, const TMethod&, uint32_t) { return ArjDecode4(job); }

}  // namespace

const TMethodTable& ArjMethods() {
  static const TMethodTable table = {
      {0, nullptr, "Stored", ArjStored},       {1, nullptr, "Most", ArjLzh, 16, 5},
      {2, nullptr, "2nd Most", ArjLzh, 16, 5}, {3, nullptr, "2nd Fast", ArjLzh, 16, 5},
      {4, nullptr, "Fastest", ArjFast},
  };
  return table;
}

namespace {
bool ArjProbeCheck(TByteSource& src, int64_t start) {
  TArjHeader h;
  auto read = [&src](int64_t pos, void* buf, int64_t n) { return src.ReadAt(pos, buf, n); };
  return ReadArjHeader(read, start, h) == TArjRead::Ok && h.fileType == 2;
}
}  // namespace

const TProbe kArjProbe = {"\x60\xEA", 2, 0, ArjProbeCheck};

TResyncProbe ArjResyncProbe(const TArjReadAt& read) {
  TResyncProbe probe;
  probe.magic = std::string_view("\x60\xEA", 2);
  probe.good = [read](int64_t at) {
    TArjHeader h;
    return ReadArjHeader(read, at, h) == TArjRead::Ok && h.fileType != 2;  // 2: a main header
  };
  return probe;
}

}  // namespace zid
