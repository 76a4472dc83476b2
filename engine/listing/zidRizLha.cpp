// The directory reader's LHA walker: LHA/LZH archives and their
// self-extractors, headers of levels 0 to 3 read by the same header reader
// as the extractor. -lhd- entries are folders; symbolic links kept by LHa for
// Unix are listed under the link's name. The end marker (a 0 byte) or the
// end of the file ends the walk quietly; after a malformed header (25114)
// the walk goes on at the next good one; a header cut short by the end of
// the file ends it with 25236.
#include <algorithm>
#include <string>

#include "engine/lha/zidLhaMethods.h"
#include "engine/lha/zidLhaHeader.h"
#include "engine/listing/zidRizER.h"
#include "engine/listing/zidRizSteps.h"
#include "engine/listing/zidRizWalker.h"
#include "platform/datetime.h"

namespace zid {

namespace {

constexpr int kBaseHeader = 22;
constexpr uint32_t kInternalAttr = 32;

class TLhaWalker : public TRizWalker {
 public:
  explicit TLhaWalker(TArcType type) : selfExtractor_(type == atLhaExe || type == atLzhExe) {}
  void Setup(TRizER& r) override;
  void Step(TRizER& r) override;

 private:
  bool selfExtractor_;
};

TLhaReadAt ReaderOf(TRizER& r) {
  return [&r](int64_t pos, void* buf, int64_t n) { return r.ReadAt(pos, buf, n); };
}

void TLhaWalker::Setup(TRizER& r) {
  r.StartOffset = LhaFirstHeader(ReaderOf(r), r.StartOffset, selfExtractor_);
  r.SetHeaderLength(kBaseHeader);
}

void TLhaWalker::Step(TRizER& r) {
  const int64_t start = r.HeaderOffset();
  TLhaHeader h;
  const TLhaParse step = ReadLhaHeader(ReaderOf(r), start, h, r.TranslateOemChar);
  if (step == lhBad || step == lhTruncated) {
    // A header that seems cut short may be a damaged one with good headers after it.
    TReadAtSource src([&r](int64_t p, void* buf, int64_t n) { return r.ReadAt(p, buf, n); }, r.WalkSize());
    const TResyncProbe probe = ResyncByProbe(kLhaProbe, src);
    const TResyncReadAt read = [&r](int64_t p, void* buf, int64_t n) { return r.ReadAt(p, buf, n); };
    if (step == lhBad || FindNextHeader(read, start, r.WalkSize(), probe) >= 0)
      return ResyncOrEnd(r, probe, "bad LHA header");
  }
  if (step != lhOk) {
    if (step == lhTruncated) r.ReportError(r.GetArchiveFile(), std::string(), r.VolumeName, E_READERROR);
    return r.EndWalk();
  }
  // The next header lies past this one's data: the walk always moves on.
  r.NextOffset = h.nextOffset;

  std::string name = h.name;
  while (h.isDir && !h.isSymlink && !name.empty() && name.back() == '/') name.pop_back();
  if (name.empty()) return;
  if (!r.AcceptName(name, r.RecurseDirs)) return;

  const bool folder = h.isDir && !h.isSymlink;
  r.FileDate = h.unixTime >= 0 ? UnixToFileDate(h.unixTime) : DosDateToFileDate(h.dosTime);
  r.PackedSize = std::min(h.packedSize, h.originalSize);
  r.UnpackedSize = h.originalSize;
  r.CRC = h.crc;
  r.Encrypted = false;
  const char method = h.MethodChar();
  r.MethodId = static_cast<uint8_t>(method);
  r.MethodName = LhaMethods().TagName(h.MethodId());
  r.VersionMadeBy = r.VersionNeeded = 0;
  r.InternalAttr = kInternalAttr;
  r.ExternalAttr = h.attr;
  if (h.isSymlink) r.LinkTarget = h.linkTarget;
  r.ReportEntry(folder, true, start);
}

}  // namespace

std::unique_ptr<TRizWalker> MakeLhaWalker(TArcType type) { return std::make_unique<TLhaWalker>(type); }

}  // namespace zid
