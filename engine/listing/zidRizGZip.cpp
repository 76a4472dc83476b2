// The directory reader's GZIP walker: one entry per file, gzip or Unix
// compress, named as the GZIP extractor names its output. A gzip member's
// CRC-32 and length come from the trailer at the end of the file (for a file
// of several members, those of the last one); compress keeps neither, so its
// entry is sized as the data.
#include <string>

#include "engine/base/zidBytes.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidGunzip.h"
#include "engine/other/zidUnGZip.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr uint8_t kLzwMagic1 = 0x9D;
constexpr uint8_t kPackMagic1 = 0x1E;
constexpr uint8_t kLzhMagic1 = 0xA0;
constexpr int kLzwMethod = 144;  // the name table's entry for compress
constexpr int64_t kLzwHeaderBytes = 3;
constexpr uint32_t kNormalFile = 0x80;

class TGZipWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override { r.SetHeaderLength(kGzipHeaderSize); }
  void Step(TRizER& r) override;
};

void TGZipWalker::Step(TRizER& r) {
  const uint8_t* h = r.HeaderBuf();
  const uint8_t m1 = h[1];
  const bool gzip = m1 == kGzipMagic1 || m1 == kGzipOldMagic1;
  if (h[0] != kGzipMagic0 || !(gzip || m1 == kLzwMagic1 || m1 == kPackMagic1 || m1 == kLzhMagic1)) return r.EndWalk();
  const int64_t size = r.WalkSize();
  const std::string archive = r.GetArchiveFile();
  const plat::FileInfo fi = plat::FileStat(archive);
  std::string name;
  r.FileDate = fi.exists ? UnixToFileDate(fi.mtime) : kInvalidFileDate;
  r.Encrypted = false;
  r.CRC = 0;
  if (gzip) {
    TGzipHeader g;
    int64_t pos = r.HeaderOffset();
    const TGzipParse p = ParseGzipHeader(
        [&r, &pos] {
          uint8_t b;
          return r.ReadAt(pos++, &b, 1) == 1 ? static_cast<int>(b) : -1;
        },
        g);
    std::string stored;
    if (g.hasName) stored = r.DecodeName(g.name, false, true);
    name = GzipMemberName(archive, g.hasName ? &stored : nullptr, (g.flags & kGzText) != 0);
    r.Encrypted = p == TGzipParse::Encrypted;
    if (g.mtime != 0) r.FileDate = UnixToFileDate(g.mtime);
    uint8_t t[kGzipTrailerSize] = {};
    if (size >= kGzipHeaderSize + kGzipTrailerSize && r.ReadAt(size - kGzipTrailerSize, t, kGzipTrailerSize) ==
                                                            kGzipTrailerSize) {
      r.CRC = Get32(t);
      r.UnpackedSize = Get32(t + 4);
    }
    r.PackedSize = std::max<int64_t>(0, size - g.headerSize - kGzipTrailerSize);
    r.MethodId = h[2];
    r.MethodName = GZipMethods().Name(h[2]);
  } else {
    name = GzipMemberName(archive, nullptr, false);
    r.PackedSize = r.UnpackedSize = std::max<int64_t>(0, size - kLzwHeaderBytes);
    r.MethodId = h[2];
    const int method = m1 == kLzwMagic1 ? kLzwMethod : m1 == kPackMagic1 ? kGzPackMagic : kGzLzhMagic;
    r.MethodName = GZipMethods().Name(method);
  }
  // The length of a member is known only modulo 4 GiB, and not at all for compress.
  if (r.UnpackedSize < r.PackedSize) r.UnpackedSize = r.PackedSize;
  r.VersionMadeBy = r.VersionNeeded = 0;
  r.ExternalAttr = fi.attr == kNormalFile ? 0 : fi.attr;
  r.InternalAttr = 0;
  r.AcceptName(name, r.RecurseDirs);  // one entry per file: listed whatever the filter says
  r.ReportEntry(false, false, r.HeaderOffset());
  r.EndWalk();
}

}  // namespace

std::unique_ptr<TRizWalker> MakeGZipWalker(TArcType) { return std::make_unique<TGZipWalker>(); }

}  // namespace zid
