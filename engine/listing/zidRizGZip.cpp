// The directory reader's walker of the single-stream files: gzip, Unix
// compress and the filters of engine/filter. When the decoded bytes are a
// tar, its entries are listed as the TAR walker lists them, read as they are
// decoded; otherwise the file is one entry, named as the GZIP extractor
// names its output and sized by decoding it (a gzip file of several members
// holds the sum of them). A gzip member's CRC-32 comes from the last trailer.
#include <string>

#include "engine/base/zidBytes.h"
#include "engine/filter/zidFilteredData.h"
#include "engine/filter/zidFilters.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "engine/other/zidGunzip.h"
#include "engine/other/zidTarHeader.h"
#include "engine/other/zidUnGZip.h"
#include "platform/files.h"

namespace zid {

namespace {

constexpr uint8_t kLzwMagic1 = 0x9D;
constexpr uint8_t kPackMagic1 = 0x1E;
constexpr uint8_t kLzhMagic1 = 0xA0;
constexpr int64_t kLzwHeaderBytes = 3;
constexpr uint32_t kNormalFile = 0x80;

class TGZipWalker : public TRizWalker {
 public:
  void Setup(TRizER& r) override { r.SetHeaderLength(kGzipHeaderSize); }
  void Step(TRizER& r) override;

 private:
  // Lists the tar inside, when the data are one; false when they are not.
  bool ListNestedTar(TRizER& r, TFilteredData& data);
};

// The archive's bytes as the filter's input, read through the walker's window.
TDecodeSource WalkSource(TRizER& r) {
  TDecodeSource src;
  src.budget = r.WalkSize();
  src.read = [&r, pos = int64_t{0}](uint8_t* buf, int64_t n) mutable {
    const int64_t got = r.ReadAt(pos, buf, std::min(n, r.WalkSize() - pos));
    pos += std::max<int64_t>(got, 0);
    return got;
  };
  return src;
}

bool TGZipWalker::ListNestedTar(TRizER& r, TFilteredData& data) {
  uint8_t b[kTarBlock];
  if (data.ReadAt(0, b, kTarBlock) != kTarBlock || !TarChecksumOk(b) || TarBlockIsZero(b)) return false;
  TTarScanner scan([&data](int64_t pos, uint8_t* buf, int64_t n) { return data.ReadAt(pos, buf, n); },
                   int64_t{1} << 60, 0);
  TTarItem item;
  TTarStep step;
  while ((step = scan.Next(item)) == TTarStep::Entry && !r.Cancelled()) ListTarItem(r, item);
  if (step == TTarStep::BadHeader || data.Status() == drInvalidData)
    r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, E_BADFILEHEADER);
  else if (step == TTarStep::Truncated || data.Status() == drInputExhausted)
    r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, E_READERROR);
  r.EndWalk();
  return true;
}

void TGZipWalker::Step(TRizER& r) {
  const uint8_t* h = r.HeaderBuf();
  const uint8_t m1 = h[1];
  const bool gzip = m1 == kGzipMagic1 || m1 == kGzipOldMagic1;
  uint8_t head[kFilterSignatureLen] = {};
  const TFilter* filter = FilterBySignature(head, r.ReadAt(0, head, kFilterSignatureLen));
  const bool library = filter != nullptr && filter->makeStep != nullptr;
  if (!library && (h[0] != kGzipMagic0 || !(gzip || m1 == kLzwMagic1 || m1 == kPackMagic1 || m1 == kLzhMagic1)))
    return r.EndWalk();
  // The decoded size: known only by decoding (a gzip trailer holds it modulo 4 GiB, per member).
  int64_t decoded = -1;
  if (filter != nullptr) {
    TFilteredData data([&r, filter] { return OpenFilter(*filter, WalkSource(r), r.CancelFlag()); });
    if (ListNestedTar(r, data)) return;
    uint8_t buf[65536];
    for (int64_t pos = 0;; pos += sizeof buf)
      if (data.ReadAt(pos, buf, sizeof buf) < static_cast<int64_t>(sizeof buf)) break;
    decoded = data.Status() == drOk ? data.KnownSize() : -1;
  }
  const int64_t size = r.WalkSize();
  const std::string archive = r.GetArchiveFile();
  const plat::FileInfo fi = plat::FileStat(archive);
  std::string name;
  r.FileDate = fi.exists ? UnixToFileDate(fi.mtime) : kInvalidFileDate;
  r.Encrypted = false;
  r.CRC = 0;
  if (library) {
    name = GzipMemberName(archive, nullptr, false);
    r.PackedSize = size;
    r.UnpackedSize = std::max<int64_t>(decoded, 0);
    r.MethodId = filter->method;
    r.MethodName = GZipMethods().Name(filter->method);
  } else if (gzip) {
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
      r.UnpackedSize = decoded >= 0 ? decoded : Get32(t + 4);
    }
    r.PackedSize = std::max<int64_t>(0, size - g.headerSize - kGzipTrailerSize);
    r.MethodId = h[2];
    r.MethodName = GZipMethods().Name(h[2]);
  } else {
    name = GzipMemberName(archive, nullptr, false);
    r.PackedSize = r.UnpackedSize = std::max<int64_t>(0, size - kLzwHeaderBytes);
    if (decoded >= 0) r.UnpackedSize = decoded;
    r.MethodId = h[2];
    const int method = m1 == kLzwMagic1 ? kGzLzwMethod : m1 == kPackMagic1 ? kGzPackMagic : kGzLzhMagic;
    r.MethodName = GZipMethods().Name(method);
  }
  // Without decoding, the length is known only modulo 4 GiB, and not at all for compress.
  if (decoded < 0 && r.UnpackedSize < r.PackedSize) r.UnpackedSize = r.PackedSize;
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
